#include "ann/URavoAnn.h"
#include "ann/RavoStep.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <optional>
#include <random>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

// How the training step stays bit-identical to the extended-precision formulas
// ---------------------------------------------------------------------------
// Every stored value is X rounded to float, where X is a formula over floats.
// The extended route (ForwardExtended, BackProp, the tally in Train) computes
// X in long double (64-bit significand) and rounds the result to float: it is
// the formulas themselves.  The fast route (RavoStep*.cpp) computes in double
// (53-bit) and checks every value it stores; when any check fails, the whole
// step is thrown away (the new weights go to separate arrays) and redone by the
// extended route.  Three kinds of formula occur:
//
// (a) Both routes are one correct rounding of the same exact value: a product
//     of two floats (48 bits, exact in both), a difference of two floats
//     (rounding to 53 or 64 bits and then to 24 equals rounding once, as
//     53, 64 >= 2*24 + 2).  No check: delta, loss_der, the first
//     layer_grads_x term, d.
//
// (b) One rounding of an exact value in each route: a float plus an exact
//     float product (the forward accumulator, layer_grads_x, the bias step
//     b - delta*lr, the loss tally d*d + fLoss, s*(1-s) for s >= 2^-28).
//     Let r53 and r64 be the two roundings of the exact X.  Float midpoints
//     (of the normal and the subnormal range) are representable in 53 bits,
//     so unless r53 lies exactly on one, X, r53 and r64 are on the same side
//     of every midpoint and round to the same float.  In the normal float
//     range a midpoint has the significand bits 28..0 of its double equal to
//     0x10000000: the check flags those, every nonzero r53 below 2^-126 (the
//     subnormal range, where midpoints lie elsewhere) and NaNs.  A zero r53 is
//     exact (no sum or product of floats underflows in double).  An exact r53
//     (X itself) is the same in both routes: the AVX2 forward pass drops the
//     flag where the two-sum error of the double sum is 0 (inputs with few
//     significant bits land exactly on midpoints now and then).
//     With fused multiply-adds (AVX2+FMA route) the float accumulators are
//     advanced by fma: float(X) exactly, which differs from float(r64) only
//     when r64 is a midpoint other than X, and then r53 is that midpoint too;
//     the double r53 is computed beside the chain and checked as above.
//
// (c) Several roundings, with a bound B on |r53 - r64|: when no float
//     rounding boundary lies within B of r53, both round to the same float.
//     Weight step: P = delta*o*lr exactly; the extended route rounds P, then
//     w - P; the double route does the same (or rounds w - P once, fused):
//       |r53 - X| <= 2^-53 |P| + 2^-53 |r53| (1 + 2^-52),
//       |r64 - X| <= 2^-64 |P| + 2^-64 |r64| (1 + 2^-63),
//     so |r53 - r64| < 2^-52 (|P| + |r53|).  The SSE2 and AVX routes check
//     that r53 - B and r53 + B with B = 2^-44 (|P| + |r53|), 256 times that,
//     round to the same float (bit for bit: +0 and -0 differ).  The AVX2 route
//     requires |r53| > 4 |step_j| max|o| >= 2|P| or, failing that, the
//     weight's own 2|P| (and above 2^-125), so that
//     the bound is below 3 units in the last place of r53, and then that the
//     significand bits 28..0 of r53 lie at least 32 units from 0x10000000,
//     where the float midpoints of its binade are.
//     Sigmoid 1/(1+exp(-x)): glibc's exp and its vector exp (libmvec) are
//     taken to be within 4 ulp (libmvec's documented accuracy; the scalar one
//     is documented tighter): relative error of the double route below
//     2^-50 + 2 * 2^-53 < 2^-49; expl, taken within 4 ulp of its format, and
//     two roundings: below 2^-61.  The check uses a relative B = 2^-40, more
//     than 250 times the sum.  An overflowing exp(-x) (x < -709) gives 0 in
//     double; the exact value is then below 2^-1000 and rounds to +0 in both
//     routes.
// NaNs are always flagged.  The route assumes the default floating-point
// environment (round to nearest, no flush-to-zero, no denormals-are-zero) and
// is not taken otherwise.  The AVX-512 route for the program's own network
// (RavoStepAvx512.cpp) makes the same checks more coarsely: it also flags
// every kind (b) value of 0, every weight step that the AVX2 route would look
// at twice, and every non-finite sum; a step it flags goes to the AVX2 route.
// The oracle test trains the plain long-double implementation side by side
// over thousands of steps on every route; another test puts a sum just below
// a float midpoint, where rounding twice and rounding once differ.

