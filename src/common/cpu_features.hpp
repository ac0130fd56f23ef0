// The instruction-set extensions that the fast paths use, read once from the
// CPU's feature bits: on x86 from the compiler's CPUID detection, on aarch64
// Linux from the hardware capabilities the kernel passes in the auxiliary
// vector. Code that uses an extension is compiled for it per function
// (target attributes), so the module still runs on a CPU of its architecture
// without it; a caller picks a path from these flags and the plain routine
// serves every CPU that lacks the extension.
#pragma once

// The vector paths for aarch64 are written for its little-endian form, the
// one Linux distributions ship; a big-endian build runs the plain routines.
#if defined(__aarch64__) && defined(__ARM_NEON) && defined(__BYTE_ORDER__) && \
    __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define KORVALITH_AARCH64 1
#include <sys/auxv.h>
#else
#define KORVALITH_AARCH64 0
#endif

namespace korvalith::cpu {

struct Features {
    bool ssse3 = false;
    bool sse41 = false;
    bool avx2 = false;
    bool aes = false;        // the AES round (and on x86 key-generation) instructions
    bool pclmul = false;
    bool avx512f = false;
    bool avx512bw = false;
    bool avx512vl = false;
    bool avx512vbmi = false;
    bool vaes = false;       // the AES instructions on 256- and 512-bit registers
    // aarch64 (`aes` above is its AESE, AESD, AESMC and AESIMC).
    bool asimd = false;      // Advanced SIMD (NEON): 128-bit registers
    bool pmull = false;      // the 64-bit carry-less multiply
};

#if KORVALITH_AARCH64
// The bits of AT_HWCAP (the kernel's asm/hwcap.h), which every aarch64
// kernel gives the same meaning.
inline constexpr unsigned long HWCAP_ASIMD_BIT = 1UL << 1;
inline constexpr unsigned long HWCAP_AES_BIT = 1UL << 3;
inline constexpr unsigned long HWCAP_PMULL_BIT = 1UL << 4;

// The features that a hardware-capability word reports.
constexpr Features features_from_hwcap(unsigned long hwcap) noexcept {
    Features features;
    features.asimd = (hwcap & HWCAP_ASIMD_BIT) != 0;
    features.aes = (hwcap & HWCAP_AES_BIT) != 0;
    features.pmull = (hwcap & HWCAP_PMULL_BIT) != 0;
    return features;
}
#endif

inline Features detect_features() noexcept {
    Features features;
#if defined(__i386__) || defined(__x86_64__)
    __builtin_cpu_init();
    // The compiler's detection also checks that the operating system saves
    // the wider registers (AVX, AVX-512) across context switches.
    features.ssse3 = __builtin_cpu_supports("ssse3");
    features.sse41 = __builtin_cpu_supports("sse4.1");
    features.avx2 = __builtin_cpu_supports("avx2");
    features.aes = __builtin_cpu_supports("aes");
    features.pclmul = __builtin_cpu_supports("pclmul");
    features.avx512f = __builtin_cpu_supports("avx512f");
    features.avx512bw = __builtin_cpu_supports("avx512bw");
    features.avx512vl = __builtin_cpu_supports("avx512vl");
    features.avx512vbmi = __builtin_cpu_supports("avx512vbmi");
    features.vaes = __builtin_cpu_supports("vaes");
#elif KORVALITH_AARCH64
    features = features_from_hwcap(getauxval(AT_HWCAP));
#endif
    return features;
}

// The features of this CPU, detected on first use and constant afterwards.
inline const Features& features() noexcept {
    static const Features detected = detect_features();
    return detected;
}

}  // namespace korvalith::cpu
