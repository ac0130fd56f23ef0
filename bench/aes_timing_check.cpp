// Does an AES engine's time depend on the key or the data? A check in the
// manner of the fixed-against-random leakage tests: each measurement times
// one key set-up and the transform of a few blocks, with inputs of one of two
// classes, chosen at random for each measurement:
//   class 0: an all-zero key and all-zero blocks;
//   class 1: a random key and random blocks, new for each measurement.
// If the time does not depend on the input, both classes have the same
// distribution of times, and Welch's t statistic of their means stays small
// however many measurements there are; a dependence, however small, makes
// |t| grow with their number. |t| >= 4.5 counts as a dependence found (the
// chance of that without one is about 1 in 100 000 per statistic).
//
// Long times (the process interrupted or descheduled) add only noise, but
// much of it; as well as over all measurements, t is computed over those
// below several percentiles of a warm-up run, and the largest |t| is
// reported. With --evict, a buffer larger than the level-1 data cache is
// read before each measurement, so that tables the engine looks up start
// outside it, as after another process has run.
//
// This is a benchmark program, not a test: it reports and always succeeds.
//
//     build/bench/aes_timing_check                         # every engine the CPU runs
//     build/bench/aes_timing_check --evict --measurements 1000000 --engine bitsliced
#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "ciphers/aes/engine.hpp"

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

namespace {

using namespace korvalith;

// Time-stamp counter ticks, fenced so that the timed work neither starts
// before the first reading nor ends after the second. The fence needs SSE2,
// which every x86-64 CPU has; main checks for it on the 32-bit target. On
// aarch64, the virtual counter, read between instruction barriers.
#if defined(__x86_64__) || defined(__i386__)
[[gnu::target("sse2")]]
#endif
inline std::uint64_t now() noexcept {
#if defined(__x86_64__) || defined(__i386__)
    _mm_lfence();
    const std::uint64_t ticks = __rdtsc();
    _mm_lfence();
    return ticks;
#elif defined(__aarch64__)
    std::uint64_t ticks;
    asm volatile("isb\n\tmrs %0, cntvct_el0\n\tisb" : "=r"(ticks) : : "memory");
    return ticks;
#else
    return static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
#endif
}

struct Options {
    std::size_t measurements = 10'000'000;
    std::size_t blocks = 5;
    std::size_t evict_bytes = 0;
    std::optional<aes::Engine> engine;
    std::optional<bool> decrypt;
    std::optional<std::size_t> key_bytes;
};

// Welch's t statistic of two classes, from their running means and sums of
// squared deviations.
class Welch {
public:
    void add(int which, double value) noexcept {
        Class& c = classes_[which];
        c.count += 1;
        const double delta = value - c.mean;
        c.mean += delta / c.count;
        c.squares += delta * (value - c.mean);
    }

    double t() const noexcept {
        const Class& a = classes_[0];
        const Class& b = classes_[1];
        if (a.count < 2 || b.count < 2) return 0;
        const double spread = a.squares / (a.count - 1) / a.count + b.squares / (b.count - 1) / b.count;
        return spread > 0 ? (a.mean - b.mean) / std::sqrt(spread) : 0;
    }

private:
    struct Class {
        double count = 0, mean = 0, squares = 0;
    };
    std::array<Class, 2> classes_;
};

// Percentiles of the warm-up times below which the cropped statistics count
// a measurement; the first statistic counts every one.
constexpr std::array<double, 5> CROPS = {0.50, 0.75, 0.90, 0.95, 0.99};
constexpr std::size_t WARM_UP = 100'000;
constexpr std::size_t BATCH = 4096;

struct Result {
    double largest_t = 0;
    std::string where = "all";
    double typical_ticks = 0;
};

class Row {
public:
    Row(const Options& options, aes::Engine engine, bool decrypt, std::size_t key_bytes)
        : options_(options), engine_(engine), decrypt_(decrypt), key_bytes_(key_bytes),
          data_bytes_(16 * options.blocks), eviction_(options.evict_bytes, 1) {}

