#pragma once
// New-application notices: each job posting group's followers hear which
// requisitions of the group have applications nobody has reviewed yet, with
// their counts; users who follow all jobs get one notice of every group. Sent
// after an all-data import, from the Import menu and by `merrowind run notify`.
// Switched off by the general setting InformUsers.
//
// The lines of every group come from one grouped query, read once per run. A
// follower without an address adds nobody, and an address is written once. When
// the mail server cannot be reached the rest of the run is skipped, and the
// run's result says so once.

#include "datastore/choices.h"
#include "shared/operation.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

namespace mw {

class TMerrowindData;
class UserTalk;

class Notices
{
public:
    Notices(TMerrowindData& data, UserTalk& talk);

    // The notices of one group, or of every group followed by the all-jobs notice.
    void NotifyPostingGroups(const QString& group = QString());
    // The all-jobs notice to one user, or to every user who follows all jobs.
    void NotifyAllJobsUsers(const QString& user = QString());
    // The notices of every group the user follows, to his own address.
    void NotifyUser(const QString& user);
    // Builds one notice of a group (empty: every group) and sends it when it has a
    // requisition line and a recipient. True when it went out.
    bool SendNewApplicantsNotice(const QString& group, const QString& subjectText, const QStringList& recipients);

    // The body lines of a group's notice after the first two (empty group: all).
    QStringList noticeLines(const QString& group);

    int sent() const { return m_sent; }
    int failed() const { return m_failed; }
    int skipped() const { return m_skipped; } // not tried: the mail server was down
    // What a run comes to, for the results box and the command line.
    OperationResult result() const;

private:
    bool guard();
    void readLines();

    TMerrowindData& m_data;
    UserTalk& m_talk;
    // Requisition lines by group, and all of them in order; read on first use.
    std::optional<QHash<QString, QStringList>> m_lines;
    QStringList m_allLines;
    bool m_serverDown = false;
    int m_depth = 0; // the outermost call checks the guard
    int m_sent = 0;
    int m_failed = 0;
    int m_skipped = 0;
};

// The three Import menu commands and `merrowind run notify`. Nothing happens with
// InformUsers off (declined). notifyAll asks "Are You Sure You Want To Resend The
// Notification List?" first; notifyGroup too unless its dialog asked already.
OperationResult notifyAll(TMerrowindData& data, UserTalk& talk);
OperationResult notifyGroup(TMerrowindData& data, UserTalk& talk, const QString& group, bool askFirst = true);
// The user's record is loaded first: one without an address is refused with
// "Error: This Employee Does Not Have An E-Mail Address!". Its dialog has asked.
OperationResult notifyOneUser(TMerrowindData& data, UserTalk& talk, const QString& user);

// The question the notify dialogs ask on OK.
QString notifyQuestion();
// What OK of the notify dialogs says when nothing is chosen; empty when it may go on.
QString notifyUserChoiceError(const QString& userId);
QString notifyGroupChoiceError(const QString& group);

} // namespace mw
