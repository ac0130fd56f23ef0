#include "ciphers/vigenere.hpp"

#include <cstring>

#include "ciphers/caesar.hpp"

namespace korvalith {

namespace {

constexpr const char* ASCII_ONLY = "Only ASCII input is supported";
constexpr const char* BAD_KEY = "Key must be non-empty and contain only alphabetic characters";

constexpr bool is_letter(std::uint8_t byte) { return static_cast<std::uint8_t>((byte | 0x20) - 'a') < 26; }

// True when no byte has its high bit set; eight bytes at a time.
bool is_ascii(ByteView bytes) noexcept {
    const std::uint8_t* p = bytes.data();
    std::size_t left = bytes.size();
    std::uint64_t seen = 0;
    for (; left >= 8; p += 8, left -= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, sizeof word);
        seen |= word;
    }
    for (; left > 0; ++p, --left) seen |= *p;
    return (seen & 0x8080808080808080ULL) == 0;
}

// The inner loop: `shifts` holds one CAESAR_TABLE row index per key letter.
// The key position is kept below the key length by wrapping it, not by a
// modulo per byte.
template <bool SkipNonAlpha>
void encipher(ByteView text, const std::uint8_t* shifts, std::size_t key_length, std::uint8_t* out) noexcept {
    const std::uint8_t* rows = CAESAR_TABLE[0].data();
    std::size_t position = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::uint8_t byte = text[i];
        out[i] = rows[std::size_t{shifts[position]} * 256 + byte];
        if constexpr (SkipNonAlpha) {
            position += is_letter(byte);
        } else {
            ++position;
        }
        if (position == key_length) position = 0;
    }
}

}  // namespace

CoreResult<ByteBuffer> vigenere_cipher(ByteView text, ByteView key, bool decrypt, bool skip_non_alpha) {
    if (!is_ascii(text) || !is_ascii(key)) return std::unexpected(CoreError::invalid(ASCII_ONLY));
    if (key.empty()) return std::unexpected(CoreError::invalid(BAD_KEY));
    for (const std::uint8_t letter : key) {
        if (!is_letter(letter)) return std::unexpected(CoreError::invalid(BAD_KEY));
    }

    if (text.empty()) return ByteBuffer{};

    auto shifts = ByteBuffer::allocate(key.size());
    if (!shifts) return std::unexpected(std::move(shifts.error()));
    for (std::size_t i = 0; i < key.size(); ++i) {
        const unsigned index = static_cast<unsigned>((key[i] | 0x20) - 'a');
        shifts->data()[i] = static_cast<std::uint8_t>(decrypt ? (26 - index) % 26 : index);
    }

    auto out = ByteBuffer::allocate(text.size());
    if (!out) return out;
    if (skip_non_alpha) {
        encipher<true>(text, shifts->data(), key.size(), out->data());
    } else {
        encipher<false>(text, shifts->data(), key.size(), out->data());
    }
    return out;
}

}  // namespace korvalith

#if KORVALITH_WITH_PYTHON

#include "module/method_records.hpp"
#include "module/signatures.hpp"
#include "module/wrapper.hpp"

namespace korvalith::py {

namespace {

PyObject* run_vigenere(const FunctionSignature& signature, bool decrypt, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) noexcept {
    return run_wrapper<3>(signature, args, nargs, kwnames, [decrypt](BoundArguments<3>& arguments) -> WrapperResult {
        KORVALITH_TRY(data, arguments.text(0));
        KORVALITH_TRY(key, arguments.text(1));
        KORVALITH_TRY(skip_non_alpha, arguments.flag(2, true));
        return text_from_core(vigenere_cipher(data, key, decrypt, skip_non_alpha));
    });
}

PyObject* encrypt(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return run_vigenere(signatures::VIGENERE_ENCRYPT, false, args, nargs, kwnames);
}

PyObject* decrypt(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return run_vigenere(signatures::VIGENERE_DECRYPT, true, args, nargs, kwnames);
}

}  // namespace

PyMethodDef methods::vigenere_encrypt = {"encrypt", methods::entry(encrypt), methods::ARGUMENT_FLAGS,
                                         "encrypt(data, key, skip_non_alpha=True)\n--\n\n"};
PyMethodDef methods::vigenere_decrypt = {"decrypt", methods::entry(decrypt), methods::ARGUMENT_FLAGS,
                                         "decrypt(data, key, skip_non_alpha=True)\n--\n\n"};

}  // namespace korvalith::py

#endif
