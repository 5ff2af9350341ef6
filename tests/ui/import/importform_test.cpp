// The import window over the import run, opened from the File > Import menu as the
// user opens it: each kind's caption, heading and help; an import of a small
// tab-separated file through the window; Cancel, the close box and Escape during a
// run; a missing file; and Process > Scan For Applications.

#include "datastore/merrowinddata.h"
#include "dbfixture.h"
#include "findchild.h"
#include "scriptedtalk.h"
#include "shell/helpviewer.h"
#include "shell/mainform.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include <algorithm>
#include <functional>

using namespace mw;
using mwtest::child;

namespace {

QStringList strings(std::initializer_list<const char*> items)
{
    QStringList out;
    for (const char* s : items)
        out << QLatin1String(s);
    return out;
}

QString shippedHelpFile()
{
    return QFileInfo(QString::fromUtf8(__FILE__)).dir().filePath(QStringLiteral("../../../docs/Merrowind.hlp"));
}

// The import file's column header, skipped by the run; then the record lines.
const char* const kHeader = "ApplicantID\tName\tReqNumber\tPostingID\tTitle";

} // namespace

// A tab-separated layout (applicant, name, requisition, posting group, title), one
// file for each kind, the scanned documents in a directory of the test's own, and
// the main window of SUPERVISOR.
class ImportFormTest : public mwtest::StoreTest
{
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        const QDir work(m_testDb->scratchDir());
        ASSERT_TRUE(work.mkpath(QStringLiteral("scans")));
        m_scans = work.filePath(QStringLiteral("scans")) + QLatin1Char('/');
        m_allFile = work.filePath(QStringLiteral("all.txt"));
        m_applicantsFile = work.filePath(QStringLiteral("applicants.txt"));
        m_reqsFile = work.filePath(QStringLiteral("reqs.txt"));
        sql(QStringLiteral("UPDATE settings SET AppIDStart = 1, AppIDLength = 0, AppNameStart = 2, AppNameLength = 0, "
                           "ReqNumberStart = 3, ReqNumberLength = 0, ReqPostingIDStart = 4, ReqPostingIDLength = 0, "
                           "ReqPositionTitleStart = 5, ReqPositionTitleLength = 0, LinesToSkip = 1, "
                           "ImportFileName = ?, ApplicantsOnlyFile = ?, ReqsOnlyFile = ?, FileLocation = ?, "
                           "FileExt = 'pdf', InformUsers = ?, AutoProcessNotHire = ?"),
            {m_allFile, m_applicantsFile, m_reqsFile, m_scans, false, false});
        data->ReadSettings();

