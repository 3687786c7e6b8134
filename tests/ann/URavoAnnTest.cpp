// The network's interface: construction, Run, Train, the tally and the model
// file.  Its arithmetic on every fast route is pinned by RavoRouteTest.cpp.
#include "ann/URavoAnn.h"
#include "tests/ann/AnnTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include <malloc.h>
#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

// ---- Bytes held through operator new, for the memory bound of model files. ----

// AddressSanitizer keeps operator new for its own checks: nothing is counted there.
#if defined(__SANITIZE_ADDRESS__)
#define RAVO_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RAVO_TEST_ASAN 1
#endif
#endif

#if defined(RAVO_TEST_ASAN)
namespace {
constexpr bool kCountsAllocations = false;
template <class F>
std::size_t PeakAllocation(F&& f) {
    f();
    return 0;
}
}  // namespace
#else
namespace {
constexpr bool kCountsAllocations = true;
std::atomic<std::size_t> gHeld{0};
std::atomic<std::size_t> gPeak{0};
// The size of a block as the C library keeps it (at least what was asked for).
std::size_t BlockSize(void* p) {
#if defined(_WIN32)
    return _msize(p);
#else
    return malloc_usable_size(p);
#endif
}
}  // namespace

void* operator new(std::size_t size) {
    void* p = std::malloc(size);
    if (!p) throw std::bad_alloc();
    const std::size_t held = gHeld += BlockSize(p);
    std::size_t peak = gPeak.load();
    while (held > peak && !gPeak.compare_exchange_weak(peak, held)) {
    }
    return p;
}
void operator delete(void* p) noexcept {
    if (!p) return;
    gHeld -= BlockSize(p);
    std::free(p);
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }

namespace {
// The most bytes held at once while f runs, beyond those held before.
template <class F>
std::size_t PeakAllocation(F&& f) {
    const std::size_t base = gHeld;
    gPeak = base;
    f();
    return gPeak - base;
}
}  // namespace
#endif

namespace {

float Scale(int n) { return static_cast<float>(1.0L / std::sqrt(static_cast<long double>(n))); }

}  // namespace

// ---- Construction and initial weights. ---------------------------------------

struct InitCase {
    const char* name;
    std::vector<std::int32_t> topology;
    Act activation;
    // Per weight layer: the first and the last weight of every row.
    std::vector<std::pair<float, float>> ends;
};

class InitialWeights : public ::testing::TestWithParam<InitCase> {};

TEST_P(InitialWeights, RowsStartAndEndAsTabledAndBiasesAreZero) {
    const InitCase& c = GetParam();
    TRavoAnn ann(c.topology, 0.005f, c.activation);
    ASSERT_EQ(ann.LayerCount(), static_cast<std::int32_t>(c.topology.size()));
    EXPECT_EQ(ann.NeuronCountInLayers(), c.topology);
    for (std::size_t i = 0; i + 1 < c.topology.size(); ++i) {
        const int n = c.topology[i];
        for (int j = 0; j < c.topology[i + 1]; ++j) {
            EXPECT_EQ(ann.Bias(i, j), 0.0f);
            EXPECT_EQ(ann.Weight(i, j, 0), c.ends[i].first) << "layer " << i << " row " << j;
            if (n >= 2) {
                EXPECT_EQ(ann.Weight(i, j, n - 1), c.ends[i].second) << "layer " << i << " row " << j;
            }
        }
    }
    EXPECT_EQ(ann.GetMSE(), 0.0f);
    EXPECT_EQ(ann.TrainCount(), 0);
    EXPECT_EQ(ann.Loss(), 0.0f);
}

