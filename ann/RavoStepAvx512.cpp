// The fast route with AVX-512 for the program's own network, [7, 7, 3, 2]
// with sigmoid units: the first layer's seven neurons side by side in one
// register of eight doubles, every value of the step kept in registers, and
// the checks of RavoStepKernel.h folded into running minima per lane that are
// tested once at the end of the step.
//
// The checks here are coarser than the AVX2 route's: an exact sum that lands
// on a float midpoint, a value of 0 or a weight near 0 is flagged outright.
// A flagged step is not redone in extended precision at once: the caller
// first hands it to the AVX2+FMA route, which checks those cases one value at
// a time.  Why each check makes the result the extended route's is explained
// at the top of URavoAnn.cpp; this file uses kinds (a), (b) and (c) as named
// there.
//
// This file alone is built with -mavx512f -mavx512vl -mavx512dq; the network
// calls it only after the processor and the operating system have been found
// to support them.  Nothing is contracted by the compiler (-ffp-contract=off):
// every fused multiply-add below is written out and accounted for.
#include "ann/RavoStep.h"

#if defined(__AVX512F__) && defined(__AVX512VL__) && defined(__AVX512DQ__) && defined(__FMA__)
#include <immintrin.h>

#include <cmath>
#include <cstdint>
#include <cstring>

// glibc's vector exp (libmvec), eight and four lanes, documented within 4 ulp.
extern "C" __m512d _ZGVeN8v_exp(__m512d);
extern "C" __m256d _ZGVdN4v_exp(__m256d);

namespace {

// The shape this route handles, and its lane masks (one bit per neuron).
constexpr std::int32_t kShape[4] = {7, 7, 3, 2};
constexpr std::size_t kPad[3] = {8, 4, 4};  // weight rows and biases per layer, padded
constexpr __mmask8 kLanes1 = 0x7F;  // 7 neurons of layer 1 (of 8 lanes)
constexpr __mmask8 kLanes2 = 0x07;  // 3 neurons of layer 2 (of 4 lanes)
constexpr __mmask8 kLanes3 = 0x03;  // 2 outputs (of 4 lanes)

// Classes of fpclass: quiet NaN, +infinity, -infinity, signalling NaN.
constexpr int kNotFinite = 0x01 | 0x08 | 0x10 | 0x80;

// Widened registers: the upper lanes are 0.
inline __m512d Wide(__m256d a) { return _mm512_zextpd256_pd512(a); }
inline __m256 Wide(__m128 a) { return _mm256_zextps128_ps256(a); }

// The checks of one step, as running per-lane minima.  A lane's minimum of a
// key is 0 when one of its values was flagged; the magnitudes are compared
// with their bounds where they end.  NaNs never reach a minimum unnoticed:
// every non-finite sum, error signal and handed-down error is flagged on its
// own, and nothing computed from finite values of this step is a NaN.
struct TChecks {
    // Keys that are 0 exactly when a value must be flagged.
    __m512i zeroKey = _mm512_set1_epi64(-1);
    // Smallest |r| of the kind (b) values: below 2^-126 (the float subnormal
    // range, or 0) is flagged.
    __m512d exactMagnitude = _mm512_set1_pd(INFINITY);
    __mmask8 flagged = 0;
    unsigned flaggedScalar = 0;

    // Kind (b): r (one rounding of an exact value) on a float midpoint of the
    // normal range, that is with significand bits 28..0 equal to 0x10000000.
    void Exact(__m512d r, __mmask8 lanes) {
        // min(|a|, |b|) with the sign cleared.
        exactMagnitude = _mm512_mask_range_pd(exactMagnitude, lanes, exactMagnitude, r, 0x0A);
        // (bits ^ 0x10000000) & 0x1FFFFFFF, one ternary-logic instruction
        // (last: it may overwrite r's register).
        const __m512i key = _mm512_ternarylogic_epi64(_mm512_castpd_si512(r), _mm512_set1_epi64(0x10000000),
                                                      _mm512_set1_epi64(0x1FFFFFFF), 0x28);
        zeroKey = _mm512_mask_min_epu64(zeroKey, lanes, zeroKey, key);
    }
    void Exact(__m256d r, __mmask8 lanes) { Exact(_mm512_castpd256_pd512(r), lanes); }  // upper lanes masked

