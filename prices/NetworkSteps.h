// The network's share of the two long commands, as plain functions over the
// network and the price rows: the passes of the training run and the outputs
// of the whole-period prediction.  They touch nothing else, read a stop flag
// between their units of work and report how far they are, so that a caller
// may run them on a thread of its own while nothing else uses the network or
// the rows; the commands' synchronous forms call them directly.
#pragma once

#include "ann/URavoAnn.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

struct TData;

// How a step is stopped and followed.  Stop is read between units of work
// (nullptr: the step runs to its end); Progress, when set, is called on the
// step's thread with the units done and the units in all.
struct TStepControl {
    const std::atomic<bool>* Stop = nullptr;
    std::function<void(std::int64_t done, std::int64_t total)> Progress;

    bool StopRequested() const { return Stop && Stop->load(std::memory_order_relaxed); }
};

// The training run's passes: up to `passes` passes over windows 0 ..
// windows - 1, each window's Iil closes from data[i] on as inputs and the
// Iol closes after them as targets, one Train per window in ascending order.
// A stop requested takes effect before the next pass (units: passes).
// Returns the passes done.  The caller checks that every element a window
// reads exists.
std::int32_t TrainPasses(TRavoAnn& ann, const std::vector<TData>& data, std::int32_t Iil, std::int32_t Iol,
                         std::int32_t windows, std::int32_t passes, const TStepControl& control = {});

// The network's first two outputs over windows 0 .. windows - 1 of the
// whole-period prediction (window i: the Iil closes from data[i] on).
struct TWholePeriodOutputs {
    int Used = 0;                 // outputs kept per window: 0, 1 or 2
    std::int32_t Done = 0;        // windows run
    std::vector<float> Values;    // output k of window i at [2 i + k]
};

// Runs the network once per window in ascending order; Used is the number
// of outputs the network has, at most Iol and at most 2.  A stop requested
// takes effect between blocks of windows (units: windows).
TWholePeriodOutputs WholePeriodOutputs(TRavoAnn& ann, const std::vector<TData>& data, std::int32_t Iil,
                                       std::int32_t Iol, std::int32_t windows, const TStepControl& control = {});
