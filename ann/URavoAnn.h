// URavoAnn: a small fully connected feed-forward network (multi-layer
// perceptron) with 32-bit float parameters, online back-propagation, a
// running squared-error tally and a flat little-endian model file.
//
// Every formula is evaluated in 80-bit extended precision (long double) and
// rounded to a 32-bit float where its result is stored.  The training step
// takes a faster double-precision route wherever that route provably gives
// the same float (see ann/RavoStep.h); the results are bit for bit those of the
// extended-precision formulas.
//
// Plain C++17: nothing of the rest of the program is used here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "ann/RavoStep.h"

enum class TRavoActivationFunc : std::uint8_t { Sigmoid = 0, ReLU = 1 };

// An index or a length outside what the network holds: a bad topology, an
// input or target vector of the wrong length, a model file whose counts are
// impossible.  Raised before anything of the network changes.
class ERavoRangeError : public std::out_of_range {
public:
    using std::out_of_range::out_of_range;
};

// The training tally would pass the limit of its signed 32-bit width.
class ERavoOverflow : public std::overflow_error {
public:
    using std::overflow_error::overflow_error;
};

// A model file that cannot be opened, read, created or written, that is not
// a regular file, or whose contents are not a model (too short for its own
// counts).
class ERavoFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// How a network's training steps were taken: Accepted from the fast route
// at once, Rechecked by its finer kernel after the first one flagged a value,
// Redone in extended precision.  A copy starts with its original's counts;
// loading a model file starts them again.
struct TRavoStepStats {
    std::uint64_t Accepted = 0;
    std::uint64_t Rechecked = 0;
    std::uint64_t Redone = 0;
};

class TRavoAnn {
public:
    // Builds a ready network: learning rate clamped into [0.001, 0.999],
    // weights initialised from the process-wide generator (reseeded here),
    // biases 0.  Every layer needs at least one neuron and at most 1,000,000,
    // and the arrays at most 16 times the size of the network's model file
    // (plus 1 MiB).
    TRavoAnn(const std::vector<std::int32_t>& NeuronCountInLayers, float LerningRate,
             TRavoActivationFunc ActivationFunc);
    // Reseeds the process-wide generator, then loads the network from a model file.
    explicit TRavoAnn(const std::string& Filename);
    virtual ~TRavoAnn();

    TRavoAnn(const TRavoAnn&) = default;
    TRavoAnn& operator=(const TRavoAnn&) = default;
    TRavoAnn(TRavoAnn&&) noexcept = default;
    TRavoAnn& operator=(TRavoAnn&&) noexcept = default;

    // One online gradient-descent step on one sample.  Inputs must hold n_0
    // values and Outputs n_(L-1) targets.
    void Train(const std::vector<float>& Inputs, const std::vector<float>& Outputs);
    // The network's prediction for Inputs (n_0 values): Outputs is emptied
    // first and then receives n_(L-1) values.
    void Run(const std::vector<float>& Inputs, std::vector<float>& Outputs);
    // Mean squared error of every training step so far (0 before the first).
    float GetMSE() const;

    // Writes the model file; the target is replaced only by a complete file.
    void SaveToFile(const std::string& FileName) const;
    // Replaces activation, topology, learning rate, tally, biases and weights
    // with those of a model file; a file that is not a valid model leaves the
    // network exactly as it was.  Only a regular file is read: a folder, a
    // named pipe or a device is a file error at once.  A file whose counts
    // would need arrays of more than 16 times its size (plus 1 MiB) is a range
    // error before anything is sized; the constructor refuses the same shapes.
    void LoadFromFile(const std::string& FileName);

    // The learning rate property.  The setter keeps the value within
    // [0.001, 0.999] as the constructor does; NaN is a range error and changes
    // nothing.  A rate loaded from a model file is kept as it was read.
    float GetLearningRate() const { return fLearningRate; }
    void SetLearningRate(float Value);

