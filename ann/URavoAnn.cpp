#include "ann/URavoAnn.h"
#include "ann/RavoFile.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <random>
#include <utility>

// The training step and the forward pass take a fast route in double
// precision wherever that route provably gives the extended formulas' floats,
// and the extended route otherwise: why, and what it assumes, is explained at
// the top of RavoStep.h.

namespace {

using Ext = long double;

// The formulas are those of x87's 80-bit format.  A compiler whose long
// double is double (MSVC, or GCC with -mlong-double-64) would round every one
// of them at 53 bits and give other floats now and then, silently.
static_assert(std::numeric_limits<long double>::digits == 64,
              "the network needs long double with a 64-bit significand (x87 extended precision): "
              "build with GCC or MinGW-w64 on x86-64; MSVC's long double has only 53 bits");

// Sets the x87 unit's precision control to 64 bits for a scope (keeping its
// rounding mode) and restores it afterwards.  Windows' x64 convention starts a
// program with it at 53 bits (control word 0x27F); MinGW's start-up code
// widens it for the main thread only, so another thread may run with 53 bits,
// and there long double arithmetic would round as double.
class TExtendedPrecision {
public:
    TExtendedPrecision() {
#if defined(__x86_64__) || defined(__i386__)
        __asm__ volatile("fnstcw %0" : "=m"(fSaved));
        const auto full = static_cast<unsigned short>(fSaved | 0x0300u);
        fChanged = full != fSaved;
        if (fChanged) __asm__ volatile("fldcw %0" : : "m"(full));
#endif
    }
    ~TExtendedPrecision() {
#if defined(__x86_64__) || defined(__i386__)
        if (fChanged) __asm__ volatile("fldcw %0" : : "m"(fSaved));
#endif
    }
    TExtendedPrecision(const TExtendedPrecision&) = delete;
    TExtendedPrecision& operator=(const TExtendedPrecision&) = delete;

private:
    unsigned short fSaved = 0;
    bool fChanged = false;
};

// Rounds an extended-precision result to the 32-bit float that stores it.
inline float F(Ext x) { return static_cast<float>(x); }

inline std::uint32_t FloatBits(float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

// ---- Which fast route this processor takes. ---------------------------------

using TForwardKernel = bool (*)(const TRavoStepView&, const float*);
using TTrainKernel = bool (*)(const TRavoStepView&, const float*, const float*, float&);

// A route: its forward pass and training step for any shape, and the coarser
// step for the program's own network, tried first where there is one.
struct TRoute {
    const char* name;
    TForwardKernel forward;
    TTrainKernel train;
    TTrainKernel program;
};

// The widest route the processor supports.  RAVO_ROUTE=fma, avx, sse2 or
// extended holds it to that route or a narrower one (to compare them, and to
// test every route on one machine); any other value is ignored.
TRoute ChooseRoute() {
    const char* forced = std::getenv("RAVO_ROUTE");
    const std::string limit = forced ? forced : "";
    // How wide a route may be taken: 0 extended, 1 SSE2, 2 AVX, 3 AVX2+FMA, 4 AVX-512.
    const int widest = limit == "extended" ? 0 : limit == "sse2" ? 1 : limit == "avx" ? 2 : limit == "fma" ? 3 : 4;
#if defined(__SSE2__) && defined(RAVO_HAVE_AVX_ROUTE)
    __builtin_cpu_init();
    const bool fma = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    const bool avx512 = fma && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
                        __builtin_cpu_supports("avx512dq");
    if (widest >= 4 && avx512) return {"avx512", RavoForwardFma, RavoTrainFma, RavoTrainProgramAvx512};
    if (widest >= 3 && fma) return {"fma", RavoForwardFma, RavoTrainFma, RavoTrainProgramFma};
    if (widest >= 2 && __builtin_cpu_supports("avx")) return {"avx", RavoForwardAvx, RavoTrainAvx, nullptr};
#endif
#if defined(__SSE2__)
    if (widest >= 1) return {"sse2", RavoForwardSse2, RavoTrainSse2, nullptr};
#endif
    return {"extended", nullptr, nullptr, nullptr};
}

const TRoute kRoute = ChooseRoute();

// The double route assumes the default floating-point environment: round to
// nearest, subnormals kept (no flush-to-zero, no denormals-are-zero).  (A
// probe by arithmetic instead of reading the control register was tried: its
// subnormal operations cost the processor more than the read.)
bool DefaultEnvironment() {
#if defined(__SSE2__)
    return (__builtin_ia32_stmxcsr() & 0xE040u) == 0;
#else
    return false;
#endif
}

// ---- The process-wide generator. -------------------------------------------

std::mt19937_64& Generator() {
    static std::mt19937_64 generator;
    return generator;
}

// The seed SeedNextRavoAnn leaves for the next network built, if any.
std::optional<std::uint64_t>& PendingSeed() {
    static std::optional<std::uint64_t> seed;
    return seed;
}

void ReseedGenerator() {
    std::optional<std::uint64_t>& pending = PendingSeed();
    if (pending) {
        Generator().seed(*pending);
        pending.reset();
        return;
    }
    const auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    Generator().seed(static_cast<std::uint64_t>(ticks));
}

float NormalDraw(float scale) {
    std::normal_distribution<double> normal(0.0, static_cast<double>(scale));
    return static_cast<float>(normal(Generator()));
}

// ---- Shapes. ---------------------------------------------------------------

constexpr std::uint64_t kMaxParameters = static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
// Neurons of one layer.  Every array is sized from the counts; between two
// layers the weights bound them by the file's size, but a one-layer model
// file holds no parameter at all, so its 24 bytes could otherwise ask for
// gigabytes.  Network and file obey the same limit, so every saved network
// loads again.
constexpr std::int32_t kMaxNeuronsInLayer = 1000000;

// Number of biases and weights of a topology whose counts are all >= 1, or
// false when it passes Limit (computed without overflow: each count < 2^31).
bool ParameterCount(const std::vector<std::int32_t>& counts, std::uint64_t limit, std::uint64_t& biases,
                    std::uint64_t& weights) {
    biases = 0;
    weights = 0;
    for (std::size_t i = 1; i < counts.size(); ++i) {
        const auto in = static_cast<std::uint64_t>(counts[i - 1]);
        const auto out = static_cast<std::uint64_t>(counts[i]);
        biases += out;
        weights += in * out;  // < 2^62
        if (biases > limit || weights > limit || biases + weights > limit) return false;
    }
    return true;
}

// Memory.  The arrays of a network (what BuildLayout allocates: the fast
// route's padding and scratch included) may take at most kMemoryPerFileByte
// times the bytes of its model file, plus kMemorySlack.  A model file whose
// counts ask for more is refused before anything is sized, and the
// constructor refuses the same topologies, so every saved network loads
// again.  The widest ordinary shape, [n, 1], needs 16 bytes per byte of its
// file; a long chain of one-neuron layers needs 20 and is refused beyond
// about 20,000 layers.
constexpr std::uint64_t kMemoryPerFileByte = 16;
constexpr std::uint64_t kMemorySlack = std::uint64_t{1} << 20;

// Bytes of the model file of a network of these many layers, biases and weights.
std::uint64_t ModelFileBytes(std::size_t layers, std::uint64_t biases, std::uint64_t weights) {
    return 4 * (5 + layers + biases + weights);
}

// Bytes BuildLayout allocates for a topology that ParameterCount accepted
// within kMaxParameters, every count from 1 to kMaxNeuronsInLayer (no
// overflow: every sum below 2^40).  Follows BuildLayout array by array.
std::uint64_t LayoutBytes(const std::vector<std::int32_t>& counts) {
    std::uint64_t neurons = 0, widest = 0, biases = 0, weights = 0;
    for (std::size_t l = 0; l < counts.size(); ++l) {
        const auto n = static_cast<std::uint64_t>(counts[l]);
        const std::uint64_t pad = (n + 3) / 4 * 4;
        neurons += pad;
        widest = std::max(widest, n);
        if (l > 0) {
            biases += pad;
            weights += pad * static_cast<std::uint64_t>(counts[l - 1]);
            widest = std::max(widest, pad);
        }
    }
    return 16 * neurons              // fSum, fOut (float), fOutD (double)
           + 16 * widest             // fSumD (double), fBackError, fLayerGrads (float)
           + 28 * biases             // fBias, fBiasNext, fDelta (float), fStep, fLaneMask (double)
           + 8 * weights             // fWeight, fWeightNext
           + 36 * counts.size();     // the counts and the four offset arrays
}

bool FitsItsFile(const std::vector<std::int32_t>& counts, std::uint64_t biases, std::uint64_t weights) {
    return LayoutBytes(counts) <= kMemoryPerFileByte * ModelFileBytes(counts.size(), biases, weights) + kMemorySlack;
}

// ---- Model file bytes. -----------------------------------------------------

void PutU32(std::vector<unsigned char>& out, std::uint32_t v) {
    out.push_back(static_cast<unsigned char>(v));
    out.push_back(static_cast<unsigned char>(v >> 8));
    out.push_back(static_cast<unsigned char>(v >> 16));
    out.push_back(static_cast<unsigned char>(v >> 24));
}
void PutI32(std::vector<unsigned char>& out, std::int32_t v) { PutU32(out, static_cast<std::uint32_t>(v)); }
void PutF32(std::vector<unsigned char>& out, float v) { PutU32(out, FloatBits(v)); }

std::uint32_t GetU32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::int32_t GetI32(const unsigned char* p) { return static_cast<std::int32_t>(GetU32(p)); }
float GetF32(const unsigned char* p) {
    const std::uint32_t u = GetU32(p);
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
}

}  // namespace

// ---- Construction. ---------------------------------------------------------

void SeedNextRavoAnn(std::uint64_t seed) { PendingSeed() = seed; }

TRavoAnn::TRavoAnn(const std::vector<std::int32_t>& NeuronCountInLayers, float LerningRate,
                   TRavoActivationFunc ActivationFunc) {
    // The whole request is checked before anything is built or reseeded.
    if (NeuronCountInLayers.empty()) throw ERavoRangeError("ネットワークの層がありません");
    for (std::int32_t count : NeuronCountInLayers)
        if (count < 1 || count > kMaxNeuronsInLayer)
            throw ERavoRangeError("層のニューロン数が不正です: " + std::to_string(count));
    std::uint64_t biases = 0, weights = 0;
    if (!ParameterCount(NeuronCountInLayers, kMaxParameters, biases, weights) ||
        !FitsItsFile(NeuronCountInLayers, biases, weights))
        throw ERavoRangeError("ネットワークが大きすぎます");
    if (std::isnan(LerningRate)) throw ERavoRangeError("学習率が数値ではありません");
    if (ActivationFunc != TRavoActivationFunc::Sigmoid && ActivationFunc != TRavoActivationFunc::ReLU)
        throw ERavoRangeError("活性化関数が不正です");

    SetLearningRate(LerningRate);
    fActivationFunc = ActivationFunc;
    fLoss = 0.0f;
    fTrainCount = 0;
    fLayerCount = static_cast<std::int32_t>(NeuronCountInLayers.size());
    fNeuronCountInLayers = NeuronCountInLayers;
    ReseedGenerator();
    BuildLayout();

    // Initial weights, weight layer i, then row j, then k in ascending order.
    const TExtendedPrecision precision;
    const std::size_t weightLayers = fWeightOffset.size();
    for (std::size_t i = 0; i < weightLayers; ++i) {
        const std::int32_t n = fNeuronCountInLayers[i];
        const std::int32_t rows = fNeuronCountInLayers[i + 1];
        const bool reluHidden = fActivationFunc == TRavoActivationFunc::ReLU && i + 2 < fNeuronOffset.size();
        const float scale = reluHidden ? static_cast<float>(std::sqrt(2.0L / Ext(n)))
                                       : static_cast<float>(1.0L / std::sqrt(Ext(n)));
        const float first = reluHidden ? static_cast<float>(3.5L * Ext(scale)) : scale;
        const float last = reluHidden ? static_cast<float>(-0.5L * Ext(scale)) : -scale;
        for (std::int32_t j = 0; j < rows; ++j)
            for (std::int32_t k = 0; k < n; ++k)
                fWeight[WeightIndex(i, j, k)] = k == 0 ? first : k == n - 1 ? last : NormalDraw(scale);
    }
}

TRavoAnn::TRavoAnn(const std::string& Filename) {
    ReseedGenerator();
    LoadFromFile(Filename);
}

TRavoAnn::~TRavoAnn() = default;

void TRavoAnn::SetLearningRate(float Value) {
    if (std::isnan(Value)) throw ERavoRangeError("学習率が数値ではありません");
    if (Value > 0.999L) Value = 0.999f;
    if (Value < 0.001L) Value = 0.001f;
    fLearningRate = Value;
}

// Offsets of the flat arrays and their sizes, from fNeuronCountInLayers
// (already validated); every array is zero.
void TRavoAnn::BuildLayout() {
    fView = TRavoStepView();
    const std::size_t layers = fNeuronCountInLayers.size();
    fNeuronOffset.assign(layers, 0);
    fBiasOffset.assign(layers - 1, 0);
    fWeightOffset.assign(layers - 1, 0);
    fPad.assign(layers - 1, 0);
    std::size_t neurons = 0, biases = 0, weights = 0, widest = 0;
    for (std::size_t l = 0; l < layers; ++l) {
        const auto n = static_cast<std::size_t>(fNeuronCountInLayers[l]);
        fNeuronOffset[l] = neurons;
        neurons += (n + 3) / 4 * 4;  // padded, for the fast route's four-wide stores
        widest = std::max(widest, n);
        if (l > 0) {
            const std::size_t pad = (n + 3) / 4 * 4;
            fPad[l - 1] = pad;
            fBiasOffset[l - 1] = biases;
            fWeightOffset[l - 1] = weights;
            biases += pad;
            weights += pad * static_cast<std::size_t>(fNeuronCountInLayers[l - 1]);
            widest = std::max(widest, pad);
        }
    }
    fSum.assign(neurons, 0.0f);
    fOut.assign(neurons, 0.0f);
    fOutD.assign(neurons, 0.0);
    fSumD.assign(widest, 0.0);
    fBias.assign(biases, 0.0f);
    fWeight.assign(weights, 0.0f);
    fBiasNext.assign(biases, 0.0f);
    fWeightNext.assign(weights, 0.0f);
    fStep.assign(biases, 0.0);
    fDelta.assign(biases, 0.0f);
    fBackError.assign(widest, 0.0f);
    fLayerGrads.assign(widest, 0.0f);
    const double allOnes = [] {
        const std::uint64_t bits = ~std::uint64_t{0};
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }();
    fLaneMask.assign(biases, 0.0);
    for (std::size_t i = 0; i + 1 < layers; ++i) {
        const auto nOut = static_cast<std::size_t>(fNeuronCountInLayers[i + 1]);
        for (std::size_t j = 0; j < nOut; ++j) fLaneMask[fBiasOffset[i] + j] = allOnes;
        // Padding weights are 1 (their step is always 0): the fast route's
        // weight check never flags them.  Nothing else reads them.
        for (std::size_t k = 0; k < static_cast<std::size_t>(fNeuronCountInLayers[i]); ++k)
            for (std::size_t j = nOut; j < fPad[i]; ++j)
                fWeight[WeightIndex(i, j, k)] = fWeightNext[WeightIndex(i, j, k)] = 1.0f;
    }
}

// ---- Activations (the extended formulas). -----------------------------------

float TRavoAnn::Sigmoid(float x) { return F(1.0L / (1.0L + std::exp(-Ext(x)))); }
float TRavoAnn::SigmoidDerivative(float x) {
    const Ext s = Sigmoid(x);
    return F(s * (1.0L - s));
}
float TRavoAnn::ReLU(float x) { return x > 0.0f ? x : 0.0f; }
float TRavoAnn::ReLUDerivative(float x) { return x > 0.0f ? 1.0f : 0.0f; }

// ---- Forward pass. ---------------------------------------------------------

void TRavoAnn::CheckInputs(const std::vector<float>& Inputs) const {
    if (Inputs.size() != static_cast<std::size_t>(fNeuronCountInLayers.front()))
        throw ERavoRangeError("入力の数が入力層のニューロン数と一致しません: " + std::to_string(Inputs.size()) +
                              " / " + std::to_string(fNeuronCountInLayers.front()));
}

// Inputs holds n_0 values (checked by the callers).
void TRavoAnn::ForwardProp(const std::vector<float>& Inputs) {
    if (!ForwardFast(Inputs.data())) ForwardExtended(Inputs.data());
}

// The forward pass exactly as the formulas say, in extended precision.
void TRavoAnn::ForwardExtended(const float* Inputs) {
    const TExtendedPrecision precision;
    const auto n0 = static_cast<std::size_t>(fNeuronCountInLayers.front());
    for (std::size_t k = 0; k < n0; ++k) fSum[k] = fOut[k] = Inputs[k];
    const bool sigmoidNet = fActivationFunc == TRavoActivationFunc::Sigmoid;
    const std::size_t layers = fNeuronOffset.size();
    for (std::size_t l = 1; l < layers; ++l) {
        const auto nIn = static_cast<std::size_t>(fNeuronCountInLayers[l - 1]);
        const auto nOut = static_cast<std::size_t>(fNeuronCountInLayers[l]);
        const float* in = fOut.data() + fNeuronOffset[l - 1];
        const float* bias = fBias.data() + fBiasOffset[l - 1];
        const bool outputLayer = l + 1 == layers;
        for (std::size_t j = 0; j < nOut; ++j) {
            float acc = bias[j];
            for (std::size_t k = 0; k < nIn; ++k) acc = F(Ext(in[k]) * Ext(fWeight[WeightIndex(l - 1, j, k)]) + Ext(acc));
            fSum[fNeuronOffset[l] + j] = acc;
            fOut[fNeuronOffset[l] + j] =
                outputLayer ? (sigmoidNet ? acc : Sigmoid(acc)) : (sigmoidNet ? Sigmoid(acc) : ReLU(acc));
        }
    }
    for (std::size_t n = 0; n < fOut.size(); ++n) fOutD[n] = fOut[n];
}

const char* TRavoAnn::RouteName() { return kRoute.name; }

// The arrays as the fast routes see them.  The learning rate is taken at
// every step.
const TRavoStepView& TRavoAnn::StepView() {
    TRavoStepView& v = fView;
    if (v.counts != fNeuronCountInLayers.data() || v.weight != fWeight.data()) {
        v.layers = fNeuronOffset.size();
        v.counts = fNeuronCountInLayers.data();
        v.neuronOffset = fNeuronOffset.data();
        v.weightOffset = fWeightOffset.data();
        v.biasOffset = fBiasOffset.data();
        v.pad = fPad.data();
        v.weight = fWeight.data();
        v.bias = fBias.data();
        v.laneMask = fLaneMask.data();
        v.weightNext = fWeightNext.data();
        v.biasNext = fBiasNext.data();
        v.sum = fSum.data();
        v.out = fOut.data();
        v.outD = fOutD.data();
        v.sumD = fSumD.data();
        v.step = fStep.data();
        v.delta = fDelta.data();
        v.backError = fBackError.data();
        v.grads = fLayerGrads.data();
    }
    v.learningRate = fLearningRate;
    v.sigmoidNet = fActivationFunc == TRavoActivationFunc::Sigmoid;
    return v;
}

bool TRavoAnn::ForwardFast(const float* Inputs) {
    if (!kRoute.forward || !DefaultEnvironment()) return false;
    return kRoute.forward(StepView(), Inputs);
}

bool TRavoAnn::TrainFast(const float* Inputs, const float* Outputs, float& Loss) {
    if (!kRoute.train || !DefaultEnvironment()) return false;
    const TRavoStepView& view = StepView();
    if (kRoute.program && RavoProgramShape(view)) {
        if (kRoute.program(view, Inputs, Outputs, Loss)) {
            ++fStepStats.Accepted;
            return true;
        }
        if (kRoute.train(view, Inputs, Outputs, Loss)) {
            ++fStepStats.Rechecked;
            return true;
        }
        return false;
    }
    if (!kRoute.train(view, Inputs, Outputs, Loss)) return false;
    ++fStepStats.Accepted;
    return true;
}

void TRavoAnn::Run(const std::vector<float>& Inputs, std::vector<float>& Outputs) {
    Outputs.clear();
    CheckInputs(Inputs);
    ForwardProp(Inputs);
    const float* out = OutputLayer();
    Outputs.assign(out, out + fNeuronCountInLayers.back());
}

// ---- Training. -------------------------------------------------------------

void TRavoAnn::Train(const std::vector<float>& Inputs, const std::vector<float>& Outputs) {
    // Every check comes first: a failing call changes nothing at all.
    CheckInputs(Inputs);
    const auto nOut = static_cast<std::size_t>(fNeuronCountInLayers.back());
    if (Outputs.size() != nOut)
        throw ERavoRangeError("目標値の数が出力層のニューロン数と一致しません: " + std::to_string(Outputs.size()) +
                              " / " + std::to_string(nOut));
    if (fTrainCount > std::numeric_limits<std::int32_t>::max() - static_cast<std::int32_t>(nOut))
        throw ERavoOverflow("学習回数が上限 2147483647 を超えます");

    float loss = fLoss;
    if (TrainFast(Inputs.data(), Outputs.data(), loss)) {
        fWeight.swap(fWeightNext);
        fBias.swap(fBiasNext);
        fView.weight = fWeight.data();
        fView.weightNext = fWeightNext.data();
        fView.bias = fBias.data();
        fView.biasNext = fBiasNext.data();
        fLoss = loss;
        fTrainCount += static_cast<std::int32_t>(nOut);
        return;
    }
    const TExtendedPrecision precision;
    ++fStepStats.Redone;
    ForwardExtended(Inputs.data());
    BackProp(Outputs);
    // The tally uses the outputs of the forward pass above, before the update.
    const float* out = OutputLayer();
    for (std::size_t j = 0; j < nOut; ++j) {
        ++fTrainCount;
        const float d = F(Ext(out[j]) - Ext(Outputs[j]));
        fLoss = F(Ext(d) * Ext(d) + Ext(fLoss));
    }
}

// Back-propagation exactly as the formulas say, in extended precision, on the
// pass left in fSum and fOut.  Outputs holds n_(L-1) targets (checked by
// Train).  Walks the layers downwards; every row's weights change at once,
// and the error handed down uses each row's weights from before its update.
void TRavoAnn::BackProp(const std::vector<float>& Outputs) {
    const TExtendedPrecision precision;
    const std::size_t layers = fNeuronOffset.size();
    if (layers < 2) return;
    const bool sigmoidNet = fActivationFunc == TRavoActivationFunc::Sigmoid;
    const Ext lr = fLearningRate;
    float* backError = fBackError.data();
    float* grads = fLayerGrads.data();
    const float* top = OutputLayer();
    for (std::size_t j = 0; j < Outputs.size(); ++j) backError[j] = F(Ext(top[j]) - Ext(Outputs[j]));

    for (std::size_t l = layers - 1; l >= 1; --l) {
        const auto nIn = static_cast<std::size_t>(fNeuronCountInLayers[l - 1]);
        const auto nOut = static_cast<std::size_t>(fNeuronCountInLayers[l]);
        const float* in = fOut.data() + fNeuronOffset[l - 1];
        const float* sum = fSum.data() + fNeuronOffset[l];
        float* bias = fBias.data() + fBiasOffset[l - 1];
        const bool outputLayer = l + 1 == layers;
        for (std::size_t j = 0; j < nOut; ++j) {
            const float activeDer = outputLayer ? (sigmoidNet ? 1.0f : SigmoidDerivative(sum[j]))
                                                : (sigmoidNet ? SigmoidDerivative(sum[j]) : ReLUDerivative(sum[j]));
            const float delta = F(Ext(backError[j]) * Ext(activeDer));
            bias[j] = F(Ext(bias[j]) - Ext(delta) * 1.0L * lr);
            for (std::size_t k = 0; k < nIn; ++k) {
                float& weight = fWeight[WeightIndex(l - 1, j, k)];
                const float old = weight;
                weight = F(Ext(old) - Ext(delta) * Ext(in[k]) * lr);
                grads[k] = j == 0 ? F(Ext(delta) * Ext(old)) : F(Ext(delta) * Ext(old) + Ext(grads[k]));
            }
        }
        std::swap(backError, grads);
    }
}

float TRavoAnn::GetMSE() const {
    if (fTrainCount <= 0) return 0.0f;
    const TExtendedPrecision precision;
    return static_cast<float>(Ext(fLoss) / Ext(fTrainCount));
}

// ---- Read-only views. -------------------------------------------------------

float TRavoAnn::Bias(std::int32_t i, std::int32_t j) const {
    if (i < 0 || static_cast<std::size_t>(i) >= fBiasOffset.size() || j < 0 || j >= fNeuronCountInLayers[i + 1])
        throw ERavoRangeError("バイアスの添字が範囲外です");
    return fBias[fBiasOffset[i] + static_cast<std::size_t>(j)];
}

float TRavoAnn::Weight(std::int32_t i, std::int32_t j, std::int32_t k) const {
    if (i < 0 || static_cast<std::size_t>(i) >= fWeightOffset.size() || j < 0 || j >= fNeuronCountInLayers[i + 1] ||
        k < 0 || k >= fNeuronCountInLayers[i])
        throw ERavoRangeError("重みの添字が範囲外です");
    return fWeight[WeightIndex(static_cast<std::size_t>(i), static_cast<std::size_t>(j), static_cast<std::size_t>(k))];
}

// ---- Model file. -----------------------------------------------------------

void TRavoAnn::SaveToFile(const std::string& FileName) const {
    std::vector<unsigned char> image;
    image.reserve(4 * (5 + fNeuronCountInLayers.size() + fBias.size() + fWeight.size()));  // at least
    PutI32(image, fActivationFunc == TRavoActivationFunc::Sigmoid ? 0 : 1);
    PutI32(image, fLayerCount);
    for (std::int32_t count : fNeuronCountInLayers) PutI32(image, count);
    PutF32(image, fLearningRate);
    PutF32(image, fLoss);
    PutI32(image, fTrainCount);
    for (std::size_t i = 0; i < fBiasOffset.size(); ++i)
        for (std::int32_t j = 0; j < fNeuronCountInLayers[i + 1]; ++j) PutF32(image, fBias[fBiasOffset[i] + j]);
    for (std::size_t i = 0; i < fWeightOffset.size(); ++i)
        for (std::int32_t j = 0; j < fNeuronCountInLayers[i + 1]; ++j)
            for (std::int32_t k = 0; k < fNeuronCountInLayers[i]; ++k) PutF32(image, fWeight[WeightIndex(i, j, k)]);
    RavoWriteFileReplacing(FileName, image);
}

void TRavoAnn::LoadFromFile(const std::string& FileName) {
    TRavoInputFile in(FileName);  // a regular file, or a file error at once
    const std::uint64_t fileSize = in.Size();
    const auto tooShort = [&] { return ERavoFileError("モデルファイルが短すぎます: " + FileName); };

    // Activation word and layer count.
    if (fileSize < 8) throw tooShort();
    unsigned char head[8];
    in.Read(head, sizeof head);
    const std::int32_t activationWord = GetI32(head);
    const std::int32_t layerCount = GetI32(head + 4);
    if (layerCount < 1) throw ERavoRangeError("モデルファイルの層の数が不正です: " + std::to_string(layerCount));
    if (4 * (5 + static_cast<std::uint64_t>(layerCount)) > fileSize) throw tooShort();

    // Neuron counts: each at least 1, the file must hold every parameter, and
    // the arrays they size must fit the file's size.
    std::vector<unsigned char> countBytes(4 * static_cast<std::size_t>(layerCount));
    in.Read(countBytes.data(), countBytes.size());
    TRavoAnn loaded;
    loaded.fNeuronCountInLayers.resize(static_cast<std::size_t>(layerCount));
    for (std::size_t l = 0; l < loaded.fNeuronCountInLayers.size(); ++l) {
        const std::int32_t count = GetI32(countBytes.data() + 4 * l);
        if (count < 1) throw ERavoRangeError("モデルファイルのニューロン数が不正です: " + std::to_string(count));
        loaded.fNeuronCountInLayers[l] = count;
    }
    const std::uint64_t headerWords = 5 + static_cast<std::uint64_t>(layerCount);
    std::uint64_t biases = 0, weights = 0;
    if (!ParameterCount(loaded.fNeuronCountInLayers, std::min(fileSize / 4 - headerWords, kMaxParameters), biases,
                        weights))
        throw tooShort();
    for (const std::int32_t count : loaded.fNeuronCountInLayers)
        if (count > kMaxNeuronsInLayer)
            throw ERavoRangeError("モデルファイルのニューロン数が不正です: " + std::to_string(count));
    if (!FitsItsFile(loaded.fNeuronCountInLayers, biases, weights))
        throw ERavoRangeError("モデルファイルのネットワークが大きすぎます（必要なメモリがファイルの大きさの " +
                              std::to_string(kMemoryPerFileByte) + " 倍を超えます）: " + FileName);

    // Learning rate, tally, biases and weights.
    std::vector<unsigned char> body(4 * static_cast<std::size_t>(3 + biases + weights));
    in.Read(body.data(), body.size());
    const unsigned char* p = body.data();
    loaded.fActivationFunc = activationWord == 0 ? TRavoActivationFunc::Sigmoid : TRavoActivationFunc::ReLU;
    loaded.fLayerCount = layerCount;
    loaded.fLearningRate = GetF32(p);
    loaded.fLoss = GetF32(p + 4);
    loaded.fTrainCount = GetI32(p + 8);
    p += 12;
    loaded.BuildLayout();
    for (std::size_t i = 0; i < loaded.fBiasOffset.size(); ++i)
        for (std::int32_t j = 0; j < loaded.fNeuronCountInLayers[i + 1]; ++j, p += 4)
            loaded.fBias[loaded.fBiasOffset[i] + j] = GetF32(p);
    for (std::size_t i = 0; i < loaded.fWeightOffset.size(); ++i)
        for (std::int32_t j = 0; j < loaded.fNeuronCountInLayers[i + 1]; ++j)
            for (std::int32_t k = 0; k < loaded.fNeuronCountInLayers[i]; ++k, p += 4)
                loaded.fWeight[loaded.WeightIndex(i, j, k)] = GetF32(p);

    *this = std::move(loaded);
}
