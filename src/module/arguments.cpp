#include "module/arguments.hpp"

#include <limits>
#include <string>

#include "common/checked_size.hpp"
#include "common/secure_wipe.hpp"
#include "module/interned.hpp"

namespace korvalith::py {

namespace {

// A sequence's reported length is only a hint: room for at most this many
// items is reserved up front, and the buffer grows as items arrive.
constexpr std::size_t MAX_RESERVED_ITEMS = 1 << 16;

PyObject* type_object(PyTypeObject* type) { return reinterpret_cast<PyObject*>(type); }

std::string full_name(const FunctionSignature& signature) {
    std::string name(signature.name);
    name += "()";
    return name;
}

Failure too_many_positional(const FunctionSignature& signature, Py_ssize_t nargs) {
    std::string message = full_name(signature);
    const std::size_t total = signature.parameters.size();
    if (signature.required == total) {
        message += " takes " + std::to_string(total);
    } else {
        message += " takes from " + std::to_string(signature.required) + " to " + std::to_string(total);
    }
    message += " positional arguments but " + std::to_string(nargs) + (nargs == 1 ? " was" : " were") + " given";
    return lazy_error(ErrorClass::TypeError, std::move(message));
}

Failure unexpected_keyword(const FunctionSignature& signature, PyObject* keyword) {
    std::string name = full_name(signature);
    PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%S'", name.c_str(), keyword);
    return take_interpreter_error();
}

Failure missing_required(const FunctionSignature& signature, std::span<PyObject*> slots) {
    std::string list;
    std::size_t missing = 0;
    std::size_t count = 0;
    for (std::size_t i = 0; i < signature.required; ++i) count += slots[i] == nullptr;
    for (std::size_t i = 0; i < signature.required; ++i) {
        if (slots[i] != nullptr) continue;
        ++missing;
        if (missing > 1) {
            if (count > 2) list += ",";
            list += missing == count ? " and " : " ";
        }
        list += "'";
        list += signature.parameters[i];
        list += "'";
    }
    std::string message = full_name(signature) + " missing " + std::to_string(count) + " required positional " +
                          (count == 1 ? "argument" : "arguments") + ": " + list;
    return lazy_error(ErrorClass::TypeError, std::move(message));
}

LazyError overflow(const char* message) { return lazy_error(ErrorClass::OverflowError, message); }

LazyError out_of_memory() { return lazy_error(ErrorClass::MemoryError, std::string()); }

// The attribute of a type when it is a str; empty when the type has no such
// attribute, it is not a str, or reading it raised an ordinary exception.
// Exceptions that mean stop are the failure.
Converted<PyRef> text_attribute(PyObject* type, PyObject* name) {
    PyRef value(PyObject_GetAttr(type, name));
    if (!value) {
        if (!pending_exception_is_ordinary()) return std::unexpected(take_interpreter_error());
        PyErr_Clear();
        return PyRef();
    }
    if (!PyUnicode_Check(value.get())) return PyRef();
    return value;
}

// Appends one byte. A full buffer moves to one of twice the room and the old
// memory is wiped before it is freed, where growing in place could leave a
// copy behind.
bool push_back_wiping(ByteBuffer& buffer, std::uint8_t byte) {
    if (buffer.size() == buffer.capacity()) {
        auto capacity = checked_mul(buffer.capacity() < 64 ? 64 : buffer.capacity(), 2);
        ByteBuffer grown;
        if (!capacity || !grown.reserve(*capacity) || !grown.append(buffer.view())) return false;
        secure_wipe(buffer.data(), buffer.capacity());
        buffer = std::move(grown);
    }
    return buffer.push_back(byte);
}

// True when the object's type presents itself as numpy's boolean scalar type.
Converted<bool> is_numpy_bool(PyObject* type) {
    const auto names = interned();
    if (names == nullptr) return std::unexpected(take_interpreter_error());
    auto module = text_attribute(type, names->module);
    if (!module) return std::unexpected(std::move(module.error()));
    if (!*module || PyUnicode_CompareWithASCIIString(module->get(), "numpy") != 0) return false;
    auto name = text_attribute(type, names->name);
    if (!name) return std::unexpected(std::move(name.error()));
    if (!*name) return false;
    return PyUnicode_CompareWithASCIIString(name->get(), "bool_") == 0 ||
           PyUnicode_CompareWithASCIIString(name->get(), "bool") == 0;
}

// The attribute `name` as the type itself defines or inherits it: looked up
// in the namespaces of the classes of its MRO, never on its metaclass. Empty
// when none defines it.
Converted<PyRef> lookup_on_type(PyObject* type, PyObject* name) {
    PyRef mro(PyObject_GetAttrString(type, "__mro__"));
    if (!mro) return std::unexpected(take_interpreter_error());
    if (!PyTuple_Check(mro.get())) return PyRef();
    const Py_ssize_t count = PyTuple_Size(mro.get());
    for (Py_ssize_t i = 0; i < count; ++i) {
        PyRef namespace_(PyObject_GetAttrString(PyTuple_GetItem(mro.get(), i), "__dict__"));
        if (!namespace_) return std::unexpected(take_interpreter_error());
        PyRef found(PyObject_GetItem(namespace_.get(), name));
        if (found) return found;
        if (!PyErr_ExceptionMatches(PyExc_KeyError)) return std::unexpected(take_interpreter_error());
        PyErr_Clear();
    }
    return PyRef();
}

// The attribute bound to the object through the descriptor protocol, as an
// instance attribute lookup binds what it finds on the type.
Converted<PyRef> bind_to(PyObject* attribute, PyObject* object) {
    auto get = reinterpret_cast<descrgetfunc>(PyType_GetSlot(Py_TYPE(attribute), Py_tp_descr_get));
    if (get == nullptr) return PyRef::borrow(attribute);
    PyRef bound(get(attribute, object, type_object(Py_TYPE(object))));
    if (!bound) return std::unexpected(take_interpreter_error());
    return bound;
}

// The dict's entry after `position`, as new references; false at the end.
// Where threads run without the interpreter's lock, the dict is locked for
// the step, so that no other thread changes it between finding the entry
// and taking the references.
bool next_entry(PyObject* dict, Py_ssize_t& position, PyRef& key, PyRef& value) {
    PyObject* found_key = nullptr;
    PyObject* found_value = nullptr;
    bool found = false;
#if defined(Py_GIL_DISABLED) && !defined(Py_LIMITED_API)
    Py_BEGIN_CRITICAL_SECTION(dict);
#endif
    found = PyDict_Next(dict, &position, &found_key, &found_value) != 0;
    if (found) {
        key = PyRef::borrow(found_key);
        value = PyRef::borrow(found_value);
    }
#if defined(Py_GIL_DISABLED) && !defined(Py_LIMITED_API)
    Py_END_CRITICAL_SECTION();
#endif
    return found;
}

// Walks a dict entry by entry, stopping when the dict changes under the walk
// (a conversion that runs Python code which mutates it, or another thread).
// Each entry is held while it is converted: a conversion may run code that
// drops the dict's own references.
template <typename OnEntry>
Converted<void> walk_dict(PyObject* dict, OnEntry&& on_entry) {
    const Py_ssize_t start_size = PyDict_Size(dict);
    Py_ssize_t position = 0;
    Py_ssize_t steps = 0;
    for (;;) {
        if (PyDict_Size(dict) != start_size) {
            return std::unexpected(lazy_error(ErrorClass::RuntimeError, "dictionary changed size during iteration"));
        }
        PyRef key;
        PyRef value;
        if (!next_entry(dict, position, key, value)) return {};
        if (steps == start_size) {
            return std::unexpected(lazy_error(ErrorClass::RuntimeError, "dictionary keys changed during iteration"));
        }
        ++steps;
        if (auto done = on_entry(key.get(), value.get()); !done) return done;
    }
}

// Converts a dict into `map` entry by entry, the key first, then the value,
// each by `Convert`; the first failure ends the conversion. `insert` stores
// an entry, replacing the earlier one when two keys convert to the same value.
template <auto Convert, typename Map, typename Insert>
Converted<Map> convert_dict(PyObject* dict, Map map, Insert&& insert) {
    auto walked = walk_dict(dict, [&](PyObject* key, PyObject* value) -> Converted<void> {
        auto from = Convert(key);
        if (!from) return std::unexpected(std::move(from.error()));
        auto to = Convert(value);
        if (!to) return std::unexpected(std::move(to.error()));
        insert(map, *from, *to);
        return {};
    });
    if (!walked) return std::unexpected(std::move(walked.error()));
    return map;
}

}  // namespace

#if KORVALITH_BUFFER_EXPORTS
int export_buffer(PyObject* object, Py_buffer& exported) noexcept {
    int status = 0;
#if defined(Py_GIL_DISABLED) && !defined(Py_LIMITED_API)
    Py_BEGIN_CRITICAL_SECTION(object);
#endif
    status = PyObject_GetBuffer(object, &exported, PyBUF_SIMPLE);
#if defined(Py_GIL_DISABLED) && !defined(Py_LIMITED_API)
    Py_END_CRITICAL_SECTION();
#endif
    return status;
}

void release_buffer(Py_buffer& exported) noexcept {
    // Held past the release, which drops the export's own reference.
    const PyRef object = PyRef::borrow(exported.obj);
#if defined(Py_GIL_DISABLED) && !defined(Py_LIMITED_API)
    Py_BEGIN_CRITICAL_SECTION(object.get());
#endif
    PyBuffer_Release(&exported);
#if defined(Py_GIL_DISABLED) && !defined(Py_LIMITED_API)
    Py_END_CRITICAL_SECTION();
#endif
}
#endif

Converted<void> bind_arguments(const FunctionSignature& signature, PyObject* const* args, Py_ssize_t nargs,
                               PyObject* kwnames, std::span<PyObject*> slots) {
    const std::size_t total = signature.parameters.size();
    const std::size_t positional = static_cast<std::size_t>(nargs);
    if (args != nullptr) {
        for (std::size_t i = 0; i < positional && i < total; ++i) slots[i] = args[i];
        if (positional > total) return std::unexpected(too_many_positional(signature, nargs));
    }
    if (kwnames != nullptr) {
        const Py_ssize_t keywords = PyTuple_Size(kwnames);
        for (Py_ssize_t k = 0; k < keywords; ++k) {
            PyObject* keyword = PyTuple_GetItem(kwnames, k);
            Py_ssize_t length = 0;
            const char* utf8 = PyUnicode_AsUTF8AndSize(keyword, &length);
            if (utf8 == nullptr) {
                if (!pending_exception_is_ordinary()) return std::unexpected(take_interpreter_error());
                PyErr_Clear();
                return std::unexpected(unexpected_keyword(signature, keyword));
            }
            const std::string_view name(utf8, static_cast<std::size_t>(length));
            std::size_t index = 0;
            while (index < total && signature.parameters[index] != name) ++index;
            if (index == total) return std::unexpected(unexpected_keyword(signature, keyword));
            if (slots[index] != nullptr) {
                return std::unexpected(lazy_error(ErrorClass::TypeError, full_name(signature) +
                                                                             " got multiple values for argument '" +
                                                                             std::string(name) + "'"));
            }
            slots[index] = args[nargs + k];
        }
    }
    if (positional < signature.required) {
        for (std::size_t i = positional; i < signature.required; ++i) {
            if (slots[i] == nullptr) return std::unexpected(missing_required(signature, slots));
        }
    }
    return {};
}

Converted<ByteView> as_text(PyObject* object) {
    if (!PyUnicode_Check(object)) return std::unexpected(type_mismatch_error(object, type_object(&PyUnicode_Type)));
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(object, &size);
    if (data == nullptr) return std::unexpected(take_interpreter_error());
    return ByteView(reinterpret_cast<const std::uint8_t*>(data), static_cast<std::size_t>(size));
}

Converted<ByteView> as_bytes(PyObject* object) {
    if (!PyBytes_Check(object)) return std::unexpected(type_mismatch_error(object, type_object(&PyBytes_Type)));
    char* data = nullptr;
    Py_ssize_t size = 0;
    if (PyBytes_AsStringAndSize(object, &data, &size) != 0) return std::unexpected(take_interpreter_error());
    return ByteView(reinterpret_cast<const std::uint8_t*>(data), static_cast<std::size_t>(size));
}

Converted<bool> as_flag(PyObject* object) {
    PyObject* bool_type = type_object(&PyBool_Type);
    PyObject* type = type_object(Py_TYPE(object));
    if (type == bool_type) return object == Py_True;
    auto numpy_bool = is_numpy_bool(type);
    if (!numpy_bool) return std::unexpected(std::move(numpy_bool.error()));
    if (!*numpy_bool) return std::unexpected(type_mismatch_error(object, bool_type));
    const auto names = interned();
    if (names == nullptr) return std::unexpected(take_interpreter_error());
    auto method = lookup_on_type(type, names->bool_);
    if (!method) return std::unexpected(std::move(method.error()));
    if (!*method) {
        PyErr_Format(PyExc_TypeError, "object of type '%S' does not define a '__bool__' conversion", type);
        return std::unexpected(take_interpreter_error());
    }
    auto bound = bind_to(method->get(), object);
    if (!bound) return std::unexpected(std::move(bound.error()));
    PyRef result(PyObject_CallNoArgs(bound->get()));
    if (!result) return std::unexpected(take_interpreter_error());
    if (type_object(Py_TYPE(result.get())) != bool_type) {
        return std::unexpected(type_mismatch_error(result.get(), bool_type));
    }
    return result.get() == Py_True;
}

Converted<std::int32_t> as_long(PyObject* object) {
    const long value = PyLong_AsLong(object);
    if (value == -1 && PyErr_Occurred() != nullptr) return std::unexpected(take_interpreter_error());
    // The range is that of a 32-bit long, whatever the width of long here.
    if constexpr (sizeof(long) > sizeof(std::int32_t)) {
        if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max()) {
            return std::unexpected(overflow("Python int too large to convert to C long"));
        }
    }
    return static_cast<std::int32_t>(value);
}

