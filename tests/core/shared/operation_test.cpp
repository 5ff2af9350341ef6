// The common shape of a long operation: question, please-wait window, work, and
// the one result it gives; the hold on actions while an operation runs.

#include "scriptedtalk.h"
#include "shared/clock.h"
#include "shared/operation.h"
#include "shared/progress.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace mw;
using mwtest::ScriptedTalk;

namespace {

OperationSteps steps(std::function<OperationResult(UserTalk&)> work)
{
    return {QStringLiteral("Are You Sure You Want To Test?"), QStringLiteral("Please Wait"), true, std::move(work)};
}

} // namespace

TEST(Operation, EachOutcomeIsToldApartAndShownOnce)
{
    const struct
    {
        const char* name;
        bool yes;
        std::function<OperationResult(UserTalk&)> work;
        OperationResult::Outcome outcome;
        int exitStatus;
        QStringList informed;
        QStringList errors;
    } cases[] = {
        {"done", true, [](UserTalk&) { return OperationResult::done(QStringLiteral("Results From Test")).count(QStringLiteral("Records Updated"), 3); },
         OperationResult::Outcome::Done, 0, {QStringLiteral("Results From Test")}, {}},
        {"declined", false, [](UserTalk&) -> OperationResult { ADD_FAILURE() << "ran after No"; return {}; },
         OperationResult::Outcome::Declined, 2, {}, {}},
        {"cancelled", true, [](UserTalk&) { return OperationResult::cancelled(QStringLiteral("Stopped after 2")); },
         OperationResult::Outcome::Cancelled, 4, {QStringLiteral("Stopped after 2")}, {}},
        {"failed", true, [](UserTalk&) { return OperationResult::failed(QStringLiteral("Disk full")); },
         OperationResult::Outcome::Failed, 1, {}, {QStringLiteral("Disk full")}},
        {"thrown", true, [](UserTalk&) -> OperationResult { throw std::runtime_error("Table is busy."); },
         OperationResult::Outcome::Failed, 1, {}, {QStringLiteral("Table is busy.")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedTalk talk;
        talk.answer({c.yes});
        const OperationResult r = runOperation(talk, steps(c.work));
        EXPECT_EQ(r.outcome, c.outcome);
        EXPECT_EQ(r.exitStatus(), c.exitStatus);
        EXPECT_EQ(r.outcomeName(), QLatin1String(c.name) == QLatin1String("thrown") ? QStringLiteral("failed") : QLatin1String(c.name));
        EXPECT_EQ(talk.questions(), QStringList{QStringLiteral("Are You Sure You Want To Test?")});
        EXPECT_EQ(talk.texts(ScriptedTalk::Said::Wait).size(), c.yes ? 1 : 0);
        EXPECT_EQ(talk.informations(), c.informed);
        EXPECT_EQ(talk.errors(), c.errors);
        EXPECT_EQ(talk.openWaits(), 0) << "the please-wait window is gone before the results box";
        EXPECT_FALSE(operationRunning());
    }
    const OperationResult done = OperationResult::done().count(QStringLiteral("A"), 3).count(QStringLiteral("B"), 0);
    EXPECT_EQ(done.countOf(QStringLiteral("A")), 3);
    EXPECT_EQ(done.countOf(QStringLiteral("B")), 0);
    EXPECT_EQ(done.countOf(QStringLiteral("C")), -1);
}

TEST(Operation, ActionsWaitForTheRunningOperationToEnd)
{
    QStringList order;
    whenNoOperation([&] { order << QStringLiteral("idle"); });
    ScriptedTalk talk;
    talk.answer({true});
    runOperation(talk, steps([&](UserTalk&) {
        EXPECT_TRUE(operationRunning());
        // The five-minute check fires during the work: it waits.
        whenNoOperation([&] { order << QStringLiteral("held 1"); });
        {
            OperationScope inner; // an operation inside an operation
            whenNoOperation([&] { order << QStringLiteral("held 2"); });
        }
        EXPECT_EQ(order, QStringList{QStringLiteral("idle")}) << "nothing runs while the outer one works";
        order << QStringLiteral("work");
        return OperationResult::done();
    }));
    EXPECT_EQ(order, (QStringList{QStringLiteral("idle"), QStringLiteral("work"), QStringLiteral("held 1"),
                                  QStringLiteral("held 2")}));
    EXPECT_FALSE(operationRunning());
}

TEST(Clock, TheSetDayIsEveryonesToday)
{
    EXPECT_FALSE(Clock::isSet());
    EXPECT_EQ(Clock::today(), QDate::currentDate());
    Clock::setToday(QDate(2026, 2, 28));
    EXPECT_EQ(Clock::today(), QDate(2026, 2, 28));
    EXPECT_EQ(Clock::now().date(), QDate(2026, 2, 28));
    Clock::setToday(QDate());
    EXPECT_EQ(Clock::today(), QDate::currentDate());
}

TEST(ProgressMeter, TellsTheFirstAndLastStepsAndHearsCancel)
{
    ScriptedTalk talk;
    ProgressMeter meter(talk, 100000, 60 * 1000); // a minute between reports
    for (qint64 i = 1; i <= 100000; ++i)
        ASSERT_TRUE(meter.step(i));
    EXPECT_EQ(meter.reports(), 2) << "the first step, then the last, nothing between";

    ScriptedTalk cancelling;
    cancelling.cancelAfter(1);
    ProgressMeter stopped(cancelling, 10, 0);
    EXPECT_FALSE(stopped.step(1));
    EXPECT_FALSE(stopped.step(2)) << "stays cancelled";
    EXPECT_EQ(stopped.reports(), 1);
}
