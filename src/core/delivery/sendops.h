#pragma once
// Delivering a requisition's approved applications, or its standard forms, to the
// hiring department, and keeping the record of what the department received: each
// application's sent date (SemtDate) and the requisition's initial and final forms
// flags (SendFirstData, FinalSent). The requisition window, the applicants window,
// the applicant activity window and `merrowind run send` start them.
//
// The record is the truth after every failure, cancel and crash: nothing is
// stamped before the message went out. A sent date is written only for an
// application whose document (or, on the web, whose link) went out in a message
// the mail server took for at least one of the department's addresses, and a forms
// flag only when every form did; a message that reached nobody counts for nothing.
// A web requisition's documents are uploaded and verified first, the message
// follows, then the dates, and the department's index page last, so that it
// links exactly the applications the database says were sent. A failed step stops
// the steps after it; the run can be repeated as it is (documents already whole on
// the server are not sent again).
//
// Each operation speaks to the user through the talk as it goes (its questions,
// the warning about missing documents, the errors with their causes) and returns
// what came of it: done, declined (a No, "Operation Aborted"), cancelled, or
// failed. Everything the user must hear has been said when it returns: the
// result's error repeats the failure for the caller's record and is not shown again.
// The generated files (memo, flow files) live in a directory of the operation's
// own that goes with it; the mail keeps its copies of the attachments to itself.
// Templates are read from the working directory. A requisition without an e-mail
// address gets nothing: the question about printing is asked, and printing is
// not offered, so either answer sends nothing and dates nothing.

#include "shared/operation.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <utility>

namespace mw {

class FtpPublisher;
class MailSend;
class TMerrowindData;
class TRequistionData;
class UserTalk;
struct ExtraFiles;

// What SetSentDate wrote: the day, and each application's sent date before it
// (an invalid date: it had none), so that exactly those can be given back.
struct SentStamp
{
    QString reqNumber;
    QDate day;
    QList<std::pair<QString, QDate>> previous; // applicant identifier, sent date before
    bool isEmpty() const { return previous.isEmpty(); }
};

// Stamps today's date as the sent date of the requisition's applications of those
// applicants, all of them or none. Nothing for an empty list.
SentStamp SetSentDate(TMerrowindData& data, const QStringList& applicants, const QString& reqNumber);
// Gives each stamped application back the sent date it had before the stamp, also
// on a later day; an application whose date was changed since keeps the new one.
// For a caller that stamps before a step that may fail; the operations below stamp
// only what went out, and need it not.
// Gives the number of applications given back (one that had the stamp's day
// before needs nothing).
int ClearSentDate(TMerrowindData& data, const SentStamp& stamp);

class SendOperations
{
public:
    SendOperations(TMerrowindData& data, UserTalk& talk);
    ~SendOperations();
    SendOperations(const SendOperations&) = delete;
    SendOperations& operator=(const SendOperations&) = delete;

    // The extra files the user picked for the next department message (may be null).
    ExtraFiles* Extra = nullptr;
    // The e-mail window shows a send: called with the message filled in, before it goes.
    std::function<void(MailSend&)> ShowMail;
    // The FTP window shows the uploads: called once, when the publisher is made.
    std::function<void(FtpPublisher&)> ShowFtp;

    // The approved applications: one applicant's, the unsent ones, all of them
    // (applications whose date of application is after the requisition's close date
    // are not sent by the last two), or again those sent on a day ("mm/dd/yyyy"),
    // approved or not, whose sent dates then stay as they are.
    OperationResult SendApplication(const QString& reqNumber, const QString& applicantId);
    OperationResult SendUnsentApplications(const QString& reqNumber);
    OperationResult SendAllApplications(const QString& reqNumber);
    OperationResult ResendApplications(const QString& reqNumber, const QString& sentDate);
    // The forms of the directories the settings name, the memo for initial forms and
    // the flow files for final forms (when the settings ask for them).
    OperationResult SendInitialForms(const QString& reqNumber);
    OperationResult SendFinalForms(const QString& reqNumber);
    // SendUnsentApplications for every open requisition of the job posting groups
    // that begin with group (any letter case) having approved, scanned, unsent
    // applications; for a restricted user only those of his groups.
    OperationResult SendNewApplicationsForGroup(const QString& group);

    // Whether the requisition's selection criteria were submitted; tells when not.
    bool CheckSelectionCriteria(const TRequistionData& requisition);
    // Offers to send the initial forms when they were not sent; the result of the
    // forms' send, or done when nothing was asked or the answer was No.
    OperationResult CheckInitialForms(const TRequistionData& requisition);

    // "Requisition: " number title, line break, "Department: " department.
    static QString requisitionLines(const TRequistionData& requisition);

private:
    enum class Selection { One, Unsent, All, Resend };
    enum class Forms { Initial, Final };

    OperationResult sendApplications(Selection selection, const QString& reqNumber, const QString& argument);
    OperationResult sendForms(Forms forms, const QString& reqNumber);
    // The applicants of the applications the selection takes, in the order stored.
    QStringList selected(Selection selection, const TRequistionData& requisition, const QString& argument);
    // Shows and sends the message; tells a message that had no recipient.
    void send(MailSend& mail);
    // After the send: cancelled, the mail's failure, a failure after it (problems,
    // told already), or done.
    OperationResult outcome(const MailSend& mail, const QStringList& problems) const;
    // Runs an operation: marked as running, an error it raises told and failed.
    OperationResult guarded(const std::function<OperationResult()>& work);
    bool loadRequisition(const QString& reqNumber, TRequistionData& requisition, OperationResult& refusal);
    FtpPublisher& ftp();
    OperationResult fail(const QString& text);

    TMerrowindData& m_data;
    UserTalk& m_talk;
    std::unique_ptr<FtpPublisher> m_ftp; // one log-in for a whole operation, a group's included
    int m_depth = 0;                     // operations running (one may run another)
};

} // namespace mw