Converted<std::uint8_t> as_byte_value(PyObject* object) {
    auto value = as_long(object);
    if (!value) return std::unexpected(std::move(value.error()));
    if (*value < 0 || *value > 255) return std::unexpected(overflow("out of range integral type conversion attempted"));
    return static_cast<std::uint8_t>(*value);
}

Converted<char32_t> as_char(PyObject* object) {
    if (!PyUnicode_Check(object)) return std::unexpected(type_mismatch_error(object, type_object(&PyUnicode_Type)));
    const Py_ssize_t length = PyUnicode_GetLength(object);
    if (length < 0) return std::unexpected(take_interpreter_error());
    if (length != 1) return std::unexpected(lazy_error(ErrorClass::ValueError, "expected a string of length 1"));
    const Py_UCS4 code_point = PyUnicode_ReadChar(object, 0);
    if (code_point == static_cast<Py_UCS4>(-1) && PyErr_Occurred() != nullptr) {
        return std::unexpected(take_interpreter_error());
    }
    return static_cast<char32_t>(code_point);
}

Converted<ByteBuffer> as_byte_vector(PyObject* object) {
    if (PyBytes_Check(object) || PyByteArray_Check(object)) {
        auto source = as_byte_source(object);
        if (!source) return std::unexpected(std::move(source.error()));
        const ByteView contents = source->view();
        ByteBuffer buffer;
        if (!buffer.reserve(contents.size()) || !buffer.append(contents)) return std::unexpected(out_of_memory());
        return buffer;
    }
    if (PyUnicode_Check(object)) {
        return std::unexpected(lazy_error(ErrorClass::TypeError, "Can't extract `str` to `Vec`"));
    }
    if (!PySequence_Check(object)) {
        PyRef sequence = sequence_type();
        if (!sequence) return std::unexpected(take_interpreter_error());
        return std::unexpected(type_mismatch_error(object, sequence.get()));
    }

    // The length only sizes the first reservation: an ordinary failure to
    // report it starts the buffer empty, while an exception that means stop
    // ends the conversion.
    Py_ssize_t reported = PyObject_Size(object);
    if (reported < 0) {
        if (!pending_exception_is_ordinary()) return std::unexpected(take_interpreter_error());
        PyErr_Clear();
        reported = 0;
    }
    std::size_t expected = static_cast<std::size_t>(reported);
    if (expected > MAX_RESERVED_ITEMS) expected = MAX_RESERVED_ITEMS;
    ByteBuffer buffer;
    // Wipes what the buffer holds when the conversion fails (on success the
    // contents have moved to the result and nothing is left here).
    struct WipeOnExit {
        ByteBuffer& buffer;
        ~WipeOnExit() { secure_wipe(buffer.data(), buffer.capacity()); }
    } wipe_on_exit{buffer};
    if (!buffer.reserve(expected)) return std::unexpected(out_of_memory());

    PyRef iterator(PyObject_GetIter(object));
    if (!iterator) return std::unexpected(take_interpreter_error());
    while (PyObject* next = PyIter_Next(iterator.get())) {
        PyRef item(next);
        auto byte = as_byte_value(item.get());
        if (!byte) return std::unexpected(std::move(byte.error()));
        if (!push_back_wiping(buffer, *byte)) return std::unexpected(out_of_memory());
    }
    if (PyErr_Occurred() != nullptr) return std::unexpected(take_interpreter_error());
    return buffer;
}

