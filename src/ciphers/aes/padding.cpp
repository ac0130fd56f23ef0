#include "ciphers/aes/padding.hpp"

#include <array>
#include <cstdio>
#include <string>

#include "ciphers/aes/block.hpp"

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

// Grows the buffer by `count` bytes of `fill`, reserving exactly what is
// needed (the data is usually large and padded once).
CoreResult<void> append_filled(ByteBuffer& data, std::size_t count, std::uint8_t fill) {
    auto length = checked_add(data.size(), count);
    if (!length || !data.reserve(*length)) {
        return std::unexpected(CoreError::out_of_memory(length ? *length : data.size()));
    }
    std::array<std::uint8_t, BLOCK_SIZE> bytes;
    bytes.fill(fill);
    if (!data.append(bytes.data(), count)) return std::unexpected(CoreError::out_of_memory(*length));
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

CoreResult<void> pad_iso(ByteBuffer& data) {
    const std::size_t count = BLOCK_SIZE - data.size() % BLOCK_SIZE;
    if (auto grown = append_filled(data, count, 0x00); !grown) return grown;
    data.data()[data.size() - count] = 0x80;
    return {};
}

CoreResult<void> pad_pkcs(ByteBuffer& data) {
    const std::size_t count = BLOCK_SIZE - data.size() % BLOCK_SIZE;
    return append_filled(data, count, static_cast<std::uint8_t>(count));
}

CoreResult<void> pad(PaddingMode mode, ByteBuffer& data) {
    return mode == PaddingMode::Iso ? pad_iso(data) : pad_pkcs(data);
}

CoreResult<void> unpad_iso(ByteBuffer& data) {
    if (data.empty()) return std::unexpected(CoreError::invalid("Unexpected end before finding 0x80"));
    const std::uint8_t* bytes = data.data();
    const std::size_t last = data.size() - 1;
    if (bytes[last] == 0x80) {
        data.truncate(last);
        return {};
    }
    if (bytes[last] != 0x00) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned>(bytes[last]));
        return std::unexpected(
            CoreError::invalid(std::string("Unexpected character found when unpadding, expected 0, found: ") + hex));
    }
    for (std::size_t i = last; i-- > 0;) {
        if (bytes[i] == 0x80) {
            data.truncate(i);
            return {};
        }
    }
    return std::unexpected(CoreError::invalid("Unexpected end before finding 0x80"));
}

void unpad_pkcs(ByteBuffer& data) noexcept {
    const std::size_t count = data.empty() ? 0 : data.data()[data.size() - 1];
    data.truncate(count >= data.size() ? 0 : data.size() - count);
}

CoreResult<void> unpad(PaddingMode mode, ByteBuffer& data) {
    if (mode == PaddingMode::Iso) return unpad_iso(data);
    unpad_pkcs(data);
    return {};
}

}  // namespace korvalith::aes
