// The flag processes and bulk approvals on a small set of applicants and applications.

#include "dbfixture.h"
#include "scriptedtalk.h"

#include "maintenance/flagprocesses.h"


using namespace mw;
using mwtest::ScriptedTalk;

namespace {

const QDate kToday(2026, 6, 15);

QString iso(const QDate& d) { return d.toString(Qt::ISODate); }

} // namespace

class FlagProcessesTest : public mwtest::StoreTest
{
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        mw::Clock::setToday(kToday);
    }
    // Logical and date values may be given as bool/QDate or left empty (QVariant()).
    void applicant(const QString& id, const QVariant& scanned, const QVariant& notRehire,
                   const QVariant& notRehireExpires = {}, const QVariant& rif = {}, const QVariant& rifExpires = {})
    {
        sql(QStringLiteral("INSERT INTO applicants (ApplicantID, Name, Scanned, NotRehire, NotRehireExpires, RIF, "
                           "RIFExpires) VALUES (?, ?, ?, ?, ?, ?, ?)"),
            {id, QStringLiteral("NAME ") + id, scanned, notRehire, notRehireExpires, rif, rifExpires});
    }
    void requisition(const QString& req, const QString& group)
    {
        sql(QStringLiteral("INSERT INTO requisitions (ReqNumber, JobPostingID) VALUES (?, ?)"), {req, group});
    }
    void application(const QString& req, const QString& id, const QVariant& reviewed, const QVariant& approved = {},
                     const QVariant& dispDate = {}, const QVariant& approvedDate = {})
    {
        sql(QStringLiteral("INSERT INTO applications (ReqNumber, ApplicantID, Reviewed, Approved, DispDate, "
                           "ApprovedDate, Comments) VALUES (?, ?, ?, ?, ?, ?, ?)"),
            {req, id, reviewed, approved, dispDate, approvedDate, QStringLiteral("old comment")});
    }
    QVariant appField(const QString& req, const QString& id, const QString& field)
    {
        return scalar(QStringLiteral("SELECT %1 FROM applications WHERE ReqNumber = ? AND ApplicantID = ?").arg(field),
                      {req, id});
    }
    // The applications approved, as "req/id", in order.
    QStringList approved()
    {
        QStringList out;
        QSqlQuery q = data->database().exec(
            QStringLiteral("SELECT ReqNumber, ApplicantID FROM applications WHERE Approved = ? "
                           "ORDER BY ReqNumber, ApplicantID"),
            {true});
        while (q.next())
            out << q.value(0).toString() + QLatin1Char('/') + q.value(1).toString();
        return out;
    }
    QString snapshot()
    {
        QStringList out;
        for (const char* table : {"applicants", "applications"}) {
            QSqlQuery q = data->database().exec(QStringLiteral("SELECT * FROM %1 ORDER BY rid").arg(QLatin1String(table)));
            while (q.next()) {
                QStringList row;
                for (int i = 0; i < q.record().count(); ++i)
                    row << (q.isNull(i) ? QStringLiteral("<null>") : q.value(i).toString());
                out << row.join(QLatin1Char('|'));
            }
        }
        return out.join(QLatin1Char('\n'));
    }
};

