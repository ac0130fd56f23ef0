// The -o file: the result straight in where a failure can take it back,
// staged and committed where it cannot.
// File offsets and sizes are 64 bits wide on every target. Defined before
// any system header.
#define _FILE_OFFSET_BITS 64

#include "cli/files/output_file.hpp"

#include "cli/files/carry_attributes.hpp"
#include "cli/files/hidden_file.hpp"

#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace korvalith::cli {

namespace {

// How often opening starts over because the file was removed or replaced
// while this run waited for it.
constexpr int ATTEMPTS = 8;

// Symbolic links followed to where a new file is made, as the system's own
// limit for a path (ELOOP).
constexpr int LINKS_FOLLOWED = 40;

constexpr int WRITE_FLAGS = O_WRONLY | O_CLOEXEC;

FileIdentity identity_of(const struct stat& status) {
    return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

// Opens a file, retrying an open that a signal interrupted (opening a FIFO
// waits for its other end) unless the run is to stop. -1 with errno set on
// failure; EINTR means the run is to stop.
int open_file(const char* name, int flags, const Interruption& interruption) {
    for (;;) {
        const int fd = ::open(name, flags, 0666);
        if (fd >= 0 || errno != EINTR) return fd;
        if (interruption.requested()) {
            errno = EINTR;  // the check may run code that changed it
            return -1;
        }
    }
}

// The file where `name`, a symbolic link that leads to nothing, leads:
// created there (through every further link), its descriptor and its path.
// -1 with errno set on failure; EEXIST when something now stands where the
// links lead, so that opening starts over.
int create_through_links(const std::string& name, std::string& path, const Interruption& interruption) {
    path = name;
    for (int followed = 0; followed <= LINKS_FOLLOWED; ++followed) {
        struct stat status {};
        if (::lstat(path.c_str(), &status) != 0) {
            if (errno != ENOENT) return -1;
            return open_file(path.c_str(), WRITE_FLAGS | O_CREAT | O_EXCL, interruption);
        }
        if (!S_ISLNK(status.st_mode)) {
            errno = EEXIST;
            return -1;
        }
        char target[PATH_MAX];
        const ssize_t length = ::readlink(path.c_str(), target, sizeof target);
        if (length < 0) return -1;
        if (static_cast<std::size_t>(length) == sizeof target) {
            errno = ENAMETOOLONG;
            return -1;
        }
        // A relative link leads from the directory that holds it.
        const std::string leads_to(target, static_cast<std::size_t>(length));
        const std::size_t slash = path.rfind('/');
        if (leads_to.empty() || leads_to.front() == '/' || slash == std::string::npos) {
            path = leads_to;
        } else {
            path = path.substr(0, slash + 1) + leads_to;
        }
    }
    errno = ELOOP;
    return -1;
}

// True when a file of `size` bytes passes the process's file-size limit.
bool within_size_limit(std::uint64_t size) {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return true;
    return size <= static_cast<std::uint64_t>(limit.rlim_cur);
}

// The directory that holds the file `name` leads to, for a staging file on
// the same file system; empty when it cannot be told.
std::string directory_of(const std::string& name) {
    char* resolved = ::realpath(name.c_str(), nullptr);
    if (resolved == nullptr) return {};
    std::string path(resolved);
    std::free(resolved);
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, std::max<std::size_t>(slash, 1));
}

// The directory part of a path: "." for a bare name.
std::string directory_part(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return path.substr(0, std::max<std::size_t>(slash, 1));
}

// The path of the file `name` leads to through every symbolic link, or
// empty when it cannot be told.
std::string resolved(const std::string& name) {
    char* path = ::realpath(name.c_str(), nullptr);
    if (path == nullptr) return {};
    std::string result(path);
    std::free(path);
    return result;
}

// Where a new file named `name` goes: the name, or where the symbolic links
// it is lead to nothing. False when something now stands there.
bool where_new_file_goes(const std::string& name, std::string& path) {
    path = name;
    for (int followed = 0; followed <= LINKS_FOLLOWED; ++followed) {
        struct stat status {};
        if (::lstat(path.c_str(), &status) != 0) return errno == ENOENT;
        if (!S_ISLNK(status.st_mode)) return false;
        char target[PATH_MAX];
        const ssize_t length = ::readlink(path.c_str(), target, sizeof target);
        if (length <= 0 || static_cast<std::size_t>(length) == sizeof target) return false;
        const std::string leads_to(target, static_cast<std::size_t>(length));
        const std::size_t slash = path.rfind('/');
        path = leads_to.front() == '/' || slash == std::string::npos ? leads_to : path.substr(0, slash + 1) + leads_to;
    }
    return false;
}

// Links the file without a name open as `fd` in as `path`; fails with
// EEXIST where something stands there.
bool link_in(int fd, const std::string& path) {
    if (::linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) return true;
    if (errno == EEXIST) return false;
    // Without the privilege to link a descriptor, through its name in /proc.
    char own[64];
    std::snprintf(own, sizeof own, "/proc/self/fd/%d", fd);
    return ::linkat(AT_FDCWD, own, AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

// Renames the file at `from` to `to`, which must hold nothing; fails with
// EEXIST where something stands there. A file system that cannot rename so
// links the file to the name and removes the old name.
bool take_name(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return false;
    if (::link(from.c_str(), to.c_str()) != 0) return false;
    (void)::unlink(from.c_str());
    return true;
}

// The file systems whose kind decides how a result is committed (their
// statfs magic numbers), and the kind of the file system of `fd` (0 where
// it cannot be told).
constexpr unsigned long TMPFS = 0x01021994, RAMFS = 0x858458f6, BTRFS = 0x9123683e, EXT4 = 0xef53, XFS = 0x58465342;

unsigned long file_system_of(int fd) {
    struct statfs system {};
    return ::fstatfs(fd, &system) == 0 ? static_cast<unsigned long>(system.f_type) : 0;
}

// Whether the file system of `fd` keeps its files in memory only (tmpfs,
// ramfs): nothing to write to a disk.
bool held_in_memory(int fd) {
    const unsigned long type = file_system_of(fd);
    return type == TMPFS || type == RAMFS;
}

// Whether the file system of `fd` writes a file's data before a rename of
// it over another file reaches the disk, so that a power cut leaves the old
// file or the whole new one without a flush of this program's: tmpfs and
// ramfs (nothing survives a power cut), btrfs (data before the metadata
// that points to it, and a rename over a file starts the file's writeback),
// and ext4 with its default auto_da_alloc in the ordered data mode. Others
// (XFS among them) may show the new name with the data still missing.
bool rename_follows_data(int fd) {
    const unsigned long type = file_system_of(fd);
    if (type == TMPFS || type == RAMFS || type == BTRFS) return true;
    if (type != EXT4) return false;
    struct stat status {};
    if (::fstat(fd, &status) != 0) return false;
    const std::string device = std::to_string(major(status.st_dev)) + ":" + std::to_string(minor(status.st_dev));
    std::ifstream mounts("/proc/self/mountinfo");
    for (std::string line; std::getline(mounts, line);) {
        // "36 35 98:0 / /mnt rw,noatime master:1 - ext4 /dev/root rw,errors=continue"
        std::istringstream fields(line);
        std::string id, parent, numbers;
        if (!(fields >> id >> parent >> numbers) || numbers != device) continue;
        return line.find("noauto_da_alloc") == std::string::npos && line.find("data=writeback") == std::string::npos;
    }
    return false;
}

// Whether a copy from `from` into `to` clones the blocks: both on one file
// system that shares blocks between files (XFS, btrfs).
bool clones(int from, int to) {
    struct stat a {};
    struct stat b {};
    if (::fstat(from, &a) != 0 || ::fstat(to, &b) != 0 || a.st_dev != b.st_dev) return false;
    const unsigned long type = file_system_of(to);
    return type == XFS || type == BTRFS;
}

bool same_file(int fd, const std::string& path) {
    struct stat opened {};
    struct stat named {};
    return ::fstat(fd, &opened) == 0 && ::stat(path.c_str(), &named) == 0 && identity_of(opened) == identity_of(named);
}

}  // namespace

OutputFile::~OutputFile() {
    if ((file_.is_open() || mode_ == Mode::replace) && !ended_) undo();
}

// Waits for the lock of the file, saying so once when another holds it:
// true once held, or where the file system has no locks (they are
// advisory); false when the run is to stop. The lock is tried again every
// 50 ms rather than waited for in one call, so that a stop that comes just
// before the wait would begin is not missed.
bool OutputFile::wait_for_lock(int fd, const Interruption& interruption) {
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 || (errno != EWOULDBLOCK && errno != EINTR)) return true;
        if (!told_waiting_ && waiting_) waiting_();
        told_waiting_ = true;
        if (interruption.requested()) return false;
        struct timespec pause {0, 50'000'000};
        (void)::nanosleep(&pause, nullptr);
    }
}