INSTANTIATE_TEST_SUITE_P(
    Table, InitialWeights,
    ::testing::Values(InitCase{"OneToOneSigmoid", {1, 1}, Act::Sigmoid, {{1.0f, 1.0f}}},
                      InitCase{"OneToOneReLU", {1, 1}, Act::ReLU, {{1.0f, 1.0f}}},
                      InitCase{"TwoToOne", {2, 1}, Act::Sigmoid, {{0.70710677f, -0.70710677f}}},
                      InitCase{"TwoTwoOneReLU", {2, 2, 1}, Act::ReLU, {{3.5f, -0.5f}, {0.70710677f, -0.70710677f}}},
                      InitCase{"FiveSevenThreeOne",
                               {5, 7, 3, 1},
                               Act::Sigmoid,
                               {{Scale(5), -Scale(5)}, {Scale(7), -Scale(7)}, {Scale(3), -Scale(3)}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(InitialWeights, MiddleWeightsAreNormalDrawsWithTheRowScale) {
    // 50 rows of 400: 19,900 draws of standard deviation 1/20.
    TRavoAnn ann({400, 50, 1}, 0.005f, Act::Sigmoid);
    double sum = 0, squares = 0;
    int count = 0;
    for (int j = 0; j < 50; ++j)
        for (int k = 1; k < 399; ++k) {
            const double w = ann.Weight(0, j, k);
            sum += w;
            squares += w * w;
            ++count;
        }
    const double mean = sum / count;
    const double sd = std::sqrt(squares / count - mean * mean);
    EXPECT_NEAR(mean, 0.0, 0.002);
    EXPECT_NEAR(sd, 0.05, 0.0015);
    // A second network draws again from the reseeded generator.
    TRavoAnn other({400, 50, 1}, 0.005f, Act::Sigmoid);
    EXPECT_NE(ann.Weight(0, 0, 1), other.Weight(0, 0, 1));
}

TEST(InitialWeights, ASeedGivesTheNextNetworkTheSameWeightsOnce) {
    const auto weights = [](const TRavoAnn& ann) {
        std::vector<float> all;
        for (std::int32_t i = 0; i + 1 < ann.LayerCount(); ++i)
            for (std::int32_t j = 0; j < ann.NeuronCountInLayers()[i + 1]; ++j)
                for (std::int32_t k = 0; k < ann.NeuronCountInLayers()[i]; ++k) all.push_back(ann.Weight(i, j, k));
        return all;
    };
    const std::vector<std::int32_t> topology{7, 7, 3, 2};
    SeedNextRavoAnn(1);
    const TRavoAnn first(topology, 0.005f, Act::Sigmoid);
    const TRavoAnn clocked(topology, 0.005f, Act::Sigmoid);   // the seed was used up: the clock again
    SeedNextRavoAnn(1);
    const TRavoAnn again(topology, 0.005f, Act::Sigmoid);
    SeedNextRavoAnn(2);
    const TRavoAnn other(topology, 0.005f, Act::Sigmoid);
    EXPECT_EQ(weights(first), weights(again));
    EXPECT_NE(weights(first), weights(clocked));
    EXPECT_NE(weights(first), weights(other));
}

struct RateCase {
    const char* name;
    float given;
    float stored;
};

class LearningRateClamp : public ::testing::TestWithParam<RateCase> {};

TEST_P(LearningRateClamp, ConstructorKeepsTheRateWithinRange) {
    TRavoAnn ann({1, 1}, GetParam().given, Act::Sigmoid);
    EXPECT_EQ(ann.LearningRate(), GetParam().stored);
}

TEST_P(LearningRateClamp, SetterKeepsTheRateWithinRangeAndTrainingUsesIt) {
    TRavoAnn ann({1, 1}, 0.5f, Act::Sigmoid);
    ann.SetLearningRate(GetParam().given);
    EXPECT_EQ(ann.GetLearningRate(), GetParam().stored);
    TRavoAnn built({1, 1}, GetParam().stored, Act::Sigmoid);
    ann.Train({0.5f}, {1.0f});
    built.Train({0.5f}, {1.0f});
    EXPECT_EQ(ann.Weight(0, 0, 0), built.Weight(0, 0, 0));
    EXPECT_EQ(ann.Bias(0, 0), built.Bias(0, 0));
}

INSTANTIATE_TEST_SUITE_P(Table, LearningRateClamp,
                         ::testing::Values(RateCase{"TooSmall", 0.0005f, 0.001f}, RateCase{"TooLarge", 1.5f, 0.999f},
                                           RateCase{"Program", 0.005f, 0.005f}, RateCase{"Two", 2.0f, 0.999f},
                                           RateCase{"Zero", 0.0f, 0.001f}, RateCase{"Inside", 0.3f, 0.3f},
                                           RateCase{"UpperEnd", 0.999f, 0.999f}, RateCase{"LowerEnd", 0.001f, 0.001f},
                                           RateCase{"Negative", -1.0f, 0.001f},
                                           RateCase{"Infinite", std::numeric_limits<float>::infinity(), 0.999f},
                                           RateCase{"MinusInfinite", -std::numeric_limits<float>::infinity(), 0.001f}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LearningRate, NaNIsARangeErrorAndKeepsTheRate) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    TRavoAnn ann({1, 1}, 0.3f, Act::Sigmoid);
    EXPECT_THROW(ann.SetLearningRate(nan), ERavoRangeError);
    EXPECT_EQ(ann.GetLearningRate(), 0.3f);
    EXPECT_THROW(TRavoAnn({1, 1}, nan, Act::Sigmoid), ERavoRangeError);
}

struct BadTopologyCase {
    const char* name;
    std::vector<std::int32_t> topology;
};

class BadTopology : public ::testing::TestWithParam<BadTopologyCase> {};

TEST_P(BadTopology, IsARangeError) {
    EXPECT_THROW(TRavoAnn(GetParam().topology, 0.005f, Act::Sigmoid), ERavoRangeError);
}

INSTANTIATE_TEST_SUITE_P(Table, BadTopology,
                         ::testing::Values(BadTopologyCase{"Empty", {}}, BadTopologyCase{"NegativeHidden", {3, -1, 2}},
                                           BadTopologyCase{"ZeroInputs", {0, 2}},
                                           BadTopologyCase{"ZeroHidden", {2, 0, 1}},
                                           BadTopologyCase{"ZeroOutputs", {2, 3, 0}},
                                           BadTopologyCase{"TooManyWeights", {1 << 20, 1 << 20, 1}}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Run. ------------------------------------------------------------------------

struct RunCase {
    const char* name;
    std::vector<std::int32_t> topology;
    Act activation;
    std::vector<float> inputs;
    std::vector<float> expected;
};

class RunValues : public ::testing::TestWithParam<RunCase> {};

TEST_P(RunValues, GivesTheTabledOutputs) {
    const RunCase& c = GetParam();
    TRavoAnn ann(c.topology, 0.005f, c.activation);
    std::vector<float> out(5, 42.0f);  // whatever it held before
    ann.Run(c.inputs, out);
    ASSERT_EQ(out.size(), c.expected.size());
    for (std::size_t j = 0; j < out.size(); ++j) EXPECT_FLOAT_EQ(out[j], c.expected[j]) << j;
    std::vector<float> again;
    ann.Run(c.inputs, again);
    EXPECT_EQ(again, out);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RunValues,
    ::testing::Values(RunCase{"LinearOutput", {1, 1}, Act::Sigmoid, {0.5f}, {0.5f}},
                      RunCase{"SigmoidOutput", {1, 1}, Act::ReLU, {0.5f}, {0.6224594f}},
                      RunCase{"TwoInputsCancel", {2, 1}, Act::Sigmoid, {1.0f, 1.0f}, {0.0f}},
                      RunCase{"TwoInputsFirst", {2, 1}, Act::Sigmoid, {1.0f, 0.0f}, {0.70710677f}},
                      RunCase{"OneLayerCopies", {3}, Act::Sigmoid, {0.25f, -2.0f, 7.0f}, {0.25f, -2.0f, 7.0f}},
                      RunCase{"SaturatedLow", {1, 1}, Act::ReLU, {-200.0f}, {0.0f}},
                      RunCase{"SaturatedHigh", {1, 1}, Act::ReLU, {200.0f}, {1.0f}},
                      RunCase{"BeyondDoubleExp", {1, 1}, Act::ReLU, {-20000.0f}, {0.0f}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Training. ---------------------------------------------------------------------

TEST(Train, FirstAndSecondStepOfTheOneWeightNetwork) {
    TRavoAnn ann({1, 1}, 0.005f, Act::Sigmoid);
    ann.Train({0.5f}, {1.0f});
    EXPECT_FLOAT_EQ(ann.Bias(0, 0), 0.0025f);
    EXPECT_FLOAT_EQ(ann.Weight(0, 0, 0), 1.00125f);
    EXPECT_EQ(ann.Loss(), 0.25f);
    EXPECT_EQ(ann.TrainCount(), 1);
    EXPECT_EQ(ann.GetMSE(), 0.25f);
    std::vector<float> out;
    ann.Run({0.5f}, out);
    EXPECT_FLOAT_EQ(out.at(0), 0.503125f);

    ann.Train({0.5f}, {1.0f});
    EXPECT_NEAR(ann.Loss(), 0.49688f, 1e-5);
    EXPECT_EQ(ann.TrainCount(), 2);
    EXPECT_NEAR(ann.GetMSE(), 0.24844f, 1e-5);
}

TEST(Train, CountsOneTermPerOutput) {
    TRavoAnn ann({2, 4, 3}, 0.005f, Act::Sigmoid);
    ann.Train({0.1f, 0.2f}, {0.3f, 0.4f, 0.5f});
    EXPECT_EQ(ann.TrainCount(), 3);
}

TEST(Train, OneLayerNetworkOnlyTalliesTheError) {
    TRavoAnn ann({2}, 0.005f, Act::Sigmoid);
    ann.Train({1.0f, 0.5f}, {0.0f, 2.5f});
    EXPECT_EQ(ann.TrainCount(), 2);
    EXPECT_EQ(ann.Loss(), 5.0f);  // 1^2 + 2^2
    EXPECT_EQ(ann.GetMSE(), 2.5f);
}

TEST(Train, ReLUNeuronWithoutPositiveSumKeepsItsWeights) {
    // Hidden rows are [3.5, -0.5]: the input [0, 1] gives both a sum of -0.5.
    TRavoAnn ann({2, 2, 1}, 0.5f, Act::ReLU);
    ann.Train({0.0f, 1.0f}, {1.0f});
    for (int j = 0; j < 2; ++j) {
        EXPECT_EQ(ann.Bias(0, j), 0.0f);
        EXPECT_EQ(ann.Weight(0, j, 0), 3.5f);
        EXPECT_EQ(ann.Weight(0, j, 1), -0.5f);
    }
    EXPECT_EQ(ann.Weight(1, 0, 0), 0.70710677f);  // its input was 0
    EXPECT_GT(ann.Bias(1, 0), 0.0f);              // the output learns
}

// ---- Range errors change nothing. ---------------------------------------------------

struct WrongLengthCase {
    const char* name;
    std::vector<float> inputs;
    std::vector<float> targets;
};

class WrongLength : public AnnFiles, public ::testing::WithParamInterface<WrongLengthCase> {};

TEST_P(WrongLength, TrainRaisesARangeErrorAndChangesNothing) {
    TRavoAnn ann({3, 4, 2}, 0.005f, Act::Sigmoid);
    ann.Train({0.1f, 0.2f, 0.3f}, {0.4f, 0.5f});
    const Bytes before = Image(ann, Path("before.ann"));
    std::vector<float> runBefore;
    ann.Run({0.3f, 0.2f, 0.1f}, runBefore);

    EXPECT_THROW(ann.Train(GetParam().inputs, GetParam().targets), ERavoRangeError);
    EXPECT_EQ(Image(ann, Path("after.ann")), before);
    std::vector<float> runAfter;
    ann.Run({0.3f, 0.2f, 0.1f}, runAfter);
    EXPECT_EQ(runAfter, runBefore);
}

INSTANTIATE_TEST_SUITE_P(Table, WrongLength,
                         ::testing::Values(WrongLengthCase{"NoInputs", {}, {0.4f, 0.5f}},
                                           WrongLengthCase{"ShortInputs", {0.1f, 0.2f}, {0.4f, 0.5f}},
                                           WrongLengthCase{"LongInputs", {0.1f, 0.2f, 0.3f, 0.4f}, {0.4f, 0.5f}},
                                           WrongLengthCase{"NoTargets", {0.1f, 0.2f, 0.3f}, {}},
                                           WrongLengthCase{"ShortTargets", {0.1f, 0.2f, 0.3f}, {0.4f}},
                                           WrongLengthCase{"LongTargets", {0.1f, 0.2f, 0.3f}, {0.4f, 0.5f, 0.6f}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Run, WrongInputLengthIsARangeErrorAndEmptiesTheOutputVector) {
    TRavoAnn ann({3, 2}, 0.005f, Act::Sigmoid);
    for (const std::vector<float>& inputs : {std::vector<float>{}, {1.0f, 2.0f}, {1.0f, 2.0f, 3.0f, 4.0f}}) {
        std::vector<float> out{9.0f};
        EXPECT_THROW(ann.Run(inputs, out), ERavoRangeError);
        EXPECT_TRUE(out.empty());
    }
}

TEST(Accessors, IndicesOutsideTheNetworkAreRangeErrors) {
    TRavoAnn ann({2, 3, 1}, 0.005f, Act::Sigmoid);
    EXPECT_THROW(ann.Bias(2, 0), ERavoRangeError);
    EXPECT_THROW(ann.Bias(0, 3), ERavoRangeError);
    EXPECT_THROW(ann.Bias(-1, 0), ERavoRangeError);
    EXPECT_THROW(ann.Weight(0, 0, 2), ERavoRangeError);
    EXPECT_THROW(ann.Weight(1, 1, 0), ERavoRangeError);
    EXPECT_NO_THROW(ann.Weight(1, 0, 2));
}

// ---- Model file. ---------------------------------------------------------------------

TEST_F(AnnFiles, FreshOneWeightNetworkSavesAs36Bytes) {
    TRavoAnn ann({1, 1}, 0.005f, Act::Sigmoid);
    const Bytes expected = {0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,
                            0x01, 0x00, 0x00, 0x00, 0x0A, 0xD7, 0xA3, 0x3B, 0x00, 0x00, 0x00, 0x00,
                            0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x3F};
    EXPECT_EQ(Image(ann, Path("a.ann")), expected);
}

TEST_F(AnnFiles, OneLayerNetworkSavesAs24Bytes) {
    TRavoAnn ann({3}, 0.005f, Act::ReLU);
    Bytes expected;
    PutWord(expected, 1);
    PutWord(expected, 1);
    PutWord(expected, 3);
    PutFloat(expected, 0.005f);
    PutFloat(expected, 0.0f);
    PutWord(expected, 0);
    EXPECT_EQ(Image(ann, Path("a.ann")), expected);
}

TEST_F(AnnFiles, RoundTripIsBitIdentical) {
    TRavoAnn ann({5, 7, 3, 2}, 0.05f, Act::ReLU);
    for (int s = 0; s < 20; ++s) ann.Train({0.1f * s, 0.2f, 0.3f, 0.4f, 0.5f}, {0.25f, 0.75f});
    const Bytes saved = Image(ann, Path("a.ann"));

    TRavoAnn created(Path("a.ann"));
    TRavoAnn reloaded({1, 1}, 0.005f, Act::Sigmoid);  // another topology
    reloaded.LoadFromFile(Path("a.ann"));
    for (TRavoAnn* copy : {&created, &reloaded}) {
        EXPECT_EQ(Image(*copy, Path("b.ann")), saved);
        EXPECT_EQ(copy->GetMSE(), ann.GetMSE());
        EXPECT_EQ(copy->ActivationFunc(), Act::ReLU);
        std::vector<float> mine, theirs;
        ann.Run({0.5f, 0.4f, 0.3f, 0.2f, 0.1f}, mine);
        copy->Run({0.5f, 0.4f, 0.3f, 0.2f, 0.1f}, theirs);
        EXPECT_EQ(theirs, mine);
    }
}

struct LoadCase {
    const char* name;
    std::function<void(Bytes&)> edit;  // applied to a fresh [1,1] Sigmoid file
    std::function<void(const TRavoAnn&)> check;
};

class LoadedFields : public AnnFiles, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(LoadedFields, AreTakenAsWritten) {
    Bytes file = Image(TRavoAnn({1, 1}, 0.005f, Act::Sigmoid), Path("a.ann"));
    GetParam().edit(file);
    WriteBytes(Path("a.ann"), file);
    GetParam().check(TRavoAnn(Path("a.ann")));
}

INSTANTIATE_TEST_SUITE_P(
    Table, LoadedFields,
    ::testing::Values(LoadCase{"ActivationWordSevenIsReLU", [](Bytes& b) { SetWord(b, 0, 7); },
                               [](const TRavoAnn& ann) {
                                   EXPECT_EQ(ann.ActivationFunc(), Act::ReLU);
                                   std::vector<float> out;
                                   TRavoAnn copy = ann;
                                   copy.Run({0.5f}, out);
                                   EXPECT_FLOAT_EQ(out.at(0), 0.6224594f);
                               }},
                      LoadCase{"LearningRateTwoIsKept", [](Bytes& b) { SetWord(b, 16, 0x40000000); },
                               [](const TRavoAnn& ann) { EXPECT_EQ(ann.LearningRate(), 2.0f); }},
                      LoadCase{"TallyContinues",
                               [](Bytes& b) {
                                   SetWord(b, 20, 0x40800000);  // 4.0
                                   SetWord(b, 24, 8);
                               },
                               [](const TRavoAnn& ann) { EXPECT_EQ(ann.GetMSE(), 0.5f); }},
                      LoadCase{"ExtraBytesIgnored", [](Bytes& b) { b.insert(b.end(), {1, 2, 3, 4, 5, 6, 7}); },
                               [](const TRavoAnn& ann) {
                                   EXPECT_EQ(ann.NeuronCountInLayers(), (std::vector<std::int32_t>{1, 1}));
                                   EXPECT_EQ(ann.Weight(0, 0, 0), 1.0f);
                               }}),
    [](const auto& info) { return std::string(info.param.name); });

struct BadFileCase {
    const char* name;
    std::function<Bytes(const Bytes& valid)> make;  // from a valid [2,3,1] file
    bool rangeError;                                 // else a file error
};

class BadFile : public AnnFiles, public ::testing::WithParamInterface<BadFileCase> {};

TEST_P(BadFile, IsRejectedAndTheNetworkStaysAsItWas) {
    TRavoAnn ann({4, 5, 2}, 0.01f, Act::ReLU);
    ann.Train({0.1f, 0.2f, 0.3f, 0.4f}, {0.5f, 0.6f});
    const Bytes before = Image(ann, Path("before.ann"));
    const Bytes valid = Image(TRavoAnn({2, 3, 1}, 0.005f, Act::Sigmoid), Path("valid.ann"));
    WriteBytes(Path("bad.ann"), GetParam().make(valid));

    if (GetParam().rangeError) {
        EXPECT_THROW(ann.LoadFromFile(Path("bad.ann")), ERavoRangeError);
        EXPECT_THROW(TRavoAnn{Path("bad.ann")}, ERavoRangeError);
    } else {
        EXPECT_THROW(ann.LoadFromFile(Path("bad.ann")), ERavoFileError);
        EXPECT_THROW(TRavoAnn{Path("bad.ann")}, ERavoFileError);
    }
    EXPECT_EQ(Image(ann, Path("after.ann")), before);
}

Bytes Header(std::int32_t layers, std::vector<std::int32_t> counts, std::size_t padWords) {
    Bytes b;
    PutWord(b, 0);
    PutWord(b, static_cast<std::uint32_t>(layers));
    for (auto n : counts) PutWord(b, static_cast<std::uint32_t>(n));
    for (std::size_t i = 0; i < padWords; ++i) PutFloat(b, 0.5f);
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    Table, BadFile,
    ::testing::Values(
        BadFileCase{"Empty", [](const Bytes&) { return Bytes{}; }, false},
        BadFileCase{"SevenBytes", [](const Bytes& v) { return Bytes(v.begin(), v.begin() + 7); }, false},
        BadFileCase{"OneByteShort", [](const Bytes& v) { return Bytes(v.begin(), v.end() - 1); }, false},
        BadFileCase{"NoWeights", [](const Bytes& v) { return Bytes(v.begin(), v.begin() + 4 * (5 + 3 + 4)); }, false},
        BadFileCase{"ZeroLayers", [](const Bytes&) { return Header(0, {}, 10); }, true},
        BadFileCase{"NegativeLayers", [](const Bytes&) { return Header(-3, {}, 10); }, true},
        BadFileCase{"NegativeCount", [](const Bytes&) { return Header(2, {2, -1}, 10); }, true},
        BadFileCase{"ZeroCount", [](const Bytes&) { return Header(3, {2, 0, 1}, 10); }, true},
        BadFileCase{"HugeLayerCount", [](const Bytes&) { return Header(0x7FFFFFFF, {1, 1}, 10); }, false},
        BadFileCase{"HugeCounts", [](const Bytes&) { return Header(3, {0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF}, 64); },
                    false},
        BadFileCase{"ManyLayersFewBytes", [](const Bytes&) { return Header(40, std::vector<std::int32_t>(40, 1000), 3); },
                    false},
        BadFileCase{"ForeignText",
                    [](const Bytes&) {
                        const std::string text = "date,open,high,low,close\n2000-01-03,1469.25,1478,1438.36,1455.22\n";
                        return Bytes(text.begin(), text.end());
                    },
                    false}),
    [](const auto& info) { return std::string(info.param.name); });

// The arrays a model file sizes take at most 16 times its bytes plus 1 MiB;
// the check comes before anything is sized, and the constructor refuses the
// same topologies, so that every network it builds loads again.
struct MemoryCase {
    const char* name;
    std::vector<std::int32_t> topology;
    bool fits;
};

class MemoryBound : public AnnFiles, public ::testing::WithParamInterface<MemoryCase> {};

TEST_P(MemoryBound, ArraysStayWithinAMultipleOfTheFileSize) {
    const MemoryCase& c = GetParam();
    const Bytes file = ModelBytes(Act::Sigmoid, c.topology, 0.005f, [](std::size_t, std::int32_t) { return 0.25f; },
                                  [](std::size_t, std::int32_t, std::int32_t) { return 0.5f; });
    WriteBytes(Path("model.ann"), file);
    TRavoAnn ann({1, 1}, 0.005f, Act::Sigmoid);
    const Bytes before = Image(ann, Path("before.ann"));
    bool refused = false;
    const std::size_t peak = PeakAllocation([&] {
        try {
            ann.LoadFromFile(Path("model.ann"));
        } catch (const ERavoRangeError&) {
            refused = true;
        }
    });
    const std::size_t mib = std::size_t{1} << 20;
    if (c.fits) {
        ASSERT_FALSE(refused);
        if (kCountsAllocations) {
            EXPECT_LE(peak, 16 * file.size() + mib + file.size());  // the arrays, and the file's bytes once
        }
        EXPECT_EQ(Image(ann, Path("saved.ann")), file);
        EXPECT_NO_THROW(TRavoAnn(c.topology, 0.005f, Act::Sigmoid));
    } else {
        ASSERT_TRUE(refused);
        if (kCountsAllocations) {
            EXPECT_LE(peak, 2 * file.size() + 4096);  // the counts: nothing was sized
        }
        EXPECT_EQ(Image(ann, Path("after.ann")), before);
        EXPECT_THROW(TRavoAnn(c.topology, 0.005f, Act::Sigmoid), ERavoRangeError);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, MemoryBound,
    ::testing::Values(MemoryCase{"ProgramNetwork", {7, 7, 3, 2}, true},
                      // 16 bytes of arrays per byte of the file: the widest ordinary shape.
                      MemoryCase{"ManyInputsOneOutput", {200000, 1}, true},
                      MemoryCase{"ShortChainOfSingleNeurons", std::vector<std::int32_t>(2000, 1), true},
                      // 20 bytes per byte of the file (a 1.2 MB file would ask for 24 MB).
                      MemoryCase{"LongChainOfSingleNeurons", std::vector<std::int32_t>(100000, 1), false},
                      // 24 bytes asking for 3.2 MB.
                      MemoryCase{"OneWideLayer", {100000}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AnnFiles, MissingFileIsAFileError) {
    TRavoAnn ann({1, 1}, 0.005f, Act::Sigmoid);
    const Bytes before = Image(ann, Path("before.ann"));
    EXPECT_THROW(ann.LoadFromFile(Path("missing.ann")), ERavoFileError);
    EXPECT_THROW(TRavoAnn{Path("missing.ann")}, ERavoFileError);
    EXPECT_EQ(Image(ann, Path("after.ann")), before);
}

struct FileNameCase {
    const char* name;
    const char* file;  // UTF-8
};

class FileNames : public AnnFiles, public ::testing::WithParamInterface<FileNameCase> {};

TEST_P(FileNames, SaveReplacesTheTargetLeavesNoTemporaryFileAndLoadsBack) {
    TRavoAnn small({1, 1}, 0.005f, Act::Sigmoid);
    TRavoAnn large({7, 7, 3, 2}, 0.005f, Act::Sigmoid);
    const std::string path = Path(GetParam().file);
    large.SaveToFile(path);
    small.SaveToFile(path);
    EXPECT_EQ(ReadBytes(path).size(), 36u);
    ASSERT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
    EXPECT_EQ(fs::directory_iterator(dir_)->path().filename(), fs::u8path(GetParam().file));
    EXPECT_EQ(TRavoAnn(path).NeuronCountInLayers(), (std::vector<std::int32_t>{1, 1}));
}

INSTANTIATE_TEST_SUITE_P(Table, FileNames,
                         ::testing::Values(FileNameCase{"Ascii", "model.ann"},
                                           FileNameCase{"Japanese", "学習済みモデル 第1版.ann"},
                                           FileNameCase{"HalfWidthKatakana", "ﾓﾃﾞﾙ.ann"}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Only regular files are read. --------------------------------------------------

// Ends the test program when a call waits longer than a few seconds, so that a
// call that would wait for ever fails instead of hanging the suite.
class TWatchdog {
public:
#if defined(_WIN32)
    TWatchdog() = default;
#else
    TWatchdog() { ::alarm(10); }
    ~TWatchdog() { ::alarm(0); }
#endif
    TWatchdog(const TWatchdog&) = delete;
    TWatchdog& operator=(const TWatchdog&) = delete;
};

struct NotAFileCase {
    const char* name;
    std::function<std::string(const fs::path& dir)> make;  // gives the path to load
    std::function<std::string(const std::string& path)> message;
};

std::string NotRegular(const std::string& kind, const std::string& path) {
    return "モデルファイルが通常のファイルではありません（" + kind + "）: " + path;
}

class NotAFile : public AnnFiles, public ::testing::WithParamInterface<NotAFileCase> {};

TEST_P(NotAFile, IsAFileErrorAtOnceAndChangesNothing) {
    TRavoAnn ann({2, 2}, 0.01f, Act::ReLU);
    ann.Train({0.1f, 0.2f}, {0.3f, 0.4f});
    const Bytes before = Image(ann, Path("before.ann"));
    const std::string path = GetParam().make(dir_);
    [[maybe_unused]] const TWatchdog watchdog;
    try {
        ann.LoadFromFile(path);
        ADD_FAILURE() << "LoadFromFile accepted " << path;
    } catch (const ERavoFileError& e) {
        EXPECT_EQ(e.what(), GetParam().message(path));
    }
    try {
        TRavoAnn created(path);
        ADD_FAILURE() << "the constructor accepted " << path;
    } catch (const ERavoFileError& e) {
        EXPECT_EQ(e.what(), GetParam().message(path));
    }
    EXPECT_EQ(Image(ann, Path("after.ann")), before);
}

INSTANTIATE_TEST_SUITE_P(
    Table, NotAFile,
    ::testing::Values(
        NotAFileCase{"Folder",
                     [](const fs::path& dir) {
                         fs::create_directory(dir / "folder.ann");
                         return (dir / "folder.ann").u8string();
                     },
                     [](const std::string& path) { return NotRegular("フォルダ", path); }}
#if defined(_WIN32)
        ,
        // The C runtime finds no status for a device name.
        NotAFileCase{"Device", [](const fs::path&) { return std::string("NUL"); },
                     [](const std::string&) { return std::string("モデルファイルを開けません: NUL (No such file or directory)"); }}
#else
        ,
        NotAFileCase{"NamedPipe",
                     [](const fs::path& dir) {
                         const std::string path = (dir / "pipe.ann").u8string();
                         EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
                         return path;
                     },
                     [](const std::string& path) { return NotRegular("名前付きパイプ", path); }},
        NotAFileCase{"Device", [](const fs::path&) { return std::string("/dev/zero"); },
                     [](const std::string& path) { return NotRegular("デバイス", path); }}
#endif
        ),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AnnFiles, FailedSaveIsAFileErrorAndLeavesNoTemporaryFile) {
    TRavoAnn ann({1, 1}, 0.005f, Act::Sigmoid);
    fs::create_directories(dir_ / "taken" / "inside");  // a directory where the file should go
    EXPECT_THROW(ann.SaveToFile(Path("taken")), ERavoFileError);
    EXPECT_THROW(ann.SaveToFile(Path("no/such/dir/model.ann")), ERavoFileError);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

// ---- Training tally at the limit of its width. ---------------------------------------

struct CountCase {
    const char* name;
    std::int32_t savedCount;
    bool overflows;
};

class TrainCountLimit : public AnnFiles, public ::testing::WithParamInterface<CountCase> {};

TEST_P(TrainCountLimit, PassingTheLimitIsAnOverflowErrorAndChangesNothing) {
    Bytes file = Image(TRavoAnn({1, 2}, 0.005f, Act::Sigmoid), Path("a.ann"));
    SetWord(file, 4 * (2 + 2 + 2), static_cast<std::uint32_t>(GetParam().savedCount));
    WriteBytes(Path("a.ann"), file);
    TRavoAnn ann(Path("a.ann"));
    ASSERT_EQ(ann.TrainCount(), GetParam().savedCount);
    if (GetParam().overflows) {
        EXPECT_THROW(ann.Train({0.5f}, {0.1f, 0.2f}), ERavoOverflow);
        EXPECT_EQ(Image(ann, Path("b.ann")), file);
    } else {
        ann.Train({0.5f}, {0.1f, 0.2f});
        EXPECT_EQ(ann.TrainCount(), GetParam().savedCount + 2);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, TrainCountLimit,
                         ::testing::Values(CountCase{"OneBelowTheLimit", 0x7FFFFFFF - 1, true},
                                           CountCase{"AtTheLimit", 0x7FFFFFFF, true},
                                           CountCase{"ReachesTheLimit", 0x7FFFFFFF - 2, false}),
                         [](const auto& info) { return std::string(info.param.name); });

