// Internal to the network: thin overloads over the x86 vector intrinsics, so
// that each kernel of the fast routes is written once and compiled for every
// register width (RavoStepKernel.h, RavoProgramStep.h, RavoExp.h).  A
// function's meaning never depends on the width; which widths exist depends
// on the instruction set the including file is built for, and MulAdd is fused
// exactly where that file is built with FMA.
//
// Everything has internal linkage: code built for one instruction set is
// never shared with a file built for another.
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <utility>

namespace {

// ---- Constants of any width. -----------------------------------------------
template <class D> D Set(double x);
// Every 64-bit lane holds Bits.
template <class D> D Bits(std::int64_t bits);
template <class D> D Load(const double* p);
// As many floats as D has lanes, widened.
template <class D> D LoadFloats(const float* p);
// The low lanes of f, widened.
template <class D> D FromFloats(__m128 f);

// ---- Two doubles and four floats: SSE2, every x86-64 processor. --------------
template <> inline __m128d Set<__m128d>(double x) { return _mm_set1_pd(x); }
template <> inline __m128d Bits<__m128d>(std::int64_t b) { return _mm_castsi128_pd(_mm_set1_epi64x(b)); }
template <> inline __m128d Load<__m128d>(const double* p) { return _mm_loadu_pd(p); }
inline void Store(double* p, __m128d a) { _mm_storeu_pd(p, a); }
template <> inline __m128d LoadFloats<__m128d>(const float* p) {
    return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
}
inline __m128 ToF(__m128d a) { return _mm_cvtpd_ps(a); }  // two floats, upper lanes 0
inline void StoreFloats(float* p, __m128d a) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_castps_si128(ToF(a)));
}
inline __m128d Add(__m128d a, __m128d b) { return _mm_add_pd(a, b); }
inline __m128d Sub(__m128d a, __m128d b) { return _mm_sub_pd(a, b); }
inline __m128d Mul(__m128d a, __m128d b) { return _mm_mul_pd(a, b); }
inline __m128d Div(__m128d a, __m128d b) { return _mm_div_pd(a, b); }
// min and max return the second operand when either is a NaN.
inline __m128d Min(__m128d a, __m128d b) { return _mm_min_pd(a, b); }
inline __m128d Max(__m128d a, __m128d b) { return _mm_max_pd(a, b); }
inline __m128d And(__m128d a, __m128d b) { return _mm_and_pd(a, b); }
inline __m128d Or(__m128d a, __m128d b) { return _mm_or_pd(a, b); }
inline __m128d Xor(__m128d a, __m128d b) { return _mm_xor_pd(a, b); }
inline __m128d Equal(__m128d a, __m128d b) { return _mm_cmpeq_pd(a, b); }
inline __m128d NotEqual(__m128d a, __m128d b) { return _mm_cmpneq_pd(a, b); }
inline __m128d Greater(__m128d a, __m128d b) { return _mm_cmpgt_pd(a, b); }
// Lanes where a is below b, or unordered.
inline __m128d NotAtLeast(__m128d a, __m128d b) { return _mm_cmpnge_pd(a, b); }
inline __m128d Unordered(__m128d a) { return _mm_cmpunord_pd(a, a); }
inline bool Any(__m128d a) { return _mm_movemask_pd(a) != 0; }
// 2^n for lanes holding 0x1.8p52 + n, 0 <= n < 2048 (n = 0 gives 0, n = 2047 infinity).
inline __m128d ExponentFromShifted(__m128d a) { return _mm_castsi128_pd(_mm_slli_epi64(_mm_castpd_si128(a), 52)); }
template <> inline __m128d FromFloats<__m128d>(__m128 f) { return _mm_cvtps_pd(f); }

