#include "module/errors.hpp"

#include <cstdio>
#include <cstdlib>

#include "module/interned.hpp"

namespace korvalith::py {

namespace {

PyObject* class_object(ErrorClass error_class) {
    switch (error_class) {
        case ErrorClass::TypeError: return PyExc_TypeError;
        case ErrorClass::ValueError: return PyExc_ValueError;
        case ErrorClass::OverflowError: return PyExc_OverflowError;
        case ErrorClass::SystemError: return PyExc_SystemError;
        case ErrorClass::MemoryError: return PyExc_MemoryError;
        case ErrorClass::RuntimeError: return PyExc_RuntimeError;
    }
    return PyExc_SystemError;
}

// The __qualname__ of a type as a new str; "<failed to extract type name>"
// when it cannot be read as a string. Null, with the exception pending, when
// the lookup raised one that means stop.
PyRef qualified_name(PyObject* type) {
    const auto names = interned();
    if (names == nullptr) return PyRef();
    PyRef name(PyObject_GetAttr(type, names->qualname));
    if (name && PyUnicode_Check(name.get())) return name;
    if (!name) {
        if (!pending_exception_is_ordinary()) return PyRef();
        PyErr_Clear();
    }
    return PyRef(PyUnicode_FromString("<failed to extract type name>"));
}

// Composes the mismatch message as a str object; null with an exception
// pending when that fails.
PyRef mismatch_message(const LazyError& error) {
    const TypeMismatch& mismatch = *error.mismatch;
    PyRef expected = qualified_name(mismatch.expected_type.get());
    if (!expected) return PyRef();
    if (mismatch.object.get() == Py_None) {
        return PyRef(PyUnicode_FromFormat("%s'None' is not an instance of '%U'", error.message.c_str(),
                                          expected.get()));
    }
    PyRef actual = qualified_name(reinterpret_cast<PyObject*>(Py_TYPE(mismatch.object.get())));
    if (!actual) return PyRef();
    return PyRef(PyUnicode_FromFormat("%s'%U' object is not an instance of '%U'", error.message.c_str(),
                                      actual.get(), expected.get()));
}

}  // namespace

LazyError lazy_error(ErrorClass error_class, std::string message) {
    return LazyError{error_class, std::move(message), std::nullopt};
}

LazyError type_mismatch_error(PyObject* object, PyObject* expected_type) {
    return LazyError{ErrorClass::TypeError, std::string(),
                     TypeMismatch{PyRef::borrow(object), PyRef::borrow(expected_type)}};
}

Failure take_interpreter_error() {
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    if (type == nullptr) {
        return lazy_error(ErrorClass::SystemError, "attempted to fetch exception but none was set");
    }
    PyErr_NormalizeException(&type, &value, &traceback);
    return TakenException{PyRef(type), PyRef(value), PyRef(traceback)};
}

bool pending_exception_is_ordinary() {
    return PyErr_ExceptionMatches(PyExc_Exception) != 0 && PyErr_ExceptionMatches(PyExc_MemoryError) == 0;
}

Failure core_failure(const CoreError& error) {
    if (error.kind == CoreError::Kind::OutOfMemory) return lazy_error(ErrorClass::MemoryError, std::string());
    return lazy_error(ErrorClass::ValueError, error.message);
}

void raise_lazy_error(const LazyError& error) {
    if (error.error_class == ErrorClass::MemoryError) {
        // Raised without building a message: memory is what is short.
        PyErr_NoMemory();
        return;
    }
    PyRef message = error.mismatch
                        ? mismatch_message(error)
                        : PyRef(PyUnicode_FromStringAndSize(error.message.data(),
                                                            static_cast<Py_ssize_t>(error.message.size())));
    if (!message) return;  // the failure to build the message is pending instead
    PyObject* error_class = class_object(error.error_class);
    if (!error.annotated) {
        PyErr_SetObject(error_class, message.get());
        return;
    }
    PyRef exception(PyObject_CallFunctionObjArgs(error_class, message.get(), nullptr));
    if (!exception) return;
    PyException_SetCause(exception.get(), nullptr);
    PyErr_SetObject(error_class, exception.get());
}

void raise_failure(Failure&& failure) {
    if (auto* taken = std::get_if<TakenException>(&failure)) {
        PyErr_Restore(taken->type.release(), taken->value.release(), taken->traceback.release());
    } else {
        raise_lazy_error(std::get<LazyError>(failure));
    }
}

void fatal_error(const char* diagnostic) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", diagnostic);
    std::fflush(stderr);
    std::abort();
}

void fatal_null_object() {
    if (PyErr_Occurred() != nullptr) PyErr_WriteUnraisable(nullptr);
    fatal_error("PyObject pointer is null");
}

}  // namespace korvalith::py
