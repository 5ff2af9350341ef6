#include "shared/operation.h"

#include "shared/usertalk.h"

#include <exception>
#include <optional>
#include <vector>

namespace mw {

namespace {

// Operations run on the window thread only, so plain counters suffice.
int g_running = 0;
std::vector<std::function<void()>> g_held;

} // namespace

OperationResult OperationResult::done(const QString& resultText)
{
    OperationResult r;
    r.outcome = Outcome::Done;
    r.text = resultText;
    return r;
}

OperationResult OperationResult::declined()
{
    OperationResult r;
    r.outcome = Outcome::Declined;
    return r;
}

OperationResult OperationResult::cancelled(const QString& resultText)
{
    OperationResult r;
    r.outcome = Outcome::Cancelled;
    r.text = resultText;
    return r;
}

OperationResult OperationResult::failed(const QString& error)
{
    OperationResult r;
    r.outcome = Outcome::Failed;
    r.error = error;
    return r;
}

OperationResult& OperationResult::count(const QString& label, qint64 value)
{
    counts.append({label, value});
    return *this;
}

qint64 OperationResult::countOf(const QString& label) const
{
    for (const Count& c : counts)
        if (c.label == label)
            return c.value;
    return -1;
}

int OperationResult::exitStatus() const
{
    switch (outcome) {
    case Outcome::Done:
        return 0;
    case Outcome::Failed:
        return 1;
    case Outcome::Declined:
        return 2;
    case Outcome::Cancelled:
        return 4;
    }
    return 1;
}

QString OperationResult::outcomeName() const
{
    switch (outcome) {
    case Outcome::Done:
        return QStringLiteral("done");
    case Outcome::Declined:
        return QStringLiteral("declined");
    case Outcome::Cancelled:
        return QStringLiteral("cancelled");
    case Outcome::Failed:
        return QStringLiteral("failed");
    }
    return QString();
}

OperationResult runOperation(UserTalk& talk, const OperationSteps& steps)
{
    if (!steps.question.isEmpty() && !talk.ask(steps.question))
        return OperationResult::declined();
    OperationResult result;
    {
        OperationScope running;
        std::optional<WaitScope> wait;
        if (!steps.waitText.isEmpty())
            wait.emplace(talk, steps.waitText, steps.cancellable);
        try {
            result = steps.work(talk);
        } catch (const std::exception& e) {
            result = OperationResult::failed(QString::fromStdString(e.what()));
        }
    }
    if (result.isFailed())
        talk.error(result.error);
    else if ((result.isDone() || result.isCancelled()) && !result.text.isEmpty())
        talk.inform(result.text);
    return result;
}

OperationScope::OperationScope() { ++g_running; }

OperationScope::~OperationScope()
{
    if (--g_running > 0)
        return;
    // An action may itself start an operation and hold further actions.
    while (g_running == 0 && !g_held.empty()) {
        std::function<void()> next = std::move(g_held.front());
        g_held.erase(g_held.begin());
        next();
    }
}

bool operationRunning() { return g_running > 0; }

void whenNoOperation(std::function<void()> action)
{
    if (g_running == 0)
        action();
    else
        g_held.push_back(std::move(action));
}

} // namespace mw
