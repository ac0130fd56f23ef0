// The result objects of the Python functions: a new str or bytes made from
// a core's result, or the failure to raise instead.
#pragma once

#include <Python.h>

#include <cstdint>
#include <expected>
#include <span>
#include <utility>

#include "common/byte_buffer.hpp"
#include "common/core_error.hpp"
#include "module/arguments.hpp"
#include "module/errors.hpp"

namespace korvalith::py {

// A new reference, or the failure to raise.
using WrapperResult = std::expected<PyObject*, Failure>;

// New result objects. When the interpreter cannot create one, its exception
// goes to the caller unchanged: MemoryError, or OverflowError for a size
// near the largest it can hold (on the 32-bit target, a result of about
// 2 GiB).
WrapperResult new_text(ByteView utf8);
WrapperResult new_bytes(ByteView bytes);
// A str from bytes that may not be valid UTF-8: a ValueError with `message`
// when they are not.
WrapperResult new_text_or_value_error(ByteView utf8, const char* message);

// A core's owned result as a new object, or its error as a failure.
WrapperResult text_from_core(CoreResult<ByteBuffer>&& result);
WrapperResult bytes_from_core(CoreResult<ByteBuffer>&& result);

// Asks for huge pages for the whole 2 MiB pages of `room` when it is large
// (from 8 MiB): memory about to be written for the first time then costs
// one fault per 2 MiB instead of one per page. A hint; nothing changes if
// the system declines it.
void advise_huge_pages(std::uint8_t* room, std::size_t size);

// A new bytes object of exactly `size` bytes whose contents are not yet
// written, and the room to write them in. The object must not reach Python
// code before every byte is written.
struct UnfilledBytes {
    PyRef object;
    std::span<std::uint8_t> room;
};
Converted<UnfilledBytes> new_unfilled_bytes(std::size_t size);

// A bytes result written in place by a core: one allocation of exactly
// `size` bytes, no copy. `write` receives the whole room as a
// std::span<std::uint8_t> and returns a CoreResult<void>; when it fails, the
// unfinished object is dropped and the core's error raised.
template <typename Write>
WrapperResult bytes_written_by(std::size_t size, Write&& write) {
    auto unfilled = new_unfilled_bytes(size);
    if (!unfilled) return std::unexpected(std::move(unfilled.error()));
    if (CoreResult<void> written = write(unfilled->room); !written) {
        return std::unexpected(core_failure(written.error()));
    }
    return unfilled->object.release();
}

// The same for a core that writes at most `size` bytes and returns how
// many it wrote: when that is fewer, the result is a new bytes object of
// those (a copy; callers size the room so that this stays rare).
template <typename Write>
WrapperResult bytes_written_within(std::size_t size, Write&& write) {
    auto unfilled = new_unfilled_bytes(size);
    if (!unfilled) return std::unexpected(std::move(unfilled.error()));
    CoreResult<std::size_t> written = write(unfilled->room);
    if (!written) return std::unexpected(core_failure(written.error()));
    if (*written < size) return new_bytes(unfilled->room.first(*written));
    return unfilled->object.release();
}

}  // namespace korvalith::py
