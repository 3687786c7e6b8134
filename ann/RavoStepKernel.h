// Internal to the network: the fast route, written once over a small vector
// abstraction and instantiated per instruction set (RavoStepSse2.cpp,
// RavoStepAvx.cpp).  Everything here has internal linkage, so that code built
// for one instruction set is never shared with a translation unit built for
// another.  Why each check makes the result the extended route's is explained
// at the top of URavoAnn.cpp.
#pragma once

#include "ann/RavoStep.h"

#include <immintrin.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

namespace {

inline std::uint32_t KFloatBits(float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

inline std::uint64_t KDoubleBits(double d) {
    std::uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    return u;
}

// Kind (b): r may be a float midpoint.  In the normal float range a midpoint
// has the significand bits 28..0 equal to 0x10000000; below 2^-126 (the
// subnormal range, where the midpoints lie elsewhere) every value but 0 is
// flagged, and so are NaNs.  0 is exact: no sum or product of floats
// underflows in double.
inline unsigned KMidpointSuspect(double r) {
    return ((KDoubleBits(r) & 0x1FFFFFFFu) == 0x10000000u) | !(std::fabs(r) >= 0x1p-126 || r == 0.0);
}

// Kind (c), relative bound 2^-40; NaNs flagged as well.
inline unsigned KRelativeSuspect(double r) {
    return (KFloatBits(static_cast<float>(r * (1.0 - 0x1p-40))) !=
            KFloatBits(static_cast<float>(r * (1.0 + 0x1p-40)))) |
           (r != r);
}

// The network's shape as the kernels see it: read from the view, or fixed
// at compile time for the program's own network, so that every loop has a
// known trip count and is unrolled without a branch left to mispredict.
struct TAnyShape {
    static constexpr bool kFixed = false;
    static constexpr std::size_t kMaxPad = 1;
    static constexpr std::size_t kLayers = 0;
    static std::size_t Layers(const TRavoStepView& v) { return v.layers; }
    static std::size_t Count(const TRavoStepView& v, std::size_t l) { return static_cast<std::size_t>(v.counts[l]); }
    static std::size_t Pad(const TRavoStepView& v, std::size_t i) { return v.pad[i]; }
    static bool SigmoidNet(const TRavoStepView& v) { return v.sigmoidNet; }
};

template <int N0, int N1, int N2, int N3>
struct TSigmoidShape4 {
    static constexpr bool kFixed = true;
    static constexpr std::size_t kMaxPad = 16;
    static constexpr std::size_t kLayers = 4;
    static constexpr std::size_t kCounts[4] = {N0, N1, N2, N3};
    static constexpr std::size_t Layers(const TRavoStepView&) { return 4; }
    static constexpr std::size_t Count(const TRavoStepView&, std::size_t l) { return kCounts[l]; }
    static constexpr std::size_t Pad(const TRavoStepView&, std::size_t i) { return (kCounts[i + 1] + 3) / 4 * 4; }
    static constexpr bool SigmoidNet(const TRavoStepView&) { return true; }
    static bool Matches(const TRavoStepView& v) {
        return v.sigmoidNet && v.layers == 4 && v.counts[0] == N0 && v.counts[1] == N1 && v.counts[2] == N2 &&
               v.counts[3] == N3;
    }
};

// Stores Count floats (a multiple of 4) four at a time.
inline void StoreQuads(std::size_t count, float* to, const float* from) {
#pragma GCC unroll 4
    for (std::size_t q = 0; q < count; q += 4)
        _mm_storeu_ps(to + q, _mm_setr_ps(from[q], from[q + 1], from[q + 2], from[q + 3]));
}

// Calls f(l) for the layers l = 1 ... L-1 (upwards) or L-1 ... 1 (downwards);
// for a fixed shape l is a compile-time constant.
template <class S, class F, std::size_t... I>
inline void LayersUpFixed(F& f, std::index_sequence<I...>) {
    (f(std::integral_constant<std::size_t, I + 1>{}), ...);
}
template <class S, class F, std::size_t... I>
inline void LayersDownFixed(F& f, std::index_sequence<I...>) {
    (f(std::integral_constant<std::size_t, S::kLayers - 1 - I>{}), ...);
}
template <class S, class F>
inline void LayersUp(const TRavoStepView& v, F f) {
    if constexpr (S::kFixed)
        LayersUpFixed<S>(f, std::make_index_sequence<S::kLayers - 1>{});
    else
        for (std::size_t l = 1; l < v.layers; ++l) f(l);
}
template <class S, class F>
inline void LayersDown(const TRavoStepView& v, F f) {
    if constexpr (S::kFixed)
        LayersDownFixed<S>(f, std::make_index_sequence<S::kLayers - 1>{});
    else
        for (std::size_t l = v.layers - 1; l >= 1; --l) f(l);
}

// The same test, lane by lane (the masked bits compare as subnormal doubles,
// exactly, in the default environment that the route requires).
template <class V>
inline typename V::D MidpointSuspectV(typename V::D r) {
    const typename V::D magnitude = V::And(r, V::Bits(0x7FFFFFFFFFFFFFFF));
    return V::Or(V::EqD(V::And(r, V::Bits(0x1FFFFFFF)), V::Bits(0x10000000)),
                 V::And(V::Below(magnitude, 0x1p-126), V::NotEqD(r, V::Zero())));
}

template <class V, class S = TAnyShape>
bool ForwardKernel(const TRavoStepView& v, const float* inputs) {
    using D = typename V::D;
    const std::size_t n0 = S::Count(v, 0);
#pragma GCC unroll 16
    for (std::size_t k = 0; k < n0; ++k) {
        v.sum[k] = v.out[k] = inputs[k];
        v.outD[k] = inputs[k];
    }
    D unsure = V::Zero();
    __m128 unsureF = _mm_setzero_ps();
    unsigned unsureScalar = 0;
    LayersUp<S>(v, [&](auto layer) {
        const std::size_t l = layer;
        const std::size_t i = l - 1;
        const std::size_t nIn = S::Count(v, i);
        const std::size_t nOut = S::Count(v, l);
        const std::size_t pad = S::Pad(v, i);
        const double* x = v.outD + v.neuronOffset[i];
        const float* weight = v.weight + v.weightOffset[i];
        const float* bias = v.bias + v.biasOffset[i];
        const double* mask = v.laneMask + v.biasOffset[i];
        // Accumulators of V::N neurons side by side; each lane's chain of
        // roundings is exactly the formula's.
        const float* xf = v.out + v.neuronOffset[i];
#pragma GCC unroll 4
        for (std::size_t q = 0; q < pad; q += V::N) {
            const D lanes = V::Load(mask + q);
            const float* w = weight + q;
            if constexpr (V::kFma) {
                // The accumulators stay floats: a fused multiply-add gives
                // float(exact o*w + acc), the extended route gives
                // float(round64(exact)); they differ only when round64 lands
                // on a float midpoint, and then so does the double r below,
                // which flags it.  The chain waits for one instruction a step.
                __m128 acc = _mm_loadu_ps(bias + q);
#pragma GCC unroll 16
                for (std::size_t k = 0; k < nIn; ++k, w += pad) {
                    const __m128 wf = _mm_loadu_ps(w);
                    const D p = V::Mul(V::Set1(x[k]), V::FromF(wf));
                    const D a = V::FromF(acc);
                    const D r = V::Add(p, a);
                    const D suspect = V::And(MidpointSuspectV<V>(r), lanes);
                    if (__builtin_expect(V::Any(suspect), 0)) {
                        // r lies on a float midpoint: inputs with few
                        // significant bits make exact sums land there.  An
                        // exact r is the same in both routes; keep the flag
                        // only where the error of p + a (two-sum) is not 0.
                        const D back = V::Sub(r, p);
                        const D error = V::Add(V::Sub(p, V::Sub(r, back)), V::Sub(a, back));
                        unsure = V::Or(unsure, V::And(suspect, V::NotEqD(error, V::Zero())));
                    }
                    acc = V::FmaF(_mm_set1_ps(xf[k]), wf, acc);
                }
                V::Store(v.sumD + q, V::FromF(acc));
            } else {
                D acc = V::LoadF(bias + q);
#pragma GCC unroll 16
                for (std::size_t k = 0; k < nIn; ++k, w += pad) {
                    const D r = V::Add(V::Mul(V::Set1(x[k]), V::LoadF(w)), acc);
                    unsure = V::Or(unsure, V::And(MidpointSuspectV<V>(r), lanes));
                    acc = V::RoundF(r);
                }
                V::Store(v.sumD + q, acc);
            }
        }
        const bool output = l + 1 == S::Layers(v);
        const bool sigmoidUnits = output != S::SigmoidNet(v);
        const bool reluUnits = !S::SigmoidNet(v) && !output;
        float* sum = v.sum + v.neuronOffset[l];
        float* out = v.out + v.neuronOffset[l];
        double* outD = v.outD + v.neuronOffset[l];
        if constexpr (V::kVectorExp) {
            // Sigmoid units V::N at a time (the layers are padded to a
            // multiple of 4; padding lanes compute Sigmoid(0) = 0.5, unused).
            if (sigmoidUnits) {
#pragma GCC unroll 4
                for (std::size_t q = 0; q < pad; q += V::N) {
                    const D a = V::Load(v.sumD + q);
                    _mm_storeu_ps(sum + q, V::ToF(a));
                    const D r = V::Div(V::Set1(1.0), V::Add(V::Set1(1.0), V::Exp(V::Sub(V::Zero(), a))));
                    unsureF = _mm_or_ps(unsureF, _mm_xor_ps(V::ToF(V::Mul(r, V::Set1(1.0 - 0x1p-40))),
                                                            V::ToF(V::Mul(r, V::Set1(1.0 + 0x1p-40)))));
                    unsure = V::Or(unsure, V::Unordered(r));
                    const __m128 o = V::ToF(r);
                    _mm_storeu_ps(out + q, o);
                    V::Store(outD + q, V::FromF(o));
                }
                return;
            }
        }
#pragma GCC unroll 16
        for (std::size_t j = 0; j < nOut; ++j) {
            const double a = v.sumD[j];
            sum[j] = static_cast<float>(a);
            double o = a;
            if (sigmoidUnits) {
                const double r = 1.0 / (1.0 + std::exp(-a));
                unsureScalar |= KRelativeSuspect(r);
                o = static_cast<double>(static_cast<float>(r));
            } else if (reluUnits) {
                o = a > 0.0 ? a : 0.0;
            }
            outD[j] = o;
            out[j] = static_cast<float>(o);
        }
    });
    const __m128i sameF = _mm_cmpeq_epi32(_mm_castps_si128(unsureF), _mm_setzero_si128());
    return unsureScalar == 0 && !V::Any(unsure) && _mm_movemask_epi8(sameF) == 0xFFFF;
}

// The error handed down to the four sending neurons kq ... kq+3 with fused
// multiply-adds: the rows W[k][.] are transposed in registers, four receiving
// neurons j at a time, and each lane runs its own chain over j in ascending
// order, fused and checked in double as in the forward pass.  Lanes past
// nIn read no weights and end as 0, the padding the next layer's four-wide
// loads expect.  deltaAt(j) gives delta_j in every lane.
template <class V, class DeltaAt>
inline __m128 HandDownQuadFma(const float* weight, std::size_t pad, std::size_t nIn, std::size_t nOut,
                              std::size_t kq, DeltaAt deltaAt, typename V::D& unsure) {
    using D = typename V::D;
    const D kLanes = V::LanesBelow(nIn - kq);
    __m128 g = _mm_setzero_ps();
#pragma GCC unroll 4
    for (std::size_t jq = 0; jq < nOut; jq += 4) {
        __m128 c[4];
#pragma GCC unroll 4
        for (std::size_t m = 0; m < 4; ++m)
            c[m] = kq + m < nIn ? _mm_loadu_ps(weight + (kq + m) * pad + jq) : _mm_setzero_ps();
        _MM_TRANSPOSE4_PS(c[0], c[1], c[2], c[3]);
#pragma GCC unroll 4
        for (std::size_t m = 0; m < 4; ++m) {
            const std::size_t j = jq + m;
            if (j == 0) {
                g = _mm_mul_ps(deltaAt(0), c[m]);  // kind (a)
            } else if (j < nOut) {
                const __m128 dj = deltaAt(j);
                const D r = V::Add(V::Mul(V::FromF(dj), V::FromF(c[m])), V::FromF(g));
                unsure = V::Or(unsure, V::And(MidpointSuspectV<V>(r), kLanes));
                g = V::FmaF(dj, c[m], g);
            }
        }
    }
    return g;
}

// The backward sweep of the AVX2+FMA route for a fixed shape: the same
// values as the general sweep in TrainKernel, but the error signals, deltas
// and steps stay in registers from one stage to the next (no trip through
// memory between dependent steps).  Padding lanes of every error signal are 0.
template <class V, class S>
inline void BackwardFixedFma(const TRavoStepView& v, const float* targets, typename V::D& unsure,
                             unsigned& unsureScalar) {
    using D = typename V::D;
    constexpr std::size_t kQuads = S::kMaxPad / 4;
    const std::size_t top = S::Layers(v) - 1;
    const std::size_t nTop = S::Count(v, top);
    const float* topOut = v.out + v.neuronOffset[top];
    const double lr = v.learningRate;
    const D absMask = V::Bits(0x7FFFFFFFFFFFFFFF);

    __m128 error[kQuads];
    {
        float e[S::kMaxPad] = {};
#pragma GCC unroll 16
        for (std::size_t j = 0; j < nTop; ++j) e[j] = topOut[j] - targets[j];  // kind (a)
#pragma GCC unroll 4
        for (std::size_t q = 0; q < kQuads; ++q)
            error[q] = _mm_setr_ps(e[4 * q], e[4 * q + 1], e[4 * q + 2], e[4 * q + 3]);
    }

    LayersDown<S>(v, [&](auto layer) {
        const std::size_t l = layer;
        const std::size_t i = l - 1;
        const std::size_t nIn = S::Count(v, i);
        const std::size_t nOut = S::Count(v, l);
        const std::size_t pad = S::Pad(v, i);
        const double* x = v.outD + v.neuronOffset[i];
        const float* sum = v.sum + v.neuronOffset[l];
        const float* out = v.out + v.neuronOffset[l];
        const float* weight = v.weight + v.weightOffset[i];
        float* weightNext = v.weightNext + v.weightOffset[i];
        const float* bias = v.bias + v.biasOffset[i];
        float* biasNext = v.biasNext + v.biasOffset[i];
        const double* mask = v.laneMask + v.biasOffset[i];
        const bool output = l + 1 == S::Layers(v);
        const bool sigmoidUnits = output != S::SigmoidNet(v);
        const bool linearUnits = S::SigmoidNet(v) && output;

        // Per neuron: derivative, delta (kind (a)), step (exact), bias (kind (b)).
        __m128 delta[kQuads];
        D step[kQuads];
#pragma GCC unroll 4
        for (std::size_t q = 0; q < pad; q += 4) {
            const D lanes = V::Load(mask + q);
            __m128 activeDer;
            if (sigmoidUnits) {
                const D s = V::FromF(_mm_loadu_ps(out + q));
                const D r = V::Mul(s, V::Sub(V::Set1(1.0), s));
                unsure = V::Or(unsure, V::And(V::Or(V::Below(s, 0x1p-28), MidpointSuspectV<V>(r)), lanes));
                activeDer = V::ToF(r);
            } else if (linearUnits) {
                activeDer = _mm_set1_ps(1.0f);
            } else {
                activeDer = _mm_and_ps(_mm_cmpgt_ps(_mm_loadu_ps(sum + q), _mm_setzero_ps()), _mm_set1_ps(1.0f));
            }
            const __m128 d = _mm_mul_ps(error[q / 4], activeDer);
            delta[q / 4] = d;
            const D st = V::Mul(V::FromF(d), V::Set1(lr));
            step[q / 4] = st;
            const D b = V::Sub(V::FromF(_mm_loadu_ps(bias + q)), st);
            unsure = V::Or(unsure, V::And(MidpointSuspectV<V>(b), lanes));
            _mm_storeu_ps(biasNext + q, V::ToF(b));
        }

        // Weight steps (kind (c)), with the window check of TrainKernel; the
        // bound on |P| is taken per receiving neuron: 4 |step_j| max|o|.
        double maxIn = 0.0;
        unsigned nan = 0;
#pragma GCC unroll 16
        for (std::size_t k = 0; k < nIn; ++k) {
            maxIn = std::fabs(x[k]) > maxIn ? std::fabs(x[k]) : maxIn;
            nan |= x[k] != x[k];
        }
        unsureScalar |= nan;
        D small[kQuads];
#pragma GCC unroll 4
        for (std::size_t q = 0; q < pad; q += 4)
            small[q / 4] = V::Max(V::Mul(V::And(step[q / 4], absMask), V::Set1(4.0 * maxIn)), V::Set1(0x1p-125));
        const D window = V::Bits(32), windowMask = V::Bits(0x1FFFFFFF & ~63), midpoint = V::Bits(0x10000000);
#pragma GCC unroll 16
        for (std::size_t k = 0; k < nIn; ++k) {
            const D o = V::Set1(x[k]);
            const float* w = weight + k * pad;
            float* wNext = weightNext + k * pad;
#pragma GCC unroll 4
            for (std::size_t q = 0; q < pad; q += 4) {
                const D r = V::FmaNeg(step[q / 4], o, V::LoadF(w + q));
                V::StoreF(wNext + q, r);
                const D magnitude = V::And(r, absMask);
                const D tooSmall = V::NotAbove(magnitude, small[q / 4]);
                if (__builtin_expect(V::Any(tooSmall), 0)) {
                    // Some |r| is below the neuron's bound: look at this
                    // weight's own |P| instead (|r| > 2|P| and above 2^-125).
                    const D p2 = V::Mul(V::And(V::Mul(step[q / 4], o), absMask), V::Set1(2.0));
                    unsure = V::Or(unsure, V::NotAbove(magnitude, V::Max(p2, V::Set1(0x1p-125))));
                }
                unsure = V::Or(unsure, V::EqBits(V::And(V::AddBits(r, window), windowMask), midpoint));
            }
        }

        // The error handed down, four sending neurons at a time.
        if (l > 1) {
            const std::size_t inPad = (nIn + 3) / 4 * 4;
            const auto deltaAt = [&](std::size_t j) {
                return _mm_permutevar_ps(delta[j / 4], _mm_set1_epi32(static_cast<int>(j % 4)));
            };
#pragma GCC unroll 4
            for (std::size_t kq = 0; kq < inPad; kq += 4)
                error[kq / 4] = HandDownQuadFma<V>(weight, pad, nIn, nOut, kq, deltaAt, unsure);
        }
    });
}

template <class V, class S = TAnyShape>
bool TrainKernel(const TRavoStepView& v, const float* inputs, const float* targets, float& loss) {
    using D = typename V::D;
    if (!ForwardKernel<V, S>(v, inputs)) return false;
    const std::size_t top = S::Layers(v) - 1;
    const std::size_t nTop = S::Count(v, top);
    const float* topOut = v.out + v.neuronOffset[top];
    const double lr = v.learningRate;
    const D absMask = V::Bits(0x7FFFFFFFFFFFFFFF);
    const D weightBound = V::Set1(0x1p-44);
    D unsure = V::Zero();
    __m128 unsureF = _mm_setzero_ps();
    unsigned unsureScalar = 0;

    if constexpr (V::kFma && S::kFixed) {
        BackwardFixedFma<V, S>(v, targets, unsure, unsureScalar);
    } else {
    float* backError = v.backError;
    float* grads = v.grads;
    // Kind (a): a difference of two floats.
    // Error signals are written four at a time where the shape is fixed, so
    // that the four-wide loads that read them are served from one store.
    if constexpr (S::kFixed) {
        float e[S::kMaxPad] = {};
#pragma GCC unroll 16
        for (std::size_t j = 0; j < nTop; ++j) e[j] = topOut[j] - targets[j];
        StoreQuads(S::Pad(v, top - 1), backError, e);
    } else {
        for (std::size_t j = 0; j < nTop; ++j) backError[j] = topOut[j] - targets[j];
        if (top >= 1)
            for (std::size_t j = nTop; j < S::Pad(v, top - 1); ++j) backError[j] = 0.0f;
    }


    LayersDown<S>(v, [&](auto layer) {
        const std::size_t l = layer;
        const std::size_t i = l - 1;
        const std::size_t nIn = S::Count(v, i);
        const std::size_t nOut = S::Count(v, l);
        const std::size_t pad = S::Pad(v, i);
        const double* x = v.outD + v.neuronOffset[i];
        const float* sum = v.sum + v.neuronOffset[l];
        const float* out = v.out + v.neuronOffset[l];
        const float* weight = v.weight + v.weightOffset[i];
        float* weightNext = v.weightNext + v.weightOffset[i];
        const float* bias = v.bias + v.biasOffset[i];
        float* biasNext = v.biasNext + v.biasOffset[i];
        double* step = v.step + v.biasOffset[i];
        float* delta = v.delta + v.biasOffset[i];
        const bool output = l + 1 == S::Layers(v);
        const bool sigmoidUnits = output != S::SigmoidNet(v);
        const bool linearUnits = S::SigmoidNet(v) && output;

        if constexpr (V::kVectorExp) {
            // The same per-neuron values, four neurons at a time; the error
            // signal's padding lanes are 0, so padding deltas and steps are 0.
            const double* mask = v.laneMask + v.biasOffset[i];
#pragma GCC unroll 4
            for (std::size_t q = 0; q < pad; q += V::N) {
                const D lanes = V::Load(mask + q);
                __m128 activeDer;
                if (sigmoidUnits) {
                    const D s = V::FromF(_mm_loadu_ps(out + q));
                    const D r = V::Mul(s, V::Sub(V::Set1(1.0), s));
                    unsure = V::Or(unsure, V::And(V::Or(V::Below(s, 0x1p-28), MidpointSuspectV<V>(r)), lanes));
                    activeDer = V::ToF(r);
                } else if (linearUnits) {
                    activeDer = _mm_set1_ps(1.0f);
                } else {
                    activeDer = _mm_and_ps(_mm_cmpgt_ps(_mm_loadu_ps(sum + q), _mm_setzero_ps()), _mm_set1_ps(1.0f));
                }
                const __m128 d = _mm_mul_ps(_mm_loadu_ps(backError + q), activeDer);
                _mm_storeu_ps(delta + q, d);
                const D st = V::Mul(V::FromF(d), V::Set1(lr));
                V::Store(step + q, st);
                const D b = V::Sub(V::FromF(_mm_loadu_ps(bias + q)), st);
                unsure = V::Or(unsure, V::And(MidpointSuspectV<V>(b), lanes));
                _mm_storeu_ps(biasNext + q, V::ToF(b));
            }
        }
#pragma GCC unroll 16
        for (std::size_t j = 0; j < (V::kVectorExp ? 0 : nOut); ++j) {
            // A sigmoid unit's derivative at its sum is s(1-s) with s its own
            // output, which is exactly Sigmoid(sum) rounded to float.
            float activeDer;
            if (sigmoidUnits) {
                const double s = out[j];
                unsureScalar |= !(s >= 0x1p-28);  // 1-s exact in double from here on
                const double r = s * (1.0 - s);    // kind (b)
                unsureScalar |= KMidpointSuspect(r);
                activeDer = static_cast<float>(r);
            } else {
                activeDer = linearUnits || sum[j] > 0.0f ? 1.0f : 0.0f;
            }
            // Kind (a): one rounding of the exact product of two floats.
            const float d = backError[j] * activeDer;
            delta[j] = d;
            step[j] = static_cast<double>(d) * lr;  // exact: 48 bits
            const double b = static_cast<double>(bias[j]) - step[j];  // kind (b)
            unsureScalar |= KMidpointSuspect(b);
            biasNext[j] = static_cast<float>(b);
        }

        // Weight steps w - delta*o*lr, kind (c), V::N neurons side by side.
        if constexpr (V::kIntWindow) {
            // A cheaper form of the same check.  With |P| <= |r|/2 the two
            // routes differ by less than 2^-52 (|P| + |r|) < 3 units in the
            // last place of r (2^(e-52) for r in [2^e, 2^(e+1))); for r in the
            // normal float range a float midpoint has significand bits 28..0
            // equal to 0x10000000, so r is safe when those bits lie 32 units
            // or more away from it.  |P| <= max|step| * max|o| (1 + 2^-52), so
            // every r with |r| > T = 4 max|step| max|o| (and above 2^-125)
            // meets the condition; smaller ones, NaNs included, are flagged.
            // (BackwardFixedFma takes T per receiving neuron: 4 |step_j| max|o|.)
            // Padding lanes hold the weight 1 and the step 0: never flagged.
            // Here r is one rounding of the exact w - P (fused), which only
            // narrows the difference between the routes.
            double maxStep = 0.0, maxIn = 0.0;
            unsigned nan = 0;
#pragma GCC unroll 16
            for (std::size_t j = 0; j < nOut; ++j) {
                maxStep = std::fabs(step[j]) > maxStep ? std::fabs(step[j]) : maxStep;
                nan |= step[j] != step[j];
            }
#pragma GCC unroll 16
            for (std::size_t k = 0; k < nIn; ++k) {
                maxIn = std::fabs(x[k]) > maxIn ? std::fabs(x[k]) : maxIn;
                nan |= x[k] != x[k];
            }
            unsureScalar |= nan;
            const double t = 4.0 * maxStep * maxIn;
            const D small = V::Set1(t > 0x1p-125 ? t : 0x1p-125);
            const D window = V::Bits(32), windowMask = V::Bits(0x1FFFFFFF & ~63), midpoint = V::Bits(0x10000000);
#pragma GCC unroll 16
            for (std::size_t k = 0; k < nIn; ++k) {
                const D o = V::Set1(x[k]);
                const float* w = weight + k * pad;
                float* wNext = weightNext + k * pad;
#pragma GCC unroll 4
                for (std::size_t q = 0; q < pad; q += V::N) {
                    // One rounding of the exact w - step*o (a fused multiply-add).
                    const D r = V::FmaNeg(V::Load(step + q), o, V::LoadF(w + q));
                    V::StoreF(wNext + q, r);
                    unsure = V::Or(unsure, V::NotAbove(V::And(r, absMask), small));
                    unsure = V::Or(unsure, V::EqBits(V::And(V::AddBits(r, window), windowMask), midpoint));
                }
            }
        } else {
#pragma GCC unroll 16
            for (std::size_t k = 0; k < nIn; ++k) {
                const D o = V::Set1(x[k]);
                const float* w = weight + k * pad;
                float* wNext = weightNext + k * pad;
#pragma GCC unroll 4
                for (std::size_t q = 0; q < pad; q += V::N) {
                    const D p = V::Mul(V::Load(step + q), o);
                    const D r = V::Sub(V::LoadF(w + q), p);
                    V::StoreF(wNext + q, r);
                    const D bound = V::Mul(V::Add(V::And(p, absMask), V::And(r, absMask)), weightBound);
                    unsureF = _mm_or_ps(unsureF, _mm_xor_ps(V::ToF(V::Sub(r, bound)), V::ToF(V::Add(r, bound))));
                    unsure = V::Or(unsure, V::Unordered(r));
                }
            }
        }

        // The error handed down, from the weights before the step; the one
        // left for the input layer is never used and not computed.
        if (l > 1) {
          if constexpr (V::kFma) {
            const std::size_t inPad = (nIn + 3) / 4 * 4;
            const auto deltaAt = [&](std::size_t j) { return _mm_set1_ps(delta[j]); };
#pragma GCC unroll 4
            for (std::size_t kq = 0; kq < inPad; kq += 4)
                _mm_storeu_ps(grads + kq, HandDownQuadFma<V>(weight, pad, nIn, nOut, kq, deltaAt, unsure));
          } else {
            [[maybe_unused]] float handedDown[S::kMaxPad] = {};
#pragma GCC unroll 16
            for (std::size_t k = 0; k < nIn; ++k) {
                const float* w = weight + k * pad;
                double g = delta[0] * w[0];  // kind (a)
#pragma GCC unroll 16
                for (std::size_t j = 1; j < nOut; ++j) {
                    const double r = static_cast<double>(delta[j]) * static_cast<double>(w[j]) + g;  // kind (b)
                    unsureScalar |= KMidpointSuspect(r);
                    g = static_cast<float>(r);
                }
                if constexpr (S::kFixed)
                    handedDown[k] = static_cast<float>(g);
                else
                    grads[k] = static_cast<float>(g);
            }
            if constexpr (S::kFixed)
                StoreQuads(S::Pad(v, i - 1), grads, handedDown);
            else
                for (std::size_t k = nIn; k < S::Pad(v, i - 1); ++k) grads[k] = 0.0f;
          }
            float* handed = grads;
            grads = backError;
            backError = handed;
        }
    });

    }

    // The tally, from the outputs of the forward pass.
    double tally = loss;
#pragma GCC unroll 16
    for (std::size_t j = 0; j < nTop; ++j) {
        const double d = static_cast<float>(static_cast<double>(topOut[j]) - static_cast<double>(targets[j]));
        const double r = d * d + tally;  // kind (b)
        unsureScalar |= KMidpointSuspect(r);
        tally = static_cast<float>(r);
    }
    const __m128i sameF = _mm_cmpeq_epi32(_mm_castps_si128(unsureF), _mm_setzero_si128());
    if (unsureScalar != 0 || V::Any(unsure) || _mm_movemask_epi8(sameF) != 0xFFFF) return false;
    loss = static_cast<float>(tally);
    return true;
}

// The program's network, [7, 7, 3, 2] with sigmoid units, has its own
// unrolled instance; every other shape takes the general one.
using TProgramShape = TSigmoidShape4<7, 7, 3, 2>;

template <class V>
bool Forward(const TRavoStepView& v, const float* inputs) {
    return TProgramShape::Matches(v) ? ForwardKernel<V, TProgramShape>(v, inputs) : ForwardKernel<V>(v, inputs);
}

template <class V>
bool Train(const TRavoStepView& v, const float* inputs, const float* targets, float& loss) {
    return TProgramShape::Matches(v) ? TrainKernel<V, TProgramShape>(v, inputs, targets, loss)
                                     : TrainKernel<V>(v, inputs, targets, loss);
}

}  // namespace
