#include "ciphers/aes/key_expansion.hpp"

#include <string>

namespace korvalith::aes {

namespace {

constexpr std::size_t MAX_WORDS = 4 * (MAX_ROUNDS + 1);

constexpr std::uint32_t sub_word(std::uint32_t word) noexcept {
    return (std::uint32_t{SBOX[(word >> 24) & 0xFF]} << 24) | (std::uint32_t{SBOX[(word >> 16) & 0xFF]} << 16)
           | (std::uint32_t{SBOX[(word >> 8) & 0xFF]} << 8) | std::uint32_t{SBOX[word & 0xFF]};
}

constexpr std::uint32_t rot_word(std::uint32_t word) noexcept { return (word << 8) | (word >> 24); }

}  // namespace

CoreResult<std::size_t> rounds_for_key_length(std::size_t key_length) {
    switch (key_length) {
        case 16: return 10;
        case 24: return 12;
        case 32: return 14;
        default: return std::unexpected(CoreError::invalid("Invalid key length: " + std::to_string(key_length)));
    }
}

CoreResult<KeySchedule> expand_key(ByteView key) {
    auto rounds = rounds_for_key_length(key.size());
    if (!rounds) return std::unexpected(std::move(rounds.error()));

    const std::size_t nk = key.size() / 4;
    const std::size_t total = 4 * (*rounds + 1);
    std::array<std::uint32_t, MAX_WORDS> w{};
    for (std::size_t i = 0; i < nk; ++i) {
        w[i] = (std::uint32_t{key[4 * i]} << 24) | (std::uint32_t{key[4 * i + 1]} << 16)
               | (std::uint32_t{key[4 * i + 2]} << 8) | key[4 * i + 3];
    }
    for (std::size_t i = nk; i < total; ++i) {
        std::uint32_t temp = w[i - 1];
        if (i % nk == 0) {
            temp = sub_word(rot_word(temp)) ^ (RCON[i / nk - 1] << 24);
        } else if (nk == 8 && i % nk == 4) {
            temp = sub_word(temp);
        }
        w[i] = w[i - nk] ^ temp;
    }

    KeySchedule schedule;
    schedule.rounds = *rounds;
    for (std::size_t i = 0; i < total; ++i) {
        std::uint8_t* out = schedule.round_keys[i / 4].bytes.data() + 4 * (i % 4);
        out[0] = static_cast<std::uint8_t>(w[i] >> 24);
        out[1] = static_cast<std::uint8_t>(w[i] >> 16);
        out[2] = static_cast<std::uint8_t>(w[i] >> 8);
        out[3] = static_cast<std::uint8_t>(w[i]);
    }
    secure_wipe(w.data(), sizeof w);
    return schedule;
}

}  // namespace korvalith::aes