TEST_P(FlagProcessesTest, ExpiredFlagsAreClearedFromTheirDayOnAndOnlyWithADate)
{
    struct Case
    {
        const char* id;
        QVariant expires;
        bool cleared;
    };
    const Case cases[] = {
        {"A1", kToday, true},
        {"A2", kToday.addDays(-400), true},
        {"A3", kToday.addDays(1), false},
        {"A4", QVariant(), false},
    };
    for (const bool rif : {true, false}) {
        SCOPED_TRACE(rif ? "RIF" : "NotRehire");
        sql(QStringLiteral("DELETE FROM applicants"));
        for (const Case& c : cases)
            rif ? applicant(QLatin1String(c.id), false, QVariant(), QVariant(), true, c.expires)
                : applicant(QLatin1String(c.id), false, true, c.expires);
        ScriptedTalk talk;
        talk.answer({true});
        const mw::OperationResult result =
            rif ? ProcessRIFCommand(*data, talk) : NotRehirableExpiredDatesCommand(*data, talk);
        ASSERT_TRUE(result.isDone());
        EXPECT_EQ(result.countOf(QStringLiteral("Records Updated")), 2);
        const QString flag = rif ? QStringLiteral("RIF") : QStringLiteral("NotRehire");
        for (const Case& c : cases) {
            SCOPED_TRACE(c.id);
            const QVariant f = scalar(QStringLiteral("SELECT %1 FROM applicants WHERE ApplicantID = ?").arg(flag),
                                      {QLatin1String(c.id)});
            const QVariant e = scalar(
                QStringLiteral("SELECT %1Expires FROM applicants WHERE ApplicantID = ?").arg(flag), {QLatin1String(c.id)});
            EXPECT_EQ(f.toInt(), c.cleared ? 0 : 1);
            EXPECT_EQ(e.isNull(), c.cleared || c.expires.isNull());
        }
        EXPECT_EQ(talk.questions(),
                  QStringList{rif ? QStringLiteral("Are You Sure You Want To Removed Expired RIF Flags?")
                                  : QStringLiteral("Are You Sure You Want To Removed Expired Not Rehirable Flags?")});
        EXPECT_EQ(talk.texts(ScriptedTalk::Said::Wait),
                  QStringList{rif ? QStringLiteral("Please Wait, Removing Expired RIF Flags")
                                  : QStringLiteral("Please Wait, Removing Expired Not Rehirable Flags")});
        EXPECT_EQ(talk.informations(),
                  QStringList{(rif ? QStringLiteral("Results From Process RIF Expired Dates:\n\nRecords Updated: 2")
                                   : QStringLiteral("Results From Process Not Rehirable Expired Dates:\n\n"
                                                    "Records Updated: 2"))});
        EXPECT_EQ(talk.openWaits(), 0);
    }
}

TEST_P(FlagProcessesTest, SilentRunsReportNothingAndANoChangesNothing)
{
    applicant(QStringLiteral("A1"), false, true, kToday, true, kToday);
    application(QStringLiteral("R1"), QStringLiteral("A1"), false, QVariant(), kToday.addDays(-90));
    const QString before = snapshot();
    ScriptedTalk no;
    no.answer({false, false, false, false});
    EXPECT_TRUE(ProcessRIFCommand(*data, no).isDeclined());
    EXPECT_TRUE(NotRehirableExpiredDatesCommand(*data, no).isDeclined());
    EXPECT_TRUE(ProcessNotRehirableCommand(*data, no).isDeclined());
    EXPECT_TRUE(MarkOldApplicantsAsReviewed(*data, no).isDeclined());
    EXPECT_EQ(snapshot(), before);
    EXPECT_TRUE(no.informations().isEmpty());
    EXPECT_TRUE(no.texts(ScriptedTalk::Said::Wait).isEmpty());

    ScriptedTalk silent;
    ProcessNotRehirable(*data, silent, false);
    ExpireRIF(*data, silent, false);
    ExpireNotRehirable(*data, silent, false);
    EXPECT_TRUE(silent.said().isEmpty());
    EXPECT_EQ(scalar(QStringLiteral("SELECT RIF FROM applicants")).toInt(), 0);
    EXPECT_EQ(scalar(QStringLiteral("SELECT NotRehire FROM applicants")).toInt(), 0);
    EXPECT_EQ(appField(QStringLiteral("R1"), QStringLiteral("A1"), QStringLiteral("Reviewed")).toInt(), 1);
}

