// ann_bench: speed of one training step of the program's network, side by
// side with the plain long-double implementation and, where it was found when
// the build was configured, with FANN 2.2 (float); all start from the same
// initial weights and learn the same windows of real closes in the same
// order, as the program's training run does.
//
//   ann_bench [price-csv] [--passes N]
//
// The price file is one in the program's own format, by default the sample
// of the repository (the S&P 500 series): the first and the last line are
// skipped, the close is the second field (quoted, with thousands separators),
// the closes are scaled into 0..1 with IrL = trunc(min/10)*10 and
// IrH = ceil(max/10)*10 in extended precision, element 0 of the series is 0
// and the rows follow from element 1; window i learns elements i+7 and i+8
// from elements i..i+6.  RAVO_ROUTE=fma (avx, sse2, extended) holds the
// network to a narrower route than the processor's widest.
#include "ann/URavoAnn.h"
#include "tests/ann/LiteralAnn.h"

#if defined(BRELVAN_HAVE_FANN)
#include <floatfann.h>
#endif

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kInputs = 7;
constexpr int kOutputs = 2;
const std::vector<std::int32_t> kTopology = {kInputs, 7, 3, kOutputs};
constexpr float kRate = 0.005f;

struct Window {
    std::vector<float> in, out;
};

struct Series {
    std::vector<float> data;  // element 0 is 0, rows from 1
    int irl = 0, irh = 0;
};

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "ann_bench: %s\n", what.c_str());
    std::exit(2);
}

// The close of a data line: the second field, its quotes and commas dropped.
float CloseOf(const std::string& line, std::size_t number) {
    std::size_t at = line.find(',');
    if (at == std::string::npos) Fail("line " + std::to_string(number) + " has no close");
    std::string digits;
    const bool quoted = at + 1 < line.size() && line[at + 1] == '"';
    for (std::size_t i = at + 1 + quoted; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted ? c == '"' : c == ',') break;
        if (c != ',') digits += c;
    }
    float value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size())
        Fail("line " + std::to_string(number) + ": no number in the close \"" + digits + "\"");
    return value;
}

Series ReadSeries(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) Fail("cannot open " + path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    std::vector<float> closes;
    for (std::size_t i = 1; i + 1 < lines.size(); ++i) closes.push_back(CloseOf(lines[i], i + 1));
    float low = 0, high = 0;  // a low of 0: none seen yet
    for (float c : closes) {
        if (low == 0) low = c;
        if (c > high) high = c;
        if (c < low) low = c;
    }
    Series s;
    s.irh = static_cast<int>(std::ceil(static_cast<long double>(high) / 10) * 10);
    s.irl = static_cast<int>(std::trunc(static_cast<long double>(low) / 10) * 10);
    if (s.irh == s.irl) Fail("the closes of " + path + " have no range");
    const long double width = s.irh - s.irl;
    s.data.push_back(0.0f);
    for (float c : closes) s.data.push_back(static_cast<float>((static_cast<long double>(c) - s.irl) / width));
    return s;
}

std::vector<Window> Windows(const Series& s) {
    const int rows = static_cast<int>(s.data.size()) - 1;  // Idn
    std::vector<Window> windows;
    for (int i = 0; i < rows - kInputs - kOutputs - 1; ++i) {
        Window w;
        for (int j = 0; j < kInputs; ++j) w.in.push_back(s.data[i + j]);
        for (int k = 0; k < kOutputs; ++k) w.out.push_back(s.data[i + kInputs + k]);
        windows.push_back(std::move(w));
    }
    return windows;
}

std::vector<unsigned char> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