    Result run() {
        std::vector<double> warm_up = measure_batches(WARM_UP, nullptr);
        std::sort(warm_up.begin(), warm_up.end());
        for (std::size_t i = 0; i < CROPS.size(); ++i) {
            thresholds_[i] = warm_up[static_cast<std::size_t>(CROPS[i] * static_cast<double>(warm_up.size() - 1))];
        }
        measure_batches(options_.measurements, &statistics_);

        Result result;
        result.typical_ticks = warm_up[warm_up.size() / 2];
        result.largest_t = std::fabs(statistics_[0].t());
        for (std::size_t i = 0; i < CROPS.size(); ++i) {
            const double t = std::fabs(statistics_[i + 1].t());
            if (t > result.largest_t) {
                result.largest_t = t;
                result.where = "below p" + std::to_string(static_cast<int>(CROPS[i] * 100));
            }
        }
        return result;
    }

private:
    // Runs `count` measurements in batches, each batch's inputs drawn before
    // it is timed. With `into`, adds them to the statistics; returns the
    // times of the first batches when not.
    std::vector<double> measure_batches(std::size_t count, std::array<Welch, CROPS.size() + 1>* into) {
        std::vector<double> kept;
        const std::size_t per_input = key_bytes_ + data_bytes_;
        std::vector<std::uint8_t> inputs(BATCH * per_input);
        std::vector<std::uint8_t> output(data_bytes_);
        std::array<int, BATCH> classes{};
        std::array<double, BATCH> times{};
        aes::BlockCipher cipher;
        for (std::size_t done = 0; done < count;) {
            const std::size_t batch = std::min(BATCH, count - done);
            for (std::size_t m = 0; m < batch; ++m) {
                classes[m] = static_cast<int>(random_() & 1);
                std::uint8_t* input = inputs.data() + m * per_input;
                for (std::size_t i = 0; i < per_input; i += 8) {
                    const std::uint64_t bits = classes[m] == 0 ? 0 : random_();
                    std::memcpy(input + i, &bits, std::min<std::size_t>(8, per_input - i));
                }
            }
            for (std::size_t m = 0; m < batch; ++m) {
                const std::uint8_t* input = inputs.data() + m * per_input;
                evict();
                const std::uint64_t start = now();
                static_cast<void>(cipher.set_key(engine_, ByteView(input, key_bytes_), decrypt_));
                if (decrypt_) {
                    cipher.decrypt(input + key_bytes_, output.data(), options_.blocks);
                } else {
                    cipher.encrypt(input + key_bytes_, output.data(), options_.blocks);
                }
                times[m] = static_cast<double>(now() - start);
            }
            for (std::size_t m = 0; m < batch; ++m) {
                if (into == nullptr) {
                    kept.push_back(times[m]);
                    continue;
                }
                (*into)[0].add(classes[m], times[m]);
                for (std::size_t i = 0; i < CROPS.size(); ++i) {
                    if (times[m] < thresholds_[i]) (*into)[i + 1].add(classes[m], times[m]);
                }
            }
            done += batch;
        }
        return kept;
    }

    // Reads the eviction buffer, a byte of every 64, so that its lines take
    // the place of the engine's in the cache.
    void evict() {
        unsigned sum = 0;
        for (std::size_t i = 0; i < eviction_.size(); i += 64) sum += eviction_[i];
        sink_ = sink_ + sum;
    }