    // Read-only views, for callers that inspect a network.
    float LearningRate() const { return GetLearningRate(); }
    std::int32_t LayerCount() const { return fLayerCount; }
    const std::vector<std::int32_t>& NeuronCountInLayers() const { return fNeuronCountInLayers; }
    TRavoActivationFunc ActivationFunc() const { return fActivationFunc; }
    float Loss() const { return fLoss; }
    std::int32_t TrainCount() const { return fTrainCount; }
    // Bias of neuron j of layer i+1; range-checked.
    float Bias(std::int32_t i, std::int32_t j) const;
    // Weight from neuron k of layer i to neuron j of layer i+1; range-checked.
    float Weight(std::int32_t i, std::int32_t j, std::int32_t k) const;
    const TRavoStepStats& StepStats() const { return fStepStats; }
    // The fast route this process takes: "avx512", "fma", "avx", "sse2" or
    // "extended" (none).
    static const char* RouteName();

private:
    TRavoAnn() = default;

    // The forward pass: the fast route, redone in extended precision when
    // any of its values is unsure.
    void ForwardProp(const std::vector<float>& Inputs);
    // Back-propagation in extended precision (used when the fast training
    // step is unsure).
    void BackProp(const std::vector<float>& Outputs);
    static float Sigmoid(float x);
    static float SigmoidDerivative(float x);
    static float ReLU(float x);
    static float ReLUDerivative(float x);

    // The fast routes (see RavoStep.h): false when some value may differ
    // from the extended formula; then nothing has changed but fSum and fOut,
    // and the caller takes the extended route.  TrainFast leaves the new
    // weights and biases in fWeightNext/fBiasNext and the new tally in Loss.
    const TRavoStepView& StepView();
    bool ForwardFast(const float* Inputs);
    bool TrainFast(const float* Inputs, const float* Outputs, float& Loss);
    void ForwardExtended(const float* Inputs);

    // Shape helpers over the flat arrays below.
    void BuildLayout();
    void CheckInputs(const std::vector<float>& Inputs) const;
    float* OutputLayer() { return fOut.data() + fNeuronOffset.back(); }
    std::size_t WeightIndex(std::size_t i, std::size_t j, std::size_t k) const {
        return fWeightOffset[i] + k * fPad[i] + j;
    }

    // Fields, in the network's declared order.  fSum and fOut are stored
    // flat, layer l from fNeuronOffset[l] (each layer padded to a multiple of
    // 4 entries for the fast route's four-wide writes).  fBias and fWeight are stored flat
    // per weight layer i, with the rows padded to fPad[i] (n_(i+1) rounded up
    // to a multiple of 4; padding biases 0, padding weights 1): the bias of neuron j at
    // fBiasOffset[i] + j, and the weights column by column, the weight from
    // neuron k to neuron j at fWeightOffset[i] + k*fPad[i] + j, so that the
    // fast route handles neighbouring neurons side by side.  The model file
    // and the accessors use the network's own order.
    std::vector<float> fSum;
    std::vector<float> fOut;
    std::int32_t fLayerCount = 0;
    std::vector<std::int32_t> fNeuronCountInLayers;
    float fLearningRate = 0.0f;
    float fLoss = 0.0f;
    std::int32_t fTrainCount = 0;
    std::vector<float> fBias;
    std::vector<float> fWeight;
    TRavoActivationFunc fActivationFunc = TRavoActivationFunc::Sigmoid;

    // Layout derived from fNeuronCountInLayers (L, L-1, L-1 and L-1 entries).
    std::vector<std::size_t> fNeuronOffset;
    std::vector<std::size_t> fBiasOffset;
    std::vector<std::size_t> fWeightOffset;
    std::vector<std::size_t> fPad;
    // Scratch of the training step: outputs of the latest pass in double,
    // error signals, the fast route's per-neuron values (shaped like fBias)
    // and its next weights and biases.
    std::vector<double> fOutD;
    std::vector<double> fSumD;
    std::vector<float> fBackError;
    std::vector<float> fLayerGrads;
    std::vector<double> fLaneMask;
    std::vector<double> fStep;
    std::vector<float> fDelta;
    std::vector<float> fWeightNext;
    std::vector<float> fBiasNext;
    TRavoStepStats fStepStats;
    // The arrays as the fast routes see them, kept from step to step (its
    // Next arrays exchanged with the network's after each fast step): taken
    // again whenever its counts or weights are not this network's arrays
    // (after a copy, and after BuildLayout, which empties it).
    TRavoStepView fView;
};

// The seed of the next network built (by either constructor): it reseeds the
// process-wide generator with `seed` instead of the high-resolution clock, so
// that the same seed gives the same initial weights.  Networks built after it
// are seeded from the clock again.  Like the generator, not for concurrent use.
void SeedNextRavoAnn(std::uint64_t seed);
