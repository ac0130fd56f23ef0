#include "cli/files/carry_attributes.hpp"

#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>
#include <vector>

namespace korvalith::cli {

namespace {

// The names of the extended attributes of `fd`, NUL-separated; false where
// they cannot be listed (a file system without them lists none).
bool attribute_names(int fd, std::vector<char>& names) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t size = ::flistxattr(fd, nullptr, 0);
        if (size < 0) {
            names.clear();
            return errno == ENOTSUP;
        }
        names.resize(static_cast<std::size_t>(size));
        const ssize_t got = ::flistxattr(fd, names.data(), names.size());
        if (got >= 0) {
            names.resize(static_cast<std::size_t>(got));
            return true;
        }
        if (errno != ERANGE) return false;  // grown meanwhile: again
    }
    return false;
}

// Each name of a NUL-separated list.
template <typename Each>
bool for_each_name(const std::vector<char>& names, Each each) {
    for (std::size_t at = 0; at < names.size();) {
        const std::string_view name(names.data() + at);
        if (!name.empty() && !each(std::string(name))) return false;
        at += name.size() + 1;
    }
    return true;
}

bool listed(const std::vector<char>& names, const std::string& name) {
    bool found = false;
    (void)for_each_name(names, [&](const std::string& each) {
        found = found || each == name;
        return true;
    });
    return found;
}

}  // namespace

bool carry_attributes(int from, const struct stat& from_status, int to) noexcept {
    try {
        struct stat to_status {};
        if (::fstat(to, &to_status) != 0) return false;
        if ((to_status.st_uid != from_status.st_uid || to_status.st_gid != from_status.st_gid) &&
            ::fchown(to, from_status.st_uid, from_status.st_gid) != 0) {
            return false;
        }
        std::vector<char> wanted;
        std::vector<char> present;
        if (!attribute_names(from, wanted) || !attribute_names(to, present)) return false;
        const bool removed = for_each_name(present, [&](const std::string& name) {
            return listed(wanted, name) || ::fremovexattr(to, name.c_str()) == 0;
        });
        if (!removed) return false;
        std::vector<char> value;
        const bool copied = for_each_name(wanted, [&](const std::string& name) {
            const ssize_t size = ::fgetxattr(from, name.c_str(), nullptr, 0);
            if (size < 0) return false;
            value.resize(static_cast<std::size_t>(size));
            const ssize_t got = ::fgetxattr(from, name.c_str(), value.data(), value.size());
            return got >= 0 && ::fsetxattr(to, name.c_str(), value.data(), static_cast<std::size_t>(got), 0) == 0;
        });
        if (!copied) return false;
        return ::fchmod(to, from_status.st_mode & 07777) == 0;
    } catch (...) {
        errno = ENOMEM;
        return false;
    }
}

}  // namespace korvalith::cli
