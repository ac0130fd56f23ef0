// An open file descriptor that the command line owns: closed when it goes
// out of scope.
#pragma once

#include <unistd.h>

#include <utility>

namespace korvalith::cli {

class Descriptor {
public:
    Descriptor() noexcept = default;
    explicit Descriptor(int fd) noexcept : fd_(fd) {}
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) {
            (void)close();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { (void)close(); }

    int get() const noexcept { return fd_; }
    bool is_open() const noexcept { return fd_ >= 0; }

    // Closes now, reporting whether the close succeeded (it may report a
    // delayed write error). Closing a closed descriptor succeeds.
    bool close() noexcept {
        if (fd_ < 0) return true;
        const int fd = std::exchange(fd_, -1);
        return ::close(fd) == 0;
    }

private:
    int fd_ = -1;
};

}  // namespace korvalith::cli
