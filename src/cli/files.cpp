#include "cli/files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

namespace korvalith::cli {

namespace {

constexpr std::size_t READ_CHUNK = 1 << 16;

// A descriptor closed when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd) noexcept : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const noexcept { return fd_; }
    // Closes now, reporting whether the close succeeded (it may report a
    // delayed write error).
    bool close() noexcept {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool holds_nul(const std::string& name) { return name.find('\0') != std::string::npos; }

}  // namespace

std::optional<ByteBuffer> read_whole_file(const std::string& name) {
    if (name.empty() || holds_nul(name)) return std::nullopt;
    Descriptor file(::open(name.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) return std::nullopt;
    struct stat status {};
    if (::fstat(file.get(), &status) != 0 || S_ISDIR(status.st_mode)) return std::nullopt;

    // Regular files announce their size; others (pipes, /proc) are read until
    // they end. One byte more than announced detects a file that grew.
    ByteBuffer contents;
    std::size_t expected = S_ISREG(status.st_mode) && status.st_size > 0 ? static_cast<std::size_t>(status.st_size)
                                                                          : READ_CHUNK;
    if (!contents.reserve(expected + 1)) return std::nullopt;
    for (;;) {
        if (contents.size() == contents.capacity()) {
            auto grown = checked_mul(contents.capacity(), 2);
            if (!grown || !contents.reserve(*grown)) return std::nullopt;
        }
        const std::size_t room = contents.capacity() - contents.size();
        const ssize_t count = ::read(file.get(), contents.data() + contents.size(), room);
        if (count < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (count == 0) break;
        contents.set_size(contents.size() + static_cast<std::size_t>(count));
    }
    return contents;
}

bool write_whole_file(const std::string& name, ByteView bytes) {
    if (name.empty() || holds_nul(name)) return false;
    Descriptor file(::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (file.get() < 0) return false;
    const std::uint8_t* next = bytes.data();
    std::size_t remaining = bytes.size();
    while (remaining > 0) {
        const ssize_t count = ::write(file.get(), next, remaining);
        if (count < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        next += count;
        remaining -= static_cast<std::size_t>(count);
    }
    return file.close();
}

}  // namespace korvalith::cli