#if defined(__AVX__)
// ---- Four doubles: AVX. --------------------------------------------------------
template <> inline __m256d Set<__m256d>(double x) { return _mm256_set1_pd(x); }
template <> inline __m256d Bits<__m256d>(std::int64_t b) { return _mm256_castsi256_pd(_mm256_set1_epi64x(b)); }
template <> inline __m256d Load<__m256d>(const double* p) { return _mm256_loadu_pd(p); }
inline void Store(double* p, __m256d a) { _mm256_storeu_pd(p, a); }
template <> inline __m256d FromFloats<__m256d>(__m128 f) { return _mm256_cvtps_pd(f); }
template <> inline __m256d LoadFloats<__m256d>(const float* p) { return _mm256_cvtps_pd(_mm_loadu_ps(p)); }
inline __m128 ToF(__m256d a) { return _mm256_cvtpd_ps(a); }
inline void StoreFloats(float* p, __m256d a) { _mm_storeu_ps(p, ToF(a)); }
inline __m256d Add(__m256d a, __m256d b) { return _mm256_add_pd(a, b); }
inline __m256d Sub(__m256d a, __m256d b) { return _mm256_sub_pd(a, b); }
inline __m256d Mul(__m256d a, __m256d b) { return _mm256_mul_pd(a, b); }
inline __m256d Div(__m256d a, __m256d b) { return _mm256_div_pd(a, b); }
inline __m256d Min(__m256d a, __m256d b) { return _mm256_min_pd(a, b); }
inline __m256d Max(__m256d a, __m256d b) { return _mm256_max_pd(a, b); }
inline __m256d And(__m256d a, __m256d b) { return _mm256_and_pd(a, b); }
inline __m256d Or(__m256d a, __m256d b) { return _mm256_or_pd(a, b); }
inline __m256d Xor(__m256d a, __m256d b) { return _mm256_xor_pd(a, b); }
inline __m256d Equal(__m256d a, __m256d b) { return _mm256_cmp_pd(a, b, _CMP_EQ_OQ); }
inline __m256d NotEqual(__m256d a, __m256d b) { return _mm256_cmp_pd(a, b, _CMP_NEQ_UQ); }
inline __m256d Greater(__m256d a, __m256d b) { return _mm256_cmp_pd(a, b, _CMP_GT_OQ); }
inline __m256d NotAtLeast(__m256d a, __m256d b) { return _mm256_cmp_pd(a, b, _CMP_NGE_UQ); }
inline __m256d Unordered(__m256d a) { return _mm256_cmp_pd(a, a, _CMP_UNORD_Q); }
inline bool Any(__m256d a) { return _mm256_movemask_pd(a) != 0; }
#if defined(__AVX2__)
inline __m256d ExponentFromShifted(__m256d a) {
    return _mm256_castsi256_pd(_mm256_slli_epi64(_mm256_castpd_si256(a), 52));
}
#else
// AVX alone shifts 128 bits at a time.
inline __m256d ExponentFromShifted(__m256d a) {
    return _mm256_setr_m128d(ExponentFromShifted(_mm256_castpd256_pd128(a)),
                             ExponentFromShifted(_mm256_extractf128_pd(a, 1)));
}
#endif
#endif

// ---- a * b + c: one rounding where the file is built with FMA, else two. -----
#if defined(__FMA__)
constexpr bool kFused = true;
inline __m128d MulAdd(__m128d a, __m128d b, __m128d c) { return _mm_fmadd_pd(a, b, c); }
inline __m256d MulAdd(__m256d a, __m256d b, __m256d c) { return _mm256_fmadd_pd(a, b, c); }
// c - a * b, one rounding.
inline __m256d NegMulAdd(__m256d a, __m256d b, __m256d c) { return _mm256_fnmadd_pd(a, b, c); }
// Floats: float(a * b + c), one rounding.
inline __m128 MulAdd(__m128 a, __m128 b, __m128 c) { return _mm_fmadd_ps(a, b, c); }
#else
constexpr bool kFused = false;
inline __m128d MulAdd(__m128d a, __m128d b, __m128d c) { return Add(Mul(a, b), c); }
#if defined(__AVX__)
inline __m256d MulAdd(__m256d a, __m256d b, __m256d c) { return Add(Mul(a, b), c); }
#endif
#endif

