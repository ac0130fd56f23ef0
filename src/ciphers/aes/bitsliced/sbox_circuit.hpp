// The AES S-box and its inverse as Boolean circuits: XOR, AND and NOT on
// whole words, with no table and no branch. Each word holds one bit plane:
// bit i of many bytes at once, one byte per bit position (plane 0 the least
// significant bits). The circuits work on every position alike, so they
// substitute as many bytes at once as a word has bits.
//
// The S-box is the multiplicative inverse in GF(2^8), followed by the affine
// map of the standard. Inversion is cheap as a circuit in a tower of fields,
// each a quadratic extension of the one below:
//   GF(4)   = GF(2)[w]   / (w^2 + w + 1),   element a1·w + a0
//   GF(16)  = GF(4)[z]   / (z^2 + z + w),   element a1·z + a0
//   GF(256) = GF(16)[y]  / (y^2 + y + w·z), element a1·y + a0
// In a quadratic extension the inverse of a = a1·y + a0 is its conjugate
// a1·y + (a1 + a0) divided by its norm a1^2·M + a1·a0 + a0^2 (M the constant
// term), which lies in the smaller field. So an inverse in GF(256) costs
// three multiplications and one inverse in GF(16), an inverse in GF(16)
// three multiplications and one inverse in GF(4), and there the inverse is
// the square, a linear map.
//
// The AES field (polynomial basis, modulus x^8 + x^4 + x^3 + x + 1) and the
// tower are the same field in two bases: x is the tower element 0x7A (one of
// the eight roots of the modulus there), so the basis change is linear, and
// so is the affine map. The S-box is therefore: a linear map into the tower
// basis, the inverse there, and one linear map back that also applies the
// affine map; the inverse S-box runs the inverse affine map on the way in
// and only the basis change on the way out. The linear maps below are
// written as few XORs as a greedy search found; the comment above each
// gives its rows. tests/cpp/test_aes_engines.cpp checks both circuits on
// all 256 bytes.
#pragma once

#include <array>

