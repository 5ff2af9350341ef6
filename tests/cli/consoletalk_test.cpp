// The console user talk: questions without --yes, results and errors on their
// streams, progress lines, Ctrl-C as Cancel.

#include "commands/consoletalk.h"
#include "shared/operation.h"

#include <gtest/gtest.h>

#include <csignal>

using namespace mw;

namespace {

struct Console
{
    QString outText, errText;
    QTextStream out{&outText};
    QTextStream err{&errText};
};

} // namespace

TEST(ConsoleTalk, ResultsGoToOutputEverythingElseToErrors)
{
    for (const bool yes : {true, false}) {
        SCOPED_TRACE(yes ? "--yes" : "without --yes");
        Console c;
        ConsoleTalk talk(c.out, c.err, {yes, false, 0, 0, 0});
        const OperationResult r = runOperation(
            talk, {QStringLiteral("Are You Sure You Want To Count?"), QStringLiteral("Please Wait, Counting"), true,
                   [](UserTalk& t) {
                       for (int i = 1; i <= 3; ++i)
                           t.progress(i, 3);
                       return OperationResult::done(QStringLiteral("Results From Counting:\n\nCounted: 3"));
                   }});
        EXPECT_EQ(r.isDone(), yes);
        EXPECT_EQ(talk.declinedForWantOfYes(), !yes);
        EXPECT_EQ(c.outText, yes ? QStringLiteral("Results From Counting:\n\nCounted: 3\n") : QString());
        EXPECT_TRUE(c.errText.startsWith(QStringLiteral("Are You Sure You Want To Count?")));
        EXPECT_EQ(c.errText.contains(QStringLiteral("Please Wait, Counting: 3 of 3 (100%)")), yes);
    }
    Console c;
    ConsoleTalk talk(c.out, c.err, {});
    talk.error(QStringLiteral("Disk full"));
    EXPECT_EQ(c.errText, QStringLiteral("Error: Disk full\n"));
    EXPECT_TRUE(c.outText.isEmpty());
}

TEST(ConsoleTalk, ATerminalGetsOneUpdatingLine)
{
    Console c;
    ConsoleTalk talk(c.out, c.err, {true, true, 0, 0, 0});
    talk.beginWait(QStringLiteral("Reading"));
    talk.progress(1, 4);
    talk.progress(2, 4);
    talk.endWait();
    talk.inform(QStringLiteral("Done"));
    EXPECT_EQ(c.errText, QStringLiteral("Reading\n\rReading: 1 of 4 (25%)   \rReading: 2 of 4 (50%)   \n"));
    EXPECT_EQ(c.outText, QStringLiteral("Done\n"));
}

TEST(ConsoleTalk, TryAgainIsAnsweredALimitedNumberOfTimesAndOnlyWithYes)
{
    Console c;
    ConsoleTalk without(c.out, c.err, {false, false, 0, 3, 0});
    EXPECT_FALSE(without.retry(QStringLiteral("Open Error"), QStringLiteral("Could not open")));
    ConsoleTalk with(c.out, c.err, {true, false, 0, 2, 0});
    EXPECT_TRUE(with.retry(QStringLiteral("Open Error"), QStringLiteral("Could not open")));
    EXPECT_TRUE(with.retry(QStringLiteral("Open Error"), QStringLiteral("Could not open")));
    EXPECT_FALSE(with.retry(QStringLiteral("Open Error"), QStringLiteral("Could not open"))) << "gives up in the end";
}

TEST(ConsoleTalk, CtrlCIsTheCancelButton)
{
    ConsoleTalk::setInterrupted(false);
    ConsoleTalk::installInterruptHandler();
    Console c;
    ConsoleTalk talk(c.out, c.err, {true, false, 0, 0, 0});
    int items = 0;
    const OperationResult r = runOperation(
        talk, {QString(), QStringLiteral("Please Wait"), true, [&](UserTalk& t) {
                   for (; items < 1000; ++items) {
                       if (items == 5)
                           std::raise(SIGINT); // as the terminal sends it
                       if (t.cancelled())
                           return OperationResult::cancelled(QStringLiteral("Stopped after %1").arg(items));
                   }
                   return OperationResult::done();
               }});
    EXPECT_TRUE(r.isCancelled());
    EXPECT_EQ(r.exitStatus(), 4);
    EXPECT_EQ(items, 5) << "stops at the next item";
    EXPECT_EQ(c.outText, QStringLiteral("Stopped after 5\n"));
    ConsoleTalk::setInterrupted(false);
    std::signal(SIGINT, SIG_DFL);
}
