#include "cli/stream/chunked_core.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "ciphers/caesar.hpp"
#include "ciphers/vigenere.hpp"
#include "encodings/base32.hpp"
#include "encodings/base64.hpp"

namespace korvalith::cli {

namespace {

class Shift final : public ChunkedCore {
public:
    explicit Shift(unsigned row) : row_(row) {}

    std::optional<std::size_t> room(std::size_t size) const noexcept override { return size; }

    CoreResult<ChunkStep> step(ByteView chunk, std::span<std::uint8_t> out) override {
        shift_letters_into(chunk, row_, out.data());
        return ChunkStep{.written = chunk.size()};
    }

private:
    unsigned row_;
};

class Vigenere final : public ChunkedCore {
public:
    Vigenere(ByteView key, bool decrypt, bool skip_non_alpha)
        : key_(VigenereKey::make(key, decrypt)), skip_non_alpha_(skip_non_alpha) {}

    std::optional<std::size_t> room(std::size_t size) const noexcept override { return size; }
    bool can_fail() const noexcept override { return true; }

    CoreResult<ChunkStep> step(ByteView chunk, std::span<std::uint8_t> out) override {
        if (auto checked = vigenere_check_text(chunk); !checked) return std::unexpected(std::move(checked.error()));
        // A bad key is reported by finish, once the whole text is known to
        // be ASCII; until then the text is only checked.
        if (!key_) return ChunkStep{};
        position_ = vigenere_cipher_into(chunk, *key_, skip_non_alpha_, out.data(), position_);
        return ChunkStep{.written = chunk.size()};
    }

    CoreResult<void> finish() override {
        if (!key_) return std::unexpected(key_.error());
        return {};
    }

    void restart() noexcept override { position_ = 0; }

private:
    CoreResult<VigenereKey> key_;
    bool skip_non_alpha_;
    std::size_t position_ = 0;
};

// A codec of base32.hpp or base64.hpp, over chunks of whole groups.
template <typename Codec>
class Encoder final : public ChunkedCore {
public:
    std::size_t group() const noexcept override { return Codec::GROUP_BYTES; }
    std::optional<std::size_t> room(std::size_t size) const noexcept override { return Codec::encoded_size(size); }

    CoreResult<ChunkStep> step(ByteView chunk, std::span<std::uint8_t> out) override {
        const std::size_t size = *Codec::encoded_size(chunk.size());
        Codec::encode_into(chunk, out.first(size));
        return ChunkStep{.written = size};
    }
};

template <typename Codec>
class Decoder final : public ChunkedCore {
public:
    std::size_t group() const noexcept override { return Codec::GROUP_CHARACTERS; }
    // What the characters hold in whole bytes when there is no "=".
    std::optional<std::size_t> room(std::size_t size) const noexcept override {
        return size / Codec::GROUP_CHARACTERS * Codec::GROUP_BYTES +
               size % Codec::GROUP_CHARACTERS * Codec::GROUP_BYTES / Codec::GROUP_CHARACTERS;
    }
    bool can_fail() const noexcept override { return true; }

    // Text cut into pieces of whole groups decodes piece by piece as it
    // would whole, up to the first "=". The chunk is searched for it once:
    // the characters before it give the result's size (as decoded_size
    // would find), and a chunk that holds it is the last that counts.
    CoreResult<ChunkStep> step(ByteView chunk, std::span<std::uint8_t> out) override {
        if (finished_) return ChunkStep{.finished = true};
        const void* pad = chunk.empty() ? nullptr : std::memchr(chunk.data(), '=', chunk.size());
        const std::size_t characters =
            pad != nullptr ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(pad) - chunk.data())
                           : chunk.size();
        const std::size_t size = *room(characters);
        if (auto decoded = Codec::decode_into(chunk, out.first(size)); !decoded) {
            return std::unexpected(std::move(decoded.error()));
        }
        finished_ = pad != nullptr;
        return ChunkStep{.written = size, .finished = finished_};
    }

    void restart() noexcept override { finished_ = false; }

private:
    bool finished_ = false;
};

}  // namespace

ChunkedCorePtr shift_core(unsigned row) { return std::make_unique<Shift>(row); }

ChunkedCorePtr vigenere_core(ByteView key, bool decrypt, bool skip_non_alpha) {
    return std::make_unique<Vigenere>(key, decrypt, skip_non_alpha);
}

ChunkedCorePtr base32_encoder_core() { return std::make_unique<Encoder<Base32>>(); }
ChunkedCorePtr base32_decoder_core() { return std::make_unique<Decoder<Base32>>(); }
ChunkedCorePtr base64_encoder_core() { return std::make_unique<Encoder<Base64>>(); }
ChunkedCorePtr base64_decoder_core() { return std::make_unique<Decoder<Base64>>(); }

CoreResult<ByteBuffer> run_whole(ChunkedCore& core, ByteView input) {
    const auto room = core.room(input.size());
    if (!room) return std::unexpected(CoreError::out_of_memory(SIZE_MAX));
    auto result = ByteBuffer::allocate(*room);
    if (!result) return result;
    auto step = core.step(input, {result->data(), result->size()});
    if (!step) return std::unexpected(std::move(step.error()));
    if (auto finished = core.finish(); !finished) return std::unexpected(std::move(finished.error()));
    result->truncate(step->written);
    return result;
}

}  // namespace korvalith::cli
