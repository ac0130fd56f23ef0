// The method records of the 22 Python functions. Each lives beside the
// function it describes and is handed on its own to the module tree.
#pragma once

#include <Python.h>

namespace korvalith::py::methods {

extern PyMethodDef caesar_encrypt;
extern PyMethodDef caesar_decrypt;
extern PyMethodDef vigenere_encrypt;
extern PyMethodDef vigenere_decrypt;
extern PyMethodDef rot13_encrypt;
extern PyMethodDef rot13_decrypt;
extern PyMethodDef rot13_rotate;
extern PyMethodDef substitution_substitute;
extern PyMethodDef substitution_substitute_reverse;
extern PyMethodDef substitution_substitute_bytes;
extern PyMethodDef substitution_substitute_reverse_bytes;
extern PyMethodDef aes_encrypt_ecb;
extern PyMethodDef aes_decrypt_ecb;
extern PyMethodDef base32_encode;
extern PyMethodDef base32_decode;
extern PyMethodDef base32_encode_bytes;
extern PyMethodDef base32_decode_bytes;
extern PyMethodDef base64_encode;
extern PyMethodDef base64_decode;
extern PyMethodDef base64_encode_bytes;
extern PyMethodDef base64_decode_bytes;
extern PyMethodDef cli_parse;

// Flags of every function that takes arguments, and of `parse`.
inline constexpr int ARGUMENT_FLAGS = METH_FASTCALL | METH_KEYWORDS | METH_STATIC;
inline constexpr int NO_ARGUMENT_FLAGS = METH_NOARGS | METH_STATIC;

// The entry point of a fast-call function with keywords, as a method record wants it.
using FastCallWithKeywords = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
inline PyCFunction entry(FastCallWithKeywords function) {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

}  // namespace korvalith::py::methods
