// The instruction-set paths of the byte-wise routines: the Base32 and Base64
// codecs and the letter shift of Caesar and ROT13. Each has a plain routine
// that runs on any CPU and vector loops for wider registers; the widest path
// this CPU supports is chosen once, and the tests, benchmarks and fuzzers
// name a path to compare it with the plain one.
#pragma once

#include <array>

#include "common/cpu_features.hpp"

// Per-function code generation for a path, so the module still runs on a CPU
// without it (the caller checks vector_path_supported first).
#define KORVALITH_TARGET_SSSE3 __attribute__((target("ssse3")))
#define KORVALITH_TARGET_AVX2 __attribute__((target("avx2")))
#define KORVALITH_TARGET_AVX512VBMI __attribute__((target("avx512f,avx512bw,avx512vbmi")))
// Advanced SIMD is part of the base aarch64 target that the compiler builds
// for, as SSE2 is of x86-64's; the attribute says so at each function.
#define KORVALITH_TARGET_NEON __attribute__((target("+simd")))
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
    neon,        // aarch64: 128-bit registers, table lookups, interleaving loads and stores
};

// Every path: the plain one, then each architecture's plainest first. A CPU
// supports the plain one and those of its own architecture at most.
inline constexpr std::array<VectorPath, 5> VECTOR_PATHS = {VectorPath::scalar, VectorPath::ssse3, VectorPath::avx2,
                                                           VectorPath::avx512vbmi, VectorPath::neon};

inline const char* vector_path_name(VectorPath path) noexcept {
    switch (path) {
        case VectorPath::scalar: return "scalar";
        case VectorPath::ssse3: return "ssse3";
        case VectorPath::avx2: return "avx2";
        case VectorPath::avx512vbmi: return "avx512vbmi";
        case VectorPath::neon: return "neon";
    }
    return "unknown";
}

// The architectures whose paths this build has.
#if defined(__x86_64__) || defined(__i386__)
inline constexpr bool X86_PATHS = true;
#else
inline constexpr bool X86_PATHS = false;
#endif
inline constexpr bool NEON_PATHS = KORVALITH_AARCH64;

// Whether this build has the path and a CPU with `features` can run it (by
// default, this CPU).
inline bool vector_path_supported(VectorPath path, const cpu::Features& features = cpu::features()) noexcept {
    switch (path) {
        case VectorPath::scalar: return true;
        case VectorPath::ssse3: return X86_PATHS && features.ssse3;
        // The wider paths also use the narrower ones for what is left over.
        case VectorPath::avx2: return X86_PATHS && features.avx2 && features.ssse3;
        case VectorPath::avx512vbmi:
            return X86_PATHS && features.avx512f && features.avx512bw && features.avx512vbmi && features.avx2 &&
                   features.ssse3;
        case VectorPath::neon: return NEON_PATHS && features.asimd;
    }
    return false;
}

// The widest path supported with `features` (by default, this CPU's).
inline VectorPath widest_vector_path(const cpu::Features& features = cpu::features()) noexcept {
    VectorPath widest = VectorPath::scalar;
    for (VectorPath path : VECTOR_PATHS) {
        if (vector_path_supported(path, features)) widest = path;
    }
    return widest;
}

}  // namespace korvalith
