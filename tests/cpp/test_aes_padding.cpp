// Padding schemes of AES-ECB: mode names, padding lengths and bytes, and the
// unpadding rules including their failures.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ciphers/aes/padding.hpp"

namespace {

using korvalith::ByteBuffer;
using korvalith::aes::PaddingMode;
using namespace korvalith::aes;

ByteBuffer buffer_of(const std::vector<std::uint8_t>& bytes) {
    ByteBuffer buffer;
    EXPECT_TRUE(buffer.append(bytes.data(), bytes.size()));
    return buffer;
}

std::vector<std::uint8_t> contents(const ByteBuffer& buffer) { return {buffer.view().begin(), buffer.view().end()}; }

TEST(AesPadding, ParsesExactlyTheEightNames) {
    for (const char* name : {"iso", "ISO", "iso/iec", "ISO/IEC"}) {
        EXPECT_EQ(parse_padding_mode(name).value(), PaddingMode::Iso) << name;
    }
    for (const char* name : {"pkcs", "PKCS", "pkcs#7", "PKCS#7"}) {
        EXPECT_EQ(parse_padding_mode(name).value(), PaddingMode::Pkcs) << name;
    }
    for (std::string name : {"Iso", "pkcs7", "", " iso", "iso ", "ISO/iec", "Pkcs#7", "nonsense"}) {
        auto mode = parse_padding_mode(name);
        ASSERT_FALSE(mode.has_value()) << name;
        EXPECT_EQ(mode.error().message, "Not a valid padding mode: " + name + ". Acceptable padding mode are: iso, pkcs.");
    }
    // A name with an embedded NUL is not a prefix match.
    EXPECT_FALSE(parse_padding_mode(std::string_view("iso\0x", 5)).has_value());
}

TEST(AesPadding, IsoAppendsMarkerThenZeros) {
    for (std::size_t length : {0, 1, 14, 15, 16, 17, 31, 32}) {
        ByteBuffer data = buffer_of(std::vector<std::uint8_t>(length, 0x80));
        ASSERT_TRUE(pad_iso(data).has_value());
        const std::size_t added = 16 - length % 16;
        ASSERT_EQ(data.size(), length + added) << length;
        EXPECT_EQ(data.data()[length], 0x80);
        for (std::size_t i = length + 1; i < data.size(); ++i) EXPECT_EQ(data.data()[i], 0x00);
    }
}

TEST(AesPadding, PkcsAppendsCountBytes) {
    for (std::size_t length : {0, 1, 15, 16, 17, 32}) {
        ByteBuffer data = buffer_of(std::vector<std::uint8_t>(length, 0x07));
        ASSERT_TRUE(pad_pkcs(data).has_value());
        const std::size_t added = 16 - length % 16;
        ASSERT_EQ(data.size(), length + added);
        for (std::size_t i = length; i < data.size(); ++i) EXPECT_EQ(data.data()[i], added);
    }
}

TEST(AesPadding, UnpadReversesPad) {
    for (PaddingMode mode : {PaddingMode::Iso, PaddingMode::Pkcs}) {
        for (std::size_t length = 0; length <= 33; ++length) {
            std::vector<std::uint8_t> original(length);
            for (std::size_t i = 0; i < length; ++i) original[i] = static_cast<std::uint8_t>(0x7B + i * 37);
            ByteBuffer data = buffer_of(original);
            ASSERT_TRUE(pad(mode, data).has_value());
            ASSERT_TRUE(unpad(mode, data).has_value());
            EXPECT_EQ(contents(data), original) << length;
        }
    }
}

TEST(AesPadding, PkcsUnpadTrustsTheLastByte) {
    std::vector<std::uint8_t> block(16, 0xEE);
    block[15] = 0x00;  // nothing removed
    ByteBuffer data = buffer_of(block);
    unpad_pkcs(data);
    EXPECT_EQ(data.size(), 16U);

    block[15] = 0x05;  // five bytes removed whatever their values
    data = buffer_of(block);
    unpad_pkcs(data);
    EXPECT_EQ(contents(data), std::vector<std::uint8_t>(11, 0xEE));

    block[15] = 0x20;  // more than the length: everything removed
    data = buffer_of(block);
    unpad_pkcs(data);
    EXPECT_TRUE(data.empty());
}

TEST(AesPadding, IsoUnpadCutsAtTheLastMarker) {
    // 0x80 0x41 0x00 at the end: cut at the 0x80, the 0x41 is not checked.
    std::vector<std::uint8_t> block(16, 0x80);
    block[13] = 0x80;
    block[14] = 0x41;
    block[15] = 0x00;
    ByteBuffer data = buffer_of(block);
    ASSERT_TRUE(unpad_iso(data).has_value());
    EXPECT_EQ(data.size(), 13U);

    // A final 0x80 is removed alone, even after earlier markers.
    data = buffer_of(std::vector<std::uint8_t>(16, 0x80));
    ASSERT_TRUE(unpad_iso(data).has_value());
    EXPECT_EQ(data.size(), 15U);

    // The marker may be in an earlier block.
    std::vector<std::uint8_t> two_blocks(32, 0x00);
    two_blocks[3] = 0x80;
    data = buffer_of(two_blocks);
    ASSERT_TRUE(unpad_iso(data).has_value());
    EXPECT_EQ(data.size(), 3U);
}

TEST(AesPadding, IsoUnpadFailures) {
    std::vector<std::uint8_t> block(16, 0x00);
    ByteBuffer data = buffer_of(block);
    auto result = unpad_iso(data);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().message, "Unexpected end before finding 0x80");
    EXPECT_EQ(data.size(), 16U);

    for (auto [last, hex] : {std::pair{0x07, "7"}, {0x2A, "2a"}, {0x01, "1"}, {0xFF, "ff"}, {0x81, "81"}}) {
        block[15] = static_cast<std::uint8_t>(last);
        data = buffer_of(block);
        result = unpad_iso(data);
        ASSERT_FALSE(result.has_value());
        EXPECT_EQ(result.error().message,
                  std::string("Unexpected character found when unpadding, expected 0, found: ") + hex);
    }
}

}  // namespace
