// TWorker: runs one long step at a time on a thread of its own, for the
// window, which stays free to paint and to react meanwhile.
//
// The step gets a TStepControl: the stop flag that RequestStop sets and a
// progress report.  Nothing else passes between the threads while the step
// runs: the progress is kept in atomics that the window's thread reads on a
// timer, and the step's end is seen there the same way (the step's thread
// wakes the window's thread up at once when it ends); the thread is then
// joined before the window's thread goes on, so that everything the step
// wrote is in view.  An error the step raises is carried over and handed to
// the end handler.  Whatever the step works on must not be touched by anyone
// else until its end handler runs.
#pragma once

#include "prices/NetworkSteps.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <thread>

class TWorker : public QObject {
    Q_OBJECT
public:
    using TStep = std::function<void(const TStepControl& control)>;
    using TEnd = std::function<void(std::exception_ptr error)>;

    explicit TWorker(QObject* parent = nullptr);
    ~TWorker() override;   // asks a running step to stop and waits for its end

    // Starts the step on the worker's thread.  When it has ended, `end` runs
    // on this object's thread with the step's error (none: null).  Refused
    // (EBrelvanError) while a step runs.
    void Start(TStep step, TEnd end);
    bool Running() const { return fThread.joinable(); }

    void RequestStop() { fStop.store(true, std::memory_order_relaxed); }
    bool StopRequested() const { return fStop.load(std::memory_order_relaxed); }

    // How far the running step is, as it last reported (0 of 0 before its first report).
    std::int64_t Done() const { return fDone.load(std::memory_order_relaxed); }
    std::int64_t Total() const { return fTotal.load(std::memory_order_relaxed); }
    qint64 ElapsedMs() const { return fClock.elapsed(); }

    // Asks a running step to stop and waits for its end without running the
    // end handler: for an owner that goes away.
    void Abandon();

    // How often the window's thread looks at the step, in milliseconds.
    static constexpr int PollMs = 40;

signals:
    // On this object's thread while a step runs, whenever its report moved on.
    void progressed(qint64 done, qint64 total);

private:
    Q_INVOKABLE void Poll();

    std::thread fThread;
    std::atomic<bool> fStop{false};
    std::atomic<bool> fEnded{false};
    std::atomic<std::int64_t> fDone{0};
    std::atomic<std::int64_t> fTotal{0};
    std::exception_ptr fError;   // written by the step's thread before fEnded
    TEnd fEnd;
    QTimer fPoll;
    QElapsedTimer fClock;
    std::int64_t fShownDone = -1;
};
