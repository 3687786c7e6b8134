// Internal to the network: the fast route's forward pass and training step
// for any shape, written once over the vector overloads of RavoVec.h for D
// (__m128d: SSE2, two lanes; __m256d: AVX or AVX2+FMA, four lanes) and built
// by RavoStepSse2.cpp, RavoStepAvx.cpp and RavoStepFma.cpp.  The phases are
// those of the extended route: forward, output errors, then per layer from
// the top the neuron steps (derivative, delta, bias), the weight steps and
// the error handed down, and last the tally.  Why each check makes the
// result the extended route's is explained in RavoStep.h; the kinds (a),
// (b), (c) are named there.
#pragma once

#include "ann/RavoExp.h"
#include "ann/RavoStep.h"

#include <utility>

namespace {

template <class D> constexpr std::size_t kLanes = sizeof(D) / sizeof(double);

// a + b - r exactly, for r = a + b rounded once (Knuth's two-sum).
template <class D>
inline D TwoSumError(D r, D a, D b) {
    const D back = Sub(r, a);
    return Add(Sub(a, Sub(r, back)), Sub(b, back));
}

// The checks of one step, accumulated: lanes of kind (b) values that may lie
// on a float midpoint, bit differences of kind (c) roundings, scalar flags.
template <class D>
struct TStepChecks {
    D unsure = Set<D>(0.0);
    __m128 straddles = _mm_setzero_ps();
    unsigned scalar = 0;

