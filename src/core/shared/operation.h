#pragma once
// One result for every long operation, and the common shape of a command that
// runs one: the "Are You Sure You Want To ..." question, the please-wait window,
// the work, then the results box ("Results From ...") or the error box. The
// windows, the command line and the tests all read the same result.
//
// While an operation runs, operationRunning() is true; whenNoOperation() holds an
// action (the main window's five-minute check) until the last one has ended.

#include <QList>
#include <QString>

#include <functional>

namespace mw {

class UserTalk;

class OperationResult
{
public:
    enum class Outcome {
        Done,      // the work ran to its end
        Declined,  // the user said No (or the command line was not told --yes)
        Cancelled, // the user pressed Cancel; what was committed before stays
        Failed,    // an error ended the work; error says which
    };
    struct Count
    {
        QString label; // as the results box names it, "Records Updated"
        qint64 value = 0;
    };

    static OperationResult done(const QString& resultText = QString());
    static OperationResult declined();
    static OperationResult cancelled(const QString& resultText = QString());
    static OperationResult failed(const QString& error);

    // Appends a count the operation reports.
    OperationResult& count(const QString& label, qint64 value);
    // The count of that label; -1 when the operation did not report it.
    qint64 countOf(const QString& label) const;

    bool isDone() const { return outcome == Outcome::Done; }
    bool isDeclined() const { return outcome == Outcome::Declined; }
    bool isCancelled() const { return outcome == Outcome::Cancelled; }
    bool isFailed() const { return outcome == Outcome::Failed; }
    // Whether records may have changed (the windows then read their tables again).
    bool changedData() const { return outcome == Outcome::Done || outcome == Outcome::Cancelled || outcome == Outcome::Failed; }

    // The exit status of `merrowind run`: 0 done, 1 failed, 2 declined, 4 cancelled.
    int exitStatus() const;
    // "done", "declined", "cancelled", "failed".
    QString outcomeName() const;

    Outcome outcome = Outcome::Done;
    QList<Count> counts;
    QString text;  // the results box, shown when done or cancelled (nothing when empty)
    QString error; // the error box, shown when failed
};

// How a command's operation is run.
struct OperationSteps
{
    QString question;        // asked first; empty asks nothing
    QString waitText;        // the please-wait window's line; empty shows none
    bool cancellable = false; // the please-wait window offers Cancel
    // The work. It reports progress and looks at Cancel through the talk, and
    // gives its result; an exception it raises ends it as failed.
    std::function<OperationResult(UserTalk&)> work;
};

// Runs the steps: the question (No gives declined, nothing done), the please-wait
// window while the work runs, then the results box (done, cancelled) or the error
// box (failed). Gives the work's result.
OperationResult runOperation(UserTalk& talk, const OperationSteps& steps);

// Marks an operation as running for as long as it lives. runOperation makes one;
// work that runs outside it (a window's own loop) may make its own.
class OperationScope
{
public:
    OperationScope();
    ~OperationScope();
    OperationScope(const OperationScope&) = delete;
    OperationScope& operator=(const OperationScope&) = delete;
};

bool operationRunning();
// Runs the action now when no operation is running, else once the last running
// operation has ended (actions held meanwhile run in the order given).
void whenNoOperation(std::function<void()> action);

} // namespace mw