bool OutputFile::still_named() const {
    struct stat named {};
    struct stat opened {};
    return ::stat((created_.empty() ? name_ : created_).c_str(), &named) == 0 && ::fstat(file_.get(), &opened) == 0 &&
           opened.st_nlink > 0 && identity_of(named) == identity_of(opened);
}

// Opens the target as create-or-truncate would, without the truncation: a
// new file is known to be this run's own, so it can be removed again.
// Without `create`, a name that holds nothing is not made: where the new
// file would go is kept, with no file open.
WriteOutcome OutputFile::acquire(const Interruption& interruption, bool create) {
    for (int attempt = 0; attempt < ATTEMPTS; ++attempt) {
        created_.clear();
        new_path_.clear();
        if (!create) {
            const int fd = open_file(name_.c_str(), WRITE_FLAGS, interruption);
            if (fd < 0 && errno == ENOENT) {
                if (!where_new_file_goes(name_, new_path_)) continue;  // made meanwhile
                return WriteOutcome::written;
            }
            if (fd < 0) return errno == EINTR ? WriteOutcome::interrupted : WriteOutcome::failed;
            return adopt(fd);
        }
        int fd = open_file(name_.c_str(), WRITE_FLAGS | O_CREAT | O_EXCL, interruption);
        if (fd >= 0) {
            created_ = name_;
        } else if (errno == EEXIST) {
            fd = open_file(name_.c_str(), WRITE_FLAGS, interruption);
            // The name exists and leads nowhere: a symbolic link to nothing.
            if (fd < 0 && errno == ENOENT) {
                std::string path;
                fd = create_through_links(name_, path, interruption);
                if (fd >= 0) created_ = path;
            }
            if (fd < 0 && (errno == EEXIST || errno == ENOENT)) continue;  // changed meanwhile
        }
        if (fd < 0) return errno == EINTR ? WriteOutcome::interrupted : WriteOutcome::failed;
        if (adopt(fd) != WriteOutcome::written) return WriteOutcome::failed;
        if (!regular_) created_.clear();
        return WriteOutcome::written;
    }
    return WriteOutcome::failed;
}