namespace {

using Ext = long double;

// Rounds an extended-precision result to the 32-bit float that stores it.
inline float F(Ext x) { return static_cast<float>(x); }

inline std::uint32_t FloatBits(float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

// ---- Which fast route this processor takes. ---------------------------------

enum class TRoute { Extended, Sse2, Avx, Fma, Avx512 };

TRoute ChooseRoute() {
#if defined(__SSE2__)
#if defined(RAVO_HAVE_AVX_ROUTE)
    __builtin_cpu_init();
    // RAVO_ROUTE=fma, avx or sse2 holds a processor to a narrower route (to
    // compare them, and to test every route on one machine).
    const char* forced = std::getenv("RAVO_ROUTE");
    const std::string route = forced ? forced : "";
    const bool fma = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    if (route.empty() && fma && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
        __builtin_cpu_supports("avx512dq"))
        return TRoute::Avx512;
    if ((route.empty() || route == "fma") && fma) return TRoute::Fma;
    if ((route.empty() || route == "avx") && __builtin_cpu_supports("avx")) return TRoute::Avx;
#endif
    return TRoute::Sse2;
#else
    return TRoute::Extended;
#endif
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

// Reads exactly n bytes, or raises a file error naming the file.
void ReadExactly(std::ifstream& in, unsigned char* to, std::size_t n, const std::string& name) {
    in.read(reinterpret_cast<char*>(to), static_cast<std::streamsize>(n));
    if (static_cast<std::size_t>(in.gcount()) != n)
        throw ERavoFileError("モデルファイルを読み込めません: " + name);
}

std::string ErrnoText() { return std::strerror(errno); }

// Writes all bytes to a new file beside the target and renames it over the
// target, so that the target is either the old file or the complete new one.
void WriteFileReplacing(const std::string& target, const std::vector<unsigned char>& bytes) {
    static unsigned serial = 0;
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(++serial);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) throw ERavoFileError("モデルファイルを作成できません: " + target + " (" + ErrnoText() + ")");
    auto fail = [&](const char* what) {
        const std::string reason = ErrnoText();
        if (fd >= 0) ::close(fd);
        ::unlink(temp.c_str());
        throw ERavoFileError(std::string(what) + target + " (" + reason + ")");
    };
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) fail("モデルファイルに書き込めません: ");
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) fail("モデルファイルに書き込めません: ");
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0) fail("モデルファイルに書き込めません: ");
    if (::rename(temp.c_str(), target.c_str()) != 0) fail("モデルファイルを置き換えられません: ");
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
    if (!ParameterCount(NeuronCountInLayers, kMaxParameters, biases, weights))
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
    if (Value > 0.999L) Value = 0.999f;
    if (Value < 0.001L) Value = 0.001f;
    fLearningRate = Value;
}

