// Every instruction-set path of the Base32 and Base64 cores against the
// plain one: the same text from every encoder, and the same bytes or the
// same error from every decoder, with irregular characters at every position
// within and across vector blocks. Inputs and outputs live in buffers of
// exactly their length, so the sanitizers see any access beyond them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <optional>
#include <ostream>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "encodings/base32.hpp"
#include "encodings/base64.hpp"

namespace korvalith {

// Test names and failure reports show the path's name.
void PrintTo(VectorPath path, std::ostream* os) { *os << vector_path_name(path); }

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytes_of(std::string_view text) { return Bytes(text.begin(), text.end()); }

struct Outcome {
    bool ok;
    Bytes value;  // the decoded bytes, or the error message
    bool operator==(const Outcome&) const = default;
};

template <typename T>
Outcome outcome_of(const CoreResult<T>& decoded, Bytes out) {
    if (!decoded) return {false, bytes_of(decoded.error().message)};
    return {true, std::move(out)};
}

void PrintTo(const Outcome& outcome, std::ostream* os) {
    *os << (outcome.ok ? "decoded " : "error ")
        << ::testing::PrintToString(std::string(outcome.value.begin(), outcome.value.end()));
}

struct Codec {
    const char* name;
    std::size_t group;  // characters per group
    std::optional<std::size_t> (*encoded_size)(std::size_t);
    void (*encode_into)(ByteView, std::span<std::uint8_t>, VectorPath);
    std::size_t (*decoded_size)(ByteView);
    CoreResult<void> (*decode_into)(ByteView, std::span<std::uint8_t>, VectorPath);
    std::size_t (*decoded_size_bound)(ByteView);
    CoreResult<std::size_t> (*decode_within)(ByteView, std::span<std::uint8_t>, VectorPath);
    CodecKernels (*kernels)(VectorPath);

    Bytes encode(const Bytes& data, VectorPath path) const {
        Bytes out(*encoded_size(data.size()));
        encode_into(data, out, path);
        return out;
    }

    // Also into the room of decoded_size_bound, which a "=" before the
    // closing run leaves larger than the result: the same outcome.
    Outcome decode(const Bytes& text, VectorPath path) const {
        Bytes out(decoded_size(text));
        auto decoded = decode_into(text, out, path);
        Bytes room(decoded_size_bound(text));
        auto within = decode_within(text, room, path);
        if (within) room.resize(*within);
        const Outcome outcome = outcome_of(decoded, std::move(out));
        EXPECT_EQ(outcome, outcome_of(within, std::move(room)));
        return outcome;
    }
};

void PrintTo(const Codec* codec, std::ostream* os) { *os << codec->name; }

template <typename C>
Codec codec_of(const char* name, CodecKernels (*kernels)(VectorPath) noexcept) {
    return {name,
            C::GROUP_CHARACTERS,
            C::encoded_size,
            [](ByteView data, std::span<std::uint8_t> out, VectorPath path) { C::encode_into(data, out, path); },
            C::decoded_size,
            [](ByteView text, std::span<std::uint8_t> out, VectorPath path) { return C::decode_into(text, out, path); },
            C::decoded_size_bound,
            [](ByteView text, std::span<std::uint8_t> out, VectorPath path) {
                return C::decode_within(text, out, path);
            },
            kernels};
}

const Codec BASE32 = codec_of<Base32>("Base32", base32_kernels);
const Codec BASE64 = codec_of<Base64>("Base64", base64_kernels);

Bytes random_bytes(std::mt19937& generator, std::size_t size) {
    Bytes bytes(size);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(generator());
    return bytes;
}

// Plain alphabet text of exactly `length` characters.
Bytes plain_text(const Codec& codec, std::mt19937& generator, std::size_t length) {
    Bytes text = codec.encode(random_bytes(generator, length + 8), VectorPath::scalar);
    text.resize(length);
    return text;
}

class EncodingPathTest : public ::testing::TestWithParam<std::tuple<const Codec*, VectorPath>> {
protected:
    void SetUp() override {
        if (!vector_path_supported(path())) {
            GTEST_SKIP() << "this CPU lacks the instructions of the " << vector_path_name(path()) << " path";
        }
    }
    const Codec& codec() const { return *std::get<0>(GetParam()); }
    VectorPath path() const { return std::get<1>(GetParam()); }