    // Kind (b), in the lanes of a neuron.
    void Exact(D r, D lanes) { unsure = Or(unsure, And(MidpointSuspect(r), lanes)); }
    // Kind (b) for r = a + b rounded once: a suspect r that is a + b exactly
    // (the two-sum error is 0) is the same in both routes.  Inputs with few
    // significant bits, or a learning rate that is a power of 2, make exact
    // sums land on midpoints now and then.
    void Sum(D r, D a, D b, D lanes) {
        const D suspect = And(MidpointSuspect(r), lanes);
        if (__builtin_expect(Any(suspect), 0)) Flag(And(suspect, NotEqual(TwoSumError(r, a, b), Set<D>(0.0))));
    }
    void Sum(double r, double a, double b) {
        if (__builtin_expect(MidpointSuspect(r), 0)) {
            const double back = r - a;
            scalar |= (a - (r - back)) + (b - back) != 0.0;
        }
    }
    void Flag(D mask) { unsure = Or(unsure, mask); }
    // Kind (c): |r53 - r64| < bound; flagged unless r - bound and r + bound
    // round to the same float, bit for bit (+0 and -0 differ), and when r is a NaN.
    void Within(D r, D bound) {
        straddles = _mm_or_ps(straddles, _mm_xor_ps(ToF(Sub(r, bound)), ToF(Add(r, bound))));
        unsure = Or(unsure, Unordered(r));
    }
    bool Sure() const {
        const __m128i same = _mm_cmpeq_epi32(_mm_castps_si128(straddles), _mm_setzero_si128());
        return scalar == 0 && !Any(unsure) && _mm_movemask_epi8(same) == 0xFFFF;
    }
};

// ---- Forward. ----------------------------------------------------------------

inline void CopyInputs(const TRavoStepView& v, const float* inputs) {
    for (std::int32_t k = 0; k < v.counts[0]; ++k) {
        v.sum[k] = v.out[k] = inputs[k];
        v.outD[k] = inputs[k];
    }
}

// The sums of layer l into v.sumD, kLanes neurons side by side; each lane's
// chain of roundings is exactly the formula's (kind (b) each).
template <class D>
void Accumulate(const TRavoStepView& v, std::size_t l, TStepChecks<D>& checks) {
    const std::size_t i = l - 1, nIn = std::size_t(v.counts[i]), pad = v.pad[i];
    const double* x = v.outD + v.neuronOffset[i];
    for (std::size_t q = 0; q < pad; q += kLanes<D>) {
        const D lanes = Load<D>(v.laneMask + v.biasOffset[i] + q);
        const float* w = v.weight + v.weightOffset[i] + q;
#if defined(__FMA__)
        static_assert(kLanes<D> == 4, "the fused route has four lanes");
        {
            // Float accumulators advanced by fma: float(exact), which differs
            // from the extended float(r64) only when r64 lands on a midpoint
            // other than the exact value, and then so does the double r.
            const float* xf = v.out + v.neuronOffset[i];
            __m128 acc = _mm_loadu_ps(v.bias + v.biasOffset[i] + q);
            for (std::size_t k = 0; k < nIn; ++k, w += pad) {
                const __m128 wf = _mm_loadu_ps(w);
                const D p = Mul(Set<D>(x[k]), FromFloats<D>(wf));
                const D a = FromFloats<D>(acc);
                checks.Sum(Add(p, a), p, a, lanes);
                acc = MulAdd(_mm_set1_ps(xf[k]), wf, acc);
            }
            Store(v.sumD + q, FromFloats<D>(acc));
        }
#else
        {
            D acc = LoadFloats<D>(v.bias + v.biasOffset[i] + q);
            for (std::size_t k = 0; k < nIn; ++k, w += pad) {
                const D p = Mul(Set<D>(x[k]), LoadFloats<D>(w));
                const D r = Add(p, acc);
                checks.Sum(r, p, acc, lanes);
                acc = RoundToFloat(r);
            }
            Store(v.sumD + q, acc);
        }
#endif
    }
}

// The activation of layer l's sums: sigmoid (kind (c), relative bound
// kSigmoidBound), rectifier or linear; into fSum, fOut and outD.
template <class D>
void Activate(const TRavoStepView& v, std::size_t l, TStepChecks<D>& checks) {
    const bool output = l + 1 == v.layers;
    const bool sigmoidUnits = output != v.sigmoidNet;
    const bool reluUnits = !v.sigmoidNet && !output;
    const std::size_t off = v.neuronOffset[l];
    for (std::size_t q = 0; q < v.pad[l - 1]; q += kLanes<D>) {
        const D a = Load<D>(v.sumD + q);
        StoreFloats(v.sum + off + q, a);
        D o = a;
        if (sigmoidUnits) {
            const D r = And(SigmoidOf(a), Load<D>(v.laneMask + v.biasOffset[l - 1] + q));  // padding lanes 0
            checks.Within(r, Mul(r, Set<D>(kSigmoidBound)));
            o = RoundToFloat(r);
        } else if (reluUnits) {
            o = Max(a, Set<D>(0.0));  // a if a > 0, else +0
        }
        StoreFloats(v.out + off + q, o);
        Store(v.outD + off + q, o);
    }
}

template <class D>
void Forward(const TRavoStepView& v, const float* inputs, TStepChecks<D>& checks) {
    CopyInputs(v, inputs);
    for (std::size_t l = 1; l < v.layers; ++l) {
        Accumulate(v, l, checks);
        Activate(v, l, checks);
    }
}

// ---- Backward. -----------------------------------------------------------------

// Output - target per output (kind (a)) into error, 0 up to the padding.
inline void OutputErrors(const TRavoStepView& v, const float* targets, float* error) {
    const std::size_t top = v.layers - 1;
    const float* out = v.out + v.neuronOffset[top];
    for (std::int32_t j = 0; j < v.counts[top]; ++j) error[j] = out[j] - targets[j];
    for (std::size_t j = std::size_t(v.counts[top]); j < v.pad[top - 1]; ++j) error[j] = 0.0f;
}

// Per neuron of layer l: the derivative at its sum, delta = error x
// derivative (kind (a)), step = delta lr (exact) and the new bias b - step
// (kind (b)).  A sigmoid unit's derivative is s(1-s) with s its own output,
// which is Sigmoid(sum) rounded to float; kind (b), 1-s exact for s >= 2^-28.
template <class D>
void NeuronSteps(const TRavoStepView& v, std::size_t l, const float* error, TStepChecks<D>& checks) {
    const std::size_t i = l - 1, b = v.biasOffset[i];
    const bool output = l + 1 == v.layers;
    const bool sigmoidUnits = output != v.sigmoidNet;
    const bool linearUnits = v.sigmoidNet && output;
    const D one = Set<D>(1.0);
    for (std::size_t q = 0; q < v.pad[i]; q += kLanes<D>) {
        const D lanes = Load<D>(v.laneMask + b + q);
        D derivative = one;
        if (sigmoidUnits) {
            const D s = LoadFloats<D>(v.out + v.neuronOffset[l] + q);
            const D r = Mul(s, Sub(one, s));
            checks.Flag(And(NotAtLeast(s, Set<D>(0x1p-28)), lanes));
            checks.Exact(r, lanes);
            derivative = RoundToFloat(r);
        } else if (!linearUnits) {
            derivative = And(Greater(LoadFloats<D>(v.sum + v.neuronOffset[l] + q), Set<D>(0.0)), one);
        }
        const D delta = RoundToFloat(Mul(LoadFloats<D>(error + q), derivative));
        StoreFloats(v.delta + b + q, delta);
        const D step = Mul(delta, Set<D>(v.learningRate));
        Store(v.step + b + q, step);
        const D old = LoadFloats<D>(v.bias + b + q);
        const D bias = Sub(old, step);
        checks.Sum(bias, old, Xor(step, Set<D>(-0.0)), lanes);
        StoreFloats(v.biasNext + b + q, bias);
    }
}

// New weights w - step o (kind (c)): with P = step o exact, both routes round
// P and then w - P, or (fused) w - P once; |r53 - r64| < 2^-52 (|P| + |r53|),
// and the bound taken is 256 times that.  Padding lanes: weight 1, step 0.
template <class D>
void WeightSteps(const TRavoStepView& v, std::size_t l, TStepChecks<D>& checks) {
    const std::size_t i = l - 1, pad = v.pad[i];
    const double* x = v.outD + v.neuronOffset[i];
    const float* weight = v.weight + v.weightOffset[i];
    float* next = v.weightNext + v.weightOffset[i];
    for (std::size_t k = 0; k < std::size_t(v.counts[i]); ++k) {
        const D o = Set<D>(x[k]);
        for (std::size_t q = 0; q < pad; q += kLanes<D>) {
            const D step = Load<D>(v.step + v.biasOffset[i] + q);
            const D w = LoadFloats<D>(weight + k * pad + q);
            const D p = Mul(step, o);
            D r;
            if constexpr (kFused)
                r = NegMulAdd(step, o, w);
            else
                r = Sub(w, p);
            StoreFloats(next + k * pad + q, r);
            checks.Within(r, Mul(Add(Abs(p), Abs(r)), Set<D>(0x1p-44)));
        }
    }
}

// The error handed down to layer l-1, from the weights before the step:
// handed[k] = sum_j delta_j w_jk in ascending j, the first term one rounding
// of a product (kind (a)), each further one kind (b); 0 up to the padding.
template <class D>
void HandDown(const TRavoStepView& v, std::size_t l, float* handed, TStepChecks<D>& checks) {
    const std::size_t i = l - 1, nIn = std::size_t(v.counts[i]);
    const float* delta = v.delta + v.biasOffset[i];
    for (std::size_t k = 0; k < nIn; ++k) {
        const float* w = v.weight + v.weightOffset[i] + k * v.pad[i];
        float g = delta[0] * w[0];
        for (std::int32_t j = 1; j < v.counts[l]; ++j) {
            const double p = double(delta[j]) * double(w[j]);
            const double r = p + double(g);
            checks.Sum(r, p, double(g));
            g = static_cast<float>(r);
        }
        handed[k] = g;
    }
    for (std::size_t k = nIn; k < v.pad[i - 1]; ++k) handed[k] = 0.0f;
}

// The tally d d + loss per output (kind (b)), d the output error of the pass.
template <class D>
float Tally(const TRavoStepView& v, const float* targets, float loss, TStepChecks<D>& checks) {
    const std::size_t top = v.layers - 1;
    const float* out = v.out + v.neuronOffset[top];
    double tally = loss;
    for (std::int32_t j = 0; j < v.counts[top]; ++j) {
        const double d = out[j] - targets[j];  // kind (a)
        const double r = d * d + tally;
        checks.Sum(r, d * d, tally);
        tally = static_cast<float>(r);
    }
    return static_cast<float>(tally);
}

template <class D>
bool ForwardStep(const TRavoStepView& v, const float* inputs) {
    TStepChecks<D> checks;
    Forward(v, inputs, checks);
    return checks.Sure();
}

template <class D>
bool TrainStep(const TRavoStepView& v, const float* inputs, const float* targets, float& loss) {
    TStepChecks<D> checks;
    Forward(v, inputs, checks);
    if (!checks.Sure()) return false;
    float* error = v.backError;
    float* handed = v.grads;
    if (v.layers >= 2) OutputErrors(v, targets, error);
    for (std::size_t l = v.layers - 1; l >= 1; --l) {
        NeuronSteps(v, l, error, checks);
        WeightSteps(v, l, checks);
        if (l > 1) {
            HandDown(v, l, handed, checks);
            std::swap(error, handed);
        }
    }
    const float tally = Tally(v, targets, loss, checks);
    if (!checks.Sure()) return false;
    loss = tally;
    return true;
}

}  // namespace
