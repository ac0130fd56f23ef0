// Files of a run that stand, for a moment or for the run, under a hidden
// name of the program's own (".korvalith-" and twelve random letters or
// digits) in the directory of a target or of a staging file: a file about
// to be renamed over its target, and a staging file where the file system
// cannot make one without a name. Each is locked (flock) by the run that
// made it from its first moment, so that a name whose lock is free belongs
// to a run that ended without removing it (killed): the next run that makes
// such a file in the same directory removes it (sweep_leftovers).
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

namespace korvalith::cli {

inline constexpr std::string_view HIDDEN_PREFIX = ".korvalith-";

// A fresh hidden name in `directory` (the path), not yet made.
std::string hidden_name_in(const std::string& directory);

// A new file under a hidden name in `directory`, open for reading and
// writing, locked, with `mode` less the umask: its descriptor and its path
// in `path`, or -1 with errno set.
int make_hidden_file(const std::string& directory, std::string& path, mode_t mode) noexcept;

// Removes the hidden files in `directory` that no run holds locked.
void sweep_leftovers(const std::string& directory) noexcept;

// Removes `path` where it still names the file open as `fd`.
void remove_if_named(const std::string& path, int fd) noexcept;

// A file without a name in `directory` (O_TMPFILE), open for reading and
// writing, with `mode` less the umask. Where the file system cannot, a
// hidden file made and unlinked at once when `unnamed` is true, or left
// under its hidden name (in `path`) when it is not. -1 with errno set on
// failure.
int file_in(const std::string& directory, mode_t mode, bool unnamed, std::string& path) noexcept;

}  // namespace korvalith::cli
