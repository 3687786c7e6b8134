// Internal to the network: the fast route of a training step and of a forward
// pass over raw arrays, in one instruction-set flavour per translation unit.
// Not part of the network's interface.
#pragma once

#include <cstddef>
#include <cstdint>

// The network's arrays as the fast route sees them.  Weight layer i (layer i
// to layer i+1) holds its weights column by column: the weight from neuron k
// of layer i to neuron j of layer i+1 is weight[weightOffset[i] + k*pad[i] + j],
// where pad[i] is n_(i+1) rounded up to a multiple of 4; biases, steps and
// lane masks are bias[biasOffset[i] + j] with the same padding.  Padding
// biases and steps are 0, padding weights 1 (lane masks: 0 for padding, all
// ones for neurons).  Every layer of sum, out and outD is padded to a
// multiple of 4 entries as well.
struct TRavoStepView {
    std::size_t layers;
    const std::int32_t* counts;
    const std::size_t* neuronOffset;
    const std::size_t* weightOffset;
    const std::size_t* biasOffset;
    const std::size_t* pad;
    const float* weight;
    float* weightNext;
    const float* bias;
    float* biasNext;
    const double* laneMask;
    double* step;   // delta * learning rate per neuron, padded like bias
    float* delta;   // delta per neuron, padded like bias
    double* sumD;   // one layer's sums, pad wide
    float* sum;     // fSum, flat, unpadded
    float* out;     // fOut, flat, unpadded
    double* outD;   // fOut in double, flat, unpadded
    float* backError;
    float* grads;
    double learningRate;
    bool sigmoidNet;
};

// True when the pass is certainly the extended route's; else the caller redoes it.
bool RavoForwardSse2(const TRavoStepView& v, const float* inputs);
bool RavoForwardAvx(const TRavoStepView& v, const float* inputs);
bool RavoForwardFma(const TRavoStepView& v, const float* inputs);
// True when the whole step (new weights and biases in the Next arrays, the
// new tally in loss) is certainly the extended route's.
bool RavoTrainSse2(const TRavoStepView& v, const float* inputs, const float* targets, float& loss);
bool RavoTrainAvx(const TRavoStepView& v, const float* inputs, const float* targets, float& loss);
bool RavoTrainFma(const TRavoStepView& v, const float* inputs, const float* targets, float& loss);
// The program's network only ([7, 7, 3, 2], sigmoid units): false for any
// other shape, and whenever a coarser check flags a value (then the caller
// tries RavoTrainFma).
bool RavoTrainAvx512(const TRavoStepView& v, const float* inputs, const float* targets, float& loss);