namespace korvalith::aes::bitsliced {

template <typename Word>
using Planes = std::array<Word, 8>;

namespace circuit {

// GF(4) element hi·w + lo.
template <typename Word>
struct Gf4 {
    Word hi, lo;
};

template <typename Word>
inline Gf4<Word> operator^(Gf4<Word> a, Gf4<Word> b) noexcept {
    return {a.hi ^ b.hi, a.lo ^ b.lo};
}

// (a1·w + a0)(b1·w + b0) with w^2 = w + 1, in three ANDs:
// hi = (a1 + a0)(b1 + b0) + a0·b0, lo = a0·b0 + a1·b1.
template <typename Word>
inline Gf4<Word> multiply(Gf4<Word> a, Gf4<Word> b) noexcept {
    const Word both = (a.hi ^ a.lo) & (b.hi ^ b.lo);
    const Word low = a.lo & b.lo;
    return {both ^ low, low ^ (a.hi & b.hi)};
}

// The square, which in GF(4) is also the inverse (0 stays 0).
template <typename Word>
inline Gf4<Word> square(Gf4<Word> a) noexcept {
    return {a.hi, a.hi ^ a.lo};
}

template <typename Word>
inline Gf4<Word> times_w(Gf4<Word> a) noexcept {
    return {a.hi ^ a.lo, a.hi};
}

// GF(16) element hi·z + lo.
template <typename Word>
struct Gf16 {
    Gf4<Word> hi, lo;
};

template <typename Word>
inline Gf16<Word> operator^(Gf16<Word> a, Gf16<Word> b) noexcept {
    return {a.hi ^ b.hi, a.lo ^ b.lo};
}

// With z^2 = z + w: hi = (a1 + a0)(b1 + b0) + a0·b0, lo = a0·b0 + w·a1·b1.
template <typename Word>
inline Gf16<Word> multiply(Gf16<Word> a, Gf16<Word> b) noexcept {
    const Gf4<Word> both = multiply(a.hi ^ a.lo, b.hi ^ b.lo);
    const Gf4<Word> low = multiply(a.lo, b.lo);
    return {both ^ low, low ^ times_w(multiply(a.hi, b.hi))};
}

// (a1·z + a0)^2 = a1^2·z + (a0^2 + w·a1^2).
template <typename Word>
inline Gf16<Word> square(Gf16<Word> a) noexcept {
    const Gf4<Word> high = square(a.hi);
    return {high, square(a.lo) ^ times_w(high)};
}

// Times M = w·z: (w·a1 + w·a0)·z + w^2·a1.
template <typename Word>
inline Gf16<Word> times_m(Gf16<Word> a) noexcept {
    return {times_w(a.hi ^ a.lo), times_w(times_w(a.hi))};
}

// The inverse by the norm: norm = w·a1^2 + a1·a0 + a0^2 in GF(4), then
// (a1·z + (a1 + a0)) / norm.
template <typename Word>
inline Gf16<Word> inverse(Gf16<Word> a) noexcept {
    const Gf4<Word> norm = times_w(square(a.hi)) ^ multiply(a.hi, a.lo) ^ square(a.lo);
    const Gf4<Word> norm_inverse = square(norm);
    return {multiply(a.hi, norm_inverse), multiply(a.hi ^ a.lo, norm_inverse)};
}

// The inverse in GF(256) of the tower element with bits t (t[0] the lowest:
// bits 0-3 are a0, 4-7 are a1; in each, bits 0-1 are its lo, 2-3 its hi,
// and in those bit 0 is lo, bit 1 hi), written back to t.
template <typename Word>
inline void tower_inverse(Planes<Word>& t) noexcept {
    const Gf16<Word> hi{{t[7], t[6]}, {t[5], t[4]}};
    const Gf16<Word> lo{{t[3], t[2]}, {t[1], t[0]}};
    const Gf16<Word> norm = times_m(square(hi)) ^ multiply(hi, lo) ^ square(lo);
    const Gf16<Word> norm_inverse = inverse(norm);
    const Gf16<Word> out_hi = multiply(hi, norm_inverse);
    const Gf16<Word> out_lo = multiply(hi ^ lo, norm_inverse);
    t = {out_lo.lo.lo, out_lo.lo.hi, out_lo.hi.lo, out_lo.hi.hi,
         out_hi.lo.lo, out_hi.lo.hi, out_hi.hi.lo, out_hi.hi.hi};
}

}  // namespace circuit

// SubBytes on every byte position of the planes.
template <typename Word>
inline void sub_bytes(Planes<Word>& x) noexcept {
    // Into the tower basis. Rows:
    //   t0 = x0+x2           t1 = x1+x6+x7     t2 = x2+x5        t3 = x1+x3+x6+x7
    //   t4 = x1+x5+x7        t5 = x1+x4+x5+x6  t6 = x1+x2+x3+x4+x5+x6  t7 = x5+x7
    const Word u0 = x[1] ^ x[6];
    const Word u1 = x[2] ^ x[5];
    const Word u2 = x[3] ^ u0;
    const Word u3 = x[5] ^ x[7];
    const Word u5 = x[1] ^ u3;
    const Word u6 = x[4] ^ x[5];
    const Word u7 = x[4] ^ u1;
    Planes<Word> t = {x[0] ^ x[2], x[7] ^ u0, u1, x[7] ^ u2, u5, u0 ^ u6, u2 ^ u7, u3};
    circuit::tower_inverse(t);
    // Back to the AES basis and through the affine map, then + 0x63 (the
    // NOTs on planes 0, 1, 5 and 6). Rows:
    //   s0 = t0+t2+t4+t5     s1 = t0+t1+t2     s2 = t0+t1        s3 = t0+t2+t4+t5+t6
    //   s4 = t0+t3+t4+t5     s5 = t2+t3+t4+t5  s6 = t4+t6+t7     s7 = t2+t4+t6
    const Word v0 = t[2] ^ t[4];
    const Word v1 = t[0] ^ t[5];
    const Word v2 = t[0] ^ t[1];
    const Word v3 = t[6] ^ v0;
    const Word v5 = t[3] ^ t[4];
    const Word v6 = t[3] ^ t[5];
    const Word v7 = t[4] ^ t[6];
    x = {~(v0 ^ v1), ~(t[2] ^ v2), v2, v1 ^ v3, v1 ^ v5, ~(v0 ^ v6), ~(t[7] ^ v7), v3};
}

// InvSubBytes on every byte position of the planes.
template <typename Word>
inline void inv_sub_bytes(Planes<Word>& x) noexcept {
    // Through the inverse affine map (which includes + 0x05) into the tower
    // basis; the constant lands on planes 2 and 6 (the NOTs). Rows:
    //   t0 = x1+x2+x4+x5     t1 = x1+x4+x5     t2 = x1+x2        t3 = x0+x1+x2+x4
    //   t4 = x0+x1+x2+x3+x7  t5 = x1+x2+x3+x4+x5+x7  t6 = x0+x3   t7 = x1+x2+x6+x7
    const Word u0 = x[1] ^ x[2];
    const Word u1 = x[4] ^ x[5];
    const Word u2 = x[7] ^ u0;
    const Word u3 = x[0] ^ x[3];
    const Word u4 = x[0] ^ x[4];
    const Word u6 = x[3] ^ u1;
    Planes<Word> t = {u0 ^ u1, x[1] ^ u1, ~u0, u0 ^ u4, u2 ^ u3, u2 ^ u6, ~u3, x[6] ^ u2};
    circuit::tower_inverse(t);
    // Back to the AES basis. Rows:
    //   x0 = t0+t1+t3+t5+t6  x1 = t4+t7        x2 = t1+t3+t5+t6  x3 = t1+t3
    //   x4 = t1+t5+t7        x5 = t1+t2+t3+t5+t6  x6 = t2+t3+t4+t5+t6  x7 = t1+t2+t3+t5+t6+t7
    const Word v0 = t[1] ^ t[3];
    const Word v1 = t[5] ^ t[6];
    const Word v2 = v0 ^ v1;
    const Word v3 = t[2] ^ v2;
    x = {t[0] ^ v2, t[4] ^ t[7], v2, v0, t[7] ^ t[1] ^ t[5], v3, t[2] ^ t[3] ^ t[4] ^ v1, t[7] ^ v3};
}

}  // namespace korvalith::aes::bitsliced
