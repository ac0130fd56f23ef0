// AES in electronic-codebook mode: the ECB driver (padding, one key expansion
// per call, the blocks in order, written straight into the result) and the
// Python functions of ciphers.aes.

#include "ciphers/aes/ecb.hpp"

#include <array>
#include <cstring>
#include <string>

#include "common/checked_size.hpp"
#include "common/secure_wipe.hpp"

namespace korvalith::aes {

namespace {

// Blocks decrypted at a time while looking back for an ISO/IEC marker that
// is not in the last block.
constexpr std::size_t SCAN_BLOCKS = 16;

}  // namespace

CoreResult<std::size_t> EcbEncryption::prepare(ByteView data, ByteView key, std::string_view padding_mode) {
    auto mode = parse_padding_mode(padding_mode);
    if (!mode) return std::unexpected(std::move(mode.error()));
    // Padding always adds at least one block, so this is the key-length check
    // of the first block; the expanded key then serves every block.
    if (auto keyed = cipher_.set_key(engine_, key, false); !keyed) return std::unexpected(std::move(keyed.error()));
    auto length = checked_add(data.size() - data.size() % BLOCK_SIZE, BLOCK_SIZE);
    if (!length) return std::unexpected(CoreError::out_of_memory(data.size()));
    data_ = data;
    mode_ = *mode;
    return *length;
}

void EcbEncryption::write(std::span<std::uint8_t> out) const noexcept {
    const std::size_t whole = data_.size() / BLOCK_SIZE;
    cipher_.encrypt(data_.data(), out.data(), whole);
    alignas(16) Block last;
    pad_block(mode_, data_.subspan(BLOCK_SIZE * whole), last);
    cipher_.encrypt(last.data(), out.data() + BLOCK_SIZE * whole, 1);
    secure_wipe(last.data(), last.size());
}

EcbDecryption::~EcbDecryption() { secure_wipe(last_.data(), last_.size()); }

CoreResult<std::size_t> EcbDecryption::prepare(ByteView data, ByteView key, std::string_view padding_mode) {
    if (!data.empty()) {
        // The key length is checked at the first block, before any block length.
        if (auto keyed = cipher_.set_key(engine_, key, true); !keyed) return std::unexpected(std::move(keyed.error()));
        // Only the last block can be short, and a short block fails the call
        // whatever came before it, so it is checked before any work is done.
        if (const std::size_t remainder = data.size() % BLOCK_SIZE; remainder != 0) {
            return std::unexpected(std::move(check_block_length(remainder).error()));
        }
    }
    if (data.empty()) {
        return std::unexpected(CoreError::invalid("Invalid ciphertext length: " + std::to_string(data.size())));
    }
    auto mode = parse_padding_mode(padding_mode);
    if (!mode) return std::unexpected(std::move(mode.error()));
    data_ = data;
    cipher_.decrypt(data.data() + data.size() - BLOCK_SIZE, last_.data(), 1);
    return unpadded_length(*mode);
}

CoreResult<std::size_t> EcbDecryption::unpadded_length(PaddingMode mode) const {
    const std::uint8_t last = last_[BLOCK_SIZE - 1];
    const std::size_t last_offset = data_.size() - BLOCK_SIZE;
    if (mode == PaddingMode::Pkcs) return pkcs_unpadded_length(data_.size(), last);
    if (last == 0x80) return data_.size() - 1;
    if (last != 0x00) return std::unexpected(iso_unexpected_byte(last));
    if (auto marker = find_iso_marker(last_)) return last_offset + *marker;
    // The marker lies in an earlier block: decrypt backwards, some blocks at
    // a time, until it turns up. Rare, so it may cost a second decryption of
    // those blocks in write.
    alignas(16) std::array<std::uint8_t, SCAN_BLOCKS * BLOCK_SIZE> window;
    CoreResult<std::size_t> found = std::unexpected(iso_marker_missing());
    for (std::size_t end = last_offset; end > 0;) {
        const std::size_t start = end > window.size() ? end - window.size() : 0;
        cipher_.decrypt(data_.data() + start, window.data(), (end - start) / BLOCK_SIZE);
        if (auto marker = find_iso_marker(ByteView(window.data(), end - start))) {
            found = start + *marker;
            break;
        }
        end = start;
    }
    secure_wipe(window.data(), window.size());
    return found;
}

void EcbDecryption::write(std::span<std::uint8_t> out) const noexcept {
    const std::size_t whole = out.size() / BLOCK_SIZE;
    const std::size_t rest = out.size() % BLOCK_SIZE;
    cipher_.decrypt(data_.data(), out.data(), whole);
    if (rest == 0) return;
    const std::size_t offset = BLOCK_SIZE * whole;
    if (offset == data_.size() - BLOCK_SIZE) {
        std::memcpy(out.data() + offset, last_.data(), rest);
        return;
    }
    alignas(16) Block block;
    cipher_.decrypt(data_.data() + offset, block.data(), 1);
    std::memcpy(out.data() + offset, block.data(), rest);
    secure_wipe(block.data(), block.size());
}

namespace {

template <typename Operation>
CoreResult<ByteBuffer> run_into_buffer(ByteView data, ByteView key, std::string_view padding_mode, Engine engine) {
    Operation operation(engine);
    auto length = operation.prepare(data, key, padding_mode);
    if (!length) return std::unexpected(std::move(length.error()));
    auto result = ByteBuffer::allocate(*length);
    if (!result) return std::unexpected(std::move(result.error()));
    operation.write(std::span<std::uint8_t>(result->data(), result->size()));
    return result;
}

}  // namespace

CoreResult<ByteBuffer> encrypt_ecb(ByteView data, ByteView key, std::string_view padding_mode, Engine engine) {
    return run_into_buffer<EcbEncryption>(data, key, padding_mode, engine);
}

CoreResult<ByteBuffer> decrypt_ecb(ByteView data, ByteView key, std::string_view padding_mode, Engine engine) {
    return run_into_buffer<EcbDecryption>(data, key, padding_mode, engine);
}

}  // namespace korvalith::aes

#if KORVALITH_WITH_PYTHON

#include "module/submodules.hpp"
#include "module/wrapper.hpp"

namespace korvalith::py {

namespace {

// `text` is read in place when it is bytes or a bytearray. No Python code
// runs from then until the result is written: the key and padding-mode
// conversions run none when they succeed (and the view is not used after
// they fail), and creating the result runs none either, so a bytearray
// cannot be resized under the view by this thread; another thread, where
// threads run without the interpreter's lock, is kept from it by the export
// of its buffer that the view holds (module/arguments.hpp).
template <typename Operation>
WrapperResult run_ecb(const ByteSource& text, ByteView key, ByteView padding_mode) {
    Operation operation;
    auto length = operation.prepare(text.view(), key, as_string_view(padding_mode));
    if (!length) return std::unexpected(core_failure(length.error()));
    return bytes_written_by(*length, [&](std::span<std::uint8_t> out) -> CoreResult<void> {
        operation.write(out);
        return {};
    });
}

using EncryptEcb = PythonFunction<"encrypt_ecb", run_ecb<aes::EcbEncryption>, ByteSequence<"text">, Bytes<"key">,
                                  Text<"padding_mode">>;
using DecryptEcb = PythonFunction<"decrypt_ecb", run_ecb<aes::EcbDecryption>, ByteSequence<"text">, Bytes<"key">,
                                  Text<"padding_mode">>;

}  // namespace

}  // namespace korvalith::py

KORVALITH_PYTHON_SUBMODULE(aes, EncryptEcb, DecryptEcb);

#endif
