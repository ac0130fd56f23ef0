#include "module/signatures.hpp"

namespace korvalith::py::signatures {

namespace {

constexpr std::string_view DATA[] = {"data"};
constexpr std::string_view DATA_STRICT[] = {"data", "strict"};
constexpr std::string_view DATA_SHIFT[] = {"data", "shift"};
constexpr std::string_view DATA_KEY_SKIP[] = {"data", "key", "skip_non_alpha"};
constexpr std::string_view DATA_MAPPING[] = {"data", "mapping"};
constexpr std::string_view TEXT_KEY_MODE[] = {"text", "key", "padding_mode"};

}  // namespace

const FunctionSignature ENCODE{"encode", DATA, 1};
const FunctionSignature DECODE{"decode", DATA_STRICT, 1};
const FunctionSignature ENCODE_BYTES{"encode_bytes", DATA, 1};
const FunctionSignature DECODE_BYTES{"decode_bytes", DATA, 1};

const FunctionSignature CAESAR_ENCRYPT{"encrypt", DATA_SHIFT, 2};
const FunctionSignature CAESAR_DECRYPT{"decrypt", DATA_SHIFT, 2};
const FunctionSignature VIGENERE_ENCRYPT{"encrypt", DATA_KEY_SKIP, 2};
const FunctionSignature VIGENERE_DECRYPT{"decrypt", DATA_KEY_SKIP, 2};
const FunctionSignature ROT13_ENCRYPT{"encrypt", DATA, 1};
const FunctionSignature ROT13_DECRYPT{"decrypt", DATA, 1};
const FunctionSignature ROT13_ROTATE{"rotate", DATA, 1};
const FunctionSignature SUBSTITUTE{"substitute", DATA_MAPPING, 2};
const FunctionSignature SUBSTITUTE_REVERSE{"substitute_reverse", DATA_MAPPING, 2};
const FunctionSignature SUBSTITUTE_BYTES{"substitute_bytes", DATA_MAPPING, 2};
const FunctionSignature SUBSTITUTE_REVERSE_BYTES{"substitute_reverse_bytes", DATA_MAPPING, 2};
const FunctionSignature ENCRYPT_ECB{"encrypt_ecb", TEXT_KEY_MODE, 3};
const FunctionSignature DECRYPT_ECB{"decrypt_ecb", TEXT_KEY_MODE, 3};

}  // namespace korvalith::py::signatures
