#include "ann/URavoAnn.h"
#include "tests/ann/LiteralAnn.h"

#include <gtest/gtest.h>

#include <ostream>

#include <cfenv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;
using Act = TRavoActivationFunc;

namespace {

// A fresh directory per test, removed afterwards.
class AnnFiles : public ::testing::Test {
protected:
    void SetUp() override {
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        dir_ = fs::temp_directory_path() / ("ravo_ann_test_" + std::to_string(stamp));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    fs::path dir_;
};

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void PutWord(Bytes& b, std::uint32_t v) {
    for (int s = 0; s < 32; s += 8) b.push_back(static_cast<unsigned char>(v >> s));
}
void PutFloat(Bytes& b, float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, 4);
    PutWord(b, u);
}
void SetWord(Bytes& b, std::size_t offset, std::uint32_t v) {
    for (int s = 0; s < 4; ++s) b.at(offset + s) = static_cast<unsigned char>(v >> (8 * s));
}

// The saved image of a network: its whole persistent state, byte for byte.
Bytes Image(const TRavoAnn& ann, const std::string& path) {
    ann.SaveToFile(path);
    return ReadBytes(path);
}

float Scale(int n) { return static_cast<float>(1.0L / std::sqrt(static_cast<long double>(n))); }

}  // namespace

// Every table of cases below carries a name: CTest lists a case by it
// instead of by the bytes of its parameter.
template <class Case, class = decltype(Case::name)>
std::ostream& operator<<(std::ostream& os, const Case& c) { return os << c.name; }

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

INSTANTIATE_TEST_SUITE_P(Table, LearningRateClamp,
                         ::testing::Values(RateCase{"TooSmall", 0.0005f, 0.001f}, RateCase{"TooLarge", 1.5f, 0.999f},
                                           RateCase{"Program", 0.005f, 0.005f}, RateCase{"Two", 2.0f, 0.999f},
                                           RateCase{"Zero", 0.0f, 0.001f}, RateCase{"Inside", 0.3f, 0.3f},
                                           RateCase{"UpperEnd", 0.999f, 0.999f}, RateCase{"LowerEnd", 0.001f, 0.001f}),
                         [](const auto& info) { return std::string(info.param.name); });

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

