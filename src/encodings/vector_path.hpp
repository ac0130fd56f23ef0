// The instruction-set paths of the Base32 and Base64 routines. Each codec
// has a plain routine that runs on any CPU and vector loops for wider
// registers; the widest path this CPU supports is chosen once, and the tests,
// benchmarks and fuzzers name a path to compare it with the plain one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "common/cpu_features.hpp"

// Per-function code generation for a path, so the module still runs on a CPU
// without it (the caller checks vector_path_supported first).
#define KORVALITH_TARGET_SSSE3 __attribute__((target("ssse3")))
#define KORVALITH_TARGET_AVX2 __attribute__((target("avx2")))
#define KORVALITH_TARGET_AVX512VBMI __attribute__((target("avx512f,avx512bw,avx512vbmi")))
// For the helpers and loops of a path, which are always inlined: inlined
// into a wider path, they are compiled with its instruction encoding, while
// calling them would mix legacy SSE with AVX code, which costs hundreds of
// cycles at each switch.
#define KORVALITH_VECTOR_INLINE inline __attribute__((always_inline))

namespace korvalith {

enum class VectorPath {
    scalar,      // plain C++: the portable routine and the reference
    ssse3,       // 128-bit registers, byte shuffles
    avx2,        // 256-bit registers
    avx512vbmi,  // 512-bit registers with byte permutes and multishift
};

// Every path, plainest first.
inline constexpr std::array<VectorPath, 4> VECTOR_PATHS = {VectorPath::scalar, VectorPath::ssse3, VectorPath::avx2,
                                                           VectorPath::avx512vbmi};

inline const char* vector_path_name(VectorPath path) noexcept {
    switch (path) {
        case VectorPath::scalar: return "scalar";
        case VectorPath::ssse3: return "ssse3";
        case VectorPath::avx2: return "avx2";
        case VectorPath::avx512vbmi: return "avx512vbmi";
    }
    return "unknown";
}

inline bool vector_path_supported(VectorPath path, const cpu::Features& features = cpu::features()) noexcept {
    switch (path) {
        case VectorPath::scalar: return true;
        case VectorPath::ssse3: return features.ssse3;
        // The wider paths also use the narrower ones for what is left over.
        case VectorPath::avx2: return features.avx2 && features.ssse3;
        case VectorPath::avx512vbmi:
            return features.avx512f && features.avx512bw && features.avx512vbmi && features.avx2 && features.ssse3;
    }
    return false;
}

// The widest path this CPU supports.
inline VectorPath widest_vector_path(const cpu::Features& features = cpu::features()) noexcept {
    VectorPath widest = VectorPath::scalar;
    for (VectorPath path : VECTOR_PATHS) {
        if (vector_path_supported(path, features)) widest = path;
    }
    return widest;
}

// The vector loops of one codec on one path. They do the bulk of the work
// and leave the rest, from a group boundary, to the plain routine. A null
// loop means the path has none for that direction.
struct CodecKernels {
    // Encodes whole blocks from the start of `in` (`size` bytes) into `out`,
    // which has room for the encoding of all of them; returns the bytes
    // consumed, a whole number of groups.
    std::size_t (*encode)(const std::uint8_t* in, std::size_t size, std::uint8_t* out) noexcept = nullptr;
    // Decodes whole blocks of plain alphabet characters from the start of
    // `in` (`size` bytes) into `out` (`room` bytes), stopping before the
    // first block that holds anything else ("=", white space, any byte
    // outside the alphabet) or whose stores would not fit; returns the
    // characters consumed, a whole number of groups.
    std::size_t (*decode)(const std::uint8_t* in, std::size_t size, std::uint8_t* out,
                          std::size_t room) noexcept = nullptr;
};

}  // namespace korvalith
