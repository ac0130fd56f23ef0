// The parameter lists of the Python functions that take arguments.
#pragma once

#include "module/arguments.hpp"

namespace korvalith::py::signatures {

// Shared by the base32 and base64 functions of the same name.
extern const FunctionSignature ENCODE;
extern const FunctionSignature DECODE;
extern const FunctionSignature ENCODE_BYTES;
extern const FunctionSignature DECODE_BYTES;

extern const FunctionSignature CAESAR_ENCRYPT;
extern const FunctionSignature CAESAR_DECRYPT;
extern const FunctionSignature VIGENERE_ENCRYPT;
extern const FunctionSignature VIGENERE_DECRYPT;
extern const FunctionSignature ROT13_ENCRYPT;
extern const FunctionSignature ROT13_DECRYPT;
extern const FunctionSignature ROT13_ROTATE;
extern const FunctionSignature SUBSTITUTE;
extern const FunctionSignature SUBSTITUTE_REVERSE;
extern const FunctionSignature SUBSTITUTE_BYTES;
extern const FunctionSignature SUBSTITUTE_REVERSE_BYTES;
extern const FunctionSignature ENCRYPT_ECB;
extern const FunctionSignature DECRYPT_ECB;

}  // namespace korvalith::py::signatures
