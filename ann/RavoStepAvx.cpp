// The fast route with AVX: four doubles side by side.  This file alone is
// built with -mavx; the network calls it only after the processor and the
// operating system have been found to support AVX.
#include "ann/RavoStep.h"

#if defined(__AVX__)
#include "ann/RavoStepKernel.h"

bool RavoForwardAvx(const TRavoStepView& v, const float* inputs) { return ForwardStep<__m256d>(v, inputs); }
bool RavoTrainAvx(const TRavoStepView& v, const float* inputs, const float* targets, float& loss) {
    return TrainStep<__m256d>(v, inputs, targets, loss);
}
void RavoExpAvx(const double* x, double* e, std::size_t n) {
    for (std::size_t i = 0; i < n; i += 4) Store(e + i, Exp(Load<__m256d>(x + i)));
}
#endif
