#pragma once
// The data module: the one connection to the database, a table component, data
// source and query per table, the filter state the windows set, the program-wide
// records of the running copy, and the operations many windows share.

#include "datastore/database.h"
#include "datastore/logindata.h"
#include "datastore/query.h"
#include "datastore/records.h"
#include "datastore/rowrules.h"
#include "datastore/sessions.h"
#include "datastore/settings.h"
#include "datastore/table.h"
#include "shared/clock.h"
#include "datastore/importlayout.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>

namespace mw {

// A list of values for "In (...)": the placeholders and the values they bind.
struct SqlList
{
    QString sql; // "(?, ?, ?)"
    QVariantList binds;
};

class TMerrowindData : public QObject
{
    Q_OBJECT
    Database m_db; // first: everything below uses it

public:
    explicit TMerrowindData(QObject* parent = nullptr);
    ~TMerrowindData() override;

    // Connects to the database and opens the eleven tables, in order. Raises
    // DbError naming what is wrong; nothing is opened then.
    void open(const DatabaseLocation& location);
    void close();
    bool isOpen() const { return m_db.isOpen(); }

    Database& database() { return m_db; }
    // This running copy among the others; its heartbeat runs on a thread of its
    // own from open() to close().
    SessionRegistry& sessions() { return m_sessions; }

    // The day the program takes as today: the program's clock.
    QDate today() const { return Clock::today(); }

    // ---- components
    TTable UserSettingsTable;
    TTable SettingsTable;
    TTable ApplicantTable;
    TTable ApplicationTable;
    TTable RequestionTable;
    TTable EMailTable;
    TTable SecurityTable;
    TTable IDTable;
    TTable JobPostingIDTable;
    TTable NotifyTable;
    TTable RestrictTable;

    TDataSource UserSettingsSource, SettingsSource, ApplicantSource, ApplicationSource, RequestionSource,
        EMailSource, SecuritySource, IDSource, JobPostingIDSource, NotifySource, RestrictSource;

    TQuery UserSettingsQuery, ApplicantQuery, ApplicationQuery, RequestionQuery, EMailQuery, SecurityQuery,
        JobPostingIDQuery, NotifyQuery, RestrictQuery;

    // ---- remembered values of the table rules
    QString OldContactEMail;
    int OldMaxFiles = 0;
    bool OldSendAsEMail = false;
    bool OldSendAsHTML = false;
    QString OldPostingID;
    QString OldUserID;
    bool OldReviewed = false;
    bool OldApproved = false;
    // The requisition delivery values above, as the department contact rule compares them.
    ContactDelivery rememberedDelivery() const;

    // ---- filter state, set by the windows
    QString UserIDFilter;
    bool SearchInName = false;
    bool SearchInID = false;
    bool SearchInSSN = false;
    bool SearchInPhone = false;
    bool UnreviewedOnly = false;
    QString ApplicantSearchText;
    QString PostingGroupFilter;
    QString ReqNumberFilter;
    QString ReviewPostingGroup;
    QStringList ReqNumberList;
    QString ListUserFilter;

    // ---- program-wide records of this running copy
    TSystemInfo SystemInfo;
    TLoginData LoginData;
    TSecurityData SecurityData;
    QStringList PermittedGroups;
    TImportData ImportLayout;

    // ---- shared operations
    void RefreshTables();
    void ReadSettings();
    void LoadImportLayout();
    // Logs on the user whose identifier is userId, ignoring letter case. With
    // checkPassword the password must match; without (the automatic logon) the
    // identifier must name exactly one user. Loads that very user's record, its
    // profile and its permitted groups.
    bool CheckUser(const QString& userId, const QString& password, bool checkPassword);
    // The user's record (the identifier ignoring letter case) into data.
    void LoadUser(const QString& userId, TLoginData& data);
    void LoadSecurity(int securityId);
    void LoadPermittedGroups(const TLoginData& data);
    bool InReqNumberList(const QString& reqNumber) const;
    // The first-run state: the only user is SUPERVISOR, without a password.
    bool OnlySupervisorDefined();

    void LoadRequisition(const QString& reqNumber, TRequistionData& data);
    void LoadApplicant(const QString& applicantId, TApplicantData& data);
    void LoadMainUser(const QString& group, TLoginData& data);
    QString PostingGroupDescription(const QString& group);
    void NotifyAddresses(const QString& group, QStringList& addresses);
    void LoadPermittedRequisitions();
    SqlList PermittedGroupsSQL() const;
    void LoadReviewGroup(const QString& group);
    QString ScannedFileName(const QString& applicantId) const;
    bool ScannedFileExists(const QString& applicantId) const;
    // The applicants among the identifiers, whatever their names, matched in any
    // letter case as documents are: lower-case identifier -> name. Looked up a few
    // hundred at a time; identifiers in mixed letter case with one pass over all
    // applicants.
    QHash<QString, QString> ApplicantsAmong(const QStringList& ids);

    // Draws the next number of an identifier counter: each number goes to exactly
    // one caller, whichever running copy asks.
    enum class Counter { Applicant, Requisition };
    int TakeNextNumber(Counter which);

    // A set of values as a temporary table of one column "v", for "In (Select v From name)"
    // with lists of any length. Refilled only when the values change.
    void fillTempList(const QString& name, const QStringList& values);

    // An upper-case expression for a text column that handles every script.
    QString upper(const QString& column) const;

Q_SIGNALS:
    // Another copy took this one for closed (its heartbeat had stopped, the machine
    // slept) and cleared its session and record locks; the heartbeat has registered
    // it again. Edits begun before fail at their post, keeping what was typed.
    void takenForClosed();

public:
    // What the user is told when takenForClosed arrives.
    static QString takenForClosedText();

private:
    void installRules();
    void installFilters();
    // The one users row that matches condition, or the first of several by rid.
    void loadUserWhere(const QString& condition, const QVariant& bind, TLoginData& data);
    TTable* const* allTables() const;
    SqlFilter applicantFilter();
    SqlFilter applicationFilter();
    SqlFilter requisitionFilter();
    QString likeContains(const QString& text) const;
    QString documentOnDisk(const QString& applicantId) const; // empty when missing

    SessionRegistry m_sessions;
    QString m_upperCollation;
    bool m_nameIndex = false; // SQLite: the applicants' names are indexed by trigrams
    QHash<QString, QStringList> m_tempLists;
    mutable QString m_docDir;
    mutable QDateTime m_docDirStamp;
    mutable QDateTime m_docListed;
    mutable QHash<QString, QString> m_docNames; // lower-case name -> name on disk
};

} // namespace mw
