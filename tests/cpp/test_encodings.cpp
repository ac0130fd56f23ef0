// The Base32 and Base64 cores: the whole-group fast paths against a plain
// one-character-at-a-time model, with an unusual byte at every position of
// several groups, and the input preparation of the Python decode functions.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <ostream>
#include <vector>

#include "encodings/base32.hpp"
#include "encodings/base64.hpp"
#include "encodings/trim.hpp"

namespace korvalith {
namespace {

// What a decoder gave: the decoded bytes, or the message of its error.
struct Outcome {
    bool ok;
    std::string value;
    bool operator==(const Outcome&) const = default;
};

Outcome decoded(std::string bytes) { return {true, std::move(bytes)}; }
Outcome failed(std::string message) { return {false, std::move(message)}; }

void PrintTo(const Outcome& outcome, std::ostream* os) {
    *os << (outcome.ok ? "decoded " : "error ") << ::testing::PrintToString(outcome.value);
}

std::string latin1_as_utf8(std::uint8_t byte) {
    if (byte < 0x80) return std::string(1, static_cast<char>(byte));
    return {static_cast<char>(0xC0 | byte >> 6), static_cast<char>(0x80 | (byte & 0x3F))};
}

struct Encoding {
    const char* name;
    std::string_view alphabet;
    unsigned bits;
    std::size_t group;  // characters per group
    CoreResult<ByteBuffer> (*encode)(ByteView);
    CoreResult<ByteBuffer> (*decode)(ByteView);
    bool both_cases;

    // The decoding rules, one character at a time.
    Outcome model(std::string_view text) const {
        std::string out;
        std::uint32_t bits_held = 0;
        unsigned count = 0;
        for (char c : text) {
            if (c == '=') break;
            std::size_t value = alphabet.find(c);
            if (value == std::string_view::npos && both_cases && c >= 'a' && c <= 'z') {
                value = alphabet.find(static_cast<char>(c - 'a' + 'A'));
            }
            if (value == std::string_view::npos) {
                return failed(std::string("Invalid ") + name + " character: '" +
                              latin1_as_utf8(static_cast<std::uint8_t>(c)) + "'");
            }
            bits_held = (bits_held << bits | static_cast<std::uint32_t>(value)) & 0xFFFF;
            count += bits;
            if (count >= 8) {
                count -= 8;
                out += static_cast<char>(bits_held >> count & 0xFF);
            }
        }
        return decoded(out);
    }

    Outcome run_decode(std::string_view text) const {
        auto result = decode(as_byte_view(text));
        if (!result) {
            EXPECT_EQ(result.error().kind, CoreError::Kind::Invalid);
            return failed(result.error().message);
        }
        return decoded(std::string(result->text()));
    }