    // Kind (c), a weight step r: its significand bits 28..0 within 32 units
    // of 0x10000000, where the float midpoints of its binade lie.
    void Window(__m512d r, __mmask8 lanes) {
        const __m512i shifted = _mm512_add_epi64(_mm512_castpd_si512(r), _mm512_set1_epi64(32));
        const __m512i key = _mm512_ternarylogic_epi64(shifted, _mm512_set1_epi64(0x10000000),
                                                      _mm512_set1_epi64(0x1FFFFFFF & ~63), 0x28);
        zeroKey = _mm512_mask_min_epu64(zeroKey, lanes, zeroKey, key);
    }

    void NotFinite(__m256 a, __mmask8 lanes) { flagged |= _mm256_mask_fpclass_ps_mask(lanes, a, kNotFinite); }
    void NotFinite(__m128 a, __mmask8 lanes) { flagged |= _mm_mask_fpclass_ps_mask(lanes, a, kNotFinite); }

    // Folds the minima into the flags and starts them again.  Done before
    // each call of the vector exp, which may change every vector register:
    // then only the flags have to be kept across the call.
    void Settle() {
        flagged |= _mm512_cmpeq_epu64_mask(zeroKey, _mm512_setzero_si512());
        flagged |= _mm512_cmp_pd_mask(exactMagnitude, _mm512_set1_pd(0x1p-126), _CMP_NGE_UQ);
        zeroKey = _mm512_set1_epi64(-1);
        exactMagnitude = _mm512_set1_pd(INFINITY);
    }

