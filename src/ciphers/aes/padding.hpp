// The two padding schemes of AES-ECB: ISO/IEC 7816-4 (a 0x80 marker, then
// zero bytes) and PKCS#7, both to a multiple of the 16-byte block.
#pragma once

#include <string_view>

#include "common/byte_buffer.hpp"
#include "common/core_error.hpp"

namespace korvalith::aes {

enum class PaddingMode { Iso, Pkcs };

// Selects the scheme from its name, compared exactly and case-sensitively:
// "iso", "ISO", "iso/iec", "ISO/IEC", "pkcs", "PKCS", "pkcs#7", "PKCS#7".
CoreResult<PaddingMode> parse_padding_mode(std::string_view mode);

// Append 1 to 16 bytes of padding in place, so the length becomes a non-zero
// multiple of 16. They fail only when memory for the longer buffer is short.
CoreResult<void> pad_iso(ByteBuffer& data);
CoreResult<void> pad_pkcs(ByteBuffer& data);
CoreResult<void> pad(PaddingMode mode, ByteBuffer& data);

// Remove the padding in place. unpad_iso cuts the data at the last 0x80
// marker (the bytes after it are not checked) and fails when the data does
// not end in 0x80 or in zeros preceded by a 0x80. unpad_pkcs removes as many
// bytes as the last byte's value (all of them when that exceeds the length)
// without checking them, and never fails.
CoreResult<void> unpad_iso(ByteBuffer& data);
void unpad_pkcs(ByteBuffer& data) noexcept;
CoreResult<void> unpad(PaddingMode mode, ByteBuffer& data);

}  // namespace korvalith::aes