// Offsets of the flat arrays and their sizes, from fNeuronCountInLayers
// (already validated); every array is zero.
void TRavoAnn::BuildLayout() {
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

// The arrays as the fast route sees them.
#define RAVO_STEP_VIEW                                                                                        \
    TRavoStepView view{fNeuronOffset.size(), fNeuronCountInLayers.data(), fNeuronOffset.data(),               \
                       fWeightOffset.data(),  fBiasOffset.data(),         fPad.data(),                        \
                       fWeight.data(),        fWeightNext.data(),         fBias.data(),                       \
                       fBiasNext.data(),      fLaneMask.data(),           fStep.data(),                       \
                       fDelta.data(),         fSumD.data(),               fSum.data(),                        \
                       fOut.data(),           fOutD.data(),               fBackError.data(),                  \
                       fLayerGrads.data(),    fLearningRate,              fActivationFunc == TRavoActivationFunc::Sigmoid}

bool TRavoAnn::ForwardFast(const float* Inputs) {
    if (kRoute == TRoute::Extended || !DefaultEnvironment()) return false;
    RAVO_STEP_VIEW;
#if defined(__SSE2__)
    switch (kRoute) {
#if defined(RAVO_HAVE_AVX_ROUTE)
    case TRoute::Avx512:  // the AVX-512 route has no forward pass of its own
    case TRoute::Fma: return RavoForwardFma(view, Inputs);
    case TRoute::Avx: return RavoForwardAvx(view, Inputs);
#endif
    default: return RavoForwardSse2(view, Inputs);
    }
#else
    (void)view;
    (void)Inputs;
    return false;
#endif
}

bool TRavoAnn::TrainFast(const float* Inputs, const float* Outputs, float& Loss) {
    if (kRoute == TRoute::Extended || !DefaultEnvironment()) return false;
    RAVO_STEP_VIEW;
#if defined(__SSE2__)
    switch (kRoute) {
#if defined(RAVO_HAVE_AVX_ROUTE)
    case TRoute::Avx512:
        return RavoTrainAvx512(view, Inputs, Outputs, Loss) || RavoTrainFma(view, Inputs, Outputs, Loss);
    case TRoute::Fma: return RavoTrainFma(view, Inputs, Outputs, Loss);
    case TRoute::Avx: return RavoTrainAvx(view, Inputs, Outputs, Loss);
#endif
    default: return RavoTrainSse2(view, Inputs, Outputs, Loss);
    }
#else
    (void)view;
    (void)Inputs;
    (void)Outputs;
    (void)Loss;
    return false;
#endif
}

void TRavoAnn::Run(const std::vector<float>& Inputs, std::vector<float>& Outputs) {
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
        fLoss = loss;
        fTrainCount += static_cast<std::int32_t>(nOut);
        return;
    }
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
    WriteFileReplacing(FileName, image);
}

void TRavoAnn::LoadFromFile(const std::string& FileName) {
    std::ifstream in(FileName, std::ios::binary);
    if (!in) throw ERavoFileError("モデルファイルを開けません: " + FileName);
    in.seekg(0, std::ios::end);
    const std::streamoff end = in.tellg();
    in.seekg(0, std::ios::beg);
    if (end < 0 || !in) throw ERavoFileError("モデルファイルを読み込めません: " + FileName);
    const auto fileSize = static_cast<std::uint64_t>(end);
    const auto tooShort = [&] { return ERavoFileError("モデルファイルが短すぎます: " + FileName); };

    // Activation word and layer count.
    if (fileSize < 8) throw tooShort();
    unsigned char head[8];
    ReadExactly(in, head, sizeof head, FileName);
    const std::int32_t activationWord = GetI32(head);
    const std::int32_t layerCount = GetI32(head + 4);
    if (layerCount < 1) throw ERavoRangeError("モデルファイルの層の数が不正です: " + std::to_string(layerCount));
    if (4 * (5 + static_cast<std::uint64_t>(layerCount)) > fileSize) throw tooShort();

    // Neuron counts: each at least 1, and the file must hold every parameter.
    std::vector<unsigned char> countBytes(4 * static_cast<std::size_t>(layerCount));
    ReadExactly(in, countBytes.data(), countBytes.size(), FileName);
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

    // Learning rate, tally, biases and weights.
    std::vector<unsigned char> body(4 * static_cast<std::size_t>(3 + biases + weights));
    ReadExactly(in, body.data(), body.size(), FileName);
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
