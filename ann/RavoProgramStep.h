// Internal to the network: the training step of the program's own network,
// [7, 7, 3, 2] with sigmoid units and linear outputs, every value in
// registers: layer 1's seven neurons side by side in eight lanes (TF8, TD8:
// one AVX-512 register or two AVX2 ones), layers 2 and 3 in four.  Built by
// RavoStepFma.cpp (AVX2+FMA) and RavoStepAvx512.cpp.
//
// The values and their kinds are the general kernel's (RavoStepKernel.h);
// the checks are made coarser where that is cheaper: each value gives a key,
// and only the running minimum of the keys per lane is tested, once, at the
// end of the step.  A key (Key in RavoVec.h) holds in its low 32 bits the
// significand bits 28..0 of the double, moved so that they are 0 exactly when
// the value is near a float rounding boundary, and in its high 32 bits the top
// of |value|, which must not fall below a least magnitude:
// - exact (kind (b)): on a float midpoint; least 2^-28, so that every 0 and
//   every sigmoid output s < 2^-28 (for which 1 - s is not exact) is flagged;
// - sigmoid (kind (c)): within 2^13 units in the last place of a midpoint
//   (at least a relative 2^-40); least 2^-28;
// - new weight (kind (c)): within 2^10 units of a midpoint; least
//   max(|step_j| max|o| / 256, 2^-125) for receiving neuron j.  Then |P| <
//   256 |r53|, so the bound 2^-52 (|P| + |r53|) of RavoStep.h is below 2^-43
//   |r53|, less than 2^10 units in the last place of r53.
// Infinite and NaN sums and error signals are flagged as such; nothing else
// of the step can be a NaN, since every other value comes from finite ones.
// A flagged step goes to the general kernel, which looks more closely.
#pragma once

#include "ann/RavoExp.h"
#include "ann/RavoStep.h"

#include <algorithm>
#include <cmath>

namespace {

// Key forms, {window, mask} for Key(), and the least key of a value.
constexpr std::int64_t kExactAdd = 0, kExactMask = 0x7FFFFFFF1FFFFFFF;
constexpr std::int64_t kSigmoidAdd = 0x2000, kSigmoidMask = 0x7FFFFFFF1FFFC000;
static_assert(kSigmoidBound <= 0x1p-40, "2^13 units in the last place are a relative 2^-40 at least");
constexpr std::int64_t kWeightAdd = 0x400, kWeightMask = 0x7FFFFFFF1FFFF800;
constexpr std::int64_t kLeastValue = 0x3E30000000000001;  // low half 1, high half that of 2^-28
constexpr std::int64_t kNoKey = 0x7FFFFFFF7FFFFFFF;       // above every key

// The network's layout of this shape (RavoStep.h): layers of fSum, fOut and
// outD from kNeuron[l]; weight layer i, rows of kPad[i], from kWeight[i];
// its biases from kBias[i].
constexpr std::size_t kNeuron[4] = {0, 8, 16, 20};
constexpr int kPad[3] = {8, 4, 4};
constexpr std::size_t kWeight[3] = {0, 56, 84};
constexpr std::size_t kBias[3] = {0, 8, 12};

// Floats of the width of D, widened.
inline __m256d LoadWide(const float* p, __m256d) { return LoadFloats<__m256d>(p); }
inline TD8 LoadWide(const float* p, TD8) { return Widen(LoadFloats8(p)); }

// The checks of one step: running minima of the keys of each layer's values
// (keys1 for layer 1, ...), and what is already known to be flagged.
struct TProgramChecks {
    TK8 keys1 = Bits<TK8>(kNoKey);
    __m256i keys2 = Bits<__m256i>(kNoKey), keys3 = Bits<__m256i>(kNoKey);
    __m256i flagged = Bits<__m256i>(0);
    __m128 notFinite = _mm_setzero_ps();  // a NaN in lanes where a value was not finite
    unsigned scalar = 0;