TEST_P(FlagProcessesTest, NotRehirableApplicantsLoseTheirUnreviewedApplications)
{
    data->LoginData.UserID = QStringLiteral("CLERK");
    applicant(QStringLiteral("N1"), true, true);
    applicant(QStringLiteral("N2"), true, true);
    applicant(QStringLiteral("OK"), true, false);
    applicant(QStringLiteral("E1"), true, QVariant()); // flag empty: rehirable
    application(QStringLiteral("R1"), QStringLiteral("N1"), true, true); // reviewed before: stays
    application(QStringLiteral("R2"), QStringLiteral("N1"), false, true);
    application(QStringLiteral("R3"), QStringLiteral("N1"), QVariant()); // never looked at
    application(QStringLiteral("R1"), QStringLiteral("N2"), false);
    application(QStringLiteral("R1"), QStringLiteral("OK"), false);
    application(QStringLiteral("R1"), QStringLiteral("E1"), QVariant());

    EXPECT_EQ(NotRehirableList(*data), (QStringList{QStringLiteral("N1"), QStringLiteral("N2")}));
    ScriptedTalk talk;
    talk.answer({true});
    ASSERT_TRUE(ProcessNotRehirableCommand(*data, talk).isDone());
    EXPECT_EQ(talk.informations(), QStringList{QStringLiteral("Results From Process Not Rehirable Flag:\n\nRecords Updated: 3")});
    EXPECT_EQ(talk.texts(ScriptedTalk::Said::Wait), QStringList{QStringLiteral("Please Wait, Processing Not Rehirable Flags")});

    const QString comment = QStringLiteral("Merrowind Set Application To Not Approved Because of Not Rehirable Flag Set 06/15/2026");
    struct Case
    {
        const char* req;
        const char* id;
        bool changed;
    };
    for (const Case& c : {Case{"R1", "N1", false}, Case{"R2", "N1", true}, Case{"R3", "N1", true},
                          Case{"R1", "N2", true}, Case{"R1", "OK", false}, Case{"R1", "E1", false}}) {
        SCOPED_TRACE(std::string(c.req) + "/" + c.id);
        const QString req = QLatin1String(c.req), id = QLatin1String(c.id);
        EXPECT_EQ(appField(req, id, QStringLiteral("Comments")).toString(),
                  c.changed ? comment : QStringLiteral("old comment"));
        if (c.changed) {
            EXPECT_EQ(appField(req, id, QStringLiteral("Reviewed")).toInt(), 1);
            EXPECT_EQ(appField(req, id, QStringLiteral("Approved")).toInt(), 0);
            EXPECT_EQ(appField(req, id, QStringLiteral("ApprovedDate")).toString(), iso(kToday));
            EXPECT_EQ(appField(req, id, QStringLiteral("ModifiedDate")).toString(), iso(kToday));
            EXPECT_TRUE(appField(req, id, QStringLiteral("ApprovedBy")).isNull());
            EXPECT_TRUE(appField(req, id, QStringLiteral("ModifiedBy")).isNull());
        }
    }
    EXPECT_EQ(appField(QStringLiteral("R1"), QStringLiteral("N1"), QStringLiteral("Approved")).toInt(), 1);
}

TEST_P(FlagProcessesTest, WithNobodyFlaggedTheResultSaysSo)
{
    applicant(QStringLiteral("A1"), true, false);
    application(QStringLiteral("R1"), QStringLiteral("A1"), false);
    ScriptedTalk talk;
    ProcessNotRehirable(*data, talk, true);
    EXPECT_EQ(talk.informations(),
              QStringList{QStringLiteral("Results From Process Not Rehirable Flag:\n\nNo Applicants Are Flagged As Not Rehirable")});
    EXPECT_EQ(appField(QStringLiteral("R1"), QStringLiteral("A1"), QStringLiteral("Reviewed")).toInt(), 0);
}

