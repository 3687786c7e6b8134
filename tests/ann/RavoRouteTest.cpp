// The network's arithmetic on the fast route this process takes (CTest runs
// this program once per route, RAVO_ROUTE set, label ann_route_<route>):
// training and Run bit-identical to the literal long-double implementation,
// the steps the route keeps, and the cases where rounding twice and rounding
// once differ.
#include "ann/URavoAnn.h"
#include "tests/ann/AnnTestSupport.h"
#include "tests/ann/LiteralAnn.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

namespace {

// The route RAVO_ROUTE asks for ("" when none), and whether the processor
// has a route (and the build: without RAVO_HAVE_AVX_ROUTE only SSE2).
std::string RouteAsked() {
    const char* route = std::getenv("RAVO_ROUTE");
    return route ? route : "";
}

bool ProcessorHas(const std::string& route) {
#if defined(__x86_64__) && !defined(RAVO_HAVE_AVX_ROUTE)
    if (route == "sse2") return true;
#elif defined(__x86_64__)
    __builtin_cpu_init();
    const bool fma = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    if (route == "avx512")
        return fma && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
               __builtin_cpu_supports("avx512dq");
    if (route == "fma") return fma;
    if (route == "avx") return __builtin_cpu_supports("avx");
    if (route == "sse2") return true;
#endif
    return route == "extended";
}

bool FastRoute() { return std::string(TRavoAnn::RouteName()) != "extended"; }

std::uint32_t BitsOf(float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

}  // namespace

TEST(Route, IsTheOneAskedForOrTheWidest) {
    std::string expected = RouteAsked();
    if (expected.empty())
        for (const char* route : {"avx512", "fma", "avx", "sse2"})
            if (ProcessorHas(route)) {
                expected = route;
                break;
            }
    if (!ProcessorHas(expected)) GTEST_SKIP() << "the processor has no route " << expected;
    EXPECT_EQ(std::string(TRavoAnn::RouteName()), expected);
}

// ---- Oracle: the plain long-double implementation, step by step. ----------------------

struct OracleCase {
    const char* name;
    std::vector<std::int32_t> topology;
    Act activation;
    float rate;
    int steps;
    float inputLow, inputHigh;  // inputs drawn uniformly from this range
    float quantum = 0;           // when not 0, inputs rounded to multiples of it
    // Least shares of the steps that the fast route keeps, and that its first
    // kernel keeps at once (the program's coarser one sends exact sums on
    // midpoints, common with coarse inputs or a learning rate of 0.5, to the
    // finer one; saturated sigmoids are redone in extended precision).
    double leastKept = 0.9, leastAtOnce = 0.9;
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

