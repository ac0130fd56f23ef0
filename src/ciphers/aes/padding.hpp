// The two padding schemes of AES-ECB: ISO/IEC 7816-4 (a 0x80 marker, then
// zero bytes) and PKCS#7, both to a multiple of the 16-byte block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "ciphers/aes/block.hpp"
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

// The pieces of the schemes, for a driver that pads the last block as it
// writes it and finds the unpadded length before writing anything.

// Writes the last padded block: `tail` (the 0 to 15 bytes after the last
// whole block of the data) followed by the padding.
void pad_block(PaddingMode mode, ByteView tail, BlockOut block) noexcept;

// The length left by PKCS#7 unpadding of `length` bytes whose last byte is `last`.
std::size_t pkcs_unpadded_length(std::size_t length, std::uint8_t last) noexcept;

// ISO/IEC unpadding judges the last byte first: 0x80 is the whole padding,
// 0x00 means the 0x80 marker lies further back (find_iso_marker gives the
// position of the last 0x80 in some bytes), and any other byte is the
// failure of iso_unexpected_byte. No marker at all is iso_marker_missing.
CoreError iso_unexpected_byte(std::uint8_t last);
std::optional<std::size_t> find_iso_marker(ByteView data) noexcept;
CoreError iso_marker_missing();

}  // namespace korvalith::aes
