#include "cli/stream/read_ahead.hpp"

#include <algorithm>
#include <new>

#include "cli/files/quiet_thread.hpp"

namespace korvalith::cli {

std::unique_ptr<ReadAhead> ReadAhead::start(const InputFile& input, std::uint64_t size, std::size_t chunk) {
    std::unique_ptr<ReadAhead> ahead(new (std::nothrow) ReadAhead(input, size, chunk));
    if (!ahead) return nullptr;
    for (Slot& slot : ahead->slots_) {
        if (!slot.buffer.allocate(chunk)) return nullptr;
    }
    ahead->thread_ = start_quiet_thread([reader = ahead.get()] { reader->read_all(); });
    if (!ahead->thread_.joinable()) return nullptr;
    return ahead;
}

ReadAhead::~ReadAhead() {
    if (!thread_.joinable()) return;
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
    }
    freed_.notify_one();
    thread_.join();
}

void ReadAhead::read_all() noexcept {
    std::uint64_t offset = 0;
    for (std::uint64_t index = 0; offset < size_; ++index) {
        {
            // A slot is free once the pass has taken the chunk after the one
            // it held: the pass is done with a chunk when it asks for the next.
            std::unique_lock lock(mutex_);
            freed_.wait(lock, [&] { return stop_ || index + 1 - taken_ < SLOTS; });
            if (stop_) break;
        }
        Slot& slot = slots_[index % SLOTS];
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(chunk_, size_ - offset));
        auto got = input_.fill_at({slot.buffer.data(), want}, offset);
        slot.failed = !got;
        slot.count = got.value_or(0);
        {
            const std::lock_guard lock(mutex_);
            produced_ = index + 1;
        }
        filled_.notify_one();
        if (slot.failed || slot.count < want) break;
        offset += want;
    }
    {
        const std::lock_guard lock(mutex_);
        ended_ = true;
    }
    filled_.notify_one();
}

std::expected<ByteView, ReadFailure> ReadAhead::next() {
    std::uint64_t index = 0;
    {
        std::unique_lock lock(mutex_);
        index = taken_;
        filled_.wait(lock, [&] { return produced_ > index || ended_; });
        if (produced_ <= index) return ByteView{};
        ++taken_;
    }
    // Taking this chunk gives back the one before it.
    freed_.notify_one();
    Slot& slot = slots_[index % SLOTS];
    if (slot.failed) return std::unexpected(ReadFailure{ReadFailure::Kind::unreadable});
    return ByteView{slot.buffer.data(), slot.count};
}

}  // namespace korvalith::cli