#if defined(BRELVAN_HAVE_FANN)
// A FANN network of the same shape and activations holding the network's
// weights: FANN keeps a bias as the weight from the extra constant neuron at
// the end of the layer below.
struct fann* FannCopyOf(const TRavoAnn& ann) {
    struct fann* f = fann_create_standard(4, kTopology[0], kTopology[1], kTopology[2], kTopology[3]);
    fann_set_activation_function_hidden(f, FANN_SIGMOID);
    fann_set_activation_steepness_hidden(f, 0.5f);  // 1/(1+exp(-2*0.5*x))
    fann_set_activation_function_output(f, FANN_LINEAR);
    fann_set_activation_steepness_output(f, 1.0f);  // identity
    fann_set_training_algorithm(f, FANN_TRAIN_INCREMENTAL);
    fann_set_learning_rate(f, kRate);
    fann_set_learning_momentum(f, 0.0f);
    fann_set_train_error_function(f, FANN_ERRORFUNC_LINEAR);

    const unsigned layers = fann_get_num_layers(f);
    std::vector<unsigned> sizes(layers), biases(layers), first(layers);
    fann_get_layer_array(f, sizes.data());
    fann_get_bias_array(f, biases.data());
    for (unsigned l = 1; l < layers; ++l) first[l] = first[l - 1] + sizes[l - 1] + biases[l - 1];

    std::vector<fann_connection> connections(fann_get_total_connections(f));
    fann_get_connection_array(f, connections.data());
    for (fann_connection& c : connections) {
        unsigned l = 1;
        while (l + 1 < layers && c.to_neuron >= first[l + 1]) ++l;
        const int j = static_cast<int>(c.to_neuron - first[l]);
        const int k = static_cast<int>(c.from_neuron - first[l - 1]);
        c.weight = k == static_cast<int>(sizes[l - 1]) ? ann.Bias(l - 1, j) : ann.Weight(l - 1, j, k);
    }
    fann_set_weight_array(f, connections.data(), static_cast<unsigned>(connections.size()));
    return f;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    std::string path = std::string(BRELVAN_SOURCE_DIR) + "/samples/tarvok_stock_average_daily_jp.csv";
    int passes = 400;
    for (int a = 1; a < argc; ++a) {
        const std::string arg = argv[a];
        if (arg == "--passes" && a + 1 < argc)
            passes = std::atoi(argv[++a]);
        else if (arg.rfind("--passes=", 0) == 0)
            passes = std::atoi(arg.c_str() + 9);
        else
            path = arg;
    }
    const Series series = ReadSeries(path);
    const std::vector<Window> windows = Windows(series);
    if (windows.empty() || passes < 1) Fail("no windows to train on");

    TRavoAnn ann(kTopology, kRate, TRavoActivationFunc::Sigmoid);
    const std::string start = "/tmp/ann_bench_start_" + std::to_string(::getpid()) + ".ann";
    ann.SaveToFile(start);
    TLiteralAnn literal(ReadBytes(start));
    std::remove(start.c_str());
#if defined(BRELVAN_HAVE_FANN)
    struct fann* fann = FannCopyOf(ann);
#endif

    // They learn pass by pass in turn, so that a busy machine slows all of
    // them alike.  Each pass is timed on the thread's CPU clock (time spent
    // waiting for a processor is not counted) and a step's time is the median
    // pass divided by the windows of a pass: one unlucky pass does not count.
    // Before the last pass, each network's outputs for a window are read
    // (untimed) for the mean squared error of that pass alone.
    std::vector<double> mine, theirs, plain;
    double lastPassSquares = 0;
    for (int p = 0; p < passes; ++p) {
        if (p + 1 == passes) {
            std::vector<float> out;
            for (const Window& w : windows) {
                ann.Run(w.in, out);
                for (int k = 0; k < kOutputs; ++k) lastPassSquares += std::pow(double(out[k]) - w.out[k], 2);
                ann.Train(w.in, w.out);
            }
#if defined(BRELVAN_HAVE_FANN)
            fann_reset_MSE(fann);
            for (const Window& w : windows)
                fann_train(fann, const_cast<float*>(w.in.data()), const_cast<float*>(w.out.data()));
#endif
            for (const Window& w : windows) literal.Train(w.in, w.out);
            break;
        }
        const double t0 = ThreadSeconds();
        for (const Window& w : windows) ann.Train(w.in, w.out);
        const double t1 = ThreadSeconds();
#if defined(BRELVAN_HAVE_FANN)
        for (const Window& w : windows)
            fann_train(fann, const_cast<float*>(w.in.data()), const_cast<float*>(w.out.data()));
#endif
        const double t2 = ThreadSeconds();
        for (const Window& w : windows) literal.Train(w.in, w.out);
        const double t3 = ThreadSeconds();
        mine.push_back(t1 - t0);
        theirs.push_back(t2 - t1);
        plain.push_back(t3 - t2);
    }

