// UTF-8 checked in pieces answers as UTF-8 checked whole, wherever the
// pieces cut a character; and a character is judged alike wherever it
// stands in a long run of ASCII.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "common/utf8.hpp"

namespace korvalith {
namespace {

// Valid characters of every length and the ways a text fails: a lone
// continuation byte, leads that never start a character, an overlong form, a
// surrogate, a code point above U+10FFFF, a character cut short.
const std::vector<std::string> PARTS = {"a",        "\n",           "\xc3\xa9",     "\xe2\x82\xac", "\xf0\x9f\x98\x80",
                                        "\x80",     "\xc0\xaf",     "\xff",         "\xe0\x80\x80", "\xed\xa0\x80",
                                        "\xf4\x90\x80\x80", "\xe2\x82", "\xf0\x9f\x98"};

TEST(Utf8Pieces, AnswersAsTheWholeText) {
    std::mt19937 random(8);
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const std::size_t parts = random() % 6;
        for (std::size_t i = 0; i < parts; ++i) {
            // Mostly valid characters, so that texts are valid often enough.
            const std::size_t index = random() % 4 == 0 ? random() % PARTS.size() : random() % 5;
            text += PARTS[index];
        }
        Utf8Pieces pieces;
        std::size_t at = 0;
        while (at < text.size()) {
            const std::size_t size = std::min<std::size_t>(random() % 4, text.size() - at);
            pieces.feed(as_byte_view(std::string_view(text).substr(at, size)));
            at += size;
        }
        EXPECT_EQ(pieces.finish(), is_valid_utf8(as_byte_view(text))) << ::testing::PrintToString(text);
    }
}

// Long runs of ASCII are skipped a block at a time: a character anywhere in
// or after such a run is still judged as it is alone.
TEST(Utf8, CharacterAnywhereInALongAsciiRun) {
    for (const std::string& part : PARTS) {
        const bool valid = is_valid_utf8(as_byte_view(part));
        for (std::size_t before = 0; before < 140; ++before) {
            const std::string text = std::string(before, 'a') + part + std::string(139 - before, 'z');
            EXPECT_EQ(is_valid_utf8(as_byte_view(text)), valid) << ::testing::PrintToString(part) << " after "
                                                                << before;
        }
    }
}

}  // namespace
}  // namespace korvalith
