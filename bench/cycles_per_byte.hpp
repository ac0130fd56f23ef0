// Cycles per byte for the Google Benchmark programs: the thread's CPU time,
// so time spent descheduled on a busy machine does not count, at the rate of
// the time-stamp counter, which ticks at a constant rate whatever the core's
// clock does (measured once at start-up; off x86, the clock rate the library
// reports).
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

namespace korvalith::bench {

inline double thread_cpu_seconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Time-stamp counter ticks per second, over a tenth of a second of wall time.
inline double timestamp_rate() {
#if defined(__x86_64__) || defined(__i386__)
    static const double rate = [] {
        const auto wall_start = std::chrono::steady_clock::now();
        const std::uint64_t start = __rdtsc();
        while (std::chrono::steady_clock::now() - wall_start < std::chrono::milliseconds(100)) {
        }
        const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wall_start;
        return static_cast<double>(__rdtsc() - start) / wall.count();
    }();
    return rate;
#else
    return benchmark::CPUInfo::Get().cycles_per_second;
#endif
}

// Runs `body` as the timed loop and reports the throughput and the cycles per
// byte of `bytes` bytes per call.
template <typename Body>
void run_counting_cycles(benchmark::State& state, std::size_t bytes, Body&& body) {
    const double start = thread_cpu_seconds();
    for (auto _ : state) body();
    const double seconds = thread_cpu_seconds() - start;
    const double processed = static_cast<double>(state.iterations()) * static_cast<double>(bytes);
    state.SetBytesProcessed(static_cast<std::int64_t>(processed));
    state.counters["cycles/B"] = seconds * timestamp_rate() / processed;
}

}  // namespace korvalith::bench