TEST_P(FlagProcessesTest, OldApplicationsAreClosedFromTheThirtiethDay)
{
    data->LoginData.UserID = QStringLiteral("CLERK");
    applicant(QStringLiteral("A1"), true, false);
    struct Case
    {
        const char* req;
        QVariant dispDate;
        QVariant reviewed;
        bool closed;
    };
    const Case cases[] = {
        {"D30", kToday.addDays(-30), false, true},
        {"D31", kToday.addDays(-31), QVariant(), true},
        {"D29", kToday.addDays(-29), false, false},
        {"DNONE", QVariant(), false, false},
        {"DREV", kToday.addDays(-60), true, false},
        {"DTODAY", kToday, false, false},
    };
    for (const Case& c : cases)
        application(QLatin1String(c.req), QStringLiteral("A1"), c.reviewed, QVariant(), c.dispDate);
    ScriptedTalk talk;
    talk.answer({true});
    ASSERT_TRUE(MarkOldApplicantsAsReviewed(*data, talk).isDone());
    EXPECT_EQ(talk.questions(), QStringList{QStringLiteral("Are You Sure You Want To Mark Old Applicants As Reviewed?")});
    EXPECT_EQ(talk.texts(ScriptedTalk::Said::Wait), QStringList{QStringLiteral("Please Wait, Marking Applicaions As Reviewed")});
    EXPECT_EQ(talk.informations(),
              QStringList{QStringLiteral("Results From mark Old Applicants As Reviewed:\n\nApplicants Marked As Reviewed: 2")});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.req);
        const QString req = QLatin1String(c.req);
        EXPECT_EQ(appField(req, QStringLiteral("A1"), QStringLiteral("ApprovedBy")).toString(),
                  c.closed ? QStringLiteral("CLERK") : QString());
        if (c.closed) {
            EXPECT_EQ(appField(req, QStringLiteral("A1"), QStringLiteral("Reviewed")).toInt(), 1);
            EXPECT_EQ(appField(req, QStringLiteral("A1"), QStringLiteral("Approved")).toInt(), 0);
            EXPECT_EQ(appField(req, QStringLiteral("A1"), QStringLiteral("ApprovedDate")).toString(), iso(kToday));
        }
    }
}

