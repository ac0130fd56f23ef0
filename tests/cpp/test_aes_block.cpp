// AES block encryption and decryption: the published cipher examples for the
// three key sizes, the order of the length checks, and round trips.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "ciphers/aes/decryption.hpp"
#include "ciphers/aes/encryption.hpp"

namespace {

using korvalith::aes::Block;
using korvalith::aes::decrypt_block;
using korvalith::aes::encrypt_block;
using korvalith::aes::expand_key;

std::vector<std::uint8_t> from_hex(const std::string& hex) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

std::vector<std::uint8_t> counting_key(std::size_t length) {
    std::vector<std::uint8_t> key(length);
    for (std::size_t i = 0; i < length; ++i) key[i] = static_cast<std::uint8_t>(i);
    return key;
}

std::vector<std::uint8_t> as_vector(const Block& block) { return {block.begin(), block.end()}; }

struct CipherExample {
    std::size_t key_length;
    const char* ciphertext;
};

class AesCipherExample : public testing::TestWithParam<CipherExample> {};

TEST_P(AesCipherExample, EncryptsAndDecrypts) {
    const auto key = counting_key(GetParam().key_length);
    const auto plaintext = from_hex("00112233445566778899aabbccddeeff");
    const auto ciphertext = from_hex(GetParam().ciphertext);

    auto encrypted = encrypt_block(plaintext, key);
    ASSERT_TRUE(encrypted.has_value());
    EXPECT_EQ(as_vector(*encrypted), ciphertext);

    auto decrypted = decrypt_block(ciphertext, key);
    ASSERT_TRUE(decrypted.has_value());
    EXPECT_EQ(as_vector(*decrypted), plaintext);
}

INSTANTIATE_TEST_SUITE_P(KeySizes, AesCipherExample,
                         testing::Values(CipherExample{16, "69c4e0d86a7b0430d8cdb78070b4c55a"},
                                         CipherExample{24, "dda97ca4864cdfe06eaf70a0ec0d7191"},
                                         CipherExample{32, "8ea2b7ca516745bfeafc49904b496089"}),
                         [](const auto& example) { return "Aes" + std::to_string(example.param.key_length * 8); });

// The 128-bit example of the key-expansion appendix, through the cipher.
TEST(AesBlock, Aes128SecondExample) {
    auto encrypted = encrypt_block(from_hex("3243f6a8885a308d313198a2e0370734"),
                                   from_hex("2b7e151628aed2a6abf7158809cf4f3c"));
    ASSERT_TRUE(encrypted.has_value());
    EXPECT_EQ(as_vector(*encrypted), from_hex("3925841d02dc09fbdc118597196a0b32"));
}

TEST(AesBlock, KeyLengthIsCheckedFirst) {
    const std::vector<std::uint8_t> block(16, 0);
    for (std::size_t length : {0, 15, 17, 20, 33}) {
        const std::vector<std::uint8_t> key(length, 1);
        for (auto result : {encrypt_block(block, key), decrypt_block(block, key)}) {
            ASSERT_FALSE(result.has_value());
            EXPECT_EQ(result.error().message, "Invalid key length: " + std::to_string(length));
        }
    }
    // A bad key is reported even when the block is bad too.
    const std::vector<std::uint8_t> key(20, 1);
    const std::vector<std::uint8_t> short_block(10, 0);
    EXPECT_EQ(encrypt_block(short_block, key).error().message, "Invalid key length: 20");
    EXPECT_EQ(decrypt_block(short_block, key).error().message, "Invalid key length: 20");
}

TEST(AesBlock, RejectsBlocksOtherThanSixteenBytes) {
    const std::vector<std::uint8_t> key(16, 1);
    for (std::size_t length : {0, 1, 15, 17, 32}) {
        const std::vector<std::uint8_t> block(length, 0);
        const std::string expected = "Amount of bytes in block is not correct: " + std::to_string(length);
        EXPECT_EQ(encrypt_block(block, key).error().message, expected);
        EXPECT_EQ(decrypt_block(block, key).error().message, expected);
    }
}

TEST(AesBlock, RoundTripsRandomBlocksAndAgreesWithSchedule) {
    std::mt19937 random(197);
    for (std::size_t key_length : {16, 24, 32}) {
        for (int trial = 0; trial < 50; ++trial) {
            std::vector<std::uint8_t> key(key_length);
            std::vector<std::uint8_t> block(16);
            for (auto& b : key) b = static_cast<std::uint8_t>(random());
            for (auto& b : block) b = static_cast<std::uint8_t>(random());

            auto encrypted = encrypt_block(block, key);
            ASSERT_TRUE(encrypted.has_value());
            auto decrypted = decrypt_block(*encrypted, key);
            ASSERT_TRUE(decrypted.has_value());
            EXPECT_EQ(as_vector(*decrypted), block);

            // The schedule entry, run in place, gives the same bytes.
            auto schedule = expand_key(key);
            ASSERT_TRUE(schedule.has_value());
            Block in_place;
            std::copy(block.begin(), block.end(), in_place.begin());
            encrypt_block(*schedule, in_place, in_place);
            EXPECT_EQ(in_place, *encrypted);
            decrypt_block(*schedule, in_place, in_place);
            EXPECT_EQ(as_vector(in_place), block);
        }
    }
}

}  // namespace