#if defined(__AVX2__) && defined(__FMA__)
// ---- Four floats and four doubles in the program's own step (RavoProgramStep.h). -
inline __m128 Mul(__m128 a, __m128 b) { return _mm_mul_ps(a, b); }
inline __m128 Sub(__m128 a, __m128 b) { return _mm_sub_ps(a, b); }
inline __m256d Widen(__m128 a) { return _mm256_cvtps_pd(a); }
inline void StoreFloats(float* p, __m128 a) { _mm_storeu_ps(p, a); }
inline __m256d BroadcastDouble(const double* p, __m256d) { return _mm256_broadcast_sd(p); }
// Lane k of a in every lane.
template <int k>
inline __m128 Lane4(__m128 a) {
    return _mm_shuffle_ps(a, a, k * 0x55);
}
// acc + a * 0, for an acc that starts at 0: it becomes a NaN where a is
// infinite or a NaN, and stays a zero elsewhere.
inline __m128 NoteNotFinite(__m128 acc, __m128 a) { return _mm_fmadd_ps(a, _mm_setzero_ps(), acc); }
// Keys (see RavoProgramStep.h): ((bits of r) + window, 32 bits at a time,
// with bit 28 flipped) & mask, read as two unsigned 32-bit halves.  Within
// the mask's low 29 bits, flipping bit 28 is adding 2^28.
inline __m256i Key(__m256d r, std::int64_t window, std::int64_t mask) {
    return _mm256_and_si256(_mm256_add_epi32(_mm256_castpd_si256(r), _mm256_set1_epi64x(window + 0x10000000)),
                            _mm256_set1_epi64x(mask));
}
inline __m256i MinKey(__m256i a, __m256i b) { return _mm256_min_epu32(a, b); }
// All ones in the 32-bit halves where a < b (both read as signed, and both
// below 2^31 here).
inline __m256i Below(__m256i a, __m256i b) { return _mm256_cmpgt_epi32(b, a); }
inline __m256i And(__m256i a, __m256i b) { return _mm256_and_si256(a, b); }
inline __m256i Or(__m256i a, __m256i b) { return _mm256_or_si256(a, b); }
inline __m256i Plus32(__m256i a, __m256i b) { return _mm256_add_epi32(a, b); }
inline bool Any(__m256i a) { return !_mm256_testz_si256(a, a); }
template <> inline __m256i Bits<__m256i>(std::int64_t b) { return _mm256_set1_epi64x(b); }
// All ones in the 64-bit lanes below n.
inline __m256i LanesBelow(int n, __m256i) {
    return _mm256_cmpgt_epi64(_mm256_set1_epi64x(n), _mm256_setr_epi64x(0, 1, 2, 3));
}
#endif