    template <class K, class D>
    static void Note(K& keys, D r, std::int64_t add, std::int64_t mask) {
        keys = MinKey(keys, Key(r, add, mask));
    }
    template <class F>
    void Finite(F a) {
        notFinite = NoteNotFinite(notFinite, a);
    }
    // Flags the lanes below neurons whose least key is below least.
    void Settle(__m256i keys, __m256i least, int neurons) {
        flagged = Or(flagged, And(Below(keys, least), LanesBelow(neurons, __m256i{})));
    }
#if !defined(__AVX512F__)
    void Settle(TK8 keys, TK8 least, int neurons) {
        Settle(keys.lo, least.lo, neurons);
        Settle(keys.hi, least.hi, neurons - 4);
    }
#else
    void Settle(TK8 keys, TK8 least, int neurons) {
        flagged = Or(flagged, Fold(And(Below(keys, least), LanesBelow(neurons, TK8{}))));
    }
#endif
    bool Sure() {
        Settle(keys1, Bits<TK8>(kLeastValue), 7);
        Settle(keys2, Bits<__m256i>(kLeastValue), 3);
        Settle(keys3, Bits<__m256i>(kLeastValue), 2);
        return !Any(flagged) && _mm_movemask_ps(_mm_cmpunord_ps(notFinite, notFinite)) == 0 && scalar == 0;
    }
};

// ---- Forward. ----------------------------------------------------------------
// Each lane's float accumulator starts at the neuron's bias and takes the
// inputs in order, fused: float(o_k w_jk + acc), the rounding of the exact
// value; the double r beside it is the value the check needs (kind (b)).  The
// float inputs come from registers or the caller's array, never from a copy
// just stored: the float chain is the step's critical path.  xd holds the
// inputs as doubles.

inline TF8 Layer1(const float* bias, const float* weight, const float* x, const double* xd, TProgramChecks& checks) {
    TF8 acc = LoadFloats8(bias);
#pragma GCC unroll 8
    for (int k = 0; k < 7; ++k) {
        const TF8 w = LoadFloats8(weight + 8 * k);
        const TD8 r = MulAdd(BroadcastDouble(xd + k, TD8{}), Widen(w), Widen(acc));
        TProgramChecks::Note(checks.keys1, r, kExactAdd, kExactMask);
        acc = MulAdd(BroadcastFloat8(x + k), w, acc);
    }
    checks.Finite(acc);
    return acc;
}

// A layer of up to four neurons on kIn inputs, held in x (four or eight lanes).
template <int kIn, class X>
inline __m128 Layer4(const float* bias, const float* weight, X x, const double* xd, __m256i& keys,
                     TProgramChecks& checks) {
    __m128 acc = _mm_loadu_ps(bias);
    ForEachIndex<kIn>([&](auto k) {
        const __m128 w = _mm_loadu_ps(weight + 4 * k);
        const __m256d r = MulAdd(BroadcastDouble(xd + k, __m256d{}), Widen(w), Widen(acc));
        TProgramChecks::Note(keys, r, kExactAdd, kExactMask);
        acc = MulAdd(Lane4<k>(x), w, acc);
    });
    checks.Finite(acc);
    return acc;
}

// Sigmoid units (kind (c)): the outputs; also stored widened at outD.
template <class F, class K>
inline F Sigmoid(F sum, K& keys, double* outD) {
    const auto r = SigmoidOf(Widen(sum));
    TProgramChecks::Note(keys, r, kSigmoidAdd, kSigmoidMask);
    const F o = ToF(r);
    Store(outD, Widen(o));
    return o;
}

// The outputs of every layer; also left in fSum, fOut and (widened) outD.
struct TProgramPass {
    TF8 o1;
    __m128 o2, o3;
};

inline TProgramPass ProgramForward(const TRavoStepView& v, const float* inputs, TProgramChecks& checks) {
    const TF8 x = LoadSeven(inputs);
    StoreFloats(v.sum + kNeuron[0], x);
    StoreFloats(v.out + kNeuron[0], x);
    Store(v.outD + kNeuron[0], Widen(x));

    TProgramPass p;
    const TF8 sum1 = Layer1(v.bias + kBias[0], v.weight + kWeight[0], inputs, v.outD + kNeuron[0], checks);
    StoreFloats(v.sum + kNeuron[1], sum1);
    p.o1 = Sigmoid(sum1, checks.keys1, v.outD + kNeuron[1]);
    StoreFloats(v.out + kNeuron[1], p.o1);

    const __m128 sum2 =
        Layer4<7>(v.bias + kBias[1], v.weight + kWeight[1], p.o1, v.outD + kNeuron[1], checks.keys2, checks);
    StoreFloats(v.sum + kNeuron[2], sum2);
    p.o2 = Sigmoid(sum2, checks.keys2, v.outD + kNeuron[2]);
    StoreFloats(v.out + kNeuron[2], p.o2);

    p.o3 = Layer4<3>(v.bias + kBias[2], v.weight + kWeight[2], p.o2, v.outD + kNeuron[2], checks.keys3, checks);
    StoreFloats(v.sum + kNeuron[3], p.o3);  // linear units
    StoreFloats(v.out + kNeuron[3], p.o3);
    return p;
}

// ---- Output deltas, hand-down, deltas. -------------------------------------------

// Output - target (kind (a)); the derivative of a linear unit is 1.  Padding lanes 0.
inline __m128 OutputDeltas(__m128 o3, const float* targets, TProgramChecks& checks) {
    const __m128 t = _mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(targets)));  // two floats
    const __m128 e = _mm_and_ps(Sub(o3, t), _mm_castsi128_ps(_mm_setr_epi32(-1, -1, 0, 0)));
    checks.Finite(e);
    return e;
}

