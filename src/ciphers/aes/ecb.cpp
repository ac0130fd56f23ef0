// AES in electronic-codebook mode: the ECB driver (padding, one key expansion
// per call, the blocks in order) and the Python functions of ciphers.aes.

#include "ciphers/aes/ecb.hpp"

#include <string>

#include "ciphers/aes/block.hpp"
#include "ciphers/aes/decryption.hpp"
#include "ciphers/aes/encryption.hpp"
#include "ciphers/aes/key_expansion.hpp"
#include "ciphers/aes/padding.hpp"

namespace korvalith::aes {

CoreResult<ByteBuffer> encrypt_ecb(ByteBuffer data, ByteView key, std::string_view padding_mode) {
    auto mode = parse_padding_mode(padding_mode);
    if (!mode) return std::unexpected(std::move(mode.error()));
    if (auto padded = pad(*mode, data); !padded) return std::unexpected(std::move(padded.error()));

    // Padding always leaves at least one block, so this is the key-length
    // check of the first block; the schedule then serves every block.
    auto schedule = expand_key(key);
    if (!schedule) return std::unexpected(std::move(schedule.error()));
    std::uint8_t* bytes = data.data();
    for (std::size_t offset = 0; offset < data.size(); offset += BLOCK_SIZE) {
        encrypt_block(*schedule, BlockIn(bytes + offset, BLOCK_SIZE), BlockOut(bytes + offset, BLOCK_SIZE));
    }
    return data;
}

CoreResult<ByteBuffer> decrypt_ecb(ByteBuffer data, ByteView key, std::string_view padding_mode) {
    if (!data.empty()) {
        // The key length is checked at the first block, before any block length.
        auto schedule = expand_key(key);
        if (!schedule) return std::unexpected(std::move(schedule.error()));
        // Only the last block can be short, and a short block fails the call
        // whatever came before it, so it is checked before any work is done.
        const std::size_t remainder = data.size() % BLOCK_SIZE;
        if (remainder != 0) {
            auto length = check_block_length(remainder);
            return std::unexpected(std::move(length.error()));
        }
        std::uint8_t* bytes = data.data();
        for (std::size_t offset = 0; offset < data.size(); offset += BLOCK_SIZE) {
            decrypt_block(*schedule, BlockIn(bytes + offset, BLOCK_SIZE), BlockOut(bytes + offset, BLOCK_SIZE));
        }
    }
    if (data.empty() || data.size() % BLOCK_SIZE != 0) {
        return std::unexpected(CoreError::invalid("Invalid ciphertext length: " + std::to_string(data.size())));
    }

    auto mode = parse_padding_mode(padding_mode);
    if (!mode) return std::unexpected(std::move(mode.error()));
    if (auto unpadded = unpad(*mode, data); !unpadded) return std::unexpected(std::move(unpadded.error()));
    return data;
}

}  // namespace korvalith::aes

#if KORVALITH_WITH_PYTHON

#include "module/method_records.hpp"
#include "module/signatures.hpp"
#include "module/wrapper.hpp"

namespace korvalith::py {

namespace {

using EcbDriver = CoreResult<ByteBuffer> (*)(ByteBuffer, ByteView, std::string_view);

PyObject* run_ecb(const FunctionSignature& signature, EcbDriver driver, PyObject* const* args, Py_ssize_t nargs,
                  PyObject* kwnames) noexcept {
    return run_wrapper<3>(signature, args, nargs, kwnames, [driver](BoundArguments<3>& arguments) -> WrapperResult {
        // Room for the padding (at most one block) is reserved with the copy.
        KORVALITH_TRY(text, arguments.byte_vector(0, aes::BLOCK_SIZE));
        KORVALITH_TRY(key, arguments.bytes(1));
        KORVALITH_TRY(padding_mode, arguments.text(2));
        return bytes_from_core(driver(std::move(text), key, as_string_view(padding_mode)));
    });
}

PyObject* encrypt_ecb(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return run_ecb(signatures::ENCRYPT_ECB, aes::encrypt_ecb, args, nargs, kwnames);
}

PyObject* decrypt_ecb(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return run_ecb(signatures::DECRYPT_ECB, aes::decrypt_ecb, args, nargs, kwnames);
}

}  // namespace

PyMethodDef methods::aes_encrypt_ecb = {"encrypt_ecb", methods::entry(encrypt_ecb), methods::ARGUMENT_FLAGS,
                                        "encrypt_ecb(text, key, padding_mode)\n--\n\n"};
PyMethodDef methods::aes_decrypt_ecb = {"decrypt_ecb", methods::entry(decrypt_ecb), methods::ARGUMENT_FLAGS,
                                        "decrypt_ecb(text, key, padding_mode)\n--\n\n"};

}  // namespace korvalith::py

#endif
