// A small owning handle for one Python reference.
#pragma once

#include <Python.h>

#include <utility>

namespace korvalith::py {

// Owns one strong reference (or nothing). Reference counts change only through
// the interpreter's exported _Py_IncRef and _Py_DecRef, so the module does not
// depend on the layout of reference-count fields.
class PyRef {
public:
    PyRef() noexcept = default;
    // Takes over a new reference (which may be null).
    explicit PyRef(PyObject* owned) noexcept : object_(owned) {}
    // Takes a new reference to a borrowed object.
    static PyRef borrow(PyObject* borrowed) noexcept {
        if (borrowed != nullptr) _Py_IncRef(borrowed);
        return PyRef(borrowed);
    }

    PyRef(const PyRef&) = delete;
    PyRef& operator=(const PyRef&) = delete;
    PyRef(PyRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    PyRef& operator=(PyRef&& other) noexcept {
        if (this != &other) reset(std::exchange(other.object_, nullptr));
        return *this;
    }
    ~PyRef() { reset(); }

    PyObject* get() const noexcept { return object_; }
    explicit operator bool() const noexcept { return object_ != nullptr; }
    // Gives up ownership: the caller now holds the reference.
    [[nodiscard]] PyObject* release() noexcept { return std::exchange(object_, nullptr); }
    void reset(PyObject* owned = nullptr) noexcept {
        PyObject* old = std::exchange(object_, owned);
        if (old != nullptr) _Py_DecRef(old);
    }

private:
    PyObject* object_ = nullptr;
};

// A new reference to a borrowed object, for returning it from a function.
inline PyObject* new_reference(PyObject* borrowed) noexcept {
    _Py_IncRef(borrowed);
    return borrowed;
}

}  // namespace korvalith::py
