// The classical cipher cores over 1 MiB of ASCII text.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>

#include "ciphers/caesar.hpp"
#include "ciphers/substitution.hpp"
#include "ciphers/vigenere.hpp"

namespace {

using namespace korvalith;

const std::string& ascii_text() {
    static const std::string text = [] {
        const std::string alphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ     ,.!?0123456789";
        std::mt19937 rng(1);
        std::string out(1 << 20, ' ');
        for (char& c : out) c = alphabet[rng() % alphabet.size()];
        return out;
    }();
    return text;
}

template <typename Run>
void run_over_text(benchmark::State& state, Run&& run) {
    const ByteView text = as_byte_view(ascii_text());
    for (auto _ : state) {
        auto result = run(text);
        benchmark::DoNotOptimize(result->data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_caesar(benchmark::State& state) {
    run_over_text(state, [](ByteView text) { return caesar_cipher(text, 3, false); });
}

void BM_vigenere(benchmark::State& state) {
    const bool skip = state.range(0) != 0;
    const ByteView key = as_byte_view("Korvalith");
    run_over_text(state, [&](ByteView text) { return vigenere_cipher(text, key, false, skip); });
}

void BM_map_bytes(benchmark::State& state) {
    ByteMap map;
    for (unsigned letter = 0; letter < 26; ++letter) {
        map.insert(static_cast<std::uint8_t>('a' + letter), static_cast<std::uint8_t>('a' + (letter * 7 + 3) % 26));
    }
    run_over_text(state, [&](ByteView text) { return map_bytes(text, map); });
}

}  // namespace

BENCHMARK(BM_caesar);
BENCHMARK(BM_vigenere)->Arg(1)->Arg(0)->ArgName("skip_non_alpha");
BENCHMARK(BM_map_bytes);