TEST(Run, WrongInputLengthIsARangeErrorAndLeavesTheOutputVector) {
    TRavoAnn ann({3, 2}, 0.005f, Act::Sigmoid);
    for (const std::vector<float>& inputs : {std::vector<float>{}, {1.0f, 2.0f}, {1.0f, 2.0f, 3.0f, 4.0f}}) {
        std::vector<float> out{9.0f};
        EXPECT_THROW(ann.Run(inputs, out), ERavoRangeError);
        EXPECT_EQ(out, std::vector<float>{9.0f});
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

TEST_F(AnnFiles, MissingFileIsAFileError) {
    TRavoAnn ann({1, 1}, 0.005f, Act::Sigmoid);
    const Bytes before = Image(ann, Path("before.ann"));
    EXPECT_THROW(ann.LoadFromFile(Path("missing.ann")), ERavoFileError);
    EXPECT_THROW(TRavoAnn{Path("missing.ann")}, ERavoFileError);
    EXPECT_EQ(Image(ann, Path("after.ann")), before);
}

TEST_F(AnnFiles, SaveReplacesTheTargetAndLeavesNoTemporaryFile) {
    TRavoAnn small({1, 1}, 0.005f, Act::Sigmoid);
    TRavoAnn large({7, 7, 3, 2}, 0.005f, Act::Sigmoid);
    large.SaveToFile(Path("model.ann"));
    small.SaveToFile(Path("model.ann"));
    EXPECT_EQ(ReadBytes(Path("model.ann")).size(), 36u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

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

// ---- Oracle: the plain long-double implementation, step by step. ----------------------

struct OracleCase {
    const char* name;
    std::vector<std::int32_t> topology;
    Act activation;
    float rate;
    int steps;
    float inputLow, inputHigh;  // inputs drawn uniformly from this range
    float quantum = 0;           // when not 0, inputs rounded to multiples of it
};

class Oracle : public AnnFiles, public ::testing::WithParamInterface<OracleCase> {};

TEST_P(Oracle, TrainingIsBitIdenticalToThePlainImplementation) {
    const OracleCase& c = GetParam();
    TRavoAnn ann(c.topology, c.rate, c.activation);
    TLiteralAnn literal(Image(ann, Path("start.ann")));

    std::mt19937 random(20261210);
    std::uniform_real_distribution<float> input(c.inputLow, c.inputHigh), target(0.0f, 1.0f);
    std::vector<float> in(c.topology.front()), out(c.topology.back());
    for (int step = 1; step <= c.steps; ++step) {
        for (float& x : in) x = c.quantum != 0 ? std::round(input(random) / c.quantum) * c.quantum : input(random);
        for (float& y : out) y = target(random);
        ann.Train(in, out);
        literal.Train(in, out);
        if (step % 500 == 0 || step == c.steps) {
            ASSERT_EQ(Image(ann, Path("mine.ann")), literal.Image()) << "after step " << step;
        }
    }
    EXPECT_EQ(ann.GetMSE(), literal.GetMSE());
    std::vector<float> mine, theirs;
    ann.Run(in, mine);
    literal.Run(in, theirs);
    EXPECT_EQ(mine, theirs);
}

INSTANTIATE_TEST_SUITE_P(Table, Oracle,
                         ::testing::Values(OracleCase{"ProgramSigmoid", {7, 7, 3, 2}, Act::Sigmoid, 0.005f, 10000, 0, 1},
                                           OracleCase{"ReLU", {4, 5, 3}, Act::ReLU, 0.005f, 4000, 0, 1},
                                           OracleCase{"SigmoidFastLearning", {7, 7, 3, 2}, Act::Sigmoid, 0.5f, 2000, 0, 1},
                                           OracleCase{"ReLUSaturated", {3, 4, 2}, Act::ReLU, 0.5f, 2000, -1000, 1000},
                                           OracleCase{"WideSigmoid", {9, 11, 6, 5}, Act::Sigmoid, 0.05f, 2000, 0, 1},
                                           OracleCase{"DeepReLU", {5, 9, 9, 4}, Act::ReLU, 0.05f, 2000, 0, 1},
                                           OracleCase{"NoHiddenLayer", {6, 3}, Act::Sigmoid, 0.1f, 1000, -2, 2},
                                           // Inputs of few significant bits: exact sums on float midpoints.
                                           OracleCase{"ProgramCoarseInputs", {7, 7, 3, 2}, Act::Sigmoid, 0.005f, 4000, 0, 1,
                                                      1.0f / 64}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- A sum just below a float midpoint. ------------------------------------------

// An output neuron whose sum starts at b and takes o*w first, so that the
// exact b + o*w lies 2^-70 (relative) below the midpoint between the floats
// 2^19 (1 + 2^-23) and 2^19 (1 + 2^-22): extended precision rounds it to the
// midpoint first (64 bits), which then rounds to the even 2^19 (1 + 2^-22); a
// single rounding (a fused multiply-add) gives 2^19 (1 + 2^-23).  The network must give the extended result
// on every route, in Run and in Train.  With hidden layers the inputs are 0,
// neuron 0 of the last hidden layer outputs o, and every other weight and
// bias is large enough for the fast routes' checks to let the step through.
struct MidpointCase {
    const char* name;
    std::vector<std::int32_t> topology;
};

class SumBelowAMidpoint : public AnnFiles, public ::testing::WithParamInterface<MidpointCase> {};

// A float a whose extended sigmoid rounds to target (the middle of the run
// of such floats).
float SigmoidArgumentGiving(float target) {
    const auto sigmoid = [](float a) { return static_cast<float>(1.0L / (1.0L + std::exp(-static_cast<long double>(a)))); };
    float low = 15.9f;  // near ln((1 - 2^-23) / 2^-23)
    while (sigmoid(low) < target) low = std::nextafter(low, 100.0f);
    float high = low;
    while (sigmoid(std::nextafter(high, 100.0f)) == target) high = std::nextafter(high, 100.0f);
    return low + (high - low) / 2;
}

TEST_P(SumBelowAMidpoint, RoundsTwiceAsTheExtendedFormula) {
    const std::vector<std::int32_t>& t = GetParam().topology;
    const std::size_t top = t.size() - 1;
    const float o = 1.0f - 0x1p-23f;               // the output neuron's first input
    const float w = 0x1p-5f * (1.0f + 0x1p-23f);   // o*w = 2^-5 - 2^-51
    const float b = 0x1p19f * (1.0f + 0x1p-23f);   // odd: the tie goes up
    // The last hidden layer's neuron 0 sums its bias and 0.5 * sigmoid(1)
    // from each neuron of the first hidden layer below it.
    const float c = top >= 2 ? SigmoidArgumentGiving(o) - static_cast<float>(t[top - 2]) * 0.5f * 0.7310586f : 0.0f;
    Bytes image;
    PutWord(image, 0);  // sigmoid units, linear outputs
    PutWord(image, static_cast<std::uint32_t>(t.size()));
    for (std::int32_t n : t) PutWord(image, static_cast<std::uint32_t>(n));
    PutFloat(image, 0.005f);
    PutFloat(image, 0.0f);
    PutWord(image, 0);
    for (std::size_t i = 1; i <= top; ++i)
        for (std::int32_t j = 0; j < t[i]; ++j) PutFloat(image, j > 0 ? 1.0f : i == top ? b : i + 1 == top ? c : 1.0f);
    for (std::size_t i = 1; i <= top; ++i)
        for (std::int32_t j = 0; j < t[i]; ++j)
            for (std::int32_t k = 0; k < t[i - 1]; ++k)
                PutFloat(image, i < top || j > 0 ? 0.5f : k == 0 ? w : 0x1p-5f);
    {
        std::ofstream file(Path("midpoint.ann"), std::ios::binary);
        file.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    }
    TRavoAnn ann(Path("midpoint.ann"));
    TLiteralAnn literal(image);
    std::vector<float> in(t.front(), top == 1 ? o : 0.0f), mine, theirs;
    ann.Run(in, mine);
    literal.Run(in, theirs);
    if (top == 1) {
        EXPECT_EQ(theirs[0], 0x1p19f * (1.0f + 0x1p-22f));
    }
    EXPECT_EQ(mine, theirs);
    std::vector<float> targets(t.back(), 0.0f);
    targets[0] = 0x1p19f;  // near the output: small steps
    for (int step = 0; step < 3; ++step) {
        ann.Train(in, targets);
        literal.Train(in, targets);
    }
    EXPECT_EQ(Image(ann, Path("after.ann")), literal.Image());
    EXPECT_EQ(ann.GetMSE(), literal.GetMSE());
}

INSTANTIATE_TEST_SUITE_P(Table, SumBelowAMidpoint,
                         ::testing::Values(MidpointCase{"OneWeight", {1, 1}}, MidpointCase{"Program", {7, 7, 3, 2}},
                                           MidpointCase{"Wide", {9, 11, 6, 5}}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- The floating-point environment. ---------------------------------------------

#if defined(__SSE2__)
// The fast route computes with SSE in the default environment only; under
// flush-to-zero, denormals-are-zero or another rounding mode the network must
// still give the extended formulas' results (the plain implementation runs
// under the same environment).
struct EnvironmentCase {
    const char* name;
    unsigned mxcsrBits;  // flush-to-zero 0x8000, denormals-are-zero 0x0040
    int rounding;
};

// Sets an environment for a scope and restores the previous one.
class TEnvironmentGuard {
public:
    explicit TEnvironmentGuard(const EnvironmentCase& c) : fCsr(_mm_getcsr()), fRounding(std::fegetround()) {
        std::fesetround(c.rounding);
        _mm_setcsr(_mm_getcsr() | c.mxcsrBits);
    }
    ~TEnvironmentGuard() {
        _mm_setcsr(fCsr);
        std::fesetround(fRounding);
    }
    TEnvironmentGuard(const TEnvironmentGuard&) = delete;
    TEnvironmentGuard& operator=(const TEnvironmentGuard&) = delete;

private:
    unsigned fCsr;
    int fRounding;
};

class Environment : public AnnFiles, public ::testing::WithParamInterface<EnvironmentCase> {};

TEST_P(Environment, RunAndTrainingGiveTheExtendedResults) {
    const EnvironmentCase& c = GetParam();
    // Fresh one-weight networks (weight 1, bias 0) whose outputs are
    // subnormal: a subnormal input passed through, and the sigmoid of -95.
    for (const auto& [activation, x] : {std::pair{Act::Sigmoid, 1e-39f}, std::pair{Act::ReLU, -95.0f}}) {
        TRavoAnn ann({1, 1}, 0.5f, activation);
        TLiteralAnn literal(Image(ann, Path("fresh.ann")));
        std::vector<float> mine, theirs;
        {
            const TEnvironmentGuard environment(c);
            ann.Run({x}, mine);
            literal.Run({x}, theirs);
        }
        EXPECT_EQ(mine, theirs) << "input " << x;
    }
    for (const std::vector<std::int32_t>& topology : {std::vector<std::int32_t>{1, 1}, {7, 7, 3, 2}}) {
        SCOPED_TRACE(topology.size());
        TRavoAnn ann(topology, 0.5f, Act::Sigmoid);
        TLiteralAnn literal(Image(ann, Path("start.ann")));
        {
            const TEnvironmentGuard environment(c);
            // Inputs near and below the smallest normal float, then ordinary ones.
            for (const float x : {1e-38f, 1e-39f, 0.3f, 0.7f, 1e-38f}) {
                const std::vector<float> in(topology.front(), x), out(topology.back(), 0.25f);
                ann.Train(in, out);
                literal.Train(in, out);
            }
        }
        EXPECT_EQ(Image(ann, Path("mine.ann")), literal.Image());
    }
}

INSTANTIATE_TEST_SUITE_P(Table, Environment,
                         ::testing::Values(EnvironmentCase{"FlushToZero", 0x8000, FE_TONEAREST},
                                           EnvironmentCase{"DenormalsAreZero", 0x0040, FE_TONEAREST},
                                           EnvironmentCase{"Upward", 0, FE_UPWARD},
                                           EnvironmentCase{"Downward", 0, FE_DOWNWARD},
                                           EnvironmentCase{"TowardZero", 0, FE_TOWARDZERO}),
                         [](const auto& info) { return std::string(info.param.name); });
#endif
