#include "module/module_tree.hpp"

#include <string_view>

#include "module/errors.hpp"
#include "module/interned.hpp"

namespace korvalith::py {

namespace {

int raise_mismatch(PyObject* object, PyTypeObject* expected) {
    raise_lazy_error(type_mismatch_error(object, reinterpret_cast<PyObject*>(expected)));
    return -1;
}

}  // namespace

PyRef new_submodule(const char* bare_name) {
    PyRef name(PyUnicode_FromString(bare_name));
    if (!name) return PyRef();
    return PyRef(PyModule_NewObject(name.get()));
}

PyRef new_function(PyMethodDef* record, PyObject* submodule) {
    PyRef module_name(PyModule_GetNameObject(submodule));
    if (!module_name) return PyRef();
    return PyRef(PyCMethod_New(record, submodule, module_name.get(), nullptr));
}

int add_function(PyObject* module, PyObject* function) {
    const auto names = interned();
    if (names == nullptr) return -1;
    PyRef name(PyObject_GetAttr(function, names->name));
    if (!name) return -1;
    if (!PyUnicode_Check(name.get())) return raise_mismatch(name.get(), &PyUnicode_Type);
    return add_to_module(module, name.get(), function);
}

int add_submodule(PyObject* parent, PyObject* child) {
    PyRef full_name(PyModule_GetNameObject(child));
    if (!full_name) return -1;
    Py_ssize_t length = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(full_name.get(), &length);
    if (utf8 == nullptr) return -1;
    const std::string_view text(utf8, static_cast<std::size_t>(length));
    const std::size_t dot = text.rfind('.');
    const std::string_view last = dot == std::string_view::npos ? text : text.substr(dot + 1);
    PyRef name(PyUnicode_FromStringAndSize(last.data(), static_cast<Py_ssize_t>(last.size())));
    if (!name) return -1;
    return add_to_module(parent, name.get(), child);
}

int add_to_module(PyObject* module, PyObject* name, PyObject* value) {
    const auto names = interned();
    if (names == nullptr) return -1;
    PyObject* all_name = names->all;
    PyRef all(PyObject_GetAttr(module, all_name));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return -1;
        PyErr_Clear();
        all.reset(PyList_New(0));
        if (!all) return -1;
        if (PyObject_SetAttr(module, all_name, all.get()) != 0) return -1;
    } else if (!PyList_Check(all.get())) {
        return raise_mismatch(all.get(), &PyList_Type);
    }
    if (PyList_Append(all.get(), name) != 0) return -1;
    return PyObject_SetAttr(module, name, value);
}

}  // namespace korvalith::py
