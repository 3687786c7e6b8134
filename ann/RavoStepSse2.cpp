// The fast route with SSE2, the baseline of every x86-64 processor: two
// doubles side by side.
#include "ann/RavoStep.h"

#if defined(__SSE2__)
#include "ann/RavoStepKernel.h"

namespace {

struct VSse2 {
    using D = __m128d;
    static constexpr bool kFma = false;
    static constexpr bool kIntWindow = false;
    static constexpr bool kVectorExp = false;
    static constexpr std::size_t N = 2;
    static D Zero() { return _mm_setzero_pd(); }
    static D Bits(long long b) { return _mm_castsi128_pd(_mm_set1_epi64x(b)); }
    static D Set1(double x) { return _mm_set1_pd(x); }
    static D Load(const double* p) { return _mm_loadu_pd(p); }
    static void Store(double* p, D a) { _mm_storeu_pd(p, a); }
    static D LoadF(const float* p) {
        return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
    }
    static __m128 ToF(D a) { return _mm_cvtpd_ps(a); }
    static void StoreF(float* p, D a) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_castps_si128(ToF(a))); }
    static D RoundF(D a) { return _mm_cvtps_pd(_mm_cvtpd_ps(a)); }
    static D Add(D a, D b) { return _mm_add_pd(a, b); }
    static D Sub(D a, D b) { return _mm_sub_pd(a, b); }
    static D Mul(D a, D b) { return _mm_mul_pd(a, b); }
    static D And(D a, D b) { return _mm_and_pd(a, b); }
    static D Or(D a, D b) { return _mm_or_pd(a, b); }
    static D EqZero(D a) { return _mm_cmpeq_pd(a, _mm_setzero_pd()); }
    static D EqD(D a, D b) { return _mm_cmpeq_pd(a, b); }
    static D NotEqD(D a, D b) { return _mm_cmpneq_pd(a, b); }
    // Lanes where a is below b or unordered.
    static D Below(D a, double b) { return _mm_cmpnge_pd(a, _mm_set1_pd(b)); }
    static D Unordered(D a) { return _mm_cmpunord_pd(a, a); }
    static bool Any(D a) { return _mm_movemask_pd(a) != 0; }
};

}  // namespace

bool RavoForwardSse2(const TRavoStepView& v, const float* inputs) { return Forward<VSse2>(v, inputs); }
bool RavoTrainSse2(const TRavoStepView& v, const float* inputs, const float* targets, float& loss) {
    return Train<VSse2>(v, inputs, targets, loss);
}
#endif