    std::string run_encode(std::string_view data) const {
        auto result = encode(as_byte_view(data));
        EXPECT_TRUE(result.has_value());
        return std::string(result->text());
    }
};

const Encoding BASE32{"Base32", BASE32_ALPHABET, 5, 8, base32_encode, base32_decode, true};
const Encoding BASE64{"base64", BASE64_ALPHABET, 6, 4, base64_encode, base64_decode, false};

std::string random_bytes(std::mt19937& generator, std::size_t size) {
    std::string bytes(size, '\0');
    for (auto& byte : bytes) byte = static_cast<char>(generator());
    return bytes;
}

class EncodingTest : public ::testing::TestWithParam<const Encoding*> {};

// The bytes that make a group leave the fast path, and some that must not.
const std::string UNUSUAL = std::string("=\n \t-_!.\x7F\x80\xC3\xFF", 12) + std::string(1, '\0');
const std::string ORDINARY = "AZaz27+/09";

TEST_P(EncodingTest, EveryPositionOfSeveralGroupsAgreesWithModel) {
    const Encoding& e = *GetParam();
    std::mt19937 generator(7);
    for (std::size_t length = 0; length <= 4 * e.group + 3; ++length) {
        std::string text = e.run_encode(random_bytes(generator, length * e.bits / 8 + 1)).substr(0, length);
        text.resize(length, e.alphabet[5]);
        ASSERT_EQ(e.run_decode(text), e.model(text)) << text;
        for (std::size_t position = 0; position < length; ++position) {
            for (char replacement : UNUSUAL + ORDINARY) {
                std::string changed = text;
                changed[position] = replacement;
                ASSERT_EQ(e.run_decode(changed), e.model(changed)) << e.name << " '" << changed << "'";
            }
        }
    }
}

TEST_P(EncodingTest, TwoUnusualBytesInAnyTwoPositions) {
    const Encoding& e = *GetParam();
    const std::string text = e.run_encode(std::string(3 * e.group, 'q')).substr(0, 3 * e.group);
    for (std::size_t first = 0; first < text.size(); ++first) {
        for (std::size_t second = first + 1; second < text.size(); ++second) {
            for (char a : std::string("=!\xE9", 3)) {
                for (char b : std::string("=?", 2)) {
                    std::string changed = text;
                    changed[first] = a;
                    changed[second] = b;
                    ASSERT_EQ(e.run_decode(changed), e.model(changed)) << changed;
                }
            }
        }
    }
}

TEST_P(EncodingTest, RoundTripsAndSizes) {
    const Encoding& e = *GetParam();
    std::mt19937 generator(11);
    const std::size_t bytes_per_group = e.group * e.bits / 8;
    for (std::size_t length : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 10u, 11u, 255u, 256u, 4099u, 100001u}) {
        const std::string data = random_bytes(generator, length);
        const std::string text = e.run_encode(data);
        EXPECT_EQ(text.size(), (length + bytes_per_group - 1) / bytes_per_group * e.group);
        EXPECT_EQ(e.run_decode(text), decoded(data)) << length;
        EXPECT_EQ(e.model(text), decoded(data)) << length;
        // Missing padding decodes the same.
        const std::string bare = text.substr(0, text.find('='));
        EXPECT_EQ(e.run_decode(bare), decoded(data)) << length;
    }
}

TEST_P(EncodingTest, EveryByteValueOutsideTheAlphabetIsReported) {
    const Encoding& e = *GetParam();
    for (unsigned byte = 0; byte < 256; ++byte) {
        const char c = static_cast<char>(byte);
        std::string text(2 * e.group, 'A');
        text[e.group + 1] = c;
        const bool in_alphabet = e.alphabet.find(c) != std::string_view::npos ||
                                 (e.both_cases && c >= 'a' && c <= 'z') || c == '=';
        EXPECT_EQ(e.run_decode(text).ok, in_alphabet) << byte;
        EXPECT_EQ(e.run_decode(text), e.model(text)) << byte;
    }
}

INSTANTIATE_TEST_SUITE_P(Cores, EncodingTest, ::testing::Values(&BASE32, &BASE64),
                         [](const auto& param_info) { return std::string(param_info.param->name); });

TEST(Base32, LowerCaseTakesTheFastPathToo) {
    const std::string upper = BASE32.run_encode("Korvalith lower case");
    std::string lower = upper;
    for (auto& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    EXPECT_EQ(BASE32.run_decode(lower), BASE32.run_decode(upper));
}

TEST(Base32, DecodeTableCoversAlphabetOnly) {
    int valid = 0;
    for (unsigned byte = 0; byte < 256; ++byte) valid += BASE32_DECODE_TABLE[byte] != 255;
    EXPECT_EQ(valid, 32 + 26);
    EXPECT_EQ(BASE32_DECODE_TABLE['='], 255);
    EXPECT_EQ(BASE32_DECODE_TABLE['7'], 31);
    EXPECT_EQ(BASE32_DECODE_TABLE['z'], 25);
}

TEST(Base64, DecodeTableCoversAlphabetOnly) {
    int valid = 0;
    for (unsigned byte = 0; byte < 256; ++byte) valid += BASE64_DECODE_TABLE[byte] != 255;
    EXPECT_EQ(valid, 64);
    EXPECT_EQ(BASE64_DECODE_TABLE['-'], 255);
    EXPECT_EQ(BASE64_DECODE_TABLE['_'], 255);
    EXPECT_EQ(BASE64_DECODE_TABLE['/'], 63);
}

std::string_view trimmed(std::string_view text) { return as_string_view(trim_for_decode(as_byte_view(text))); }

TEST(TrimForDecode, RemovesWhiteSpaceThenTrailingPadding) {
    EXPECT_EQ(trimmed(" \t\n\v\f\rZm8=\r\n "), "Zm8");
    EXPECT_EQ(trimmed("\u3000\u00A0\u0085Zm8=\u2028\u2029\u202F\u205F\u1680"), "Zm8");
    EXPECT_EQ(trimmed("\u2000\u2005\u200AMY======\u2001"), "MY");
    EXPECT_EQ(trimmed("Zm8 ==="), "Zm8 ");
    EXPECT_EQ(trimmed("==Zm8"), "==Zm8");
    EXPECT_EQ(trimmed(" = "), "");
    EXPECT_EQ(trimmed(""), "");
    EXPECT_EQ(trimmed("\u3000"), "");
}

TEST(TrimForDecode, KeepsEverythingElse) {
    // Not White_Space: information separators, zero-width space, BOM, U+180E.
    for (std::string_view kept : {"\x1C", "\x1F", "\u200B", "\uFEFF", "\u180E", "\u2060", "\u00A1", "\u3001"}) {
        const std::string text = std::string(kept) + "Zm8" + std::string(kept);
        EXPECT_EQ(trimmed(text), text) << text;
    }
    // A bare continuation or lead byte at an end is not white space.
    EXPECT_EQ(trimmed("\x85Zm8\xA0"), "\x85Zm8\xA0");
    EXPECT_EQ(trimmed("Zm8\xE3\x80"), "Zm8\xE3\x80");
}

}  // namespace
}  // namespace korvalith