TEST_P(FlagProcessesTest, ApprovingAllScannedHonoursTheNotRehirableSwitch)
{
    data->LoginData.UserID = QStringLiteral("CLERK");
    requisition(QStringLiteral("R1"), QStringLiteral("GRP"));
    requisition(QStringLiteral("R2"), QStringLiteral("GRP"));
    requisition(QStringLiteral("R3"), QStringLiteral("OTHER"));
    applicant(QStringLiteral("S"), true, false);
    applicant(QStringLiteral("SE"), true, QVariant());
    applicant(QStringLiteral("SN"), true, true);
    applicant(QStringLiteral("U"), false, false);
    applicant(QStringLiteral("UE"), QVariant(), false);
    for (const char* req : {"R1", "R2", "R3"})
        for (const char* id : {"S", "SE", "SN", "U", "UE"})
            application(QLatin1String(req), QLatin1String(id), false, false);
    // Approved long ago: approved again with today's date.
    sql(QStringLiteral("UPDATE applications SET Approved = ?, ApprovedDate = ? WHERE ReqNumber = ? AND ApplicantID = ?"),
        {true, kToday.addDays(-10), QStringLiteral("R1"), QStringLiteral("S")});

    struct Case
    {
        const char* req;
        const char* group;
        bool allowNotRehire;
        QStringList approved;
        const char* question;
        const char* done;
    };
    const Case cases[] = {
        {"R1", "", false, {"R1/S", "R1/SE"}, "Mark All Scanned Applicants For Requisition R1 As Approved?",
         "All Scanned Applicants For Requisition R1 Have Been Approved."},
        {"R1", "", true, {"R1/S", "R1/SE", "R1/SN"}, "Mark All Scanned Applicants For Requisition R1 As Approved?",
         "All Scanned Applicants For Requisition R1 Have Been Approved."},
        {"", "grp", false, {"R1/S", "R1/SE", "R2/S", "R2/SE"}, "Mark All Scanned Applicants For Posting ID GRP As Approved?",
         "All Scanned Applicants For Posting ID GRP Have Been Approved?"},
        {"", "grp", true, {"R1/S", "R1/SE", "R1/SN", "R2/S", "R2/SE", "R2/SN"},
         "Mark All Scanned Applicants For Posting ID GRP As Approved?",
         "All Scanned Applicants For Posting ID GRP Have Been Approved?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.req) + c.group + (c.allowNotRehire ? " allowed" : ""));
        Transaction tx(data->database()); // undone after each case
        data->SystemInfo.AllowNotRehireSend = c.allowNotRehire;
        ScriptedTalk talk;
        talk.answer({true});
        ASSERT_TRUE(ApproveAllScanned(*data, talk, QLatin1String(c.req), QLatin1String(c.group)).isDone());
        EXPECT_EQ(approved(), c.approved);
        EXPECT_EQ(talk.questions(), QStringList{QLatin1String(c.question)});
        EXPECT_EQ(talk.texts(ScriptedTalk::Said::Wait), QStringList{QStringLiteral("Please Wait Marking Applications As Approved")});
        EXPECT_EQ(talk.informations(), QStringList{QLatin1String(c.done)});
        EXPECT_EQ(talk.openWaits(), 0);
        EXPECT_EQ(appField(QStringLiteral("R1"), QStringLiteral("S"), QStringLiteral("ApprovedDate")).toString(), iso(kToday));
        EXPECT_EQ(appField(QStringLiteral("R1"), QStringLiteral("S"), QStringLiteral("ModifiedBy")).toString(), QStringLiteral("CLERK"));
        EXPECT_EQ(appField(QStringLiteral("R1"), QStringLiteral("SE"), QStringLiteral("Reviewed")).toInt(), 1);
    }

    const QString before = snapshot();
    ScriptedTalk no;
    EXPECT_TRUE(ApproveAllScanned(*data, no, QStringLiteral("R1"), QString()).isDeclined());
    EXPECT_EQ(no.informations(), QStringList{QStringLiteral("Operation Aborted")});
    ScriptedTalk neither;
    EXPECT_TRUE(ApproveAllScanned(*data, neither, QString(), QString()).isFailed());
    EXPECT_EQ(neither.errors(), QStringList{QStringLiteral("Error, No Posting ID, No Applicants Approved")});
    EXPECT_TRUE(neither.questions().isEmpty());
    EXPECT_EQ(snapshot(), before);
}

TEST_P(FlagProcessesTest, UnapprovingByDateSetsApplicationsBackToNew)
{
    data->LoginData.UserID = QStringLiteral("CLERK");
    const QDate day(2026, 6, 1);
    applicant(QStringLiteral("A"), true, false);
    applicant(QStringLiteral("B"), true, QVariant());
    applicant(QStringLiteral("N"), true, true);
    application(QStringLiteral("R1"), QStringLiteral("A"), true, true, QVariant(), day);
    application(QStringLiteral("R1"), QStringLiteral("B"), true, true, QVariant(), day.addDays(1));
    application(QStringLiteral("R1"), QStringLiteral("N"), true, true, QVariant(), day);
    application(QStringLiteral("R2"), QStringLiteral("A"), true, true, QVariant(), day);

    struct Case
    {
        bool allowNotRehire;
        QStringList stillApproved;
    };
    for (const Case& c : {Case{false, {"R1/B", "R1/N", "R2/A"}}, Case{true, {"R1/B", "R2/A"}}}) {
        SCOPED_TRACE(c.allowNotRehire);
        Transaction tx(data->database());
        data->SystemInfo.AllowNotRehireSend = c.allowNotRehire;
        ScriptedTalk talk;
        talk.answer({true});
        ASSERT_TRUE(UnapproveByApproveDate(*data, talk, QStringLiteral("R1"), day).isDone());
        EXPECT_EQ(approved(), c.stillApproved);
        EXPECT_EQ(talk.questions(),
                  QStringList{QStringLiteral("Mark Applicants With An Approve Date Of 06/01/2026 For Requisition R1 As Unapproved?")});
        EXPECT_EQ(talk.texts(ScriptedTalk::Said::Wait), QStringList{QStringLiteral("Please Wait Marking Applications As Unapproved")});
        EXPECT_EQ(talk.informations(),
                  QStringList{QStringLiteral("All Applicants With a Approve Date Of 06/01/2026 For Requisition R1 Have Been Unapproved.")});
        EXPECT_EQ(appField(QStringLiteral("R1"), QStringLiteral("A"), QStringLiteral("Reviewed")).toInt(), 0);
        EXPECT_TRUE(appField(QStringLiteral("R1"), QStringLiteral("A"), QStringLiteral("ApprovedDate")).isNull());
        EXPECT_TRUE(appField(QStringLiteral("R1"), QStringLiteral("A"), QStringLiteral("ApprovedBy")).isNull());
        EXPECT_EQ(appField(QStringLiteral("R1"), QStringLiteral("A"), QStringLiteral("ModifiedBy")).toString(), QStringLiteral("CLERK"));
        EXPECT_EQ(appField(QStringLiteral("R1"), QStringLiteral("A"), QStringLiteral("ModifiedDate")).toString(), iso(kToday));
    }

    const QString before = snapshot();
    ScriptedTalk nothingThatDay;
    nothingThatDay.answer({true});
    EXPECT_EQ(UnapproveByApproveDate(*data, nothingThatDay, QStringLiteral("R1"), QDate(2020, 1, 1))
                  .countOf(QStringLiteral("Applications Unapproved")),
              0);
    EXPECT_EQ(nothingThatDay.informations(),
              QStringList{QStringLiteral("All Applicants With a Approve Date Of 01/01/2020 For Requisition R1 Have Been Unapproved.")});
    ScriptedTalk no;
    EXPECT_TRUE(UnapproveByApproveDate(*data, no, QStringLiteral("R1"), day).isDeclined());
    EXPECT_EQ(no.informations(), QStringList{QStringLiteral("Operation Aborted")});
    ScriptedTalk noReq;
    EXPECT_TRUE(UnapproveByApproveDate(*data, noReq, QString(), day).isFailed());
    EXPECT_EQ(noReq.errors(), QStringList{QStringLiteral("Error, No Posting ID, No Applicants Marked As Unapproved")});
    EXPECT_EQ(snapshot(), before);
}

TEST_P(FlagProcessesTest, AHundredThousandNotRehirableApplicants)
{
    constexpr int n = 100000;
    {
        Transaction tx(data->database());
        const QString numbers = QStringLiteral(
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?) ");
        const QString id = QStringLiteral("substr(CAST(100000000 + i AS TEXT), 2)");
        sql(numbers + QStringLiteral("INSERT INTO applicants (ApplicantID, NotRehire) SELECT %1, 1 FROM n").arg(id), {n});
        sql(numbers + QStringLiteral("INSERT INTO applications (ReqNumber, ApplicantID, Reviewed) SELECT 'R1', %1, 0 FROM n")
                          .arg(id),
            {n});
        tx.commit();
    }
    const QStringList ids = NotRehirableList(*data);
    ASSERT_EQ(ids.size(), n);
    EXPECT_EQ(ids.first(), QStringLiteral("00000001"));
    ScriptedTalk talk;
    ProcessNotRehirable(*data, talk, true);
    EXPECT_EQ(talk.informations(), QStringList{QStringLiteral("Results From Process Not Rehirable Flag:\n\nRecords Updated: 100000")});
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM applications WHERE Reviewed = 1")).toInt(), n);

    // The same list keeps every one of them out of an unapproval.
    sql(QStringLiteral("UPDATE applications SET Approved = 1, ApprovedDate = ?"), {iso(kToday)});
    ScriptedTalk unapprove;
    unapprove.answer({true});
    ASSERT_TRUE(UnapproveByApproveDate(*data, unapprove, QStringLiteral("R1"), kToday).isDone());
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM applications WHERE Approved = 1")).toInt(), n);
}

MW_INSTANTIATE_BACKENDS(FlagProcessesTest);
