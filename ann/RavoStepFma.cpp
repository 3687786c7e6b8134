// The fast route with AVX2 and FMA: four doubles side by side, and the
// float accumulators of the forward pass and of the error handed down
// advanced by fused multiply-adds, each checked against the double value
// (see RavoStepKernel.h).  This file alone is built with -mavx2 -mfma; the
// network calls it only after the processor and the operating system have
// been found to support both.  Nothing else is fused: the compiler never
// contracts (-ffp-contract=off).
#include "ann/RavoStep.h"

#if defined(__AVX2__) && defined(__FMA__)
#include "ann/RavoStepKernel.h"

extern "C" __m256d _ZGVdN4v_exp(__m256d);

namespace {

struct VFma {
    using D = __m256d;
    static constexpr bool kFma = true;
    static constexpr bool kIntWindow = true;
    static constexpr bool kVectorExp = true;
    static constexpr std::size_t N = 4;
    static D Zero() { return _mm256_setzero_pd(); }
    static D Bits(long long b) { return _mm256_castsi256_pd(_mm256_set1_epi64x(b)); }
    static D Set1(double x) { return _mm256_set1_pd(x); }
    static D Load(const double* p) { return _mm256_loadu_pd(p); }
    static void Store(double* p, D a) { _mm256_storeu_pd(p, a); }
    static D LoadF(const float* p) { return _mm256_cvtps_pd(_mm_loadu_ps(p)); }
    static __m128 ToF(D a) { return _mm256_cvtpd_ps(a); }
    static void StoreF(float* p, D a) { _mm_storeu_ps(p, ToF(a)); }
    static D RoundF(D a) { return _mm256_cvtps_pd(_mm256_cvtpd_ps(a)); }
    static D Add(D a, D b) { return _mm256_add_pd(a, b); }
    static D Sub(D a, D b) { return _mm256_sub_pd(a, b); }
    static D Mul(D a, D b) { return _mm256_mul_pd(a, b); }
    static D And(D a, D b) { return _mm256_and_pd(a, b); }
    static D Or(D a, D b) { return _mm256_or_pd(a, b); }
    static D EqZero(D a) { return _mm256_cmp_pd(a, _mm256_setzero_pd(), _CMP_EQ_OQ); }
    static D EqD(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_EQ_OQ); }
    static D NotEqD(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_NEQ_UQ); }
    static D Max(D a, D b) { return _mm256_max_pd(a, b); }
    static D Unordered(D a) { return _mm256_cmp_pd(a, a, _CMP_UNORD_Q); }
    static bool Any(D a) { return _mm256_movemask_pd(a) != 0; }
    static D FromF(__m128 a) { return _mm256_cvtps_pd(a); }
    static D Div(D a, D b) { return _mm256_div_pd(a, b); }
    // All ones in the lanes below n (n counted from lane 0), else 0.
    static D LanesBelow(std::size_t n) {
        const __m256i index = _mm256_setr_epi64x(0, 1, 2, 3);
        return _mm256_castsi256_pd(_mm256_cmpgt_epi64(_mm256_set1_epi64x(static_cast<long long>(n)), index));
    }
    // c - a*b with one rounding.
    static D FmaNeg(D a, D b, D c) { return _mm256_fnmadd_pd(a, b, c); }
    // Lanes where a is not above b (or unordered).
    static D NotAbove(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_NGT_UQ); }
    // 64-bit integer addition and equality on the bits of the lanes.
    static D AddBits(D a, D b) {
        return _mm256_castsi256_pd(_mm256_add_epi64(_mm256_castpd_si256(a), _mm256_castpd_si256(b)));
    }
    static D EqBits(D a, D b) {
        return _mm256_castsi256_pd(_mm256_cmpeq_epi64(_mm256_castpd_si256(a), _mm256_castpd_si256(b)));
    }
    // Lanes where a is below b or unordered.
    static D Below(D a, double b) { return _mm256_cmp_pd(a, _mm256_set1_pd(b), _CMP_NGE_UQ); }
    // glibc's vector exp (libmvec), documented within 4 ulp like the scalar bound assumed.
    static D Exp(D a) { return _ZGVdN4v_exp(a); }
    static __m128 FmaF(__m128 a, __m128 b, __m128 c) { return _mm_fmadd_ps(a, b, c); }
    static float FmaScalar(float a, float b, float c) {
        return _mm_cvtss_f32(_mm_fmadd_ss(_mm_set_ss(a), _mm_set_ss(b), _mm_set_ss(c)));
    }
};

}  // namespace

bool RavoForwardFma(const TRavoStepView& v, const float* inputs) { return Forward<VFma>(v, inputs); }
bool RavoTrainFma(const TRavoStepView& v, const float* inputs, const float* targets, float& loss) {
    return Train<VFma>(v, inputs, targets, loss);
}
#endif