// Keeps the descriptor opened on the name as the target, and what it is: a
// regular file (with its identity and the length it had) or anything else.
WriteOutcome OutputFile::adopt(int fd) {
    file_ = Descriptor(fd);
    struct stat status {};
    if (::fstat(fd, &status) != 0) return WriteOutcome::failed;
    regular_ = S_ISREG(status.st_mode);
    identity_ = regular_ ? std::optional(identity_of(status)) : std::nullopt;
    old_size_ = regular_ ? static_cast<std::uint64_t>(status.st_size) : 0;
    return WriteOutcome::written;
}

// Takes the lock of the regular file opened: the file the name leads to once
// the lock is held. Opening starts over if the file was removed or replaced
// meanwhile, as another run that failed removes the file it created.
WriteOutcome OutputFile::lock_named(const Interruption& interruption) {
    for (int attempt = 0; attempt < ATTEMPTS; ++attempt) {
        if (!wait_for_lock(file_.get(), interruption)) {
            // Another run holds the file, which it may be writing: it stays.
            created_.clear();
            return WriteOutcome::interrupted;
        }
        if (still_named()) {
            struct stat status {};
            if (::fstat(file_.get(), &status) != 0) return WriteOutcome::failed;
            old_size_ = static_cast<std::uint64_t>(status.st_size);
            return WriteOutcome::written;
        }
        created_.clear();
        (void)file_.close();
        if (const WriteOutcome opened = acquire(interruption); opened != WriteOutcome::written) return opened;
        if (!regular_) return WriteOutcome::written;
    }
    return WriteOutcome::failed;
}

