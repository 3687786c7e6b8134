// Internal to the network: the fast routes of a training step and of a
// forward pass over the network's raw arrays, one instruction set per source
// file.  Not part of the network's interface.
//
// How the fast routes stay bit-identical to the extended formulas
// ---------------------------------------------------------------
// Every stored value is X rounded to float, where X is a formula over floats.
// The extended route (URavoAnn.cpp: ForwardExtended, BackProp and the tally
// in Train) evaluates X in long double (64-bit significand) as r64 and rounds
// it to float: it is the formulas themselves.  A fast route evaluates X in
// double (53-bit) as r53 and keeps a step only when every r53 is certain to
// round to the float r64 rounds to.  Otherwise the step is thrown away (new
// weights and biases go to separate arrays) and taken again: by the general
// kernel (RavoStepKernel.h, fine checks) when the program's kernel
// (RavoProgramStep.h, coarse checks) flagged it, else in extended precision.
//
// (a) One rounding of the same exact value in both routes, nothing to check:
//     a product of two floats (48 bits, exact in both), a difference of two
//     floats (rounding to 53 or 64 bits and then to 24 is rounding once, as
//     53, 64 >= 2*24 + 2): delta, output - target, the first term of the
//     error handed down, d of the tally.
// (b) One rounding of an exact value in each route: a float plus an exact
//     product of floats (the forward sums, the error handed down, the bias
//     b - delta*lr, the tally d*d + loss, s(1-s) for s >= 2^-28).  Float
//     midpoints are representable in 53 bits, so unless r53 lies exactly on
//     one, X, r53 and r64 are on the same side of every midpoint.  Flagged:
//     r53 on a midpoint of the normal float range (significand bits 28..0
//     equal to 0x10000000), every r53 below 2^-126 but 0 (0 is exact: nothing
//     here underflows in double), NaNs.  With FMA a float accumulator is
//     advanced by fma, float(X) itself, which differs from float(r64) only
//     when r64 is a midpoint other than X, and then r53 is that midpoint too.
//     The general kernel keeps an r53 on a midpoint that is X itself (a sum
//     whose two-sum error is 0): X is then r64 as well.
// (c) Several roundings, with a bound B on |r53 - r64|; kept when no float
//     rounding boundary lies within B of r53 (r53 - B and r53 + B round to
//     the same float, bit for bit), NaNs flagged.
//     - New weight w - delta*o*lr.  P = delta*lr*o exactly; both routes round
//       P, then w - P (or w - P once, fused): |r53 - r64| < 2^-52 (|P| +
//       |r53|); B = 2^-44 (|P| + |r53|).  The program's kernel asks for
//       |r53| > |delta*lr| max|o| / 256 >= |P| / 256, where the bound is
//       below 2^10 units in the last place of r53, and then for 2^10 units
//       between r53 and a midpoint.
//     - Sigmoid 1/(1 + exp(-a)).  The routes' exp E of e = exp(-a) has
//       |E - e| <= kExpErrorBound (1 + e) (RavoExp.h), so r53 is within a
//       relative kExpErrorBound + 2^-51.9 (two more roundings), r64 within
//       2^-61 (expl and two roundings).  B = kSigmoidBound = 2^-40 relative,
//       kSigmoidBoundMargin (256) times their sum or more.  When E is
//       infinite (a < -709.43, e > 2^1023) r53 is 0, and so is the float of
//       the exact value (below 2^-1023).
//
// Assumptions, each checked where it can be:
// - The default floating-point environment: round to nearest, no
//   flush-to-zero, no denormals-are-zero.  MXCSR is read before each step;
//   in any other environment the extended route is taken.
// - long double has a 64-bit significand (x87), and expl is within 2^-62
//   relative in it (a few units in its last place; B leaves room for far
//   worse).
// - The exp of RavoExp.h is within kExpErrorBound = 2^-50: checked by
//   bench/ann_exp_check against expl for every float argument (the sums are
//   floats; 2^-50.96 at most).
// - The compiler contracts nothing (-ffp-contract=off, no -ffast-math):
//   every fused operation is written out.
// - No library function is called on a fast route.  The only symbols
//   relied on are the compiler's intrinsics and, to choose the route,
//   libgcc's __builtin_cpu_supports.
// The oracle test trains a literal long-double implementation side by side
// over thousands of steps on every route; another puts a sum just below a
// float midpoint, where rounding twice and rounding once differ.
#pragma once

