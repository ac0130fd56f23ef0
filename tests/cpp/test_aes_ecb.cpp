// AES-ECB driver: output lengths, padding round trips, and the order in which
// its failures are reported.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ciphers/aes/ecb.hpp"
#include "ciphers/aes/encryption.hpp"

namespace {

using korvalith::ByteBuffer;
using korvalith::CoreResult;
using korvalith::aes::decrypt_ecb;
using korvalith::aes::encrypt_ecb;

ByteBuffer buffer_of(const std::vector<std::uint8_t>& bytes) {
    ByteBuffer buffer;
    EXPECT_TRUE(buffer.append(bytes.data(), bytes.size()));
    return buffer;
}

std::vector<std::uint8_t> contents(const ByteBuffer& buffer) { return {buffer.view().begin(), buffer.view().end()}; }

std::string error_of(const CoreResult<ByteBuffer>& result) {
    return result.has_value() ? std::string("(no error)") : result.error().message;
}

const std::vector<std::uint8_t> KEY_128(16, 0x11);
const std::vector<std::uint8_t> KEY_5(5, 0x11);

TEST(AesEcb, RoundTripsEveryLengthAndMode) {
    for (std::size_t key_length : {16, 24, 32}) {
        const std::vector<std::uint8_t> key(key_length, 0xA5);
        for (const char* mode : {"iso", "PKCS#7"}) {
            for (std::size_t length : {0, 1, 15, 16, 17, 47, 48}) {
                std::vector<std::uint8_t> text(length);
                for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<std::uint8_t>(i * 13 + 0x80);
                auto encrypted = encrypt_ecb(buffer_of(text), key, mode);
                ASSERT_TRUE(encrypted.has_value());
                EXPECT_EQ(encrypted->size(), 16 * (length / 16 + 1));
                auto decrypted = decrypt_ecb(std::move(*encrypted), key, mode);
                ASSERT_TRUE(decrypted.has_value()) << error_of(decrypted);
                EXPECT_EQ(contents(*decrypted), text);
            }
        }
    }
}

TEST(AesEcb, EncryptsEachBlockAlone) {
    // Two equal halves give two equal ciphertext blocks, each the block cipher's output.
    std::vector<std::uint8_t> text(32);
    for (std::size_t i = 0; i < 32; ++i) text[i] = static_cast<std::uint8_t>(i % 16);
    auto encrypted = encrypt_ecb(buffer_of(text), KEY_128, "pkcs");
    ASSERT_TRUE(encrypted.has_value());
    ASSERT_EQ(encrypted->size(), 48U);
    auto first = contents(*encrypted);
    auto single = korvalith::aes::encrypt_block(korvalith::ByteView(text.data(), 16), KEY_128);
    ASSERT_TRUE(single.has_value());
    EXPECT_TRUE(std::equal(single->begin(), single->end(), first.begin()));
    EXPECT_TRUE(std::equal(single->begin(), single->end(), first.begin() + 16));
}

TEST(AesEcb, EncryptReportsModeBeforeKey) {
    EXPECT_EQ(error_of(encrypt_ecb(buffer_of({1, 2, 3}), KEY_5, "Iso")),
              "Not a valid padding mode: Iso. Acceptable padding mode are: iso, pkcs.");
    EXPECT_EQ(error_of(encrypt_ecb(buffer_of({1, 2, 3}), KEY_5, "pkcs")), "Invalid key length: 5");
    EXPECT_EQ(error_of(encrypt_ecb(ByteBuffer(), KEY_5, "iso")), "Invalid key length: 5");
}

TEST(AesEcb, DecryptFailureOrder) {
    // Empty data: neither key nor mode is examined.
    EXPECT_EQ(error_of(decrypt_ecb(ByteBuffer(), KEY_5, "nonsense")), "Invalid ciphertext length: 0");
    // Key before block length and before mode.
    EXPECT_EQ(error_of(decrypt_ecb(buffer_of(std::vector<std::uint8_t>(16)), KEY_5, "nonsense")),
              "Invalid key length: 5");
    EXPECT_EQ(error_of(decrypt_ecb(buffer_of(std::vector<std::uint8_t>(20)), KEY_5, "nonsense")),
              "Invalid key length: 5");
    // The short last block's length, before the mode.
    EXPECT_EQ(error_of(decrypt_ecb(buffer_of(std::vector<std::uint8_t>(20)), KEY_128, "nonsense")),
              "Amount of bytes in block is not correct: 4");
    EXPECT_EQ(error_of(decrypt_ecb(buffer_of(std::vector<std::uint8_t>(7)), KEY_128, "iso")),
              "Amount of bytes in block is not correct: 7");
    // The mode after a successful decryption.
    auto encrypted = encrypt_ecb(buffer_of({1, 2, 3}), KEY_128, "iso");
    ASSERT_TRUE(encrypted.has_value());
    EXPECT_EQ(error_of(decrypt_ecb(std::move(*encrypted), KEY_128, "nonsense")),
              "Not a valid padding mode: nonsense. Acceptable padding mode are: iso, pkcs.");
}

TEST(AesEcb, DecryptReportsUnpaddingFailure) {
    // PKCS padding of 15 bytes ends in 0x01, which the ISO scheme rejects.
    auto encrypted = encrypt_ecb(buffer_of(std::vector<std::uint8_t>(15, 0x41)), KEY_128, "pkcs");
    ASSERT_TRUE(encrypted.has_value());
    EXPECT_EQ(error_of(decrypt_ecb(std::move(*encrypted), KEY_128, "ISO/IEC")),
              "Unexpected character found when unpadding, expected 0, found: 1");
}

}  // namespace