// A file made beside the target for the result, where the target may be
// replaced: true with the mode replace.
bool OutputFile::begin_replacement() {
    std::string path;
    if (!file_.is_open()) {
        path = new_path_;
        replaces_new_ = true;
    } else {
        struct stat status {};
        if (!regular_ || ::fstat(file_.get(), &status) != 0 || status.st_nlink != 1) return false;
        struct stat printed {};
        if (printed_to_ >= 0 && ::fstat(printed_to_, &printed) == 0 && identity_of(printed) == identity_of(status)) {
            return false;
        }
        path = resolved(name_);
        if (path.empty() || !same_file(file_.get(), path)) return false;
        replaces_new_ = false;
    }
    // What a run killed while its file had a hidden name left goes first.
    sweep_leftovers(directory_part(path));
    std::string hidden;
    const int fd = file_in(directory_part(path), 0666, false, hidden);
    if (fd < 0) return false;
    // Locked from the start, so that its hidden name, while it has one, is
    // known to be in use.
    if (hidden.empty()) (void)::flock(fd, LOCK_EX | LOCK_NB);
    path_ = std::move(path);
    hidden_ = std::move(hidden);
    staging_.emplace(Descriptor(fd));
    // A file replaced on a disk has the result written out at the rename (by
    // the file system, or by the flush before it): the disk starts on it
    // while the run goes on.
    if (!replaces_new_ && !held_in_memory(fd)) staging_->write_back_early();
    mode_ = Mode::replace;
    return true;
}

WriteOutcome OutputFile::begin(std::optional<std::uint64_t> size, const Interruption& interruption) {
    if (name_.empty() || name_.find('\0') != std::string::npos) return WriteOutcome::failed;
    if (interruption.requested()) return WriteOutcome::interrupted;
    if (const WriteOutcome opened = acquire(interruption, false); opened != WriteOutcome::written) return opened;
    if (begin_replacement()) {
        if (size && !within_size_limit(*size)) {
            undo();
            return WriteOutcome::failed;
        }
        if (interruption.requested()) {
            undo();
            return WriteOutcome::interrupted;
        }
        return WriteOutcome::written;
    }
    // Written in place: a new file is made at its name.
    if (!file_.is_open()) {
        if (const WriteOutcome opened = acquire(interruption); opened != WriteOutcome::written) return opened;
    }
    if (regular_ && size && !within_size_limit(*size)) {
        undo();
        return WriteOutcome::failed;
    }
    // An empty file holds nothing to keep: the result goes straight in,
    // under the lock, if it is still empty once the lock is held (two runs
    // may have found it empty, or one created it and the other found it).
    if (regular_ && old_size_ == 0 && identity_ != input_) {
        if (const WriteOutcome locked = lock_named(interruption); locked != WriteOutcome::written) {
            if (locked != WriteOutcome::interrupted) undo();
            return locked;
        }
        if (regular_ && old_size_ == 0 && identity_ != input_) mode_ = Mode::direct;
        else if (regular_) (void)::flock(file_.get(), LOCK_UN);
    }
    if (mode_ != Mode::direct) {
        // The file holds what must survive a failure (another run may just
        // have filled the file this run created: it is no longer this run's
        // to remove). It is locked for the commit only.
        mode_ = Mode::staged;
        created_.clear();
        staging_.emplace(regular_ ? directory_of(name_) : std::string(), staging_memory_);
        if (expected_) staging_->expect_at_most(*expected_);
    }
    if (interruption.requested()) {
        undo();
        return WriteOutcome::interrupted;
    }
    return WriteOutcome::written;
}

WriteOutcome OutputFile::write(ByteView bytes, const Interruption& interruption) {
    if (mode_ == Mode::staged || mode_ == Mode::replace) {
        if (interruption.requested()) return WriteOutcome::interrupted;
        staging_error_ = staging_->append(bytes);
        if (staging_error_ == 0) return WriteOutcome::written;
        // The file-size limit, and any failure of the file beside the
        // target, is the target's own: "Could not write to file", whatever
        // the target.
        return mode_ == Mode::replace || staging_error_ == EFBIG ? WriteOutcome::failed : WriteOutcome::not_staged;
    }
    const WriteOutcome outcome = write_all(file_.get(), as_string_view(bytes), interruption);
    if (outcome == WriteOutcome::written) written_ += bytes.size();
    return outcome;
}

WriteOutcome OutputFile::end(const Interruption& interruption) {
    if (mode_ == Mode::staged) return commit(interruption);
    if (mode_ == Mode::replace) return replace(interruption);
    // A stop that came after the last byte still finds the file as it was.
    if (interruption.requested()) return WriteOutcome::interrupted;
    ended_ = true;
    if (regular_ && ::ftruncate(file_.get(), static_cast<off_t>(written_)) != 0) {
        (void)file_.close();
        return WriteOutcome::failed;
    }
    return file_.close() ? WriteOutcome::written : WriteOutcome::failed;
}