    // Decoding on this path gives exactly what the plain path gives.
    void expect_same_decoding(const Bytes& text) const {
        ASSERT_EQ(codec().decode(text, path()), codec().decode(text, VectorPath::scalar))
            << codec().name << " '" << std::string(text.begin(), text.end()) << "'";
    }
};

TEST_P(EncodingPathTest, Rfc4648Vectors) {
    const bool base32 = &codec() == &BASE32;
    const std::string_view data[] = {"", "f", "fo", "foo", "foob", "fooba", "foobar"};
    const std::string_view base32_text[] = {"",         "MY======", "MZXQ====",        "MZXW6===",
                                            "MZXW6YQ=", "MZXW6YTB", "MZXW6YTBOI======"};
    const std::string_view base64_text[] = {"", "Zg==", "Zm8=", "Zm9v", "Zm9vYg==", "Zm9vYmE=", "Zm9vYmFy"};
    for (std::size_t i = 0; i < std::size(data); ++i) {
        const Bytes text = bytes_of(base32 ? base32_text[i] : base64_text[i]);
        EXPECT_EQ(codec().encode(bytes_of(data[i]), path()), text);
        EXPECT_EQ(codec().decode(text, path()), (Outcome{true, bytes_of(data[i])}));
    }
}

TEST_P(EncodingPathTest, RandomDataOfEveryLength) {
    std::mt19937 generator(5);
    std::vector<std::size_t> lengths;
    for (std::size_t length = 0; length <= 400; ++length) lengths.push_back(length);
    for (std::size_t length : {4095u, 4096u, 65539u, (1u << 20) + 1}) lengths.push_back(length);
    for (std::size_t length : lengths) {
        const Bytes data = random_bytes(generator, length);
        const Bytes text = codec().encode(data, path());
        ASSERT_EQ(text, codec().encode(data, VectorPath::scalar)) << length;
        ASSERT_EQ(codec().decode(text, path()), (Outcome{true, data})) << length;
        // Without padding, and for Base32 in lower case, alike.
        Bytes bare(text.begin(), std::find(text.begin(), text.end(), '='));
        ASSERT_EQ(codec().decode(bare, path()), (Outcome{true, data})) << length;
        if (&codec() == &BASE32) {
            for (auto& c : bare) c = static_cast<std::uint8_t>(std::tolower(c));
            ASSERT_EQ(codec().decode(bare, path()), (Outcome{true, data})) << length;
        }
    }
}

// Bytes just outside the alphabet's ranges, the lenient grammar's specials
// and bytes that are not ASCII; the alphabet's edges for contrast.
constexpr char IRREGULAR_BYTES[] = "= \n\r\t\v\f\0!*,-._:;@[`{\x7F\x80\xA0\xC3\xFF";
const std::string IRREGULAR = std::string(IRREGULAR_BYTES, sizeof IRREGULAR_BYTES - 1) + "0189+/AZaz27";

// Every length up to a little over the widest block, and lengths around two
// and three of them; every position of each.
std::vector<std::size_t> irregular_text_lengths(std::size_t group) {
    std::vector<std::size_t> lengths;
    for (std::size_t length = 0; length <= 64 + 2 * group + 1; ++length) lengths.push_back(length);
    for (std::size_t base : {128u, 192u}) {
        for (std::size_t length = base - 1; length <= base + group + 1; ++length) lengths.push_back(length);
    }
    return lengths;
}

TEST_P(EncodingPathTest, IrregularCharacterAtEveryPosition) {
    std::mt19937 generator(7);
    for (std::size_t length : irregular_text_lengths(codec().group)) {
        const Bytes text = plain_text(codec(), generator, length);
        expect_same_decoding(text);
        for (std::size_t position = 0; position < length; ++position) {
            for (char irregular : IRREGULAR) {
                Bytes changed = text;
                changed[position] = static_cast<std::uint8_t>(irregular);
                expect_same_decoding(changed);
                if (HasFatalFailure()) return;
            }
        }
    }
}

TEST_P(EncodingPathTest, EveryByteValueAtEveryPosition) {
    std::mt19937 generator(9);
    const Bytes text = plain_text(codec(), generator, 2 * 64 + 3 * codec().group);
    for (std::size_t position = 0; position < text.size(); ++position) {
        for (unsigned byte = 0; byte < 256; ++byte) {
            Bytes changed = text;
            changed[position] = static_cast<std::uint8_t>(byte);
            expect_same_decoding(changed);
            if (HasFatalFailure()) return;
        }
    }
}

// The first irregular character decides: a "=" ends decoding before a later
// invalid byte, and an invalid byte before a "=" is reported.
TEST_P(EncodingPathTest, TwoIrregularCharacters) {
    std::mt19937 generator(11);
    const Bytes text = plain_text(codec(), generator, 2 * 64 + 2 * codec().group + 3);
    for (std::size_t first = 0; first < text.size(); ++first) {
        for (std::size_t second = first + 1; second < text.size(); ++second) {
            for (std::uint8_t a : {std::uint8_t{'='}, std::uint8_t{'!'}}) {
                for (std::uint8_t b : {std::uint8_t{'='}, std::uint8_t{0xFF}}) {
                    Bytes changed = text;
                    changed[first] = a;
                    changed[second] = b;
                    expect_same_decoding(changed);
                    if (HasFatalFailure()) return;
                }
            }
        }
    }
}

// The vector loops, not the plain routine behind them, do the bulk of a long
// input: otherwise the tests above would compare the plain routine with
// itself.
class VectorLoopTest : public EncodingPathTest {};

TEST_P(VectorLoopTest, DoesTheBulk) {
    std::mt19937 generator(13);
    const CodecKernels kernels = codec().kernels(path());
    const Bytes data = random_bytes(generator, 10000);
    Bytes text(*codec().encoded_size(data.size()));
    EXPECT_GT(kernels.encode(data.data(), data.size(), text.data()), data.size() - 128);
    Bytes out(codec().decoded_size(text));
    EXPECT_GT(kernels.decode(text.data(), text.size(), out.data(), out.size()), text.size() - 128);
}

std::string test_name(const ::testing::TestParamInfo<EncodingPathTest::ParamType>& info) {
    return std::string(std::get<0>(info.param)->name) + "_" + vector_path_name(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(Paths, EncodingPathTest,
                         ::testing::Combine(::testing::Values(&BASE32, &BASE64), ::testing::ValuesIn(VECTOR_PATHS)),
                         test_name);
INSTANTIATE_TEST_SUITE_P(Paths, VectorLoopTest,
                         ::testing::Combine(::testing::Values(&BASE32, &BASE64),
                                            ::testing::ValuesIn(VECTOR_PATHS.begin() + 1, VECTOR_PATHS.end())),
                         test_name);

// The path chosen on CPUs with given feature bits: the widest of this
// build's architecture that the bits allow, each wider x86 path only with
// the narrower ones it falls back on.
TEST(WidestVectorPath, FollowsTheFeatureBits) {
    EXPECT_EQ(widest_vector_path(cpu::Features{}), VectorPath::scalar);
    cpu::Features features;
#if defined(__x86_64__) || defined(__i386__)
    features.avx2 = true;
    EXPECT_EQ(widest_vector_path(features), VectorPath::scalar);
    features.ssse3 = true;
    EXPECT_EQ(widest_vector_path(features), VectorPath::avx2);
    features.avx512f = features.avx512bw = true;
    EXPECT_EQ(widest_vector_path(features), VectorPath::avx2);
    features.avx512vbmi = true;
    EXPECT_EQ(widest_vector_path(features), VectorPath::avx512vbmi);
    features.asimd = true;
    EXPECT_EQ(widest_vector_path(features), VectorPath::avx512vbmi);
#elif KORVALITH_AARCH64
    features.ssse3 = features.avx2 = true;  // bits of another architecture
    EXPECT_EQ(widest_vector_path(features), VectorPath::scalar);
    features.asimd = true;
    EXPECT_EQ(widest_vector_path(features), VectorPath::neon);
#endif
}

// Exact lengths from the first pass: the characters before the first "="
// count, whatever follows it.
TEST(DecodedSize, CountsTheCharactersBeforeTheFirstPad) {
    EXPECT_EQ(Base64::decoded_size(bytes_of("")), 0u);
    EXPECT_EQ(Base64::decoded_size(bytes_of("Z")), 0u);
    EXPECT_EQ(Base64::decoded_size(bytes_of("Zm")), 1u);
    EXPECT_EQ(Base64::decoded_size(bytes_of("Zm9")), 2u);
    EXPECT_EQ(Base64::decoded_size(bytes_of("Zm9v")), 3u);
    EXPECT_EQ(Base64::decoded_size(bytes_of("Zm8=Zm9vZm9v")), 2u);
    EXPECT_EQ(Base64::decoded_size(bytes_of("!!!!!")), 3u);
    EXPECT_EQ(Base32::decoded_size(bytes_of("MZXW6===garbage")), 3u);
    EXPECT_EQ(Base32::decoded_size(bytes_of("MZXW6YTBOI")), 6u);
    EXPECT_EQ(Base32::decoded_size(bytes_of("=MZXW6YTB")), 0u);
    // The bound counts the characters before the closing run of "=".
    EXPECT_EQ(Base64::decoded_size_bound(bytes_of("Zm8=Zm9v==")), 6u);
    EXPECT_EQ(Base64::decoded_size_bound(bytes_of("====")), 0u);
    EXPECT_EQ(Base32::encoded_size(SIZE_MAX), std::nullopt);
    EXPECT_EQ(Base64::encoded_size(SIZE_MAX), std::nullopt);
}

}  // namespace
}  // namespace korvalith