        main = std::make_unique<TMainForm>(*data, help, talk);
        main->pdfViewerAvailable = [] { return false; };
        main->FormActivate();
    }
    void TearDown() override
    {
        main.reset();
        StoreTest::TearDown();
    }

    static void writeFile(const QString& path, const QStringList& lines)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QByteArray(kHeader) + '\n');
        for (const QString& line : lines)
            f.write(line.toUtf8() + '\n');
    }
    void document(const char* applicant)
    {
        QFile f(m_scans + QLatin1String(applicant) + QStringLiteral(".pdf"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("%PDF-1.4\n");
    }
    qint64 count(const char* table)
    {
        return scalar(QStringLiteral("SELECT COUNT(*) FROM ") + QLatin1String(table)).toLongLong();
    }
    QStringList column(const QString& select)
    {
        QStringList out;
        QSqlQuery q = data->database().exec(select);
        while (q.next())
            out << q.value(0).toString();
        return out;
    }
    bool scanned(const char* applicant)
    {
        return scalar(QStringLiteral("SELECT Scanned FROM applicants WHERE ApplicantID = ?"),
                      {QLatin1String(applicant)})
                   .toInt() != 0;
    }

    // Chooses the menu command; the import window it opens is handed to use, shown.
    void openImport(const char* command, const std::function<void(QDialog&)>& use)
    {
        int shown = 0;
        main->showModal = [&](QDialog& dialog) {
            ++shown;
            EXPECT_EQ(dialog.objectName(), QStringLiteral("ImportForm"));
            dialog.show();
            use(dialog);
            return dialog.result();
        };
        auto* action = child<QAction>(main.get(), command);
        ASSERT_TRUE(action->isEnabled());
        action->trigger();
        EXPECT_EQ(shown, 1);
    }

    HelpSystem help{QString()};
    mwtest::ScriptedTalk talk;
    std::unique_ptr<TMainForm> main;
    QString m_scans;
    QString m_allFile;
    QString m_applicantsFile;
    QString m_reqsFile;
};

MW_INSTANTIATE_BACKENDS(ImportFormTest);

TEST_P(ImportFormTest, EachKindShowsItsCaptionHeadingAndHelpAndCancelClosesIt)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QFile::copy(shippedHelpFile(), dir.filePath(HelpSystem::fileName())));
    HelpSystem withFile(HelpSystem::locate(dir.path()));
    main = std::make_unique<TMainForm>(*data, withFile, talk);
    main->pdfViewerAvailable = [] { return false; };
    main->FormActivate();

    const struct
    {
        const char* command;
        const char* caption;
        const char* heading;
        const char* topic;
    } cases[] = {
        {"ApplicantsOnly1", "Import All Data", "Import All Data", "1110"},
        {"ApplicantsOnly2", "Import Applicants", "Import Applicants Only", "1111"},
        {"Requisitions1", "Import Requisitions", "Import Requisitions Only", "1112"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        openImport(c.command, [&](QDialog& form) {
            EXPECT_EQ(form.windowTitle(), QLatin1String(c.caption));
            EXPECT_EQ(child<QLabel>(&form, "Label2")->text(), QLatin1String(c.heading));
            EXPECT_FALSE(child<QLabel>(&form, "Label1")->isVisible()) << "shown before a run";
            EXPECT_FALSE(child<QProgressBar>(&form, "Animate1")->isVisible()) << "shown before a run";
            EXPECT_TRUE(child<QPushButton>(&form, "ImportB")->isEnabled());

            QTest::mouseClick(child<QPushButton>(&form, "HelpBtn"), Qt::LeftButton);
            ASSERT_NE(withFile.viewer(), nullptr);
            EXPECT_EQ(child<QTextBrowser>(withFile.viewer(), "Browser")->source().fragment(), QLatin1String(c.topic))
                << "the help file has no section for the kind";

            QTest::mouseClick(child<QPushButton>(&form, "BitBtn2"), Qt::LeftButton);
            EXPECT_FALSE(form.isVisible()) << "Cancel outside a run closes the window";
        });
    }
    EXPECT_TRUE(talk.said().isEmpty());
    EXPECT_EQ(count("applicants") + count("requisitions") + count("applications"), 0);
}