// The staged result into the target, under its lock: from here on nothing
// stops it, as a file half rewritten has lost its old contents without
// holding the new ones.
WriteOutcome OutputFile::commit(const Interruption& interruption) {
    // A stop asked for before the commit begins still finds the target as it
    // was; so does one while another run holds the file.
    if (interruption.requested()) return WriteOutcome::interrupted;
    if (!regular_) {
        // A FIFO or a device takes the result as it comes.
        committing_ = true;
        const WriteOutcome sent = staging_->send_to(file_.get(), {});
        ended_ = true;
        if (!file_.close() && sent == WriteOutcome::written) return WriteOutcome::failed;
        return sent;
    }
    if (const WriteOutcome locked = lock_named(interruption); locked != WriteOutcome::written) return locked;
    if (!regular_) return commit(interruption);
    return commit_locked();
}

// The commit once the lock of the regular file is held.
WriteOutcome OutputFile::commit_locked() {
    const std::uint64_t size = staging_->size();
    committing_ = true;
    if (!within_size_limit(size)) return WriteOutcome::failed;
    // A clone needs the staged result on the disk: it is written there
    // before the target is touched rather than inside the copy, where the
    // target is neither old nor new.
    if (staging_->in_file() && clones(staging_->file(), file_.get())) (void)::fdatasync(staging_->file());
    if (const WriteOutcome reserved = reserve(size); reserved != WriteOutcome::written) return reserved;
    written_ = size;  // from here on old bytes may be overwritten
    if (!staging_->copy_into(file_.get())) return WriteOutcome::failed;
    ended_ = true;
    // Cut to the result at once: the old tail goes before anything else
    // (freeing the staged result's blocks) can delay it.
    const bool cut = ::ftruncate(file_.get(), static_cast<off_t>(size)) == 0;
    const bool closed = file_.close();
    staging_->release();
    return cut && closed ? WriteOutcome::written : WriteOutcome::failed;
}

// The replacement takes the target's name: linked in where the name holds
// nothing, else, under the target's lock, given the target's attributes
// and renamed over it. Waiting for the lock may be stopped; once it is
// held, nothing stops the rename. A target that can no longer be replaced
// (it has gained a link, the run may not give the new file its owner or
// attributes, the directory refuses the rename) takes the result in place.
WriteOutcome OutputFile::replace(const Interruption& interruption) {
    if (interruption.requested()) return WriteOutcome::interrupted;
    const int fd = staging_->file();
    for (int attempt = 0; attempt < ATTEMPTS; ++attempt) {
        if (replaces_new_) {
            if (hidden_.empty() ? link_in(fd, path_) : take_name(hidden_, path_)) {
                hidden_.clear();
                struct stat status {};
                if (::fstat(fd, &status) == 0) identity_ = identity_of(status);
                ended_ = true;
                staging_->release();
                return WriteOutcome::written;
            }
            if (errno != EEXIST) return WriteOutcome::failed;
            // Made meanwhile (by another run): replaced as any existing file.
            const int target = open_file(path_.c_str(), WRITE_FLAGS, interruption);
            if (target < 0) {
                if (errno == ENOENT) continue;
                return errno == EINTR ? WriteOutcome::interrupted : WriteOutcome::failed;
            }
            file_ = Descriptor(target);
            replaces_new_ = false;
        }
        if (!wait_for_lock(file_.get(), interruption)) return WriteOutcome::interrupted;
        if (same_file(file_.get(), path_)) return replace_locked();
        // Replaced meanwhile (by another run): the file now there is the target.
        (void)file_.close();
        const int target = open_file(path_.c_str(), WRITE_FLAGS, interruption);
        if (target < 0 && errno != ENOENT) return errno == EINTR ? WriteOutcome::interrupted : WriteOutcome::failed;
        if (target < 0) {
            replaces_new_ = true;
        } else {
            file_ = Descriptor(target);
        }
    }
    return WriteOutcome::failed;
}