    const Options& options_;
    aes::Engine engine_;
    bool decrypt_;
    std::size_t key_bytes_;
    std::size_t data_bytes_;
    std::vector<std::uint8_t> eviction_;
    std::array<double, CROPS.size()> thresholds_{};
    std::array<Welch, CROPS.size() + 1> statistics_;
    std::mt19937_64 random_{0x6b6f72};
    volatile unsigned sink_ = 0;
};

// Engine names compared by their letters and digits alone, in any case:
// "table-reference", "aesni" and "VAES" all name engines.
std::string letters_of(std::string_view name) {
    std::string letters;
    for (const char c : name) {
        if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
            letters += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return letters;
}

[[noreturn]] void usage(const char* message) {
    std::fprintf(stderr,
                 "%s\nusage: aes_timing_check [--measurements N] [--blocks N] [--evict [BYTES]]\n"
                 "                        [--engine NAME] [--direction encrypt|decrypt] [--key-bits 128|192|256]\n",
                 message);
    std::exit(2);
}

std::size_t count_argument(int& index, int argc, char** argv) {
    if (index + 1 >= argc) usage("a number is missing");
    char* end = nullptr;
    const unsigned long long value = std::strtoull(argv[++index], &end, 10);
    if (end == argv[index] || *end != '\0' || value == 0) usage("not a positive number");
    return static_cast<std::size_t>(value);
}

Options parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--measurements") {
            options.measurements = count_argument(i, argc, argv);
        } else if (argument == "--blocks") {
            options.blocks = count_argument(i, argc, argv);
        } else if (argument == "--evict") {
            options.evict_bytes = 64 * 1024;
            if (i + 1 < argc && std::isdigit(static_cast<unsigned char>(argv[i + 1][0])) != 0) {
                options.evict_bytes = count_argument(i, argc, argv);
            }
        } else if (argument == "--engine" && i + 1 < argc) {
            const std::string wanted = letters_of(argv[++i]);
            for (aes::Engine engine : aes::ENGINES) {
                if (letters_of(aes::engine_name(engine)) == wanted) options.engine = engine;
            }
            if (!options.engine) usage("unknown engine");
        } else if (argument == "--direction" && i + 1 < argc) {
            const std::string_view direction = argv[++i];
            if (direction != "encrypt" && direction != "decrypt") usage("the direction is encrypt or decrypt");
            options.decrypt = direction == "decrypt";
        } else if (argument == "--key-bits" && i + 1 < argc) {
            const std::size_t bits = count_argument(i, argc, argv);
            if (bits != 128 && bits != 192 && bits != 256) usage("the key has 128, 192 or 256 bits");
            options.key_bytes = bits / 8;
        } else {
            usage("unknown argument");
        }
    }
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parse(argc, argv);
#if defined(__i386__)
    if (!__builtin_cpu_supports("sse2")) {
        std::puts("aes_timing_check needs SSE2 for its time-stamp fence; this CPU lacks it");
        return 0;
    }
#endif
    std::printf("%zu measurements per row of one key set-up and %zu blocks, zero key and data against random\n"
                "ones, interleaved at random; %s. |t| >= 4.5: the time depends on the input.\n\n",
                options.measurements, options.blocks,
                options.evict_bytes != 0
                    ? ("a " + std::to_string(options.evict_bytes / 1024) + " KiB buffer read before each").c_str()
                    : "no cache eviction");
    std::printf("%-16s %-8s %4s %13s %12s %8s %-10s %s\n", "engine", "", "key", "measurements", "ticks (p50)", "|t|",
                "largest", "verdict");
    for (aes::Engine engine : aes::ENGINES) {
        if (options.engine && *options.engine != engine) continue;
        if (!aes::engine_supported(engine)) {
            std::printf("%-16s skipped: not available on this CPU or in this build\n",
                        std::string(aes::engine_name(engine)).c_str());
            continue;
        }
        for (const bool decrypt : {false, true}) {
            if (options.decrypt && *options.decrypt != decrypt) continue;
            for (const std::size_t key_bytes : {16, 24, 32}) {
                if (options.key_bytes && *options.key_bytes != key_bytes) continue;
                Row row(options, engine, decrypt, key_bytes);
                const Result result = row.run();
                std::printf("%-16s %-8s %4zu %13zu %12.0f %8.2f %-10s %s\n",
                            std::string(aes::engine_name(engine)).c_str(), decrypt ? "decrypt" : "encrypt",
                            8 * key_bytes, options.measurements, result.typical_ticks, result.largest_t,
                            result.where.c_str(),
                            result.largest_t >= 4.5 ? "DEPENDS on the input" : "no dependence found");
                std::fflush(stdout);
            }
        }
    }
    return 0;
}
