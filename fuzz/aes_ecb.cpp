// AES-ECB: encryption then decryption restores the data for every key size
// and every padding spelling; each ciphertext block is the single-block
// cipher (the table reference) of the padded plaintext block; decrypting
// arbitrary bytes under an arbitrary key and mode never crashes and agrees
// with a plain model of the unpadding rules; every engine the CPU supports
// (the table reference, bitsliced, AES-NI, VAES) gives the same bytes or the
// same failure as the fastest one, which the other checks run; the
// unpadding routines agree with the model on any data.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ciphers/aes/decryption.hpp"
#include "ciphers/aes/ecb.hpp"
#include "ciphers/aes/encryption.hpp"
#include "ciphers/aes/engine.hpp"
#include "ciphers/aes/padding.hpp"
#include "fuzz_support.hpp"

using namespace korvalith;
using namespace korvalith::fuzz;

namespace {

constexpr std::array<std::string_view, 8> SPELLINGS = {"iso", "ISO", "iso/iec", "ISO/IEC",
                                                       "pkcs", "PKCS", "pkcs#7", "PKCS#7"};
constexpr std::array<std::size_t, 3> KEY_SIZES = {16, 24, 32};

bool is_iso(std::string_view spelling) { return spelling[0] == 'i' || spelling[0] == 'I'; }

// The padded plaintext, written out the obvious way.
std::string model_pad(ByteView data, bool iso) {
    std::string padded(reinterpret_cast<const char*>(data.data()), data.size());
    const std::size_t count = 16 - data.size() % 16;
    if (iso) {
        padded += '\x80';
        padded.append(count - 1, '\0');
    } else {
        padded.append(count, static_cast<char>(count));
    }
    return padded;
}

// The data left after unpadding, or nothing when ISO unpadding fails (with
// the message it must fail with).
std::optional<std::string> model_unpad(std::string data, bool iso, std::string& message) {
    if (!iso) {
        const std::size_t value = data.empty() ? 0 : static_cast<std::uint8_t>(data.back());
        data.resize(value >= data.size() ? 0 : data.size() - value);
        return data;
    }
    if (!data.empty() && static_cast<std::uint8_t>(data.back()) == 0x80) {
        data.pop_back();
        return data;
    }
    if (!data.empty() && data.back() != '\0') {
        static const char* const HEX = "0123456789abcdef";
        const unsigned last = static_cast<std::uint8_t>(data.back());
        message = "Unexpected character found when unpadding, expected 0, found: ";
        if (last >= 16) message += HEX[last >> 4];
        message += HEX[last & 15];
        return std::nullopt;
    }
    const std::size_t marker = data.empty() ? std::string::npos : data.rfind('\x80', data.size() - 1);
    if (marker == std::string::npos) {
        message = "Unexpected end before finding 0x80";
        return std::nullopt;
    }
    data.resize(marker);
    return data;
}

ByteView view_of(const std::string& text) { return as_byte_view(text); }

// Runs `operation` (data, key, mode, engine) on every supported engine and
// requires the result or failure of the fastest engine from each.
template <typename Operation>
void check_engines_agree(const CoreResult<ByteBuffer>& expected, Operation operation) {
    for (aes::Engine engine : aes::ENGINES) {
        if (!aes::engine_supported(engine) || engine == aes::fastest_engine()) continue;
        auto result = operation(engine);
        check(result.has_value() == expected.has_value(), "engines disagree on success");
        if (expected) {
            check(same_bytes(result->view(), expected->view()), "engines disagree on the bytes");
        } else {
            check(result.error().message == expected.error().message, "engines disagree on the failure");
        }
    }
}

void round_trip(Input& input) {
    const std::string_view spelling = SPELLINGS[input.byte() % SPELLINGS.size()];
    const std::size_t key_size = KEY_SIZES[input.byte() % KEY_SIZES.size()];
    std::array<std::uint8_t, 32> key_bytes{};
    const ByteView key_part = input.take(key_size);
    if (!key_part.empty()) std::memcpy(key_bytes.data(), key_part.data(), key_part.size());
    const ByteView key(key_bytes.data(), key_size);
    const ByteView plain = input.rest();

    auto encrypted = aes::encrypt_ecb(plain, key, spelling);
    check(encrypted.has_value(), "encryption with a valid key and mode failed");
    check_engines_agree(encrypted, [&](aes::Engine engine) { return aes::encrypt_ecb(plain, key, spelling, engine); });
    check(encrypted->size() == 16 * (plain.size() / 16 + 1), "ciphertext length");

    // Each block is the single-block cipher of the padded plaintext block.
    const std::string padded = model_pad(plain, is_iso(spelling));
    check(padded.size() == encrypted->size(), "padded length");
    for (std::size_t offset = 0; offset < padded.size(); offset += 16) {
        auto block = aes::encrypt_block(view_of(padded).subspan(offset, 16), key);
        check(block.has_value(), "single-block encryption failed");
        check(same_bytes(ByteView(block->data(), 16), encrypted->view().subspan(offset, 16)),
              "ECB block differs from the single-block cipher");
        auto back = aes::decrypt_block(ByteView(block->data(), 16), key);
        check(back.has_value() && same_bytes(ByteView(back->data(), 16), view_of(padded).subspan(offset, 16)),
              "single-block decryption does not restore the block");
    }

    auto decrypted = aes::decrypt_ecb(encrypted->view(), key, spelling);
    check(decrypted.has_value(), "decryption of our own ciphertext failed");
    check(same_bytes(decrypted->view(), plain), "decryption does not restore the plaintext");
}

// Arbitrary ciphertext, key length and mode string.
void arbitrary_decryption(Input& input) {
    const std::size_t key_size = input.byte() % 40;
    const ByteView key = input.take(key_size);
    const std::size_t mode_length = input.byte() % 12;
    const ByteView mode_bytes = input.take(mode_length);
    const bool known_mode = input.flag();
    const std::string_view mode = known_mode ? SPELLINGS[mode_length % SPELLINGS.size()] : as_string_view(mode_bytes);
    const ByteView cipher = input.rest();

    auto result = aes::decrypt_ecb(cipher, key, mode);
    check_engines_agree(result, [&](aes::Engine engine) { return aes::decrypt_ecb(cipher, key, mode, engine); });
    const bool valid_key = key.size() == 16 || key.size() == 24 || key.size() == 32;
    if (cipher.empty()) {
        check(!result && result.error().message == "Invalid ciphertext length: 0", "empty ciphertext accepted");
        return;
    }
    if (!valid_key) {
        check(!result && result.error().message == "Invalid key length: " + std::to_string(key.size()),
              "bad key length not reported first");
        return;
    }
    if (cipher.size() % 16 != 0) {
        check(!result && result.error().message ==
                             "Amount of bytes in block is not correct: " + std::to_string(cipher.size() % 16),
              "short last block not reported");
        return;
    }
    bool iso = false;
    bool listed = false;
    for (std::string_view spelling : SPELLINGS) {
        if (spelling == mode) listed = true, iso = is_iso(spelling);
    }
    if (!listed) {
        check(!result && result.error().message.starts_with("Not a valid padding mode: "), "unknown mode accepted");
        return;
    }
    std::string raw;
    for (std::size_t offset = 0; offset < cipher.size(); offset += 16) {
        auto block = aes::decrypt_block(cipher.subspan(offset, 16), key);
        check(block.has_value(), "single-block decryption failed");
        raw.append(reinterpret_cast<const char*>(block->data()), 16);
    }
    std::string message;
    auto expected = model_unpad(raw, iso, message);
    if (!expected) {
        check(!result && result.error().message == message, "unpadding failure differs from the model");
    } else {
        check(result && same_bytes(result->view(), view_of(*expected)), "unpadded data differs from the model");
    }
}

// The unpadding routines on any data, of any length.
void unpadding(Input& input) {
    const bool iso = input.flag();
    const ByteView data = input.rest();
    ByteBuffer buffer = copy_of(data);
    std::string message;
    auto expected = model_unpad(std::string(as_string_view(data)), iso, message);
    if (iso) {
        auto done = aes::unpad_iso(buffer);
        if (!expected) {
            check(!done && done.error().message == message, "ISO unpadding failure differs from the model");
            return;
        }
        check(done.has_value(), "ISO unpadding failed where the model succeeds");
    } else {
        aes::unpad_pkcs(buffer);
    }
    check(expected && same_bytes(buffer.view(), view_of(*expected)), "unpadded data differs from the model");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input input(data, size);
    switch (input.byte() % 3) {
        case 0: round_trip(input); break;
        case 1: arbitrary_decryption(input); break;
        default: unpadding(input); break;
    }
    return 0;
}