WriteOutcome OutputFile::replace_locked() {
    const int fd = staging_->file();
    struct stat status {};
    if (::fstat(file_.get(), &status) != 0) return WriteOutcome::failed;
    regular_ = S_ISREG(status.st_mode);
    identity_ = regular_ ? std::optional(identity_of(status)) : std::nullopt;
    old_size_ = regular_ ? static_cast<std::uint64_t>(status.st_size) : 0;
    bool renamed = false;
    if (regular_ && status.st_nlink == 1 && carry_attributes(file_.get(), status, fd)) {
        // The result reaches the disk before the name does: after a power
        // cut the name holds the old file or the whole new one. Flushed
        // here only where the file system does not see to it itself.
        if (!rename_follows_data(fd)) (void)::fdatasync(fd);
        if (hidden_.empty()) {
            std::string hidden = hidden_name_in(directory_part(path_));
            if (link_in(fd, hidden)) hidden_ = std::move(hidden);
        }
        renamed = !hidden_.empty() && ::rename(hidden_.c_str(), path_.c_str()) == 0;
    }
    if (!renamed) {
        if (!hidden_.empty()) remove_if_named(hidden_, fd);
        hidden_.clear();
        if (!regular_) {
            committing_ = true;
            const WriteOutcome sent = staging_->send_to(file_.get(), {});
            ended_ = true;
            if (!file_.close() && sent == WriteOutcome::written) return WriteOutcome::failed;
            return sent;
        }
        return commit_locked();
    }
    hidden_.clear();
    if (::fstat(fd, &status) == 0) identity_ = identity_of(status);
    ended_ = true;
    staging_->release();
    (void)file_.close();
    return WriteOutcome::written;
}

void OutputFile::undo() noexcept {
    if (mode_ == Mode::replace && !committing_) {
        // The target is as it was; the file beside it goes, name and all.
        if (!hidden_.empty()) remove_if_named(hidden_, staging_->file());
        hidden_.clear();
        staging_.reset();
        (void)file_.close();
        return;
    }
    if (!created_.empty()) {
        // Removed only while the name still leads to this run's file.
        if (still_named()) (void)::unlink(created_.c_str());
    } else if (mode_ == Mode::direct) {
        (void)::ftruncate(file_.get(), 0);
    } else if (committing_ && regular_ && (grown_ || written_ > 0)) {
        // Old bytes already overwritten cannot come back; at least the file
        // keeps its old length, without reserved zeros behind its old end.
        (void)::ftruncate(file_.get(), static_cast<off_t>(old_size_));
    }
    (void)file_.close();
}

// The room for `size` bytes from the start of the file, taken from the file
// system before anything is written. A file this run created holds nothing
// to keep, and is removed again if its write fails: it needs no reservation,
// which on some file systems (tmpfs) costs a pass of zeroing over the room.
WriteOutcome OutputFile::reserve(std::uint64_t size) {
    if (size == 0 || !created_.empty()) return WriteOutcome::written;
    // A file at least as long as the result, with a block for every byte
    // (no holes), holds the room already: asking for it again would only
    // walk its blocks.
    struct stat status {};
    if (size <= old_size_ && ::fstat(file_.get(), &status) == 0 &&
        static_cast<std::uint64_t>(status.st_blocks) * 512 >= old_size_) {
        return WriteOutcome::written;
    }
    for (;;) {
        // Mode 0 allocates every block of the range that is not allocated
        // yet, and grows the file to `size` when it is shorter.
        if (::fallocate(file_.get(), 0, 0, static_cast<off_t>(size)) == 0) {
            grown_ = size > old_size_;
            return WriteOutcome::written;
        }
        if (errno == EINTR) {
            grown_ = true;  // perhaps partly done: the old size is set again on failure
            continue;
        }
        if (errno == EOPNOTSUPP || errno == ENOSYS) return grow_with_zeros(size);
        // ENOSPC, EDQUOT, EFBIG, EIO, ...: the file system may have begun.
        grown_ = true;
        return WriteOutcome::failed;
    }
}

// The fallback for a file system that cannot reserve room: an existing file
// shorter than the result grows to its size with zero bytes written after
// its old end, so that overwriting the old bytes needs no new room (on a file
// system that overwrites in place).
WriteOutcome OutputFile::grow_with_zeros(std::uint64_t size) {
    if (size <= old_size_) return WriteOutcome::written;
    static constexpr std::uint8_t ZEROS[1 << 16] = {};
    grown_ = true;
    for (std::uint64_t at = old_size_; at < size;) {
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof ZEROS, size - at));
        const ssize_t done = ::pwrite(file_.get(), ZEROS, count, static_cast<off_t>(at));
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return WriteOutcome::failed;
        at += static_cast<std::uint64_t>(done);
    }
    return WriteOutcome::written;
}

}  // namespace korvalith::cli
