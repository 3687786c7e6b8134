#include "app/Worker.h"

#include "base/Errors.h"
#include "base/Messages.h"

TWorker::TWorker(QObject* parent) : QObject(parent)
{
    fPoll.setInterval(PollMs);
    connect(&fPoll, &QTimer::timeout, this, &TWorker::Poll);
}

TWorker::~TWorker() { Abandon(); }

void TWorker::Start(TStep step, TEnd end)
{
    if (Running())
        throw EBrelvanError(QStringLiteral("別の処理を実行中です"));
    fStop.store(false, std::memory_order_relaxed);
    fEnded.store(false, std::memory_order_relaxed);
    fDone.store(0, std::memory_order_relaxed);
    fTotal.store(0, std::memory_order_relaxed);
    fError = nullptr;
    fShownDone = -1;
    fEnd = std::move(end);
    fClock.start();
    // The new thread sees everything written before it starts.
    fThread = std::thread([this, step = std::move(step)] {
        const TStepControl control{&fStop, [this](std::int64_t done, std::int64_t total) {
                                       fTotal.store(total, std::memory_order_relaxed);
                                       fDone.store(done, std::memory_order_relaxed);
                                   }};
        try {
            step(control);
        } catch (...) {
            fError = std::current_exception();
        }
        fEnded.store(true, std::memory_order_release);
        // No need to wait for the timer: a queued call (made by Qt, carrying
        // nothing) looks now.
        QMetaObject::invokeMethod(this, "Poll", Qt::QueuedConnection);
    });
    fPoll.start();
}

void TWorker::Abandon()
{
    fPoll.stop();
    if (!fThread.joinable())
        return;
    RequestStop();
    fThread.join();
    fEnd = nullptr;
    fError = nullptr;
}

void TWorker::Poll()
{
    if (!fThread.joinable())
        return;   // a late call after the step's end was seen
    const bool ended = fEnded.load(std::memory_order_acquire);
    if (Done() != fShownDone) {
        fShownDone = Done();
        emit progressed(fShownDone, Total());
    }
    if (!ended)
        return;
    fPoll.stop();
    fThread.join();   // everything the step wrote is in view from here on
    const TEnd end = std::move(fEnd);
    fEnd = nullptr;
    const std::exception_ptr error = fError;
    fError = nullptr;
    if (end)
        Guarded([&] { end(error); });
}
