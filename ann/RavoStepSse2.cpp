// The fast route with SSE2, the baseline of every x86-64 processor: two
// doubles side by side.
#include "ann/RavoStep.h"

#if defined(__SSE2__)
#include "ann/RavoStepKernel.h"

bool RavoForwardSse2(const TRavoStepView& v, const float* inputs) { return ForwardStep<__m128d>(v, inputs); }
bool RavoTrainSse2(const TRavoStepView& v, const float* inputs, const float* targets, float& loss) {
    return TrainStep<__m128d>(v, inputs, targets, loss);
}
void RavoExpSse2(const double* x, double* e, std::size_t n) {
    for (std::size_t i = 0; i < n; i += 2) Store(e + i, Exp(Load<__m128d>(x + i)));
}
#endif
