// What a file that replaces another takes over from it: the owner and the
// group, the mode (set last, as a change of owner clears the set-user-ID
// bits) and every extended attribute, the ACLs among them, and no other (one
// a new file took from its directory's default ACL is removed).
#pragma once

#include <sys/stat.h>

namespace korvalith::cli {

// Gives the file `to` what the file `from` (whose status is `from_status`)
// has. False, with errno set, where the run may not give it all: another
// owner or a group the user is not in, an attribute only privilege may set.
[[nodiscard]] bool carry_attributes(int from, const struct stat& from_status, int to) noexcept;

}  // namespace korvalith::cli