    bool Sure() {
        Settle();
        return (static_cast<unsigned>(flagged) | flaggedScalar) == 0;
    }
};

// The weight steps of one layer go through this: the smallest |r| per lane,
// compared at the end with the lane's bound (see WeightBound).
struct TWeightMagnitude {
    __m512d least = _mm512_set1_pd(INFINITY);
    void Add(__m512d r, __mmask8 lanes) { least = _mm512_mask_range_pd(least, lanes, least, r, 0x0A); }
};

// Kind (c) for w - step*o rounded once (fused): r is safe when |r| is above
// 4 |step_j| M, M >= max|o| (so that |P| <= |r|/2 and the two routes differ by
// less than 3 units in the last place of r), and above 2^-125.
inline __m512d WeightBound(__m512d step, double maxIn) {
    return _mm512_max_pd(_mm512_mul_pd(_mm512_abs_pd(step), _mm512_set1_pd(4.0 * maxIn)), _mm512_set1_pd(0x1p-125));
}
inline void CheckWeightBound(TChecks& checks, const TWeightMagnitude& m, __m512d bound, __mmask8 lanes) {
    checks.flagged |= _mm512_mask_cmp_pd_mask(lanes, m.least, bound, _CMP_NGT_UQ);
}

// Sigmoid of float sums, in double: 1/(1+exp(-a)).  Kind (c) with a relative
// bound of 2^-40: flagged unless r(1-2^-40) and r(1+2^-40) round to the same
// float; NaNs flagged.
inline __m256 Sigmoid8(__m256 sum, __mmask8 lanes, TChecks& checks) {
    checks.Settle();
    const __m512d e = _ZGVeN8v_exp(_mm512_cvtps_pd(_mm256_xor_ps(sum, _mm256_set1_ps(-0.0f))));  // exp(-sum)
    const __m512d r = _mm512_div_pd(_mm512_set1_pd(1.0), _mm512_add_pd(_mm512_set1_pd(1.0), e));
    const __m256i below = _mm256_castps_si256(_mm512_cvtpd_ps(_mm512_mul_pd(r, _mm512_set1_pd(1.0 - 0x1p-40))));
    const __m256i above = _mm256_castps_si256(_mm512_cvtpd_ps(_mm512_mul_pd(r, _mm512_set1_pd(1.0 + 0x1p-40))));
    checks.flagged |= _mm256_mask_cmpneq_epi32_mask(lanes, below, above);
    checks.flagged |= _mm512_mask_cmp_pd_mask(lanes, r, r, _CMP_UNORD_Q);
    return _mm512_cvtpd_ps(r);
}
inline __m128 Sigmoid4(__m128 sum, __mmask8 lanes, TChecks& checks) {
    checks.Settle();
    const __m256d e = _ZGVdN4v_exp(_mm256_cvtps_pd(_mm_xor_ps(sum, _mm_set1_ps(-0.0f))));  // exp(-sum)
    const __m256d r = _mm256_div_pd(_mm256_set1_pd(1.0), _mm256_add_pd(_mm256_set1_pd(1.0), e));
    const __m128i below = _mm_castps_si128(_mm256_cvtpd_ps(_mm256_mul_pd(r, _mm256_set1_pd(1.0 - 0x1p-40))));
    const __m128i above = _mm_castps_si128(_mm256_cvtpd_ps(_mm256_mul_pd(r, _mm256_set1_pd(1.0 + 0x1p-40))));
    checks.flagged |= _mm_mask_cmpneq_epi32_mask(lanes, below, above);
    checks.flagged |= _mm256_mask_cmp_pd_mask(lanes, r, r, _CMP_UNORD_Q);
    return _mm256_cvtpd_ps(r);
}

// A sigmoid unit's derivative at its sum, from its output s: s(1-s), kind (b)
// with 1-s exact for s >= 2^-28 (smaller s flagged).
inline __m512d SigmoidDerivative(__m512d s, __mmask8 lanes, TChecks& checks) {
    checks.flagged |= _mm512_mask_cmp_pd_mask(lanes, s, _mm512_set1_pd(0x1p-28), _CMP_NGE_UQ);
    const __m512d r = _mm512_mul_pd(s, _mm512_sub_pd(_mm512_set1_pd(1.0), s));
    checks.Exact(r, lanes);
    return r;
}

// ---- The forward pass: one layer's float accumulators. ------------------------
//
// Each lane's accumulator starts at the neuron's bias and takes the inputs in
// order: acc = float(o_k * w_jk + acc), fused (float of the exact value); the
// double r = o_k * w_jk + acc beside it is the value the check needs (kind (b)).
// x and xd hold the layer's inputs as floats and as doubles.  The float
// inputs come from the caller's array or from the register the layer below
// computed them in, not from the copies just stored: a load of a value just
// stored waits for the store, and the float chain is the step's critical path.

inline __m256 Layer8(const float* bias, const float* weight, std::size_t pad, const float* x, const double* xd,
                     TChecks& checks) {
    __m256 acc = _mm256_loadu_ps(bias);
#pragma GCC unroll 8
    for (std::size_t k = 0; k < 7; ++k) {
        const __m256 w = _mm256_loadu_ps(weight + k * pad);
        const __m512d r = _mm512_fmadd_pd(_mm512_set1_pd(xd[k]), _mm512_cvtps_pd(w), _mm512_cvtps_pd(acc));
        checks.Exact(r, kLanes1);
        acc = _mm256_fmadd_ps(_mm256_set1_ps(x[k]), w, acc);
    }
    checks.NotFinite(acc, kLanes1);
    return acc;
}

// Lane k of x in every lane.
inline __m128 Broadcast4(__m256 x, int k) {
    return k == 0 ? _mm_broadcastss_ps(_mm256_castps256_ps128(x))
                  : _mm256_castps256_ps128(_mm256_permutexvar_ps(_mm256_set1_epi32(k), x));
}

template <std::size_t kInputs>
inline __m128 Layer4(const float* bias, const float* weight, std::size_t pad, __m256 x, const double* xd,
                     __mmask8 lanes, TChecks& checks) {
    __m128 acc = _mm_loadu_ps(bias);
#pragma GCC unroll 8
    for (std::size_t k = 0; k < kInputs; ++k) {
        const __m128 w = _mm_loadu_ps(weight + k * pad);
        const __m256d r = _mm256_fmadd_pd(_mm256_set1_pd(xd[k]), _mm256_cvtps_pd(w), _mm256_cvtps_pd(acc));
        checks.Exact(r, lanes);
        acc = _mm_fmadd_ps(Broadcast4(x, static_cast<int>(k)), w, acc);
    }
    checks.NotFinite(acc, lanes);
    return acc;
}

// ---- The backward sweep. -----------------------------------------------------

// Neuron j's delta from a float register, in every lane.
inline __m256 Broadcast(__m256 v, int j) { return _mm256_permutexvar_ps(_mm256_set1_epi32(j), v); }

// The error handed down from a layer of nOut neurons: g_k = sum_j delta_j w_jk
// over j in ascending order, lanes k; column[j] holds w_jk in lane k (0 in
// padding lanes).  The first term is one rounding of a product (kind (a)),
// every further one fused and checked like the forward accumulators.
template <std::size_t kOut>
inline __m256 HandDown(__m256 delta, const __m256 (&column)[kOut], __mmask8 lanes, TChecks& checks) {
    __m256 g = _mm256_mul_ps(Broadcast(delta, 0), column[0]);
#pragma GCC unroll 4
    for (std::size_t j = 1; j < kOut; ++j) {
        const __m256 d = Broadcast(delta, static_cast<int>(j));
        const __m512d r = _mm512_fmadd_pd(_mm512_cvtps_pd(d), _mm512_cvtps_pd(column[j]), _mm512_cvtps_pd(g));
        checks.Exact(r, lanes);
        g = _mm256_fmadd_ps(d, column[j], g);
    }
    checks.NotFinite(g, lanes);
    return g;
}

// New bias b - delta*lr: the product delta*lr is exact in double (24 + 24
// bits), the difference one rounding (kind (b)), fused or not alike.
inline __m512d BiasStep(const float* bias, float* biasNext, __m512d delta, double lr, __mmask8 lanes, __mmask8 store,
                        TChecks& checks) {
    const __m512d b = _mm512_fnmadd_pd(delta, _mm512_set1_pd(lr), _mm512_cvtps_pd(_mm256_maskz_loadu_ps(store, bias)));
    checks.Exact(b, lanes);
    _mm256_mask_storeu_ps(biasNext, store, _mm512_cvtpd_ps(b));
    return b;
}

// New weights w - step*o for eight weights at once (stored where store says),
// rounded once (fused): the double value, for CheckWeight.  For the first
// layer, step is the delta and o the product lr*o (exact in double: 24 + 24
// bits), so that the step's product is not on the way to the next step; the
// fused difference is the same one rounding of the same exact w - delta*lr*o.
inline __m512d WeightStep(const float* w, float* wNext, __m512d step, __m512d o, __mmask8 store) {
    const __m512d r = _mm512_fnmadd_pd(step, o, _mm512_cvtps_pd(_mm256_maskz_loadu_ps(store, w)));
    _mm256_mask_storeu_ps(wNext, store, _mm512_cvtpd_ps(r));
    return r;
}

// Kind (c) for a new weight r (see WeightBound).
inline void CheckWeight(__m512d r, __mmask8 lanes, TChecks& checks, TWeightMagnitude& magnitude) {
    checks.Window(r, lanes);
    magnitude.Add(r, lanes);
}

}  // namespace

