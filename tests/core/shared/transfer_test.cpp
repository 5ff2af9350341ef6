// A transfer on its own thread: the calling thread keeps talking to the user,
// Cancel reaches the work as a stop request, failures come back to the caller.

#include "scriptedtalk.h"
#include "shared/transfer.h"

#include <QThread>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace mw;

namespace {

// Records on which thread the talk was spoken to.
class ThreadTalk : public mwtest::ScriptedTalk
{
public:
    void progress(qint64 done, qint64 total) override
    {
        ScriptedTalk::progress(done, total);
        if (QThread::currentThread() != m_home)
            ++m_foreign;
        m_last = done;
    }
    int foreign() const { return m_foreign; }
    qint64 last() const { return m_last; }

private:
    QThread* m_home = QThread::currentThread();
    int m_foreign = 0;
    qint64 m_last = -1;
};

} // namespace

TEST(Transfer, TheCallerKeepsTalkingWhileTheWorkRunsAndCancelStopsIt)
{
    ThreadTalk talk;
    QThread* workThread = nullptr;
    const bool finished = runTransfer(talk, [&](TransferState& s) {
        workThread = QThread::currentThread();
        for (int i = 1; i <= 5; ++i) {
            s.setProgress(i, 5);
            QThread::msleep(60);
        }
    });
    EXPECT_TRUE(finished);
    EXPECT_NE(workThread, QThread::currentThread());
    EXPECT_EQ(talk.foreign(), 0) << "the talk is spoken to on the calling thread only";

    ThreadTalk cancelling;
    cancelling.cancelAfter(2);
    int rounds = 0;
    const bool completed = runTransfer(cancelling, [&](TransferState& s) {
        while (!s.stop() && rounds < 1000) { // a transfer that would take 100 s
            ++rounds;
            s.setProgress(rounds, 1000);
            QThread::msleep(100);
        }
    });
    EXPECT_FALSE(completed);
    EXPECT_LT(rounds, 1000) << "the work saw the stop request";
}

TEST(Transfer, AFailureOfTheWorkReachesTheCaller)
{
    mwtest::ScriptedTalk talk;
    EXPECT_THROW(runTransfer(talk, [](TransferState&) { throw std::runtime_error("Connection refused"); }),
                 std::runtime_error);
}
