// The fast route with AVX2 and FMA: four doubles side by side, the float
// sums advanced by fused multiply-adds, and the program's own network in
// registers (RavoProgramStep.h).  This file alone is built with -mavx2 -mfma;
// the network calls it only after the processor and the operating system
// have been found to support both.  Nothing is contracted by the compiler
// (-ffp-contract=off): every fused operation is written out.
#include "ann/RavoStep.h"

#if defined(__AVX2__) && defined(__FMA__)
#include "ann/RavoProgramStep.h"
#include "ann/RavoStepKernel.h"

bool RavoForwardFma(const TRavoStepView& v, const float* inputs) { return ForwardStep<__m256d>(v, inputs); }
bool RavoTrainFma(const TRavoStepView& v, const float* inputs, const float* targets, float& loss) {
    return TrainStep<__m256d>(v, inputs, targets, loss);
}
bool RavoTrainProgramFma(const TRavoStepView& v, const float* inputs, const float* targets, float& loss) {
    return ProgramStep(v, inputs, targets, loss);
}
void RavoExpFma(const double* x, double* e, std::size_t n) {
    for (std::size_t i = 0; i < n; i += 4) Store(e + i, Exp(Load<__m256d>(x + i)));
}
#endif