#if defined(__AVX512F__) && defined(__AVX512VL__) && defined(__AVX512DQ__)
// ---- Eight floats and eight doubles: AVX-512 registers. -------------------------
using TF8 = __m256;
using TD8 = __m512d;
using TK8 = __m512i;
template <> inline __m512d Set<__m512d>(double x) { return _mm512_set1_pd(x); }
template <> inline __m512d Bits<__m512d>(std::int64_t b) { return _mm512_castsi512_pd(_mm512_set1_epi64(b)); }
template <> inline __m512i Bits<__m512i>(std::int64_t b) { return _mm512_set1_epi64(b); }
inline __m256 LoadFloats8(const float* p) { return _mm256_loadu_ps(p); }
inline __m512i LanesBelow(int n, __m512i) { return _mm512_maskz_set1_epi64(__mmask8((1u << n) - 1), -1); }
// Seven floats (nothing is read past them) and a 0.
inline __m256 LoadSeven(const float* p) { return _mm256_maskz_loadu_ps(0x7F, p); }
inline void StoreFloats(float* p, __m256 a) { _mm256_storeu_ps(p, a); }
inline void Store(double* p, __m512d a) { _mm512_storeu_pd(p, a); }
template <> inline __m512d Load<__m512d>(const double* p) { return _mm512_loadu_pd(p); }
inline __m256 BroadcastFloat8(const float* p) { return _mm256_broadcast_ss(p); }
inline __m512d BroadcastDouble(const double* p, __m512d) { return _mm512_set1_pd(*p); }
inline __m256 Join(__m128 lo, __m128 hi) { return _mm256_setr_m128(lo, hi); }
template <int k>
inline __m128 Lane4(__m256 a) {
    if constexpr (k < 4)
        return Lane4<k>(_mm256_castps256_ps128(a));
    else
        return Lane4<k - 4>(_mm256_extractf128_ps(a, 1));
}
template <int k>
inline __m256 Lane8(__m128 a) {
    return _mm256_permutexvar_ps(_mm256_set1_epi32(k), _mm256_castps128_ps256(a));
}
inline __m256 Mul(__m256 a, __m256 b) { return _mm256_mul_ps(a, b); }
inline __m256 MulAdd(__m256 a, __m256 b, __m256 c) { return _mm256_fmadd_ps(a, b, c); }
inline __m128 NoteNotFinite(__m128 acc, __m256 a) {
    return NoteNotFinite(NoteNotFinite(acc, _mm256_castps256_ps128(a)), _mm256_extractf128_ps(a, 1));
}
inline __m512d Widen(__m256 a) { return _mm512_cvtps_pd(a); }
inline __m256 ToF(__m512d a) { return _mm512_cvtpd_ps(a); }
inline __m512d Add(__m512d a, __m512d b) { return _mm512_add_pd(a, b); }
inline __m512d Sub(__m512d a, __m512d b) { return _mm512_sub_pd(a, b); }
inline __m512d Mul(__m512d a, __m512d b) { return _mm512_mul_pd(a, b); }
inline __m512d Div(__m512d a, __m512d b) { return _mm512_div_pd(a, b); }
inline __m512d Min(__m512d a, __m512d b) { return _mm512_min_pd(a, b); }
inline __m512d Max(__m512d a, __m512d b) { return _mm512_max_pd(a, b); }
inline __m512d And(__m512d a, __m512d b) { return _mm512_and_pd(a, b); }
inline __m512d Xor(__m512d a, __m512d b) { return _mm512_xor_pd(a, b); }
inline __m512d MulAdd(__m512d a, __m512d b, __m512d c) { return _mm512_fmadd_pd(a, b, c); }
inline __m512d NegMulAdd(__m512d a, __m512d b, __m512d c) { return _mm512_fnmadd_pd(a, b, c); }
inline __m512d ExponentFromShifted(__m512d a) {
    return _mm512_castsi512_pd(_mm512_slli_epi64(_mm512_castpd_si512(a), 52));
}
inline __m512i Key(__m512d r, std::int64_t window, std::int64_t mask) {
    const __m512i bits = _mm512_castpd_si512(r);
    const __m512i moved = window == 0 ? bits : _mm512_add_epi32(bits, _mm512_set1_epi64(window));
    // (moved ^ 2^28) & mask in one instruction.
    return _mm512_ternarylogic_epi64(moved, _mm512_set1_epi64(0x10000000), _mm512_set1_epi64(mask), 0x28);
}
inline __m512i MinKey(__m512i a, __m512i b) { return _mm512_min_epu32(a, b); }
inline __m512i Below(__m512i a, __m512i b) { return _mm512_movm_epi32(_mm512_cmplt_epi32_mask(a, b)); }
inline __m512i And(__m512i a, __m512i b) { return _mm512_and_si512(a, b); }
inline __m512i Plus32(__m512i a, __m512i b) { return _mm512_add_epi32(a, b); }
// The two halves of a, lane by lane.
inline __m256i Fold(__m512i a) { return _mm256_or_si256(_mm512_castsi512_si256(a), _mm512_extracti64x4_epi64(a, 1)); }
#elif defined(__AVX2__) && defined(__FMA__)
// ---- Eight floats and eight doubles: pairs of AVX2 registers (lanes 0..3, 4..7). -
struct TF8 {
    __m128 lo, hi;
};
struct TD8 {
    __m256d lo, hi;
};
struct TK8 {
    __m256i lo, hi;
};
template <> inline TD8 Set<TD8>(double x) { return {Set<__m256d>(x), Set<__m256d>(x)}; }
template <> inline TD8 Bits<TD8>(std::int64_t b) { return {Bits<__m256d>(b), Bits<__m256d>(b)}; }
template <> inline TK8 Bits<TK8>(std::int64_t b) { return {Bits<__m256i>(b), Bits<__m256i>(b)}; }
inline TF8 LoadFloats8(const float* p) { return {_mm_loadu_ps(p), _mm_loadu_ps(p + 4)}; }
inline TK8 LanesBelow(int n, TK8) { return {LanesBelow(n, __m256i{}), LanesBelow(n - 4, __m256i{})}; }
inline TF8 LoadSeven(const float* p) {
    const __m128i last = _mm_castps_si128(_mm_loadu_ps(p + 3));  // floats 3..6
    return {_mm_loadu_ps(p), _mm_castsi128_ps(_mm_srli_si128(last, 4))};
}
inline void StoreFloats(float* p, TF8 a) {
    _mm_storeu_ps(p, a.lo);
    _mm_storeu_ps(p + 4, a.hi);
}
template <> inline TD8 Load<TD8>(const double* p) { return {Load<__m256d>(p), Load<__m256d>(p + 4)}; }
inline void Store(double* p, TD8 a) {
    Store(p, a.lo);
    Store(p + 4, a.hi);
}
inline TF8 BroadcastFloat8(const float* p) { return {_mm_broadcast_ss(p), _mm_broadcast_ss(p)}; }
inline TD8 BroadcastDouble(const double* p, TD8) { return {_mm256_broadcast_sd(p), _mm256_broadcast_sd(p)}; }
inline TF8 Join(__m128 lo, __m128 hi) { return {lo, hi}; }
template <int k>
inline __m128 Lane4(TF8 a) {
    if constexpr (k < 4)
        return Lane4<k>(a.lo);
    else
        return Lane4<k - 4>(a.hi);
}
template <int k>
inline TF8 Lane8(__m128 a) {
    return {Lane4<k>(a), Lane4<k>(a)};
}
inline TF8 Mul(TF8 a, TF8 b) { return {Mul(a.lo, b.lo), Mul(a.hi, b.hi)}; }
inline TF8 MulAdd(TF8 a, TF8 b, TF8 c) { return {MulAdd(a.lo, b.lo, c.lo), MulAdd(a.hi, b.hi, c.hi)}; }
inline __m128 NoteNotFinite(__m128 acc, TF8 a) { return NoteNotFinite(NoteNotFinite(acc, a.lo), a.hi); }
inline TD8 Widen(TF8 a) { return {Widen(a.lo), Widen(a.hi)}; }
inline TF8 ToF(TD8 a) { return {ToF(a.lo), ToF(a.hi)}; }
inline TD8 Add(TD8 a, TD8 b) { return {Add(a.lo, b.lo), Add(a.hi, b.hi)}; }
inline TD8 Sub(TD8 a, TD8 b) { return {Sub(a.lo, b.lo), Sub(a.hi, b.hi)}; }
inline TD8 Mul(TD8 a, TD8 b) { return {Mul(a.lo, b.lo), Mul(a.hi, b.hi)}; }
inline TD8 Div(TD8 a, TD8 b) { return {Div(a.lo, b.lo), Div(a.hi, b.hi)}; }
inline TD8 Min(TD8 a, TD8 b) { return {Min(a.lo, b.lo), Min(a.hi, b.hi)}; }
inline TD8 Max(TD8 a, TD8 b) { return {Max(a.lo, b.lo), Max(a.hi, b.hi)}; }
inline TD8 And(TD8 a, TD8 b) { return {And(a.lo, b.lo), And(a.hi, b.hi)}; }
inline TD8 Xor(TD8 a, TD8 b) { return {Xor(a.lo, b.lo), Xor(a.hi, b.hi)}; }
inline TD8 MulAdd(TD8 a, TD8 b, TD8 c) { return {MulAdd(a.lo, b.lo, c.lo), MulAdd(a.hi, b.hi, c.hi)}; }
inline TD8 NegMulAdd(TD8 a, TD8 b, TD8 c) { return {NegMulAdd(a.lo, b.lo, c.lo), NegMulAdd(a.hi, b.hi, c.hi)}; }
inline TD8 ExponentFromShifted(TD8 a) { return {ExponentFromShifted(a.lo), ExponentFromShifted(a.hi)}; }
inline TK8 Key(TD8 r, std::int64_t window, std::int64_t mask) {
    return {Key(r.lo, window, mask), Key(r.hi, window, mask)};
}
inline TK8 MinKey(TK8 a, TK8 b) { return {MinKey(a.lo, b.lo), MinKey(a.hi, b.hi)}; }
inline TK8 Below(TK8 a, TK8 b) { return {Below(a.lo, b.lo), Below(a.hi, b.hi)}; }
inline TK8 And(TK8 a, TK8 b) { return {And(a.lo, b.lo), And(a.hi, b.hi)}; }
inline TK8 Plus32(TK8 a, TK8 b) { return {Plus32(a.lo, b.lo), Plus32(a.hi, b.hi)}; }
inline __m256i Fold(TK8 a) { return Or(a.lo, a.hi); }
#endif

