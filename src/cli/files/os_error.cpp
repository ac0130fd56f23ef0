#include "cli/files/os_error.hpp"

#include <cerrno>
#include <cstring>

namespace korvalith::cli {

namespace {

// The subclass of OSError that the interpreter raises for the number.
const char* class_of(int error_number) {
    switch (error_number) {
        case EAGAIN:
#if EWOULDBLOCK != EAGAIN
        case EWOULDBLOCK:
#endif
        case EALREADY:
        case EINPROGRESS: return "BlockingIOError";
        case ECHILD: return "ChildProcessError";
        case EPIPE:
        case ESHUTDOWN: return "BrokenPipeError";
        case ECONNABORTED: return "ConnectionAbortedError";
        case ECONNREFUSED: return "ConnectionRefusedError";
        case ECONNRESET: return "ConnectionResetError";
        case EEXIST: return "FileExistsError";
        case ENOENT: return "FileNotFoundError";
        case EISDIR: return "IsADirectoryError";
        case ENOTDIR: return "NotADirectoryError";
        case EINTR: return "InterruptedError";
        case EACCES:
        case EPERM: return "PermissionError";
        case ESRCH: return "ProcessLookupError";
        case ETIMEDOUT: return "TimeoutError";
        default: return "OSError";
    }
}

}  // namespace

std::string os_error_text(int error_number) {
    return std::string(class_of(error_number)) + ": [Errno " + std::to_string(error_number) + "] " +
           std::strerror(error_number);
}

}  // namespace korvalith::cli