Converted<ByteSource> as_byte_source(PyObject* object) {
    if (PyBytes_Check(object)) {
        char* data = nullptr;
        Py_ssize_t size = 0;
        if (PyBytes_AsStringAndSize(object, &data, &size) != 0) return std::unexpected(take_interpreter_error());
        return ByteSource(ByteView(reinterpret_cast<const std::uint8_t*>(data), static_cast<std::size_t>(size)));
    }
    if (PyByteArray_Check(object)) {
#if KORVALITH_BUFFER_EXPORTS
        Py_buffer exported;
        if (export_buffer(object, exported) != 0) return std::unexpected(take_interpreter_error());
        return ByteSource(exported);
#else
        const char* data = PyByteArray_AsString(object);
        if (data == nullptr) return std::unexpected(take_interpreter_error());
        const Py_ssize_t size = PyByteArray_Size(object);
        return ByteSource(ByteView(reinterpret_cast<const std::uint8_t*>(data), static_cast<std::size_t>(size)));
#endif
    }
    auto copied = as_byte_vector(object);
    if (!copied) return std::unexpected(std::move(copied.error()));
    return ByteSource(std::move(*copied));
}

Converted<CharMap> as_char_map(PyObject* object) {
    if (!PyDict_Check(object)) return std::unexpected(type_mismatch_error(object, type_object(&PyDict_Type)));
    CharMap map;
    map.reserve(static_cast<std::size_t>(PyDict_Size(object)));
    return convert_dict<as_char>(object, std::move(map),
                                 [](CharMap& into, char32_t from, char32_t to) { into.insert_or_assign(from, to); });
}

