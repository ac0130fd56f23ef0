// Every instruction-set path of the table translation against the plain
// loop: tables that change none, one, some or all of their sixteen segments,
// every length up to 300 (the vector loops take inputs from 128 bytes on) and
// some long ones, starts off any alignment, and in place. Inputs and outputs
// live in buffers of exactly their length, so the sanitizers see any access
// beyond them.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "ciphers/translate.hpp"

namespace korvalith {

void PrintTo(VectorPath path, std::ostream* os) { *os << vector_path_name(path); }

namespace {

TranslationTable identity() {
    TranslationTable table;
    for (unsigned b = 0; b < 256; ++b) table[b] = static_cast<std::uint8_t>(b);
    return table;
}

// A table that changes exactly the segments in `changed`: random entries
// there, one of them forced off its own index.
TranslationTable table_changing(std::uint16_t changed, std::mt19937& random) {
    TranslationTable table = identity();
    for (unsigned s = 0; s < 16; ++s) {
        if ((changed >> s & 1U) == 0) continue;
        for (unsigned i = 0; i < 16; ++i) {
            if (random() % 2 == 0) table[s * 16 + i] = static_cast<std::uint8_t>(random());
        }
        const unsigned forced = s * 16 + random() % 16;
        table[forced] = static_cast<std::uint8_t>(forced ^ (1 + random() % 255));
    }
    return table;
}

std::vector<std::uint8_t> random_bytes(std::size_t size, std::mt19937& random) {
    std::vector<std::uint8_t> bytes(size);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
    return bytes;
}

TEST(ChangedSegments, NamesTheSegmentsThatDifferFromTheIdentity) {
    EXPECT_EQ(changed_segments(identity()), 0);
    TranslationTable letters = identity();
    for (unsigned b = 'A'; b <= 'Z'; ++b) letters[b] = static_cast<std::uint8_t>(b + 32);
    for (unsigned b = 'a'; b <= 'z'; ++b) letters[b] = static_cast<std::uint8_t>(b - 32);
    EXPECT_EQ(changed_segments(letters), 0b1111'0000);
    TranslationTable ends = identity();
    ends[0x0F] = 0;
    ends[0xF0] = 0xF0;  // its own value: no change
    ends[0xFF] = 0;
    EXPECT_EQ(changed_segments(ends), 0b1000'0000'0000'0001);
}

class TranslatePathTest : public ::testing::TestWithParam<VectorPath> {
protected:
    void SetUp() override {
        if (!vector_path_supported(GetParam())) {
            GTEST_SKIP() << "this CPU lacks the instructions of the " << vector_path_name(GetParam()) << " path";
        }
    }

    static void expect_as_plain(const TranslationTable& table, const std::vector<std::uint8_t>& text,
                                const std::string& what) {
        std::vector<std::uint8_t> expected(text.size());
        std::vector<std::uint8_t> out(text.size());
        translate_bytes(table, text, expected.data());
        translate_into(table, text, out.data(), GetParam());
        ASSERT_EQ(out, expected) << what << ", " << text.size() << " bytes";
        std::vector<std::uint8_t> in_place = text;
        translate_into(table, in_place, in_place.data(), GetParam());
        ASSERT_EQ(in_place, expected) << what << " in place, " << text.size() << " bytes";
    }
};

// None, one at either end, a letters-only table's four, some at random, all.
std::vector<std::uint16_t> segment_sets(std::mt19937& random) {
    std::vector<std::uint16_t> sets = {0, 0x0001, 0x8000, 0x00F0, 0xFFFF};
    for (int i = 0; i < 6; ++i) sets.push_back(static_cast<std::uint16_t>(random()));
    return sets;
}

TEST_P(TranslatePathTest, EveryLengthUpTo300) {
    std::mt19937 random(39);
    for (std::uint16_t changed : segment_sets(random)) {
        const TranslationTable table = table_changing(changed, random);
        ASSERT_EQ(changed_segments(table), changed);
        for (std::size_t size = 0; size <= 300; ++size) {
            expect_as_plain(table, random_bytes(size, random), "segments " + std::to_string(changed));
        }
    }
}

TEST_P(TranslatePathTest, LongInputsFromEveryAlignment) {
    std::mt19937 random(40);
    for (std::uint16_t changed : segment_sets(random)) {
        const TranslationTable table = table_changing(changed, random);
        const std::vector<std::uint8_t> text = random_bytes(5000 + 64, random);
        for (std::size_t start = 0; start < 64; start += 7) {
            const std::vector<std::uint8_t> part(text.begin() + static_cast<std::ptrdiff_t>(start),
                                                 text.end() - static_cast<std::ptrdiff_t>(63 - start));
            expect_as_plain(table, part, "segments " + std::to_string(changed) + " from " + std::to_string(start));
        }
    }
}

TEST_P(TranslatePathTest, EveryByteValueInEveryLane) {
    // 256 values shifted through 67 lanes, one lane further each time round.
    std::vector<std::uint8_t> text(256 * 67);
    for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<std::uint8_t>(i % 256 + i / 256);
    std::mt19937 random(41);
    TranslationTable reversed;
    for (unsigned b = 0; b < 256; ++b) reversed[b] = static_cast<std::uint8_t>(255 - b);
    expect_as_plain(reversed, text, "reversed");
    expect_as_plain(table_changing(0x00F0, random), text, "letters' segments");
}

std::string path_name(const ::testing::TestParamInfo<VectorPath>& tested) { return vector_path_name(tested.param); }

INSTANTIATE_TEST_SUITE_P(Paths, TranslatePathTest, ::testing::ValuesIn(VECTOR_PATHS), path_name);

}  // namespace
}  // namespace korvalith
