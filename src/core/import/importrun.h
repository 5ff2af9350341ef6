#pragma once
// The import run: one HR export file into the applicants, requisitions and
// applications, then the follow-up chain (scanned documents, requisitions without
// a posting group, RIF and not-rehirable flags, new-application notices). No
// windows: the import window, `merrowind run import` and the tests drive it and
// hear from it through the user talk.
//
// Storing. An applicant is matched by ApplicantID and a requisition by ReqNumber;
// a match gets the fields the layout carries (an applicant also its DateLoaded),
// anything else is inserted with the table rules applied; an application is
// inserted only when its pair is new, and only by the all-data kind.
//
// Safety. Lines go in batches, each one transaction of up to a second. A
// line is stored whole or not at all: when one fails, the batch is taken back and
// its lines before the failing one are stored again and committed, so the lines
// before it stay stored and the run stops naming the line. Cancel, looked at
// between lines, commits the lines stored and stops. A process killed mid-run
// loses its open batch only, and running the file again completes it.
//
// Speed. Statements are prepared once per run; a record that a line repeats with
// the same values is not written again.

#include "import/importreader.h"
#include "shared/operation.h"

#include <QElapsedTimer>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>
#include <memory>

namespace mw {

class TMerrowindData;
class UserTalk;
class ImportFile;

// The defaults a new requisition takes from its contact's entry of the department
// contact table.
struct TDefaultDeptInfo
{
    QString EMailAddress;
    bool SendAsHTML = false;
    bool SendAsEMail = true;
    int MaxFiles = 0;
};

// What a run stored, or with a dry run would store. Records count once each.
struct ImportCounts
{
    qint64 lines = 0; // record lines read (not the skipped ones)
    qint64 applicantsInserted = 0;
    qint64 applicantsUpdated = 0;
    qint64 requisitionsInserted = 0;
    qint64 requisitionsUpdated = 0;
    qint64 applicationsInserted = 0;
};

class ImportRun
{
public:
    ImportRun(TMerrowindData& data, UserTalk& talk);
    ~ImportRun();
    ImportRun(const ImportRun&) = delete;
    ImportRun& operator=(const ImportRun&) = delete;

    int ImportKind = ImportAllData;
    bool Importing = false; // a run is under way
    bool Aborted = false;   // Cancel was pressed: the run stops before the next line or step
    int ScannedSetCount = 0;
    int ScannedClearedCount = 0;

    // The file to read; empty takes the one the settings name for the kind.
    QString FileName;
    // Read and check the whole file, change nothing, and tell what would be stored
    // and which lines would stop the run. No follow-up steps.
    bool DryRun = false;
    // How long a batch may stay open before it is committed (milliseconds), and
    // its most lines.
    int BatchMs = 1000;
    int BatchLines = 50000;
    // How often progress goes to the talk and Cancel is looked at (milliseconds).
    int ProgressMs = 100;
    // Told the number of record lines read, at most every ~100 ms (the window's
    // "Records Imported = n").
    std::function<void(qint64 records)> RecordsImported;

    // The whole run (the Import button). Errors are told through the talk as they
    // happen, as is the list of requisitions without a posting group; the result
    // carries the counts ("Lines Read", "Applicants Inserted", ...) and, when it
    // failed, the error. Importing is false again however it ends.
    OperationResult run();

    // The steps of the run, public for the window and the tests.
    // The lines of the file; false when the run must stop (error told, or cancelled).
    bool ImportScanData();
    // Whether the file was missing or unnamed (the follow-up steps still run).
    bool fileMissing() const { return m_fileMissing; }
    // The follow-up chain, each step only while not Aborted.
    void followUp();
    TDefaultDeptInfo GetDefaultDeptInfo(const QString& contact);
    void ReportJobsWithoutPostingID();

    const ImportCounts& counts() const { return m_counts; }
    // The lines that would stop the run (dry run), "Line n: why", in file order.
    const QStringList& problems() const { return m_problems; }
    qint64 problemCount() const { return m_problemCount; }
    // The error that stopped the run; empty when none did.
    const QString& errorText() const { return m_error; }

    // The texts of the window and the command line.
    static QString caption(int kind);
    static QString heading(int kind);
    static int helpContext(int kind);
    // The command line's names of the kinds: "all", "applicants", "requisitions".
    static int kindOfName(const QString& name); // -1 for another name

private:
    struct Statements;
    class LineError;
    class GroupError;
    enum class Read { Completed, NoFile, Stopped };

    QString fileNameOfKind() const;
    void progress(ImportFile& file, bool force = false);
    void storeLine(qint64 lineNumber);
    void checkLine(qint64 lineNumber);
    void SavePersonalData(qint64 lineNumber);
    void SaveReqData(qint64 lineNumber);
    void SaveAppliedData(qint64 lineNumber);
    void flushApplications();
    void dryRunLine(qint64 lineNumber);
    void prepareStatements();
    void forgetWritten();
    OperationResult result() const;

    TMerrowindData& m_data;
    UserTalk& m_talk;
    ImportReader m_reader;
    std::unique_ptr<Statements> m_sql;
    ImportCounts m_counts;
    QStringList m_problems;
    qint64 m_problemCount = 0;
    QString m_error;
    QString m_file;
    // Dry run: the records the file names so far, and whether each is new.
    QHash<QString, bool> m_dryApplicants;
    QHash<QString, bool> m_dryRequisitions;
    QSet<quint64> m_dryApplications;
    QDate m_today;
    QString m_todayText;  // as stored
    QVariant m_userText;  // ModifiedBy of what the run inserts
    QElapsedTimer m_lastProgress;
    bool m_fileMissing = false;
    // PostgreSQL: applications go in groups, one statement for many lines.
    bool m_groupApplications = false;
    QVariantList m_pendingApplications; // six values per application

};

// The Import menu's three commands and `merrowind run import`: the run of the
// kind on the file (empty: the settings' file). With question, the user is asked
// first (the command line; the window's Import button is the question there).
OperationResult importCommand(TMerrowindData& data, UserTalk& talk, int kind, const QString& fileName, bool dryRun,
                              bool askFirst);

} // namespace mw
