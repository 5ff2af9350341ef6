#pragma once
// The Process menu's commands that delete: the purge of applicants past their
// purge date with their old scanned documents, the removal of applications that
// lost their requisition or applicant, the two-stage retirement of requisitions
// (marked, with a notice to each group's main user; later deleted with their
// applications and web pages), the removal of filled requisitions from the web,
// and the clean-up of old department contacts.
//
// Every change is a set-based statement over a slice of the table's row ids that
// commits by itself, so no transaction holds the database for long, other copies
// keep working, and a step stopped anywhere (Cancel, a crash) is finished by
// running it again. Only what the rules name is deleted:
//   - an empty date is no date: it has not passed;
//   - a document is deleted only when it is a regular file named
//     <applicant id>.<FileExt> in FileLocation, old enough, and no applicant has
//     that identifier (whatever his name, in any letter case); the directory is
//     listed once and compared with the applicants in SQL;
//   - a requisition goes with its applications in one unit, only once its web
//     directory is gone, and only while it is still marked at that moment.

#include "shared/operation.h"

#include <QDate>
#include <QElapsedTimer>
#include <QStringList>

#include <functional>
#include <memory>

namespace mw {

class FtpPublisher;
class TMerrowindData;
class UserTalk;

// What shows a purge at work: the "Perge/Delete" window. Without one, the steps go
// to the please-wait window.
struct PurgeView
{
    std::function<void()> show;               // the window appears, its animation runs
    std::function<void(const QString&)> step; // its step line
    std::function<void()> hide;
    std::function<bool()> cancelled;          // its Cancel was pressed; empty: it has none
    explicit operator bool() const { return bool(step); }
};

class PurgeDelete
{
public:
    PurgeDelete(TMerrowindData& data, UserTalk& talk, PurgeView view = {});
    ~PurgeDelete();
    PurgeDelete(const PurgeDelete&) = delete;
    PurgeDelete& operator=(const PurgeDelete&) = delete;

    int RecordCount = 0; // records deleted or marked by the last operation
    int FileCount = 0;   // documents deleted, or web directories removed
    int ApplicationsDeleted = 0; // orphans, and those of the requisitions deleted
    int ContactsDeleted = 0;
    int NoticesSent = 0;
    // What was not done, one line each with its reason, for the results box.
    QStringList FilesNotDeleted;   // "00000012.pdf: Permission denied"
    QStringList RequisitionsKept;  // "000123: the web directory could not be removed"
    QStringList GroupsNotTold;     // "PARKS: Could Not Connect To Mail Server. (...)"

    // The document directory as a purge may use it: FileLocation names an existing
    // directory and FileExt is set. Gives why not, else empty.
    QString documentDirectoryProblem() const;

    void PurgeApplicants();
    void DeleteOldScannedFiles();
    void DeleteOrphanApplications();
    void MarkOldRequisitions();
    bool SendDeleteNotice(const QString& group, const QStringList& body);
    void DeleteOldRequisitions();
    void RemoveFilledReqsFromWeb();
    void DeleteOldContacts();

    // Whether Cancel stopped the last operation (what was committed stays).
    bool stopped() const { return m_stopped; }

private:
    void step(const QString& text, bool always = true);
    bool stopRequested();
    // Runs a statement whose first two values are a row-id slice ("rid > ? AND
    // rid <= ?") over all of table, each slice committing by itself; gives the rows
    // changed.
    qint64 sliced(const QString& table, const QString& sql, const QVariantList& binds);
    // Deletes the requisition and its applications in one unit when it is still
    // marked; gives whether it was deleted.
    bool deleteRequisition(const QString& reqNumber);
    FtpPublisher& publisher();

    TMerrowindData& m_data;
    UserTalk& m_talk;
    PurgeView m_view;
    std::unique_ptr<FtpPublisher> m_publisher;
    bool m_stopped = false;
    bool m_mailDown = false;
    QElapsedTimer m_stepClock; // the step line changes at most every 100 ms where asked
};

// The data module's part of "&Purge Files": raises purge dates to the RIF and not
// rehirable expiry dates, so that a flagged applicant outlives his flag. Gives the
// records changed.
int RaisePurgeDates(TMerrowindData& data, UserTalk& talk);

// The five menu commands: the question, the progress, the operation and the
// results box, with the counts the command line prints.
OperationResult PurgeFilesCommand(TMerrowindData& data, UserTalk& talk, const PurgeView& view = {});
OperationResult DeleteOldRequisitionsCommand(TMerrowindData& data, UserTalk& talk, const PurgeView& view = {});
OperationResult MarkOldRequisitionsCommand(TMerrowindData& data, UserTalk& talk);
OperationResult RemoveFilledReqsFromWebCommand(TMerrowindData& data, UserTalk& talk);
OperationResult DeleteInvalidApplicationsCommand(TMerrowindData& data, UserTalk& talk, const PurgeView& view = {});

} // namespace mw
