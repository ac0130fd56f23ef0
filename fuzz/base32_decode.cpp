// Base32: the lenient decoder agrees with a plain model on any input (the
// decoded bytes, or the exact invalid-character message); the encoder agrees
// with the model; decoding an encoding restores the data, in either letter
// case, without its padding, and with anything after the first "=". The
// input preparation of the Python decode functions (white space off both
// ends, then trailing "=") agrees with a model on any UTF-8 text.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/utf8.hpp"
#include "encodings/base32.hpp"
#include "encodings/trim.hpp"
#include "encoding_model.hpp"
#include "fuzz_support.hpp"

using namespace korvalith;
using namespace korvalith::fuzz;

namespace {

const EncodingModel MODEL{"ABCDEFGHIJKLMNOPQRSTUVWXYZ234567", 5, 8, true, "Invalid Base32 character: "};

// The code points with the Unicode White_Space property.
bool is_white_space(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// Code points of valid UTF-8, each with the offset where it starts.
std::vector<std::pair<std::size_t, char32_t>> code_points(ByteView text) {
    std::vector<std::pair<std::size_t, char32_t>> points;
    for (std::size_t i = 0; i < text.size();) {
        const std::uint8_t lead = text[i];
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t j = 1; j < length; ++j) c = (c << 6) | (text[i + j] & 0x3F);
        points.emplace_back(i, c);
        i += length;
    }
    return points;
}

void check_trim(ByteView text) {
    if (!is_valid_utf8(text)) return;
    const auto points = code_points(text);
    std::size_t first = 0;
    std::size_t last = points.size();
    while (first < last && is_white_space(points[first].second)) ++first;
    while (last > first && is_white_space(points[last - 1].second)) --last;
    while (last > first && points[last - 1].second == U'=') --last;
    const std::size_t begin = first < points.size() ? points[first].first : text.size();
    const std::size_t end = last < points.size() ? points[last].first : text.size();
    const ByteView trimmed = trim_for_decode(text);
    check(trimmed.data() == text.data() + begin || (trimmed.empty() && begin == end), "trim start differs");
    check(trimmed.size() == (begin < end ? end - begin : 0), "trimmed length differs from the model");
}

void check_decodes_to(std::string_view text, ByteView expected, const char* what) {
    auto decoded = base32_decode(as_byte_view(text));
    check(decoded.has_value() && same_bytes(decoded->view(), expected), what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ByteView input(data, size);
    check_trim(input);

    // Any bytes as encoded text.
    std::string expected;
    std::string message;
    const bool valid = MODEL.decode(input, expected, message);
    auto decoded = base32_decode(input);
    if (valid) {
        check(decoded.has_value(), "decoder rejected what the model accepts");
        check(same_bytes(decoded->view(), as_byte_view(expected)), "decoded bytes differ from the model");
    } else {
        check(!decoded.has_value(), "decoder accepted what the model rejects");
        check(decoded.error().message == message, "invalid-character message differs from the model");
    }

    // Any bytes as data.
    auto encoded = base32_encode(input);
    check(encoded.has_value(), "encoding failed");
    const std::string text(encoded->text());
    check(text == MODEL.encode(input), "encoding differs from the model");
    check(text.size() == 8 * ((size + 4) / 5), "encoded length");
    check_decodes_to(text, input, "decoding the encoding does not restore the data");

    std::string lower = text;
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    check_decodes_to(lower, input, "decoding the lower-case encoding does not restore the data");
    const std::string unpadded = text.substr(0, text.find('='));
    check_decodes_to(unpadded, input, "decoding the encoding without padding does not restore the data");
    check_decodes_to(unpadded + "=!\xff garbage", input, "text after the first '=' was not ignored");
    return 0;
}
