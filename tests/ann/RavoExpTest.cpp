// The fast routes' own exp (ann/RavoExp.h) on every route this processor has,
// against expl: a sample of the float arguments (bench/ann_exp_check goes
// through all of them) and the ends of its range.
#include "ann/RavoExp.h"
#include "ann/RavoStep.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

struct ExpRoute {
    const char* name;
    bool present;
    void (*exp)(const double*, double*, std::size_t);
};

std::vector<ExpRoute> Routes() {
    std::vector<ExpRoute> routes{{"sse2", true, RavoExpSse2}};
#if defined(__x86_64__)
    __builtin_cpu_init();
    const bool fma = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    routes.push_back({"avx", __builtin_cpu_supports("avx") != 0, RavoExpAvx});
    routes.push_back({"fma", fma, RavoExpFma});
    routes.push_back({"avx512",
                      fma && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
                          __builtin_cpu_supports("avx512dq"),
                      RavoExpAvx512});
#endif
    return routes;
}

std::vector<double> ExpOf(const ExpRoute& route, std::vector<double> x) {
    while (x.size() % 8) x.push_back(0.0);
    std::vector<double> e(x.size());
    route.exp(x.data(), e.data(), x.size());
    return e;
}

float FloatOf(std::uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

}  // namespace

TEST(RouteExp, StaysWithinItsBoundOnASampleOfFloats) {
    // Every 7919th float of [-746, 710], both signs, and a few where the
    // reduction or the scaling changes.
    std::vector<double> x = {0.0, -0.0, 0x1p-149, 0.5 * std::log(2.0), 1.0, -1.0, 88.7, 104.0, 709.4, -708.5, -745.1};
    for (std::uint32_t bits = 0; FloatOf(bits) <= 710.0f; bits += 7919) x.push_back(FloatOf(bits));
    for (std::uint32_t bits = 0x80000000u; FloatOf(bits) >= -746.0f; bits += 7919) x.push_back(FloatOf(bits));
    for (const ExpRoute& route : Routes()) {
        if (!route.present) continue;
        SCOPED_TRACE(route.name);
        const std::vector<double> e = ExpOf(route, x);
        for (std::size_t i = 0; i < x.size(); ++i) {
            const long double exact = std::exp(static_cast<long double>(x[i]));
            if (std::isinf(e[i])) {
                EXPECT_GT(exact, 0x1p1023L) << "x = " << x[i];
            } else {
                EXPECT_LE(std::fabs(e[i] - exact) / (1 + exact), kExpErrorBound) << "x = " << x[i];
            }
        }
    }
}

TEST(RouteExp, BeyondItsRangeGivesZeroInfinityOrNaN) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<double> x = {-inf, -1e300, -746.5, -708.8, 709.5, 710.5, 1e300, inf, std::nan("")};
    for (const ExpRoute& route : Routes()) {
        if (!route.present) continue;
        SCOPED_TRACE(route.name);
        const std::vector<double> e = ExpOf(route, x);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(e[i], 0.0) << "x = " << x[i];
        for (int i = 4; i < 8; ++i) EXPECT_EQ(e[i], inf) << "x = " << x[i];
        EXPECT_TRUE(std::isnan(e[8]));
    }
}