#include <cstddef>
#include <cstdint>

// The network's arrays as the fast routes see them.  Weight layer i (layer i
// to layer i+1) holds its weights column by column: the weight from neuron k
// of layer i to neuron j of layer i+1 is weight[weightOffset[i] + k*pad[i] + j],
// where pad[i] is n_(i+1) rounded up to a multiple of 4; biases, steps, deltas
// and lane masks are bias[biasOffset[i] + j] with the same padding.  Padding
// biases and steps are 0, padding weights 1 (lane masks: 0 for padding, all
// ones for neurons).  Every layer of sum, out and outD is padded to a
// multiple of 4 entries as well, from neuronOffset[l].
struct TRavoStepView {
    std::size_t layers = 0;
    const std::int32_t* counts = nullptr;
    const std::size_t* neuronOffset = nullptr;
    const std::size_t* weightOffset = nullptr;
    const std::size_t* biasOffset = nullptr;
    const std::size_t* pad = nullptr;
    const float* weight = nullptr;
    const float* bias = nullptr;
    const double* laneMask = nullptr;
    double learningRate = 0;
    bool sigmoidNet = false;
    // Written by a step: the next weights and biases, and scratch.
    float* weightNext = nullptr;
    float* biasNext = nullptr;
    float* sum = nullptr;      // fSum
    float* out = nullptr;      // fOut
    double* outD = nullptr;    // fOut in double
    double* sumD = nullptr;    // one layer's sums, pad wide
    double* step = nullptr;    // delta * learning rate per neuron
    float* delta = nullptr;    // delta per neuron
    float* backError = nullptr;
    float* grads = nullptr;
};

// The program's own network: [7, 7, 3, 2] with sigmoid units.
inline bool RavoProgramShape(const TRavoStepView& v) {
    return v.sigmoidNet && v.layers == 4 && v.counts[0] == 7 && v.counts[1] == 7 && v.counts[2] == 3 &&
           v.counts[3] == 2;
}

// A forward pass: true when every value is certainly the extended route's.
bool RavoForwardSse2(const TRavoStepView& v, const float* inputs);
bool RavoForwardAvx(const TRavoStepView& v, const float* inputs);
bool RavoForwardFma(const TRavoStepView& v, const float* inputs);
// A training step, any shape: true when the whole step (new weights and
// biases in the Next arrays, the new tally in loss) is certainly the
// extended route's.
bool RavoTrainSse2(const TRavoStepView& v, const float* inputs, const float* targets, float& loss);
bool RavoTrainAvx(const TRavoStepView& v, const float* inputs, const float* targets, float& loss);
bool RavoTrainFma(const TRavoStepView& v, const float* inputs, const float* targets, float& loss);
// The same for the program's network only (RavoProgramShape), checked
// coarsely: false sends the step to RavoTrainFma.
bool RavoTrainProgramFma(const TRavoStepView& v, const float* inputs, const float* targets, float& loss);
bool RavoTrainProgramAvx512(const TRavoStepView& v, const float* inputs, const float* targets, float& loss);

// The routes' exp (RavoExp.h) of n values, n a multiple of 8: for the tests
// and bench/ann_exp_check.
void RavoExpSse2(const double* x, double* e, std::size_t n);
void RavoExpAvx(const double* x, double* e, std::size_t n);
void RavoExpFma(const double* x, double* e, std::size_t n);
void RavoExpAvx512(const double* x, double* e, std::size_t n);