// The error handed down from kOut neurons: g_k = sum_j delta_j w_jk over j in
// ascending order, the sending neurons k in the lanes of F; column[j] holds
// w_jk (0 in padding lanes).  The first term is one rounding of a product
// (kind (a)), each further one fused and checked like the forward sums.
template <int kOut, class F, class K>
inline F HandDown(__m128 delta, const F (&column)[kOut], K& keys, TProgramChecks& checks) {
    const auto spread = [&](auto j) {
        if constexpr (sizeof(F) == sizeof(__m128))
            return Lane4<j>(delta);
        else
            return Lane8<j>(delta);
    };
    F g = Mul(spread(std::integral_constant<int, 0>{}), column[0]);
    ForEachIndex<kOut - 1>([&](auto i) {
        constexpr int j = i + 1;
        const F d = spread(std::integral_constant<int, j>{});
        TProgramChecks::Note(keys, MulAdd(Widen(d), Widen(column[j]), Widen(g)), kExactAdd, kExactMask);
        g = MulAdd(d, column[j], g);
    });
    checks.Finite(g);
    return g;
}

// Weights of rows of four (one row per sending neuron), as columns: c[j]
// lane m = w_jm for the rows m < rows, 0 beyond.
inline void Columns(const float* w, int rows, __m128 (&c)[4]) {
    for (int m = 0; m < 4; ++m) c[m] = m < rows ? _mm_loadu_ps(w + 4 * m) : _mm_setzero_ps();
    _MM_TRANSPOSE4_PS(c[0], c[1], c[2], c[3]);
}

// A sigmoid unit's derivative at its sum from its output s: s(1-s), kind (b)
// (1-s is exact: s >= 2^-28 is the key's least magnitude).  s is read back
// from outD, where the forward pass left it.
template <class D, class K>
inline auto SigmoidDerivative(const double* outD, K& keys) {
    const D s = Load<D>(outD);
    const D r = Mul(s, Sub(Set<D>(1.0), s));
    TProgramChecks::Note(keys, r, kExactAdd, kExactMask);
    return ToF(r);
}

// The error handed down to layer 2 from the output deltas, and to layer 1
// from layer 2's deltas (w_jk with k in the lanes: the weight rows transposed).
inline __m128 HandDownTo2(const TRavoStepView& v, __m128 delta3, TProgramChecks& checks) {
    __m128 c[4];
    Columns(v.weight + kWeight[2], 3, c);
    return HandDown<2>(delta3, {c[0], c[1]}, checks.keys2, checks);
}
inline TF8 HandDownTo1(const TRavoStepView& v, __m128 delta2, TProgramChecks& checks) {
    __m128 low[4], high[4];
    Columns(v.weight + kWeight[1], 4, low);
    Columns(v.weight + kWeight[1] + 16, 3, high);
    const TF8 columns[3] = {Join(low[0], high[0]), Join(low[1], high[1]), Join(low[2], high[2])};
    return HandDown<3>(delta2, columns, checks.keys1, checks);
}

// ---- Weight and bias steps. --------------------------------------------------------
// New weights w - f x[k] for the kIn sending neurons k, rounded once (fused),
// f x[k] being delta lr o_k exactly: f = delta lr and x = o, or f = delta and
// x = lr o (each of these has the bits of two floats, 48, and is exact in
// double).  Padding lanes keep their weight 1 (their delta is 0).  least:
// the least magnitude per receiving neuron, |delta_j lr| max|o| / 256 and
// 2^-125 (see the top of this file).
template <int kIn, class D, class K>
inline void WeightSteps(const float* w, float* next, int pad, D f, const double* x, D least, int neurons,
                        TProgramChecks& checks) {
    K keys = Bits<K>(kNoKey);
    ForEachIndex<kIn>([&](auto k) {
        const D r = NegMulAdd(f, BroadcastDouble(x + k, D{}), LoadWide(w + k * pad, D{}));
        StoreFloats(next + k * pad, ToF(r));
        TProgramChecks::Note(keys, r, kWeightAdd, kWeightMask);
    });
    const D bound = Max(least, Set<D>(0x1p-125));
    checks.Settle(keys, Plus32(Key(bound, 0, std::int64_t(0x7FFFFFFF00000000)), Bits<K>(0x0000000100000001)),
                  neurons);
}

