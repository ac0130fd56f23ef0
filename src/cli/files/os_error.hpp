// A failure of the system, told as Python tells an OSError: the class the
// interpreter raises for its error number, then "[Errno N] " and the C
// library's text for it, such as "OSError: [Errno 28] No space left on
// device". For failures that no message of the command line names: a
// result that could not be staged.
#pragma once

#include <string>

namespace korvalith::cli {

std::string os_error_text(int error_number);

}  // namespace korvalith::cli
