// Vigenère: the cipher agrees with a plain model on any text, key and flags
// (the result, or the first failing check's message); deciphering an
// encryption restores the text; the text cut in two and enciphered piece by
// piece, the key position carried over, gives the same; a one-letter key
// without skipping is the Caesar cipher with that letter's shift.
#include <cstdint>
#include <optional>
#include <string>

#include "ciphers/caesar.hpp"
#include "ciphers/vigenere.hpp"
#include "fuzz_support.hpp"

using namespace korvalith;
using namespace korvalith::fuzz;

namespace {

bool is_letter(std::uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::optional<std::string> model(ByteView text, ByteView key, bool decrypt, bool skip, std::string& message) {
    for (std::uint8_t c : text) {
        if (c >= 0x80) return message = "Only ASCII input is supported", std::nullopt;
    }
    for (std::uint8_t c : key) {
        if (c >= 0x80) return message = "Only ASCII input is supported", std::nullopt;
    }
    bool letters = !key.empty();
    for (std::uint8_t c : key) letters = letters && is_letter(c);
    if (!letters) return message = "Key must be non-empty and contain only alphabetic characters", std::nullopt;

    std::string out;
    std::size_t position = 0;
    for (std::uint8_t c : text) {
        const std::uint8_t k = key[position % key.size()];
        int shift = (k >= 'a' ? k - 'a' : k - 'A');
        if (decrypt) shift = (26 - shift) % 26;
        if (c >= 'A' && c <= 'Z') {
            out += static_cast<char>('A' + (c - 'A' + shift) % 26);
        } else if (c >= 'a' && c <= 'z') {
            out += static_cast<char>('a' + (c - 'a' + shift) % 26);
        } else {
            out += static_cast<char>(c);
        }
        if (!skip || is_letter(c)) ++position;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input input(data, size);
    const std::uint8_t flags = input.byte();
    const bool decrypt = (flags & 1) != 0;
    const bool skip = (flags & 2) != 0;
    const ByteView key = input.take(input.byte() % 40);
    const std::size_t cut = input.byte();
    const ByteView text = input.rest();

    std::string message;
    auto expected = model(text, key, decrypt, skip, message);
    auto result = vigenere_cipher(text, key, decrypt, skip);
    if (!expected) {
        check(!result && result.error().message == message, "rejection differs from the model");
        return 0;
    }
    check(result && same_bytes(result->view(), as_byte_view(*expected)), "result differs from the model");

    auto back = vigenere_cipher(result->view(), key, !decrypt, skip);
    check(back && same_bytes(back->view(), text), "the opposite direction does not restore the text");

    auto prepared = VigenereKey::make(key, decrypt);
    check(prepared.has_value() && vigenere_check_text(text).has_value(), "the parts reject what the whole accepts");
    std::string pieces(text.size(), '\0');
    auto* out = reinterpret_cast<std::uint8_t*>(pieces.data());
    const std::size_t first = cut < text.size() ? cut : text.size();
    const std::size_t position = vigenere_cipher_into(text.first(first), *prepared, skip, out, 0);
    vigenere_cipher_into(text.subspan(first), *prepared, skip, out + first, position);
    check(same_bytes(as_byte_view(pieces), result->view()), "enciphering in two pieces differs from the whole");

    if (key.size() == 1 && !skip) {
        const int shift = key[0] >= 'a' ? key[0] - 'a' : key[0] - 'A';
        auto caesar = caesar_cipher(text, static_cast<std::int8_t>(shift), decrypt);
        check(caesar && same_bytes(caesar->view(), result->view()), "one-letter key differs from Caesar");
    }
    return 0;
}
