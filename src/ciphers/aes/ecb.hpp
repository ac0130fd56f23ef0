// AES in electronic-codebook mode over whole byte data, with ISO/IEC 7816-4 or
// PKCS#7 padding: the driver behind ciphers.aes.encrypt_ecb and decrypt_ecb.
#pragma once

#include <string_view>

#include "common/byte_buffer.hpp"
#include "common/core_error.hpp"

namespace korvalith::aes {

// Selects the padding scheme, pads `data` and encrypts it block by block in
// place with one expansion of the key. Fails, in this order, on an unknown
// padding mode, then on a key that is not 16, 24 or 32 bytes long.
CoreResult<ByteBuffer> encrypt_ecb(ByteBuffer data, ByteView key, std::string_view padding_mode);

// Decrypts `data` block by block in place, then selects the padding scheme
// and removes the padding. Fails, in this order, on a bad key length (when
// there is at least one block), on a short last block, on empty data, on an
// unknown padding mode, and on padding that cannot be removed.
CoreResult<ByteBuffer> decrypt_ecb(ByteBuffer data, ByteView key, std::string_view padding_mode);

}  // namespace korvalith::aes
