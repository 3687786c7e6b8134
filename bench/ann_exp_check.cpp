// ann_exp_check: the largest error of the network's own vector exp (see
// ann/RavoExp.h), on every route this processor has, for every float x in
// [-746, 710]: the sums whose sigmoid the fast routes take are floats, so
// this covers every argument that occurs.  Against expl (64-bit significand):
//   mu = |Exp(x) - e^x| / (1 + e^x)   (what the sigmoid's bound needs),
// and, where e^x is a normal double, the error in units in the last place.
// mu must stay within kExpErrorBound wherever the result is finite, and an
// infinite result is allowed only where e^x > 2^1023.
//
//   ann_exp_check [--every N]    (N > 1: only every Nth float, a quick look)
//
// Routes with the same operations (SSE2 and AVX: unfused; AVX2+FMA and
// AVX-512: fused) are compared bit for bit with the first of their pair
// instead of with expl again.  Exit status 1 when a bound is passed.
#include "ann/RavoExp.h"
#include "ann/RavoStep.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using TExp = void (*)(const double*, double*, std::size_t);

struct TResult {
    long double worstMu = 0, worstUlp = 0;
    float worstMuAt = 0, worstUlpAt = 0;
    std::uint64_t values = 0, infinities = 0, zeros = 0, mismatches = 0, failures = 0;
    float firstInfinity = INFINITY;
};

float FloatOf(std::uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}
std::uint32_t BitsOf(float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

// Every float from 0 (or -0) to limit, in steps of `every` bit patterns, in
// batches of 4096.
template <class F>
void ForEachBatch(float limit, std::uint32_t every, F f) {
    std::vector<double> batch;
    const std::uint32_t sign = std::signbit(limit) ? 0x80000000u : 0u;
    const std::uint32_t last = BitsOf(std::fabs(limit));
    for (std::uint64_t b = 0; b <= last; b += every) {
        batch.push_back(FloatOf(sign | static_cast<std::uint32_t>(b)));
        if (batch.size() == 4096) {
            f(batch);
            batch.clear();
        }
    }
    while (batch.size() % 8) batch.push_back(0.0);
    if (!batch.empty()) f(batch);
}

void Measure(TExp exp, TExp reference, std::uint32_t every, TResult& r) {
    for (const float limit : {710.0f, -746.0f}) {
        std::vector<double> e(4096), ref(4096);
        ForEachBatch(limit, every, [&](const std::vector<double>& x) {
            exp(x.data(), e.data(), x.size());
            if (reference) {
                reference(x.data(), ref.data(), x.size());
                for (std::size_t i = 0; i < x.size(); ++i) r.mismatches += std::memcmp(&e[i], &ref[i], 8) != 0;
                r.values += x.size();
                return;
            }
            for (std::size_t i = 0; i < x.size(); ++i) {
                const long double exact = std::exp(static_cast<long double>(x[i]));
                ++r.values;
                if (std::isinf(e[i])) {
                    ++r.infinities;
                    if (x[i] < r.firstInfinity) r.firstInfinity = static_cast<float>(x[i]);
                    r.failures += !(exact > 0x1p1023L);
                    continue;
                }
                r.zeros += e[i] == 0.0;
                const long double error = std::fabs(static_cast<long double>(e[i]) - exact);
                const long double mu = error / (1.0L + exact);
                r.failures += mu > kExpErrorBound;
                if (mu > r.worstMu) r.worstMu = mu, r.worstMuAt = static_cast<float>(x[i]);
                if (exact >= 0x1p-1022L && exact <= 0x1p1023L) {
                    const int binade = std::ilogb(static_cast<double>(exact));
                    const long double ulp = error / std::ldexp(1.0L, binade - 52);
                    if (ulp > r.worstUlp) r.worstUlp = ulp, r.worstUlpAt = static_cast<float>(x[i]);
                }
            }
        });
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::uint32_t every = 1;
    for (int a = 1; a < argc; ++a)
        if (std::string(argv[a]) == "--every" && a + 1 < argc) every = static_cast<std::uint32_t>(std::atoi(argv[++a]));
    if (every < 1) every = 1;

    __builtin_cpu_init();
    const bool avx = __builtin_cpu_supports("avx");
    const bool fma = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    const bool avx512 = fma && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
                        __builtin_cpu_supports("avx512dq");
    struct TRoute {
        const char* name;
        bool present;
        TExp exp, sameAs;
    } routes[] = {{"sse2", true, RavoExpSse2, nullptr},
                  {"avx", avx, RavoExpAvx, RavoExpSse2},
                  {"fma", fma, RavoExpFma, nullptr},
                  {"avx512", avx512, RavoExpAvx512, fma ? RavoExpFma : nullptr}};

    std::printf("ann_exp_check: every %u%s float in [-746, 710], bound 2^%.0f\n", every, every == 1 ? "" : "th",
                std::log2(kExpErrorBound));
    bool passed = true;
    for (const TRoute& route : routes) {
        if (!route.present) {
            std::printf("%-7s not on this processor\n", route.name);
            continue;
        }
        TResult r;
        Measure(route.exp, route.sameAs, every, r);
        if (route.sameAs) {
            std::printf("%-7s %llu values, %llu differ from the route with the same operations\n", route.name,
                        static_cast<unsigned long long>(r.values), static_cast<unsigned long long>(r.mismatches));
            passed = passed && r.mismatches == 0;
            continue;
        }
        std::printf("%-7s %llu values: largest mu %.3Lg = 2^%.2Lf at x = %a; largest error %.3Lf ulp at x = %a;\n"
                    "        %llu infinite from x = %a, %llu zero, %llu out of bounds\n",
                    route.name, static_cast<unsigned long long>(r.values), r.worstMu, std::log2(r.worstMu),
                    static_cast<double>(r.worstMuAt), r.worstUlp, static_cast<double>(r.worstUlpAt),
                    static_cast<unsigned long long>(r.infinities), static_cast<double>(r.firstInfinity),
                    static_cast<unsigned long long>(r.zeros), static_cast<unsigned long long>(r.failures));
        passed = passed && r.failures == 0;
    }
    return passed ? 0 : 1;
}
