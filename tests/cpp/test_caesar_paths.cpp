// Every instruction-set path of the letter shift of Caesar and ROT13 against
// the translation through CAESAR_TABLE: every byte value in every lane, for
// every row, over lengths that end within and after vector blocks. Inputs
// and outputs live in buffers of exactly their length, so the sanitizers see
// any access beyond them.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "ciphers/caesar.hpp"

namespace korvalith {

void PrintTo(VectorPath path, std::ostream* os) { *os << vector_path_name(path); }

namespace {

class ShiftPathTest : public ::testing::TestWithParam<VectorPath> {
protected:
    void SetUp() override {
        if (!vector_path_supported(GetParam())) {
            GTEST_SKIP() << "this CPU lacks the instructions of the " << vector_path_name(GetParam()) << " path";
        }
    }

    static void expect_as_table(const std::vector<std::uint8_t>& text, unsigned row) {
        std::vector<std::uint8_t> expected(text.size());
        std::vector<std::uint8_t> out(text.size());
        translate_bytes(CAESAR_TABLE[row], text, expected.data());
        shift_letters_into(text, row, out.data(), GetParam());
        ASSERT_EQ(out, expected) << "row " << row << ", " << text.size() << " bytes";
    }
};

TEST_P(ShiftPathTest, EveryByteValueInEveryLaneForEveryRow) {
    // 256 values shifted through 67 lanes, one lane further each time
    // round: each value meets every position of a 16-, 32- and 64-byte block.
    std::vector<std::uint8_t> text(256 * 67);
    for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<std::uint8_t>(i % 256 + i / 256);
    for (unsigned row = 0; row < 26; ++row) expect_as_table(text, row);
}

TEST_P(ShiftPathTest, LengthsAroundTheBlocks) {
    std::mt19937 random(26);
    for (std::size_t size = 0; size <= 100; ++size) {
        std::vector<std::uint8_t> text(size);
        for (auto& byte : text) byte = static_cast<std::uint8_t>(random());
        expect_as_table(text, static_cast<unsigned>(size % 26));
    }
}

std::string path_name(const ::testing::TestParamInfo<VectorPath>& tested) { return vector_path_name(tested.param); }

INSTANTIATE_TEST_SUITE_P(Paths, ShiftPathTest, ::testing::ValuesIn(VECTOR_PATHS), path_name);

}  // namespace
}  // namespace korvalith
