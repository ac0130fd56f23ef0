// The instruction-set extensions that the fast paths use, read once from the
// CPU's feature bits. Code that uses an extension is compiled for it per
// function (target attributes), so the module still runs on an x86 CPU
// without it; a caller picks a path from these flags and the plain routine
// serves every CPU that lacks the extension.
#pragma once

namespace korvalith::cpu {

struct Features {
    bool ssse3 = false;
    bool sse41 = false;
    bool avx2 = false;
    bool aes = false;        // the AES round and key-generation instructions
    bool pclmul = false;
    bool avx512f = false;
    bool avx512bw = false;
    bool avx512vl = false;
    bool avx512vbmi = false;
    bool vaes = false;       // the AES instructions on 256- and 512-bit registers
};

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
#endif
    return features;
}

// The features of this CPU, detected on first use and constant afterwards.
inline const Features& features() noexcept {
    static const Features detected = detect_features();
    return detected;
}

}  // namespace korvalith::cpu
