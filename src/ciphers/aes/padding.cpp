#include "ciphers/aes/padding.hpp"

#include <array>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/secure_wipe.hpp"

namespace korvalith::aes {

namespace {

struct ModeName {
    std::string_view name;
    PaddingMode mode;
};

constexpr std::array<ModeName, 8> MODE_NAMES = {{
    {"iso", PaddingMode::Iso},
    {"ISO", PaddingMode::Iso},
    {"iso/iec", PaddingMode::Iso},
    {"ISO/IEC", PaddingMode::Iso},
    {"pkcs", PaddingMode::Pkcs},
    {"PKCS", PaddingMode::Pkcs},
    {"pkcs#7", PaddingMode::Pkcs},
    {"PKCS#7", PaddingMode::Pkcs},
}};

// Grows the buffer to the next multiple of the block size (by 1 to 16 bytes)
// and writes its last block, padded, reserving exactly what is needed (the
// data is usually large and padded once).
CoreResult<void> append_padding(PaddingMode mode, ByteBuffer& data) {
    const std::size_t whole = data.size() - data.size() % BLOCK_SIZE;
    auto length = checked_add(whole, BLOCK_SIZE);
    if (!length || !data.reserve(*length)) {
        return std::unexpected(CoreError::out_of_memory(length ? *length : data.size()));
    }
    Block last;
    pad_block(mode, ByteView(data.data() + whole, data.size() - whole), last);
    std::memcpy(data.data() + whole, last.data(), BLOCK_SIZE);
    secure_wipe(last.data(), last.size());
    data.set_size(*length);
    return {};
}

}  // namespace

CoreResult<PaddingMode> parse_padding_mode(std::string_view mode) {
    for (const ModeName& entry : MODE_NAMES) {
        if (entry.name == mode) return entry.mode;
    }
    std::string message = "Not a valid padding mode: ";
    message.append(mode);
    message.append(". Acceptable padding mode are: iso, pkcs.");
    return std::unexpected(CoreError::invalid(std::move(message)));
}

void pad_block(PaddingMode mode, ByteView tail, BlockOut block) noexcept {
    const std::size_t count = BLOCK_SIZE - tail.size();
    if (!tail.empty()) std::memcpy(block.data(), tail.data(), tail.size());
    if (mode == PaddingMode::Iso) {
        block[tail.size()] = 0x80;
        std::memset(block.data() + tail.size() + 1, 0x00, count - 1);
    } else {
        std::memset(block.data() + tail.size(), static_cast<int>(count), count);
    }
}

CoreResult<void> pad_iso(ByteBuffer& data) { return append_padding(PaddingMode::Iso, data); }

CoreResult<void> pad_pkcs(ByteBuffer& data) { return append_padding(PaddingMode::Pkcs, data); }

CoreResult<void> pad(PaddingMode mode, ByteBuffer& data) { return append_padding(mode, data); }

std::size_t pkcs_unpadded_length(std::size_t length, std::uint8_t last) noexcept {
    return last >= length ? 0 : length - last;
}

CoreError iso_unexpected_byte(std::uint8_t last) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned>(last));
    return CoreError::invalid(std::string("Unexpected character found when unpadding, expected 0, found: ") + hex);
}

std::optional<std::size_t> find_iso_marker(ByteView data) noexcept {
    for (std::size_t i = data.size(); i-- > 0;) {
        if (data[i] == 0x80) return i;
    }
    return std::nullopt;
}

CoreError iso_marker_missing() { return CoreError::invalid("Unexpected end before finding 0x80"); }

CoreResult<void> unpad_iso(ByteBuffer& data) {
    if (data.empty()) return std::unexpected(iso_marker_missing());
    const std::size_t last = data.size() - 1;
    const std::uint8_t last_byte = data.data()[last];
    if (last_byte == 0x80) {
        data.truncate(last);
        return {};
    }
    if (last_byte != 0x00) return std::unexpected(iso_unexpected_byte(last_byte));
    auto marker = find_iso_marker(data.view().first(last));
    if (!marker) return std::unexpected(iso_marker_missing());
    data.truncate(*marker);
    return {};
}

void unpad_pkcs(ByteBuffer& data) noexcept {
    if (!data.empty()) data.truncate(pkcs_unpadded_length(data.size(), data.data()[data.size() - 1]));
}

CoreResult<void> unpad(PaddingMode mode, ByteBuffer& data) {
    if (mode == PaddingMode::Iso) return unpad_iso(data);
    unpad_pkcs(data);
    return {};
}

}  // namespace korvalith::aes
