#include "prices/NetworkSteps.h"

#include "prices/BrelvanPrices.h"
#include "prices/Windows.h"

#include <algorithm>

namespace {

// Windows run between two looks at the stop flag and two progress reports.
constexpr std::int32_t kWindowsPerBlock = 4096;

}  // namespace

std::int32_t TrainPasses(TRavoAnn& ann, const std::vector<TData>& data, std::int32_t Iil, std::int32_t Iol,
                         std::int32_t windows, std::int32_t passes, const TStepControl& control)
{
    // The loop allocates nothing: the two vectors are refilled for every window.
    std::vector<float> ip(std::size_t(std::max(Iil, 0)));
    std::vector<float> op(std::size_t(std::max(Iol, 0)));
    const TData* rows = data.data();
    std::int32_t done = 0;
    while (done < passes && !control.StopRequested()) {
        for (std::int32_t i = 0; i < windows; ++i) {
            for (std::int32_t j = 0; j < Iil; ++j)
                ip[std::size_t(j)] = rows[i + j].EndV;
            for (std::int32_t k = 0; k < Iol; ++k)
                op[std::size_t(k)] = rows[TrainingTarget(i, Iil, k)].EndV;
            ann.Train(ip, op);
        }
        ++done;
        if (control.Progress)
            control.Progress(done, passes);
    }
    return done;
}

TWholePeriodOutputs WholePeriodOutputs(TRavoAnn& ann, const std::vector<TData>& data, std::int32_t Iil,
                                       std::int32_t Iol, std::int32_t windows, const TStepControl& control)
{
    TWholePeriodOutputs outputs;
    outputs.Values.resize(2 * std::size_t(std::max(windows, 0)));
    std::vector<float> ip(std::size_t(std::max(Iil, 0)), 0.0f);
    std::vector<float> op;
    const TData* rows = data.data();
    for (std::int32_t i = 0; i < windows; ++i) {
        if (i % kWindowsPerBlock == 0) {
            if (i > 0 && control.Progress)
                control.Progress(i, windows);
            if (control.StopRequested())
                break;
        }
        for (std::int32_t j = 0; j < Iil; ++j)
            ip[std::size_t(j)] = rows[i + j].EndV;
        ann.Run(ip, op);
        outputs.Used = std::min({int(op.size()), int(std::max(Iol, 0)), 2});
        for (int k = 0; k < outputs.Used; ++k)
            outputs.Values[2 * std::size_t(i) + std::size_t(k)] = op[std::size_t(k)];
        outputs.Done = i + 1;
    }
    if (control.Progress)
        control.Progress(outputs.Done, windows);
    return outputs;
}
