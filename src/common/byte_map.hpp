// ByteMap: a table from one byte value to one byte value, as the substitution
// cipher applies it and the argument layer builds it from a dict.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>

namespace korvalith {

// A map with at most one entry per byte value, held as a direct 256-entry
// table so that applying it costs one lookup per byte. Bytes without an entry
// map to themselves in table(). Entries are visited in ascending key order.
class ByteMap {
public:
    ByteMap() noexcept {
        for (unsigned b = 0; b < 256; ++b) table_[b] = static_cast<std::uint8_t>(b);
    }

    // Inserts or replaces the entry for `key`.
    void insert(std::uint8_t key, std::uint8_t value) noexcept {
        table_[key] = value;
        present_.set(key);
    }

    template <typename Visit>
    void for_each(Visit&& visit) const {
        for (unsigned key = 0; key < 256; ++key) {
            if (present_.test(key)) visit(static_cast<std::uint8_t>(key), table_[key]);
        }
    }

    // The inverse map: each entry's value becomes a key with the entry's key
    // as its value; of several entries with one value, the last visited wins.
    ByteMap inverted() const noexcept {
        ByteMap inverse;
        for_each([&](std::uint8_t key, std::uint8_t value) { inverse.insert(value, key); });
        return inverse;
    }

    // The full translation table: entry b is the mapped value of b, or b itself.
    const std::array<std::uint8_t, 256>& table() const noexcept { return table_; }

private:
    std::array<std::uint8_t, 256> table_;
    std::bitset<256> present_;
};

}  // namespace korvalith
