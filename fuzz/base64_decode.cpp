// Base64: the lenient decoder agrees with a plain model on any input (the
// decoded bytes, or the exact invalid-character message); the encoder agrees
// with the model; decoding an encoding restores the data, also without its
// padding and with anything after the first "=".
#include <cstdint>
#include <string>

#include "encodings/base64.hpp"
#include "encoding_model.hpp"
#include "fuzz_support.hpp"

using namespace korvalith;
using namespace korvalith::fuzz;

namespace {

const EncodingModel MODEL{"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/", 6, 4, false,
                          "Invalid base64 character: "};

void check_decodes_to(std::string_view text, ByteView expected, const char* what) {
    auto decoded = base64_decode(as_byte_view(text));
    check(decoded.has_value() && same_bytes(decoded->view(), expected), what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ByteView input(data, size);

    // Any bytes as encoded text.
    std::string expected;
    std::string message;
    const bool valid = MODEL.decode(input, expected, message);
    auto decoded = base64_decode(input);
    if (valid) {
        check(decoded.has_value(), "decoder rejected what the model accepts");
        check(same_bytes(decoded->view(), as_byte_view(expected)), "decoded bytes differ from the model");
    } else {
        check(!decoded.has_value(), "decoder accepted what the model rejects");
        check(decoded.error().message == message, "invalid-character message differs from the model");
    }

    // Any bytes as data.
    auto encoded = base64_encode(input);
    check(encoded.has_value(), "encoding failed");
    const std::string text(encoded->text());
    check(text == MODEL.encode(input), "encoding differs from the model");
    check(text.size() == 4 * ((size + 2) / 3), "encoded length");
    check_decodes_to(text, input, "decoding the encoding does not restore the data");

    const std::string unpadded = text.substr(0, text.find('='));
    check_decodes_to(unpadded, input, "decoding the encoding without padding does not restore the data");
    check_decodes_to(unpadded + "=!\xff garbage", input, "text after the first '=' was not ignored");
    return 0;
}