// The three kinds, one after the other, each on its own file holding the same lines:
// each stores its part, runs its follow-up steps and closes the window; Import
// cannot be pressed again while its run goes on.
TEST_P(ImportFormTest, AnImportStoresItsKindsPartOfTheFileAndClosesTheWindow)
{
    const QStringList lines = strings({"1001\tAnn Archer\tR100\tNUR\tStaff Nurse",
                                       "1002\tBen Baker\tR100\tNUR\tStaff Nurse",
                                       "1002\tBen Baker\tR200\tIT\tAnalyst",
                                       "1003\tCai Chen\tR200\tIT\tAnalyst"});
    for (const QString& file : {m_allFile, m_applicantsFile, m_reqsFile})
        writeFile(file, lines);
    document("1002");

    const struct
    {
        const char* command;
        QStringList applicants, requisitions, applications; // all that is stored afterwards
    } cases[] = {
        {"Requisitions1", {}, strings({"R100:NUR:Staff Nurse", "R200:IT:Analyst"}), {}},
        {"ApplicantsOnly2", strings({"1001:Ann Archer", "1002:Ben Baker", "1003:Cai Chen"}),
         strings({"R100:NUR:Staff Nurse", "R200:IT:Analyst"}), {}},
        {"ApplicantsOnly1", strings({"1001:Ann Archer", "1002:Ben Baker", "1003:Cai Chen"}),
         strings({"R100:NUR:Staff Nurse", "R200:IT:Analyst"}),
         strings({"R100:1001", "R100:1002", "R200:1002", "R200:1003"})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        talk.clear();
        struct
        {
            bool seen = false;
            bool importEnabled = true;
            bool lineShown = false;
            bool animationShown = false;
            QString line;
        } during;
        openImport(c.command, [&](QDialog& form) {
            auto* importB = child<QPushButton>(&form, "ImportB");
            // Runs at the first moment the run lets events through.
            QTimer::singleShot(0, &form, [&] {
                during.seen = true;
                during.importEnabled = importB->isEnabled();
                during.lineShown = child<QLabel>(&form, "Label1")->isVisible();
                during.animationShown = child<QProgressBar>(&form, "Animate1")->isVisible();
                during.line = child<QLabel>(&form, "Label1")->text();
                QTest::mouseClick(importB, Qt::LeftButton); // a second press starts nothing
            });
            QTest::mouseClick(importB, Qt::LeftButton);
            EXPECT_FALSE(form.isVisible()) << "the window stays open after the run";
            EXPECT_EQ(child<QLabel>(&form, "Label1")->text(), QString());
        });
        ASSERT_TRUE(during.seen) << "the run never let the window answer";
        EXPECT_FALSE(during.importEnabled) << "Import could be pressed during the run";
        EXPECT_TRUE(during.lineShown);
        EXPECT_TRUE(during.animationShown);
        EXPECT_TRUE(during.line.startsWith(QLatin1String("Records Imported = "))) << during.line.toStdString();
        EXPECT_TRUE(talk.said().isEmpty()) << talk.errors().join(QLatin1Char('|')).toStdString();

        EXPECT_EQ(column(QStringLiteral("SELECT ApplicantID || ':' || Name FROM applicants ORDER BY ApplicantID")),
                  c.applicants);
        EXPECT_EQ(column(QStringLiteral("SELECT ReqNumber || ':' || JobPostingID || ':' || PositionTitle "
                                        "FROM requisitions ORDER BY ReqNumber")),
                  c.requisitions);
        EXPECT_EQ(column(QStringLiteral("SELECT ReqNumber || ':' || ApplicantID FROM applications "
                                        "ORDER BY ReqNumber, ApplicantID")),
                  c.applications);
        if (!c.applicants.isEmpty()) {
            EXPECT_TRUE(scanned("1002")) << "the follow-up steps did not run";
        }
    }
}

// Cancel, the close box and Escape during a run of a long applicants file: the run
// stops before its next line with the lines read so far stored and nothing after
// them, the window says so and closes when the run has ended, and the follow-up
// steps do not run. Each run starts the file again from its first line.
TEST_P(ImportFormTest, CancelTheCloseBoxAndEscapeStopARunKeepingThePrefixRead)
{
    constexpr int kLines = 300000; // far more than a run gets through before it is stopped
    {
        QFile f(m_applicantsFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QByteArray text = QByteArray(kHeader) + '\n';
        text.reserve(kLines * 24);
        for (int i = 0; i < kLines; ++i)
            text += "A" + QByteArray::number(100000 + i) + "\tApplicant " + QByteArray::number(i) + '\n';
        f.write(text);
    }
    document("A100000");

    enum How
    {
        CancelButton,
        CloseBox,
        Escape
    };
    const struct
    {
        const char* name;
        How how;
    } cases[] = {{"Cancel", CancelButton}, {"close box", CloseBox}, {"Escape", Escape}};
    qint64 storedBefore = 0;
    const QRegularExpression records(QStringLiteral("^Records Imported = (\\d+)$"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        talk.clear();
        qint64 shownAtCancel = -1;
        bool openAfterCancel = false;
        QStringList linesAfterCancel;
        openImport("ApplicantsOnly2", [&](QDialog& form) {
            auto* line = child<QLabel>(&form, "Label1");
            QTimer watch;
            watch.setInterval(0);
            // Stops the run as soon as it has stored some lines, then watches the
            // progress line until the run ends.
            QObject::connect(&watch, &QTimer::timeout, &form, [&] {
                if (shownAtCancel >= 0) {
                    linesAfterCancel << line->text();
                    return;
                }
                const QRegularExpressionMatch m = records.match(line->text());
                if (!m.hasMatch() || m.captured(1).toLongLong() == 0)
                    return;
                shownAtCancel = m.captured(1).toLongLong();
                switch (c.how) {
                case CancelButton:
                    QTest::mouseClick(child<QPushButton>(&form, "BitBtn2"), Qt::LeftButton);
                    break;
                case CloseBox:
                    form.close();
                    break;
                case Escape:
                    QTest::keyClick(&form, Qt::Key_Escape);
                    break;
                }
                openAfterCancel = form.isVisible();
                linesAfterCancel << line->text();
            });
            watch.start();
            QTest::mouseClick(child<QPushButton>(&form, "ImportB"), Qt::LeftButton);
            watch.stop();
            EXPECT_FALSE(form.isVisible()) << "the window stays open after the run";
        });
        ASSERT_GT(shownAtCancel, 0) << "the run ended before it could be stopped";
        ASSERT_LT(shownAtCancel, kLines);
        EXPECT_TRUE(openAfterCancel) << "the window closed under the run";
        linesAfterCancel.removeDuplicates(); // the progress line from the press to the end of the run
        EXPECT_EQ(linesAfterCancel, QStringList{QStringLiteral("Import Aborted By User")});
        EXPECT_TRUE(talk.said().isEmpty()) << "a cancelled run is no error";

        // Exactly the lines read before the stop, whichever run read further.
        const qint64 stored = std::max(storedBefore, shownAtCancel);
        EXPECT_EQ(count("applicants"), stored);
        EXPECT_EQ(scalar(QStringLiteral("SELECT MIN(ApplicantID) FROM applicants")).toString(),
                  QStringLiteral("A100000"));
        EXPECT_EQ(scalar(QStringLiteral("SELECT MAX(ApplicantID) FROM applicants")).toString(),
                  QStringLiteral("A%1").arg(100000 + stored - 1));
        EXPECT_FALSE(scanned("A100000")) << "the follow-up steps ran after Cancel";
        storedBefore = stored;
    }
}

// Without a file the run tells why and still brings the flags into line with the
// documents; the window closes afterwards.
TEST_P(ImportFormTest, AMissingOrUnnamedFileIsToldAndTheFollowUpStillRuns)
{
    sql(QStringLiteral("INSERT INTO applicants (ApplicantID, Name, Scanned) VALUES ('2001', 'Dee Dunn', 0)"));
    document("2001");
    const struct
    {
        const char* name;
        QString file;
        const char* told;
    } cases[] = {
        {"missing", m_allFile, "Import File Does Not Exist"},
        {"unnamed", QString(), "No Import File Name Defined In General Settings"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        talk.clear();
        sql(QStringLiteral("UPDATE applicants SET Scanned = 0"));
        sql(QStringLiteral("UPDATE settings SET ImportFileName = ?"), {c.file});
        openImport("ApplicantsOnly1", [&](QDialog& form) {
            QTest::mouseClick(child<QPushButton>(&form, "ImportB"), Qt::LeftButton);
            EXPECT_FALSE(form.isVisible());
        });
        const QStringList errors = talk.errors();
        ASSERT_EQ(errors.size(), 1) << errors.join(QLatin1Char('|')).toStdString();
        EXPECT_TRUE(errors.first().startsWith(QLatin1String(c.told))) << errors.first().toStdString();
        EXPECT_EQ(talk.said().size(), 1);
        EXPECT_EQ(count("applicants"), 1);
        EXPECT_TRUE(scanned("2001")) << "the follow-up steps did not run";
    }
}

// The database fails after the file, in the notices step: the run ends with the
// database's message, the lines stay stored and the window closes.
TEST_P(ImportFormTest, ADatabaseFailureAfterTheFileIsToldAndTheWindowCloses)
{
    writeFile(m_allFile, strings({"1001\tAnn Archer\tR100\tNUR\tStaff Nurse"}));
    sql(QStringLiteral("UPDATE settings SET InformUsers = ?"), {true});
    data->ReadSettings();
    data->LoginData.EMailAddress = QStringLiteral("supervisor@example.org");
    sql(QStringLiteral("DROP TABLE notify_list"));

    openImport("ApplicantsOnly1", [&](QDialog& form) {
        QTest::mouseClick(child<QPushButton>(&form, "ImportB"), Qt::LeftButton);
        EXPECT_FALSE(form.isVisible());
    });
    const QStringList errors = talk.errors();
    ASSERT_EQ(errors.size(), 1) << errors.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(errors.first().contains(QLatin1String("notify_list"), Qt::CaseInsensitive))
        << errors.first().toStdString();
    EXPECT_EQ(column(QStringLiteral("SELECT ReqNumber || ':' || ApplicantID FROM applications")),
              strings({"R100:1001"}));
}

TEST_P(ImportFormTest, ScanForApplicationsAsksThenBringsTheFlagsIntoLineAndCountsThem)
{
    sql(QStringLiteral("INSERT INTO applicants (ApplicantID, Scanned) VALUES ('0001', 0), ('0002', 1), ('0003', 1), "
                       "('0004', 0), ('0005', 0)"));
    for (const char* id : {"0001", "0003", "0005"})
        document(id);
    const QString flags = QStringLiteral("SELECT ApplicantID FROM applicants WHERE Scanned = 1 ORDER BY ApplicantID");
    const struct
    {
        bool yes;
        QStringList informed;
        QStringList scannedAfter;
    } cases[] = {
        {false, {}, strings({"0002", "0003"})},
        {true,
         {QStringLiteral("Results From Scan For Applicaions:\n\nRecords Set To True That Where False: 2\n"
                         "Records Set To False That Where True: 1")},
         strings({"0001", "0003", "0005"})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.yes);
        talk.clear();
        talk.answer({c.yes});
        auto* action = child<QAction>(main.get(), "ScannForApplications1");
        ASSERT_TRUE(action->isEnabled());
        action->trigger();
        EXPECT_EQ(talk.questions(), QStringList{QStringLiteral("Are You Sure You Want To Scan For Applications?")});
        EXPECT_EQ(talk.informations(), c.informed);
        EXPECT_TRUE(talk.errors().isEmpty()) << talk.errors().join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(column(flags), c.scannedAfter);
    }
}
