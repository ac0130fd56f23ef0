// File offsets and sizes are 64 bits wide on every target. Defined before
// any system header.
#define _FILE_OFFSET_BITS 64

#include "cli/files/hidden_file.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>

namespace korvalith::cli {

namespace {

constexpr std::string_view LETTERS = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
constexpr int ATTEMPTS = 16;

bool same_file(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

}  // namespace

std::string hidden_name_in(const std::string& directory) {
    std::array<std::uint8_t, 12> random{};
    if (::getrandom(random.data(), random.size(), GRND_NONBLOCK) != static_cast<ssize_t>(random.size())) {
        // No entropy yet: the time and the process tell runs apart.
        auto seed = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                    (static_cast<std::uint64_t>(::getpid()) << 40);
        for (auto& byte : random) {
            seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
            byte = static_cast<std::uint8_t>(seed >> 56);
        }
    }
    std::string path = directory;
    if (path.empty() || path.back() != '/') path += '/';
    path += HIDDEN_PREFIX;
    for (const std::uint8_t byte : random) path += LETTERS[byte % LETTERS.size()];
    return path;
}

int make_hidden_file(const std::string& directory, std::string& path, mode_t mode) noexcept {
    for (int attempt = 0; attempt < ATTEMPTS; ++attempt) {
        path = hidden_name_in(directory);
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return -1;
        }
        // Locked at once; a sweep that came between the two may have taken
        // the name away, and another name is made.
        struct stat opened {};
        struct stat named {};
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &opened) == 0 &&
            ::lstat(path.c_str(), &named) == 0 && same_file(opened, named)) {
            return fd;
        }
        (void)::close(fd);
    }
    errno = EEXIST;
    return -1;
}

void sweep_leftovers(const std::string& directory) noexcept {
    DIR* listing = ::opendir(directory.c_str());
    if (listing == nullptr) return;
    while (const struct dirent* entry = ::readdir(listing)) {
        const std::string_view name(entry->d_name);
        if (!name.starts_with(HIDDEN_PREFIX) || name.size() != HIDDEN_PREFIX.size() + 12) continue;
        const int fd = ::openat(::dirfd(listing), entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat opened {};
        struct stat named {};
        if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(::dirfd(listing), entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 && same_file(opened, named)) {
            (void)::unlinkat(::dirfd(listing), entry->d_name, 0);
        }
        (void)::close(fd);
    }
    (void)::closedir(listing);
}

void remove_if_named(const std::string& path, int fd) noexcept {
    struct stat opened {};
    struct stat named {};
    if (::fstat(fd, &opened) == 0 && ::lstat(path.c_str(), &named) == 0 && same_file(opened, named)) {
        (void)::unlink(path.c_str());
    }
}

int file_in(const std::string& directory, mode_t mode, bool unnamed, std::string& path) noexcept {
    path.clear();
    const int fd = ::open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
    if (fd >= 0) return fd;
    // A file system or a kernel without O_TMPFILE says so with one of these.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return -1;
    sweep_leftovers(directory);
    const int named = make_hidden_file(directory, path, mode);
    if (named >= 0 && unnamed) {
        (void)::unlink(path.c_str());
        path.clear();
    }
    return named;
}

}  // namespace korvalith::cli
