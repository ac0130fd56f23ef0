#include "module/results.hpp"

namespace korvalith::py {

namespace {

const char* data_or_empty(ByteView bytes) {
    return bytes.data() != nullptr ? reinterpret_cast<const char*>(bytes.data()) : "";
}

}  // namespace

WrapperResult new_text(ByteView utf8) {
    PyObject* text = PyUnicode_FromStringAndSize(data_or_empty(utf8), static_cast<Py_ssize_t>(utf8.size()));
    if (text == nullptr) return std::unexpected(take_interpreter_error());
    return text;
}

WrapperResult new_text_or_value_error(ByteView utf8, const char* message) {
    PyObject* text = PyUnicode_FromStringAndSize(data_or_empty(utf8), static_cast<Py_ssize_t>(utf8.size()));
    if (text != nullptr) return text;
    if (PyErr_ExceptionMatches(PyExc_UnicodeDecodeError)) {
        PyErr_Clear();
        return std::unexpected(lazy_error(ErrorClass::ValueError, message));
    }
    return std::unexpected(take_interpreter_error());
}

WrapperResult new_bytes(ByteView bytes) {
    PyObject* result = PyBytes_FromStringAndSize(data_or_empty(bytes), static_cast<Py_ssize_t>(bytes.size()));
    if (result == nullptr) return std::unexpected(take_interpreter_error());
    return result;
}

WrapperResult text_from_core(CoreResult<ByteBuffer>&& result) {
    if (!result) return std::unexpected(core_failure(result.error()));
    return new_text(result->view());
}

WrapperResult bytes_from_core(CoreResult<ByteBuffer>&& result) {
    if (!result) return std::unexpected(core_failure(result.error()));
    return new_bytes(result->view());
}

Converted<UnfilledBytes> new_unfilled_bytes(std::size_t size) {
    if (size > static_cast<std::size_t>(PY_SSIZE_T_MAX)) {
        return std::unexpected(lazy_error(ErrorClass::MemoryError, std::string()));
    }
    // Without source bytes the interpreter allocates a fresh object for any
    // size but zero, which gives its shared empty bytes (with no room to write).
    PyRef object(PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(size)));
    if (!object) return std::unexpected(take_interpreter_error());
    if (size == 0) return UnfilledBytes{std::move(object), {}};
    char* data = PyBytes_AsString(object.get());
    // Unreachable: PyBytes_AsString fails only for an object that is not a
    // bytes object, and this one was just created as one.
    if (data == nullptr) fatal_null_object();
    return UnfilledBytes{std::move(object), {reinterpret_cast<std::uint8_t*>(data), size}};
}

}  // namespace korvalith::py