Converted<ByteMap> as_byte_map(PyObject* object) {
    if (!PyDict_Check(object)) return std::unexpected(type_mismatch_error(object, type_object(&PyDict_Type)));
    return convert_dict<as_byte_value>(object, ByteMap(),
                                       [](ByteMap& into, std::uint8_t from, std::uint8_t to) { into.insert(from, to); });
}

Failure annotate_argument_error(std::string_view parameter, Failure&& failure) {
    std::string prefix = "argument '" + std::string(parameter) + "': ";
    if (auto* lazy = std::get_if<LazyError>(&failure)) {
        if (lazy->error_class == ErrorClass::TypeError) {
            lazy->message.insert(0, prefix);
            lazy->annotated = true;
        }
        return std::move(failure);
    }
    auto& taken = std::get<TakenException>(failure);
    if (taken.type.get() != PyExc_TypeError) return std::move(failure);
    PyRef text(PyObject_Str(taken.value.get()));
    PyRef message = text ? PyRef(PyUnicode_FromFormat("%s%U", prefix.c_str(), text.get())) : PyRef();
    PyRef annotated = message ? PyRef(PyObject_CallFunctionObjArgs(PyExc_TypeError, message.get(), nullptr)) : PyRef();
    if (!annotated) {
        // The annotation could not be built; the original error is the better
        // report, unless what stopped the annotation means stop.
        if (!pending_exception_is_ordinary()) return take_interpreter_error();
        PyErr_Clear();
        return std::move(failure);
    }
    // The converter's own cause carries over (none for the module's own
    // errors); setting it also suppresses the context.
    PyException_SetCause(annotated.get(), PyException_GetCause(taken.value.get()));
    return TakenException{PyRef::borrow(PyExc_TypeError), std::move(annotated), PyRef()};
}

}  // namespace korvalith::py