// New biases b - delta lr: delta lr is exact in double, the difference one
// rounding (kind (b)).
template <class D, class K>
inline void BiasStep(const float* b, float* next, D delta, double lr, K& keys) {
    const D r = NegMulAdd(delta, Set<D>(lr), LoadWide(b, D{}));
    StoreFloats(next, ToF(r));
    TProgramChecks::Note(keys, r, kExactAdd, kExactMask);
}

// Layer 1's new weights and biases: the next step waits for these, so f is
// delta and x is lr o, keeping the multiplication by lr off the way.
inline void Layer1Steps(const TRavoStepView& v, const float* inputs, TF8 delta, TProgramChecks& checks) {
    const double lr = v.learningRate;
    const TD8 delta1 = Widen(delta);
    alignas(64) double lrx[8];
    Store(lrx, Mul(Widen(LoadSeven(inputs)), Set<TD8>(lr)));
    float maxIn = 0.0f;
    for (int k = 0; k < 7; ++k) maxIn = std::max(maxIn, std::fabs(inputs[k]));  // a NaN input: its sums are flagged
    WeightSteps<7, TD8, TK8>(v.weight + kWeight[0], v.weightNext + kWeight[0], kPad[0], delta1, lrx,
                             Mul(Abs(delta1), Set<TD8>(lr * maxIn / 256)), 7, checks);
    BiasStep(v.bias + kBias[0], v.biasNext + kBias[0], delta1, lr, checks.keys1);
}

// Weight layer i (2 or 3) of n receiving neurons, whose inputs are sigmoid
// outputs, within [0, 1].
template <int i, int kIn>
inline void LayerSteps(const TRavoStepView& v, __m128 delta, int n, __m256i& keys, TProgramChecks& checks) {
    const double lr = v.learningRate;
    const __m256d wide = Widen(delta);
    const __m256d step = Mul(wide, Set<__m256d>(lr));
    WeightSteps<kIn, __m256d, __m256i>(v.weight + kWeight[i - 1], v.weightNext + kWeight[i - 1], kPad[i - 1], step,
                                       v.outD + kNeuron[i - 1], Mul(Abs(step), Set<__m256d>(1.0 / 256)), n, checks);
    BiasStep(v.bias + kBias[i - 1], v.biasNext + kBias[i - 1], wide, lr, keys);
}

// ---- Tally. -------------------------------------------------------------------------
// d d + loss for each output (kind (b) each), from the output deltas.
inline float ProgramTally(__m128 delta3, float loss, TProgramChecks& checks) {
    alignas(16) float e[4];
    _mm_store_ps(e, delta3);
    double tally = loss;
    for (int j = 0; j < 2; ++j) {
        const double r = double(e[j]) * double(e[j]) + tally;
        checks.scalar |= MidpointSuspect(r);
        tally = static_cast<float>(r);
    }
    return static_cast<float>(tally);
}

// The whole step; false (and nothing of the network but the scratch changed)
// when a check flags a value.  The chain that the next step waits for runs
// from the outputs to the error signals of layer 1 and its new weights; the
// other layers' steps are placed inside it, while it waits on the hand-down.
inline bool ProgramStep(const TRavoStepView& v, const float* inputs, const float* targets, float& loss) {
    TProgramChecks checks;
    const TProgramPass p = ProgramForward(v, inputs, checks);
    const __m128 delta3 = OutputDeltas(p.o3, targets, checks);
    const float tally = ProgramTally(delta3, loss, checks);
    // delta = handed-down error x derivative, kind (a); padding lanes 0.
    const __m128 delta2 =
        Mul(HandDownTo2(v, delta3, checks), SigmoidDerivative<__m256d>(v.outD + kNeuron[2], checks.keys2));
    const TF8 g1 = HandDownTo1(v, delta2, checks);
    LayerSteps<3, 3>(v, delta3, 2, checks.keys3, checks);
    LayerSteps<2, 7>(v, delta2, 3, checks.keys2, checks);
    Layer1Steps(v, inputs, Mul(g1, SigmoidDerivative<TD8>(v.outD + kNeuron[1], checks.keys1)), checks);
    if (!checks.Sure()) return false;
    loss = tally;
    return true;
}

}  // namespace
