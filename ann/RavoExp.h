// Internal to the network: the exponential of the fast routes' sigmoid, lane
// by lane in any register width of RavoVec.h (and in pairs of them).
//
// exp(x) = 2^k exp(r), k = round(x / ln 2), r = x - k ln 2 in [-0.347, 0.347]:
// - x is first held within [-746, 710] (a NaN stays a NaN); below -745.2 the
//   exponential is below the smallest double, above 709.8 above the largest.
// - k ln 2 is taken in two parts: ln2Hi has 42 significant bits, so k ln2Hi is
//   exact for |k| < 2^11, and so is r = x - k ln2Hi (it is a multiple of 2^-54
//   below 0.36 in magnitude, or x itself when k = 0).  The small rest
//   exp(-k ln2Lo) is taken as the factor 1 - k ln2Lo beside the polynomial,
//   so that it is not on the way to it.
// - exp(r) is a polynomial of degree 11 (a Chebyshev fit on [-0.3467, 0.3467],
//   2^-58 from exp), evaluated by Estrin's scheme: four multiply-adds deep.
// - 2^k is built in the exponent field from the shifted k, with k held at
//   -1023 or above: k = -1023 (x below -708.74, e^x below 2^-1022.5) gives
//   0, and k = 1024 (x above 709.43, e^x above 2^1023) infinity.
// Largest error, checked against expl for every float x in [-746, 710] by
// bench/ann_exp_check (the sums whose sigmoid the routes take are floats):
// |Exp(x) - e^x| <= kExpErrorBound (1 + e^x), except that x > 709.43 gives
// infinity (where e^x > 2^1023).  The check found 2^-50.96 at most (2.9
// units in the last place), the same on every route.  The routes' checks
// rely on kExpErrorBound (RavoStep.h, kind (c)).
#pragma once

#include "ann/RavoVec.h"

namespace {

// The bound on the error of Exp (see above), and the relative bound B that
// the routes' sigmoid check allows the double route (RavoStep.h, kind (c)):
// many times the double route's error and the extended route's together.
constexpr double kExpErrorBound = 0x1p-50;
constexpr double kSigmoidBound = 0x1p-40;
constexpr double kSigmoidBoundMargin = 256;
static_assert(kSigmoidBound >= kSigmoidBoundMargin * (kExpErrorBound + 0x1.1p-52 + 0x1p-62));

constexpr double kLog2e = 0x1.71547652b82fep+0;
constexpr double kLn2Hi = 0x1.62e42fefa3800p-1;  // ln 2 to 42 bits
constexpr double kLn2Lo = 0x1.ef35793c76730p-45;  // ln 2 - kLn2Hi
constexpr double kShifter = 0x1.8p52;             // x + kShifter rounds x to an integer
constexpr double kExpCoefficients[12] = {
    0x1.0000000000000p+0,  0x1.0000000000000p+0,  0x1.0000000000011p-1,  0x1.555555555555ap-3,
    0x1.555555554f0a5p-5,  0x1.111111110f218p-7,  0x1.6c16c18804745p-10, 0x1.a01a01b148c00p-13,
    0x1.a019919593233p-16, 0x1.71ddf5667e394p-19, 0x1.28b41ab9f014bp-22, 0x1.af63371ef88d9p-26};

template <class D>
inline D Exp(D x) {
    const auto c = [](int i) { return Set<D>(kExpCoefficients[i]); };
    x = Min(Set<D>(710.0), Max(Set<D>(-746.0), x));
    const D shifted = MulAdd(x, Set<D>(kLog2e), Set<D>(kShifter));
    const D k = Sub(shifted, Set<D>(kShifter));
    const D r = MulAdd(k, Set<D>(-kLn2Hi), x);  // exact
    const D r2 = Mul(r, r);
    const D r4 = Mul(r2, r2);
    const D r8 = Mul(r4, r4);
    const D p0 = MulAdd(MulAdd(c(3), r, c(2)), r2, MulAdd(c(1), r, c(0)));
    const D p4 = MulAdd(MulAdd(c(7), r, c(6)), r2, MulAdd(c(5), r, c(4)));
    const D p8 = MulAdd(MulAdd(c(11), r, c(10)), r2, MulAdd(c(9), r, c(8)));
    const D p = MulAdd(p8, r8, MulAdd(p4, r4, p0));
    // 2^k exp(-k ln2Lo), the second factor as 1 - k ln2Lo (|k ln2Lo| < 2^-32:
    // the rest is below 2^-65), beside the polynomial rather than before it.
    const D scale = ExponentFromShifted(Add(Max(k, Set<D>(-1023.0)), Set<D>(kShifter + 1023.0)));
    return Mul(p, Mul(scale, MulAdd(k, Set<D>(-kLn2Lo), Set<D>(1.0))));
}

// 1 / (1 + e^-a), in double.
template <class D>
inline D SigmoidOf(D a) {
    const D one = Set<D>(1.0);
    return Div(one, Add(one, Exp(Xor(a, Set<D>(-0.0)))));
}

}  // namespace