bool RavoTrainAvx512(const TRavoStepView& v, const float* inputs, const float* targets, float& loss) {
    if (!v.sigmoidNet || v.layers != 4 || v.counts[0] != kShape[0] || v.counts[1] != kShape[1] ||
        v.counts[2] != kShape[2] || v.counts[3] != kShape[3] || v.pad[0] != kPad[0] || v.pad[1] != kPad[1] ||
        v.pad[2] != kPad[2])
        return false;
    TChecks checks;
    const double lr = v.learningRate;

    // Layer offsets (padded: 8, 8, 4, 4 neurons; weight rows padded to 8, 4, 4).
    const std::size_t n0 = v.neuronOffset[0], n1 = v.neuronOffset[1], n2 = v.neuronOffset[2],
                      n3 = v.neuronOffset[3];
    const float* w1 = v.weight + v.weightOffset[0];
    const float* w2 = v.weight + v.weightOffset[1];
    const float* w3 = v.weight + v.weightOffset[2];
    const float* b1 = v.bias + v.biasOffset[0];
    const float* b2 = v.bias + v.biasOffset[1];
    const float* b3 = v.bias + v.biasOffset[2];

    // ---- Forward. ----
    const __m256 x0 = _mm256_maskz_loadu_ps(0x7F, inputs);
    _mm256_storeu_ps(v.sum + n0, x0);
    _mm256_storeu_ps(v.out + n0, x0);
    const __m512d x0d = _mm512_cvtps_pd(x0);
    _mm512_storeu_pd(v.outD + n0, x0d);
    const double maxIn = _mm512_mask_reduce_max_pd(0x7F, _mm512_abs_pd(x0d));  // for the weight steps

    const __m256 sum1 = Layer8(b1, w1, kPad[0], inputs, v.outD + n0, checks);
    _mm256_storeu_ps(v.sum + n1, sum1);
    const __m256 o1 = Sigmoid8(sum1, kLanes1, checks);
    const __m512d o1d = _mm512_cvtps_pd(o1);
    _mm256_storeu_ps(v.out + n1, o1);
    _mm512_storeu_pd(v.outD + n1, o1d);

    const __m128 sum2 = Layer4<7>(b2, w2, kPad[1], o1, v.outD + n1, kLanes2, checks);
    _mm_storeu_ps(v.sum + n2, sum2);
    const __m128 o2 = Sigmoid4(sum2, kLanes2, checks);
    const __m256d o2d = _mm256_cvtps_pd(o2);
    _mm_storeu_ps(v.out + n2, o2);
    _mm256_storeu_pd(v.outD + n2, o2d);

    const __m128 o3 = Layer4<3>(b3, w3, kPad[2], Wide(o2), v.outD + n2, kLanes3, checks);  // linear outputs
    _mm_storeu_ps(v.sum + n3, o3);
    _mm_storeu_ps(v.out + n3, o3);

    // ---- Backward.  The chain that the next step waits for comes first: the
    // error signals down to layer 1 and the first layer's new weights; the
    // other layers' new weights and biases and every weight check follow. ----

    // Output layer: linear units, derivative 1.
    const __m128 t = _mm_maskz_loadu_ps(kLanes3, targets);
    const __m128 e3 = _mm_maskz_sub_ps(kLanes3, o3, t);  // kind (a); padding lanes 0
    checks.NotFinite(e3, kLanes3);
    const __m256 delta3 = Wide(e3);
    const __m512d step3 = _mm512_mul_pd(_mm512_cvtps_pd(delta3), _mm512_set1_pd(lr));  // exact

    // Layer 2: the error handed down from the outputs, then the deltas.
    __m256 g2;
    {
        // w_jk of the output layer with k in the lanes: rows of 4, three rows.
        const __m512 rows = _mm512_maskz_loadu_ps(0x0FFF, w3);
        __m256 column[2];
        for (int j = 0; j < 2; ++j)
            column[j] = _mm512_castps512_ps256(_mm512_permutexvar_ps(
                _mm512_setr_epi32(j, 4 + j, 8 + j, 12 + j, 12 + j, 12 + j, 12 + j, 12 + j, 0, 0, 0, 0, 0, 0, 0, 0),
                rows));
        // Lanes 3..7 read the zeros past the three rows.
        g2 = HandDown<2>(delta3, column, kLanes2, checks);
    }
    const __m128 der2 = _mm256_cvtpd_ps(_mm512_castpd512_pd256(SigmoidDerivative(Wide(o2d), kLanes2, checks)));
    const __m128 delta2x = _mm_mul_ps(_mm256_castps256_ps128(g2), der2);  // kind (a); padding lanes 0
    const __m256 delta2 = Wide(delta2x);
    const __m512d step2 = _mm512_mul_pd(_mm512_cvtps_pd(delta2), _mm512_set1_pd(lr));

    // Layer 1: the error handed down from layer 2, then the deltas.
    __m256 g1;
    {
        // w_jk of layer 2 with k in the lanes: rows of 4, seven rows.
        const __m512 low = _mm512_loadu_ps(w2);
        const __m512 high = _mm512_maskz_loadu_ps(0x0FFF, w2 + 16);
        __m256 column[3];
        for (int j = 0; j < 3; ++j)
            column[j] = _mm512_castps512_ps256(_mm512_permutex2var_ps(
                low, _mm512_setr_epi32(j, 4 + j, 8 + j, 12 + j, 16 + j, 20 + j, 24 + j, 28 + j, 0, 0, 0, 0, 0, 0, 0, 0),
                high));
        // Lane 7 reads a zero past the seven rows.
        g1 = HandDown<3>(delta2, column, kLanes1, checks);
    }
    const __m256 der1 = _mm512_cvtpd_ps(SigmoidDerivative(o1d, kLanes1, checks));
    const __m256 delta1 = _mm256_mul_ps(g1, der1);  // kind (a); padding lane 0
    const __m512d delta1d = _mm512_cvtps_pd(delta1);
    const __m512d step1 = _mm512_mul_pd(delta1d, _mm512_set1_pd(lr));  // for the bound only

    // New weights and biases of layer 1, then of layers 3 and 2.
    __m512d r1[7];
    {
        float* next = v.weightNext + v.weightOffset[0];
#pragma GCC unroll 8
        for (std::size_t k = 0; k < 7; ++k)
            r1[k] = WeightStep(w1 + 8 * k, next + 8 * k, delta1d, _mm512_set1_pd(lr * v.outD[n0 + k]), 0xFF);
    }
    BiasStep(b1, v.biasNext + v.biasOffset[0], delta1d, lr, kLanes1, 0xFF, checks);
    BiasStep(b3, v.biasNext + v.biasOffset[2], _mm512_cvtps_pd(delta3), lr, kLanes3, 0x0F, checks);
    {
        // Two rows of four weights per register: inputs k and k+1.
        const __m512d steps = _mm512_broadcast_f64x4(_mm512_castpd512_pd256(step3));
        const __m512d bound = WeightBound(steps, 1.0);  // inputs are sigmoid outputs, within [0, 1]
        TWeightMagnitude magnitude;
        float* next = v.weightNext + v.weightOffset[2];
        const __m512d o01 = _mm512_permutexvar_pd(_mm512_setr_epi64(0, 0, 0, 0, 1, 1, 1, 1), Wide(o2d));
        const __m512d o2x = _mm512_permutexvar_pd(_mm512_set1_epi64(2), Wide(o2d));
        CheckWeight(WeightStep(w3, next, steps, o01, 0xFF), 0x33, checks, magnitude);
        CheckWeight(WeightStep(w3 + 8, next + 8, steps, o2x, 0x0F), 0x03, checks, magnitude);
        CheckWeightBound(checks, magnitude, bound, 0x33);
    }
    BiasStep(b2, v.biasNext + v.biasOffset[1], _mm512_cvtps_pd(delta2), lr, kLanes2, 0x0F, checks);
    {
        const __m512d steps = _mm512_broadcast_f64x4(_mm512_castpd512_pd256(step2));
        const __m512d bound = WeightBound(steps, 1.0);
        TWeightMagnitude magnitude;
        float* next = v.weightNext + v.weightOffset[1];
#pragma GCC unroll 4
        for (int k = 0; k < 6; k += 2) {
            const __m512d o = _mm512_permutexvar_pd(_mm512_setr_epi64(k, k, k, k, k + 1, k + 1, k + 1, k + 1), o1d);
            CheckWeight(WeightStep(w2 + 4 * k, next + 4 * k, steps, o, 0xFF), 0x77, checks, magnitude);
        }
        const __m512d o6 = _mm512_permutexvar_pd(_mm512_set1_epi64(6), o1d);
        CheckWeight(WeightStep(w2 + 24, next + 24, steps, o6, 0x0F), 0x07, checks, magnitude);
        CheckWeightBound(checks, magnitude, bound, 0x77);
    }
    {
        TWeightMagnitude magnitude;
#pragma GCC unroll 8
        for (std::size_t k = 0; k < 7; ++k) CheckWeight(r1[k], kLanes1, checks, magnitude);
        CheckWeightBound(checks, magnitude, WeightBound(step1, maxIn), kLanes1);
    }

    // ---- The tally, from the outputs of the forward pass (kind (b) each). ----
    alignas(16) float e[4];
    _mm_store_ps(e, e3);
    double tally = loss;
    for (int j = 0; j < 2; ++j) {
        const double d = e[j];
        const double r = d * d + tally;
        std::uint64_t bits;
        std::memcpy(&bits, &r, sizeof bits);
        checks.flaggedScalar |= ((bits & 0x1FFFFFFFu) == 0x10000000u) | !(std::fabs(r) >= 0x1p-126 || r == 0.0);
        tally = static_cast<float>(r);
    }
    if (!checks.Sure()) return false;
    loss = static_cast<float>(tally);
    return true;
}

#endif