// f(0), f(1), ... f(n-1), each index a compile-time constant.
template <class F, int... k>
inline void ForEachIndex(F&& f, std::integer_sequence<int, k...>) {
    (f(std::integral_constant<int, k>{}), ...);
}
template <int n, class F>
inline void ForEachIndex(F&& f) {
    ForEachIndex(f, std::make_integer_sequence<int, n>{});
}

// Rounds every lane to float precision and widens it again.
template <class D>
inline D RoundToFloat(D a) {
    return FromFloats<D>(ToF(a));
}

template <class D>
inline D Abs(D a) {
    return And(a, Bits<D>(0x7FFFFFFFFFFFFFFF));
}


// ---- Kind (b) checks (see RavoStep.h). ----------------------------------------
// r may be a float midpoint: in the normal float range a midpoint has the
// significand bits 28..0 equal to 0x10000000; below 2^-126 (the subnormal
// range, where the midpoints lie elsewhere) every value but 0 is flagged, and
// so are NaNs.  0 is exact: no sum or product of floats underflows in double.
inline bool MidpointSuspect(double r) {
    std::uint64_t bits;
    __builtin_memcpy(&bits, &r, sizeof bits);
    return (bits & 0x1FFFFFFF) == 0x10000000 || !(r >= 0x1p-126 || r <= -0x1p-126 || r == 0.0);
}
// The same, lane by lane (the masked bits compare as subnormal doubles, exactly,
// in the default environment that the routes require).
template <class D>
inline D MidpointSuspect(D r) {
    return Or(Equal(And(r, Bits<D>(0x1FFFFFFF)), Bits<D>(0x10000000)),
              And(NotAtLeast(Abs(r), Set<D>(0x1p-126)), NotEqual(r, Set<D>(0.0))));
}

}  // namespace
