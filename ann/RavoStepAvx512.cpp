// The fast route with AVX-512 for the program's own network: the same step
// as RavoStepFma.cpp's (RavoProgramStep.h) with layer 1 in single registers
// of eight lanes.  This file alone is built with -mavx512f -mavx512vl
// -mavx512dq; the network calls it only after the processor and the
// operating system have been found to support them.  Nothing is contracted
// by the compiler (-ffp-contract=off): every fused operation is written out.
#include "ann/RavoStep.h"

#if defined(__AVX512F__) && defined(__AVX512VL__) && defined(__AVX512DQ__) && defined(__FMA__)
#include "ann/RavoProgramStep.h"

bool RavoTrainProgramAvx512(const TRavoStepView& v, const float* inputs, const float* targets, float& loss) {
    return ProgramStep(v, inputs, targets, loss);
}
void RavoExpAvx512(const double* x, double* e, std::size_t n) {
    for (std::size_t i = 0; i < n; i += 8) Store(e + i, Exp(_mm512_loadu_pd(x + i)));
}
#endif
