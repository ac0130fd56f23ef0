// What a run over an input in chunks checks besides its core, and why it
// stopped: the failures in the order the whole-buffer path finds them
// (reading, the input that is not text, the core's rejection, the result
// that is not text), then the sink's.
#pragma once

#include <cstdint>

#include "cli/files/input_file.hpp"
#include "cli/files/write_all.hpp"
#include "common/byte_buffer.hpp"

namespace korvalith::cli {

// The checks of the whole-buffer path, besides the core's own.
struct StreamChecks {
    bool input_must_be_text = false;   // a file that is not UTF-8 cannot be read as text
    bool result_must_be_text = false;  // the result goes where only text may go
};

struct StreamFailure {
    enum class Kind : std::uint8_t {
        read,             // reading failed (`read`), or the file changed during the run
        input_not_text,   // the input is not UTF-8
        core,             // the core rejected the input (`core_error`)
        result_not_text,  // the result is not UTF-8
        sink,             // the result could not be written (`written`; `error_number` when not staged)
    };
    Kind kind = Kind::read;
    ReadFailure read{};
    CoreError core_error{};
    WriteOutcome written = WriteOutcome::failed;
    int error_number = 0;
};

}  // namespace korvalith::cli