    const double perPass = static_cast<double>(windows.size());
    const double steps = passes * perPass;
    const double nsMine = mine.empty() ? 0 : Median(mine) * 1e9 / perPass;
    const double nsPlain = plain.empty() ? 0 : Median(plain) * 1e9 / perPass;
    const double lastPassMse = lastPassSquares / (perPass * kOutputs);

    const std::string end = "/tmp/ann_bench_end_" + std::to_string(::getpid()) + ".ann";
    ann.SaveToFile(end);
    const bool identical = ReadBytes(end) == literal.Image();
    std::remove(end.c_str());
    const TRavoStepStats& stats = ann.StepStats();
    const auto share = [&](std::uint64_t n) { return 100.0 * static_cast<double>(n) / steps; };
    const char* forced = std::getenv("RAVO_ROUTE");
    if (forced && !*forced) forced = nullptr;

    std::printf("ann_bench: [7,7,3,2] Sigmoid, learning rate 0.005, %d passes x %zu windows = %.0f Train steps\n",
                passes, windows.size(), steps);
    std::printf("data: %s (%zu rows, IrL %d, IrH %d)\n", path.c_str(), series.data.size() - 1, series.irl,
                series.irh);
    std::printf("route: %s%s%s%s\n", TRavoAnn::RouteName(), forced ? " (RAVO_ROUTE=" : "", forced ? forced : "",
                forced ? ")" : "");
    std::printf("steps: %llu accepted by the fast route (%.2f%%), %llu rechecked by its finer kernel (%.3f%%), "
                "%llu redone in extended precision (%.3f%%)\n",
                static_cast<unsigned long long>(stats.Accepted), share(stats.Accepted),
                static_cast<unsigned long long>(stats.Rechecked), share(stats.Rechecked),
                static_cast<unsigned long long>(stats.Redone), share(stats.Redone));
    std::printf("ns/step: median pass (of the first %d) on the thread's CPU clock, divided by %zu windows\n",
                passes - 1, windows.size());
    std::printf("%-28s %12s %16s %16s\n", "implementation", "ns/step", "MSE (all steps)", "MSE (last pass)");
    std::printf("%-28s %12.1f %16.9f %16.9f\n", "TRavoAnn", nsMine, static_cast<double>(ann.GetMSE()), lastPassMse);
#if defined(BRELVAN_HAVE_FANN)
    // FANN averages its tally over every output of the steps since the reset.
    const double nsFann = theirs.empty() ? 0 : Median(theirs) * 1e9 / perPass;
    std::printf("%-28s %12.1f %16s %16.9f\n", "FANN 2.2 float", nsFann, "", static_cast<double>(fann_get_MSE(fann)));
#endif
    std::printf("%-28s %12.1f %16.9f\n", "literal long double", nsPlain, static_cast<double>(literal.GetMSE()));
#if defined(BRELVAN_HAVE_FANN)
    std::printf("ratio TRavoAnn/FANN: %.3f\n", nsMine / nsFann);
#else
    std::printf("FANN 2.2: not found when the build was configured (libfann-dev): its column is skipped\n");
#endif
    std::printf("ratio TRavoAnn/literal: %.3f\n", nsMine / nsPlain);
    std::printf("TRavoAnn bit-identical to the literal implementation (weights, biases, loss, count): %s\n",
                identical ? "yes" : "NO");
#if defined(BRELVAN_HAVE_FANN)
    std::printf("goal TRavoAnn <= 0.5 x FANN per step: %s\n", nsMine <= 0.5 * nsFann ? "met" : "not met");
    fann_destroy(fann);
#endif
    return identical ? 0 : 1;
}