    // Every step counted once; a fast route that redid every step in
    // extended precision would pass all of the above.
    const TRavoStepStats& stats = ann.StepStats();
    EXPECT_EQ(stats.Accepted + stats.Rechecked + stats.Redone, std::uint64_t(c.steps));
    if (FastRoute()) {
        EXPECT_GE(double(stats.Accepted + stats.Rechecked), c.leastKept * c.steps);
        EXPECT_GE(double(stats.Accepted), c.leastAtOnce * c.steps);
    } else {
        EXPECT_EQ(stats.Redone, std::uint64_t(c.steps));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, Oracle,
    ::testing::Values(
        OracleCase{"ProgramSigmoid", {7, 7, 3, 2}, Act::Sigmoid, 0.005f, 10000, 0, 1, 0, 0.99, 0.99},
        OracleCase{"ReLU", {4, 5, 3}, Act::ReLU, 0.005f, 4000, 0, 1},
        OracleCase{"SigmoidFastLearning", {7, 7, 3, 2}, Act::Sigmoid, 0.5f, 2000, 0, 1, 0, 0.9, 0.1},
        OracleCase{"ReLUSaturated", {3, 4, 2}, Act::ReLU, 0.5f, 2000, -1000, 1000, 0, 0.01, 0.01},
        OracleCase{"WideSigmoid", {9, 11, 6, 5}, Act::Sigmoid, 0.05f, 2000, 0, 1},
        OracleCase{"DeepReLU", {5, 9, 9, 4}, Act::ReLU, 0.05f, 2000, 0, 1},
        OracleCase{"NoHiddenLayer", {6, 3}, Act::Sigmoid, 0.1f, 1000, -2, 2},
        // Inputs of few significant bits: exact sums on float midpoints.
        OracleCase{"ProgramCoarseInputs", {7, 7, 3, 2}, Act::Sigmoid, 0.005f, 4000, 0, 1, 1.0f / 64, 0.9, 0.01}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Copies and moves keep their own arrays. -----------------------------------------

// The network keeps the fast route's view of its arrays from step to step; a
// copy, an assignment or a move must each learn on its own arrays.
TEST_F(AnnFiles, CopiesAndMovesLearnOnTheirOwnArrays) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> value(0.0f, 1.0f);
    const auto learn = [&](TRavoAnn& ann, TLiteralAnn& literal) {
        std::vector<float> in(7), out(2);
        for (int step = 0; step < 50; ++step) {
            for (float& x : in) x = value(random);
            for (float& y : out) y = value(random);
            ann.Train(in, out);
            literal.Train(in, out);
        }
    };
    TRavoAnn a({7, 7, 3, 2}, 0.005f, Act::Sigmoid);
    TLiteralAnn literalA(Image(a, Path("a.ann")));
    learn(a, literalA);

    TRavoAnn b = a;
    TLiteralAnn literalB = literalA;
    const Bytes aBefore = Image(a, Path("a.ann"));
    learn(b, literalB);
    EXPECT_EQ(Image(a, Path("a.ann")), aBefore);
    EXPECT_EQ(Image(b, Path("b.ann")), literalB.Image());

    TRavoAnn c(std::move(b));
    learn(c, literalB);
    EXPECT_EQ(Image(c, Path("c.ann")), literalB.Image());

    a = c;  // onto a network that has learnt on its own
    learn(a, literalB);
    EXPECT_EQ(Image(a, Path("a.ann")), literalB.Image());
    EXPECT_NE(Image(c, Path("c.ann")), literalB.Image());
}

// ---- Sums where the exponential overflows, underflows or saturates. ----------------

TEST(ExtremeSums, RunGivesTheExtendedSigmoidBitForBit) {
    // Topology [1, 1] with a sigmoid output: weight 1, bias 0, so that the
    // output is Sigmoid(x) of the input itself.
    const float inf = std::numeric_limits<float>::infinity();
    const Bytes image = [] {
        Bytes b;
        for (std::uint32_t word : {1u, 2u, 1u, 1u}) PutWord(b, word);  // ReLU, [1, 1]
        PutFloat(b, 0.005f);
        PutFloat(b, 0.0f);
        PutWord(b, 0);
        PutFloat(b, 0.0f);
        PutFloat(b, 1.0f);
        return b;
    }();
    TRavoAnn ann({1, 1}, 0.005f, Act::ReLU);  // the same network
    TLiteralAnn literal(image);
    for (const float x : {-inf, -20000.0f, -746.5f, -745.2f, -710.0f, -709.5f, -708.8f, -104.0f, -103.3f, -88.8f,
                          -87.3f, -1e-30f, 0.0f, 1e-30f, 16.7f, 17.4f, 36.8f, 104.0f, 709.5f, 1e30f, inf}) {
        std::vector<float> mine, theirs;
        ann.Run({x}, mine);
        literal.Run({x}, theirs);
        EXPECT_EQ(BitsOf(mine.at(0)), BitsOf(theirs.at(0))) << "x = " << x << ": " << mine[0] << " against " << theirs[0];
    }
}

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
        // No fast route runs outside the default environment.
        EXPECT_EQ(ann.StepStats().Redone, 5u);
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

// ---- A 64-bit significand, in every thread. -----------------------------------

// One weight: o*w + b with o = 1 + 2^-18, w = 2^-24 (1 - 2^-18) and
// b = 1 + 2^-23 is exactly 1 + 3 * 2^-24 - 2^-60, just below the midpoint
// between the floats 1 + 2^-23 and 1 + 2^-22.  x87's 64-bit significand keeps
// it below and gives 1 + 2^-23 = 0x1.000002p+0; an evaluation with 53 bits (a
// compiler whose long double is double, or an x87 unit set to double
// precision, as Windows starts a program's threads but the main one) rounds to
// the midpoint first and then to the even 0x1.000004p+0.
struct PrecisionCase {
    const char* name;
    std::function<void(const std::function<void()>&)> within;
};

class ExtendedPrecision : public AnnFiles, public ::testing::WithParamInterface<PrecisionCase> {};

TEST_P(ExtendedPrecision, SumJustBelowAMidpointRoundsWithSixtyFourBits) {
    const float o = 1.0f + 0x1p-18f;
    const Bytes image = ModelBytes(Act::Sigmoid, {1, 1}, 0.005f, [](std::size_t, std::int32_t) { return 1.0f + 0x1p-23f; },
                                   [](std::size_t, std::int32_t, std::int32_t) { return 0x1p-24f * (1.0f - 0x1p-18f); });
    WriteBytes(Path("one.ann"), image);
    TRavoAnn ann(Path("one.ann"));
    std::vector<float> out;
    GetParam().within([&] {
        ann.Run({o}, out);
        ann.Train({o}, {1.0f});
    });
    TLiteralAnn literal(image);  // in this thread, as the test program started
    literal.Train({o}, {1.0f});
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], 0x1.000002p+0f) << std::hexfloat << out[0];
    EXPECT_EQ(Image(ann, Path("after.ann")), literal.Image());
}

#if defined(__x86_64__) || defined(__i386__)
// The x87 unit at double precision (control word bits 8-9 = 10) for a scope.
class TX87DoublePrecision {
public:
    TX87DoublePrecision() {
        __asm__ volatile("fnstcw %0" : "=m"(fSaved));
        const unsigned short doubled = static_cast<unsigned short>((fSaved & ~0x0300u) | 0x0200u);
        __asm__ volatile("fldcw %0" : : "m"(doubled));
    }
    ~TX87DoublePrecision() { __asm__ volatile("fldcw %0" : : "m"(fSaved)); }
    TX87DoublePrecision(const TX87DoublePrecision&) = delete;
    TX87DoublePrecision& operator=(const TX87DoublePrecision&) = delete;

private:
    unsigned short fSaved = 0;
};
#endif

INSTANTIATE_TEST_SUITE_P(Table, ExtendedPrecision,
                         ::testing::Values(PrecisionCase{"MainThread", [](const auto& f) { f(); }},
                                           PrecisionCase{"NewThread", [](const auto& f) { std::thread(f).join(); }}
#if defined(__x86_64__) || defined(__i386__)
                                           ,
                                           PrecisionCase{"X87SetToDoublePrecision",
                                                         [](const auto& f) {
                                                             const TX87DoublePrecision precision;
                                                             f();
                                                         }}
#endif
                                           ),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- A long training run: the same bytes on every route and every system. -------

// 2,000,000 steps of the program's network ([7, 7, 3, 2], 400 passes over the
// 5,000 windows of a synthetic price series) from fixed weights read from a
// file.  The saved model must be these bytes wherever the test runs: on each
// route (CTest runs it with RAVO_ROUTE too) and in the Windows build under wine.
TEST_F(AnnFiles, LongTrainingSavesTheSameBytesOnEveryRouteAndSystem) {
    // A random walk of prices in cents (integer arithmetic: the same
    // everywhere), scaled into [0, 1] by one float division each.
    std::vector<std::int64_t> cents(5008);
    std::uint32_t state = 20261210u;
    std::int64_t price = 1500000;
    for (std::int64_t& c : cents) {
        state = state * 1664525u + 1013904223u;
        price += static_cast<std::int64_t>(state >> 20) - 2048;
        c = price;
    }
    const auto [low, high] = std::minmax_element(cents.begin(), cents.end());
    std::vector<float> closes;
    for (const std::int64_t c : cents) closes.push_back(static_cast<float>(c - *low) / static_cast<float>(*high - *low));

    const Bytes start = ModelBytes(
        Act::Sigmoid, {7, 7, 3, 2}, 0.005f, [](std::size_t, std::int32_t) { return 0.0f; },
        [](std::size_t i, std::int32_t j, std::int32_t k) { return static_cast<float>(static_cast<int>((i * 31 + j * 17 + k * 7) % 13) - 6) / 8.0f; });
    WriteBytes(Path("start.ann"), start);
    TRavoAnn ann(Path("start.ann"));
    std::vector<float> in(7), out(2);
    for (int pass = 0; pass < 400; ++pass)
        for (std::size_t w = 0; w + 9 <= closes.size(); ++w) {
            std::copy(closes.begin() + w, closes.begin() + w + 7, in.begin());
            std::copy(closes.begin() + w + 7, closes.begin() + w + 9, out.begin());
            ann.Train(in, out);
        }
    ASSERT_EQ(ann.TrainCount(), 4000000);  // two targets a step

    // FNV-1a of the saved bytes.
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (const unsigned char b : Image(ann, Path("end.ann"))) hash = (hash ^ b) * 0x100000001b3u;
    EXPECT_EQ(hash, 0xeddfd30359e30c94u) << std::hex << hash;
}
