#include "shared/transfer.h"

#include "shared/usertalk.h"

#include <QCoreApplication>
#include <QThread>

#include <exception>
#include <future>

namespace mw {

bool runTransfer(UserTalk& talk, const std::function<void(TransferState&)>& work,
                 const std::function<void(const QString&)>& onStep, const std::function<bool()>& stopRequested)
{
    TransferState state;
    std::exception_ptr failure;
    auto done = std::async(std::launch::async, [&] {
        try {
            work(state);
        } catch (...) {
            failure = std::current_exception();
        }
    });
    // The window thread: progress and Cancel at the please-wait window's pace.
    auto tellStep = [&] {
        if (!onStep)
            return;
        const QString step = state.takeStep();
        if (!step.isNull())
            onStep(step);
    };
    while (done.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
        // Whoever talks, the calling thread's own events (a window's close box) go on.
        QCoreApplication::processEvents();
        tellStep();
        talk.progress(state.done(), state.total());
        if (!state.stop() && (talk.cancelled() || (stopRequested && stopRequested())))
            state.requestStop();
    }
    done.get();
    tellStep();
    if (failure)
        std::rethrow_exception(failure);
    return !state.stop();
}

} // namespace mw
