// The module's single exported symbol and the execution step that builds
// the tree of submodules and functions.
#include <Python.h>

#include <initializer_list>

#include "module/errors.hpp"
#include "module/method_records.hpp"
#include "module/module_tree.hpp"

namespace korvalith::py {

namespace {

// A submodule holding the given functions, in this order in its __all__.
PyRef build_submodule(const char* name, std::initializer_list<PyMethodDef*> records) {
    PyRef submodule = new_submodule(name);
    if (!submodule) return submodule;
    for (PyMethodDef* record : records) {
        PyRef function = new_function(record, submodule.get());
        if (!function || add_function(submodule.get(), function.get()) != 0) return PyRef();
    }
    return submodule;
}

// Builds `child` and adds it to `parent`; false with an exception pending on failure.
bool attach(PyObject* parent, PyRef child) {
    return child && add_submodule(parent, child.get()) == 0;
}

int build_module_tree(PyObject* module) {
    if (!PyModule_Check(module)) {
        raise_lazy_error(type_mismatch_error(module, reinterpret_cast<PyObject*>(&PyModule_Type)));
        return -1;
    }

    PyRef ciphers = new_submodule("ciphers");
    if (!ciphers) return -1;
    if (!attach(ciphers.get(), build_submodule("caesar", {&methods::caesar_encrypt, &methods::caesar_decrypt})) ||
        !attach(ciphers.get(),
                build_submodule("vigenere", {&methods::vigenere_encrypt, &methods::vigenere_decrypt})) ||
        !attach(ciphers.get(), build_submodule("rot13", {&methods::rot13_encrypt, &methods::rot13_decrypt,
                                                         &methods::rot13_rotate})) ||
        !attach(ciphers.get(), build_submodule("substitution", {&methods::substitution_substitute,
                                                                &methods::substitution_substitute_reverse,
                                                                &methods::substitution_substitute_bytes,
                                                                &methods::substitution_substitute_reverse_bytes})) ||
        !attach(ciphers.get(), build_submodule("aes", {&methods::aes_encrypt_ecb, &methods::aes_decrypt_ecb})) ||
        !attach(module, std::move(ciphers))) {
        return -1;
    }

    PyRef encodings = new_submodule("encodings");
    if (!encodings) return -1;
    if (!attach(encodings.get(), build_submodule("base32", {&methods::base32_encode, &methods::base32_decode,
                                                            &methods::base32_encode_bytes,
                                                            &methods::base32_decode_bytes})) ||
        !attach(encodings.get(), build_submodule("base64", {&methods::base64_encode, &methods::base64_decode,
                                                            &methods::base64_encode_bytes,
                                                            &methods::base64_decode_bytes})) ||
        !attach(module, std::move(encodings))) {
        return -1;
    }

    if (!attach(module, build_submodule("cli", {&methods::cli_parse}))) return -1;
    return 0;
}

PyModuleDef_Slot MODULE_SLOTS[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&build_module_tree)},
    {0, nullptr},
};

PyModuleDef MODULE_DEFINITION = {
    PyModuleDef_HEAD_INIT,
    "_korvalith",  // name
    "",            // doc: the module's __doc__ is the empty string
    0,             // no per-module state
    nullptr,       // no method table: functions live in the submodules
    MODULE_SLOTS,
    nullptr,  // traverse
    nullptr,  // clear
    nullptr,  // free
};

}  // namespace

}  // namespace korvalith::py

PyMODINIT_FUNC PyInit__korvalith() { return PyModuleDef_Init(&korvalith::py::MODULE_DEFINITION); }
