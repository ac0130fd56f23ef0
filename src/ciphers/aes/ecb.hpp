// AES in electronic-codebook mode over whole byte data, with ISO/IEC 7816-4 or
// PKCS#7 padding: the driver behind ciphers.aes.encrypt_ecb and decrypt_ecb.
//
// Each direction runs in two steps, so that the caller can make the result
// once, at its final length, and have it written in place: prepare checks
// everything that can fail and works out the result's length; write then
// fills a result of that length and cannot fail. The data is read where it
// lies and must stay unchanged between the two.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "ciphers/aes/block.hpp"
#include "ciphers/aes/engine.hpp"
#include "ciphers/aes/padding.hpp"
#include "common/byte_buffer.hpp"
#include "common/core_error.hpp"

namespace korvalith::aes {

class EcbEncryption {
public:
    explicit EcbEncryption(Engine engine = fastest_engine()) noexcept : engine_(engine) {}
    EcbEncryption(const EcbEncryption&) = delete;
    EcbEncryption& operator=(const EcbEncryption&) = delete;

    // Selects the padding scheme and expands the key. Fails, in this order,
    // on an unknown padding mode, then on a key that is not 16, 24 or 32
    // bytes long. Returns the ciphertext's length, 16·(⌊n/16⌋ + 1).
    CoreResult<std::size_t> prepare(ByteView data, ByteView key, std::string_view padding_mode);

    // Encrypts the whole blocks of the data into `out`, then the last block
    // padded (`out` holds exactly the prepared length).
    void write(std::span<std::uint8_t> out) const noexcept;

private:
    Engine engine_;
    BlockCipher cipher_;
    ByteView data_;
    PaddingMode mode_ = PaddingMode::Pkcs;
};

class EcbDecryption {
public:
    explicit EcbDecryption(Engine engine = fastest_engine()) noexcept : engine_(engine) {}
    EcbDecryption(const EcbDecryption&) = delete;
    EcbDecryption& operator=(const EcbDecryption&) = delete;
    ~EcbDecryption();

    // Fails, in this order, on a bad key length (when there is at least one
    // block), on a short last block, on empty data, on an unknown padding
    // mode, and on padding that cannot be removed. To find the padding it
    // decrypts the last block (and, when an ISO/IEC marker lies further back,
    // the blocks before it until the marker). Returns the length of the
    // plaintext without its padding.
    CoreResult<std::size_t> prepare(ByteView data, ByteView key, std::string_view padding_mode);

    // Decrypts the data's first `out.size()` bytes (the prepared length) into `out`.
    void write(std::span<std::uint8_t> out) const noexcept;

private:
    CoreResult<std::size_t> unpadded_length(PaddingMode mode) const;

    Engine engine_;
    BlockCipher cipher_;
    ByteView data_;
    alignas(16) Block last_{};  // the last block, decrypted by prepare
};

// Both steps into a new buffer of the result's length.
CoreResult<ByteBuffer> encrypt_ecb(ByteView data, ByteView key, std::string_view padding_mode,
                                   Engine engine = fastest_engine());
CoreResult<ByteBuffer> decrypt_ecb(ByteView data, ByteView key, std::string_view padding_mode,
                                   Engine engine = fastest_engine());

}  // namespace korvalith::aes
