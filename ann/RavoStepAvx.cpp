// The fast route with AVX: four doubles side by side.  This file alone is
// built with -mavx; the network calls it only after the processor and the
// operating system have been found to support AVX.
#include "ann/RavoStep.h"

#if defined(__AVX__)
#include "ann/RavoStepKernel.h"

namespace {

struct VAvx {
    using D = __m256d;
    static constexpr bool kFma = false;
    static constexpr bool kIntWindow = false;
    static constexpr bool kVectorExp = false;
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
    // Lanes where a is below b or unordered.
    static D Below(D a, double b) { return _mm256_cmp_pd(a, _mm256_set1_pd(b), _CMP_NGE_UQ); }
    static D Unordered(D a) { return _mm256_cmp_pd(a, a, _CMP_UNORD_Q); }
    static bool Any(D a) { return _mm256_movemask_pd(a) != 0; }
};

}  // namespace

bool RavoForwardAvx(const TRavoStepView& v, const float* inputs) { return Forward<VAvx>(v, inputs); }
bool RavoTrainAvx(const TRavoStepView& v, const float* inputs, const float* targets, float& loss) {
    return Train<VAvx>(v, inputs, targets, loss);
}
#endif
