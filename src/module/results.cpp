#include "module/results.hpp"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace korvalith::py {

namespace {

constexpr std::size_t HUGE_PAGE = std::size_t{2} << 20;
constexpr std::size_t HUGE_PAGES_FROM = 4 * HUGE_PAGE;

const char* data_or_empty(ByteView bytes) {
    return bytes.data() != nullptr ? reinterpret_cast<const char*>(bytes.data()) : "";
}

}  // namespace

// A large result is written into memory the allocator has just mapped, so
// each of its pages costs a fault, and at 64 MiB the faults take most of a
// call's time. Asking for huge pages (where the system leaves them to the
// program's advice) lets one fault map 2 MiB. Only whole huge pages inside
// the room are advised; the advice is a hint, and its failure changes nothing.
void advise_huge_pages([[maybe_unused]] std::uint8_t* room, [[maybe_unused]] std::size_t size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (size < HUGE_PAGES_FROM) return;
    const auto start = reinterpret_cast<std::uintptr_t>(room);
    const std::uintptr_t first = (start + HUGE_PAGE - 1) & ~(HUGE_PAGE - 1);
    const std::uintptr_t last = (start + size) & ~(HUGE_PAGE - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#endif
}

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
    auto* data = reinterpret_cast<std::uint8_t*>(PyBytes_AsString(object.get()));
    // Unreachable: PyBytes_AsString fails only for an object that is not a
    // bytes object, and this one was just created as one.
    if (data == nullptr) fatal_null_object();
    advise_huge_pages(data, size);
    return UnfilledBytes{std::move(object), {data, size}};
}

}  // namespace korvalith::py
