#include "shared/transfer.h"

#include "shared/usertalk.h"

#include <QThread>

#include <exception>
#include <future>

namespace mw {

bool runTransfer(UserTalk& talk, const std::function<void(TransferState&)>& work)
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
    while (done.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
        talk.progress(state.done(), state.total());
        if (!state.stop() && talk.cancelled())
            state.requestStop();
    }
    done.get();
    if (failure)
        std::rethrow_exception(failure);
    return !state.stop();
}

} // namespace mw
