// The department file set: text and HTML templates filled with a requisition's
// applications, the message body, the memo, the flow files and the form directories.

#include "dbfixture.h"
#include "scriptedtalk.h"

#include "demo/demotemplates.h"
#include "delivery/deptfiles.h"
#include "delivery/fileutils.h"
#include "mail/mailmessage.h"
#include "workbook.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

using namespace mw;
using mwtest::ScriptedTalk;

namespace {

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(bytes);
}

QStringList lines(const QString& path)
{
    QString t = QString::fromUtf8(readBytes(path));
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QStringList l = t.split(QLatin1Char('\n'));
    if (!l.isEmpty() && l.last().isEmpty())
        l.removeLast();
    return l;
}

// What a browser shows of an HTML file: a byte-order mark, else the character set a
// <meta> in the first 1024 bytes declares, else Windows-1252; then character
// references resolved. `charset` is the encoding it chose.
QString browserText(const QString& path, QString* charset = nullptr)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"), QStringLiteral(R"(import codecs, html, re, sys
b = open(sys.argv[1], 'rb').read()
if b.startswith(b'\xef\xbb\xbf'):
    enc, b = 'utf-8', b[3:]
else:
    m = re.search(rb'<meta[^>]*?charset\s*=\s*["\']?\s*([-\w.:]+)', b[:1024], re.I)
    label = m.group(1).decode('ascii').lower() if m else 'windows-1252'
    # Browsers read all of these as Windows-1252.
    if label in ('us-ascii', 'ascii', 'iso-8859-1', 'iso8859-1', 'latin1', 'l1', 'cp1252', 'windows-1252'):
        enc = 'cp1252'
    else:
        enc = codecs.lookup(label).name
sys.stdout.buffer.write((enc + '\n' + html.unescape(b.decode(enc, errors='replace'))).encode('utf-8'))
)"),
             path});
    if (!p.waitForFinished(60000))
        p.kill();
    QString out = QString::fromUtf8(p.readAllStandardOutput());
    const qsizetype nl = out.indexOf(QLatin1Char('\n'));
    if (charset)
        *charset = out.left(nl);
    return nl < 0 ? QStringLiteral("<no output>") : out.mid(nl + 1);
}

} // namespace

// ---------------------------------------------------------------- pure helpers

TEST(DeptText, TextToHTMLLinks)
{
    struct Case
    {
        const char* in;
        const char* out;
    } cases[] = {
        {"See HTTP://jobs.example.org/a,\"Our Jobs\" for more", "See <A HREF=\"http://jobs.example.org/a\">Our Jobs</A> for more<Br>"},
        {"Visit http://x.org/apply", "Visit <A HREF=\"http://x.org/apply\">http://x.org/apply</A><Br>"},
        {"http://a.org/ then http://b.org/", "<A HREF=\"http://a.org/\">http://a.org/</A> then <A HREF=\"http://b.org/\">http://b.org/</A><Br>"},
        {"No address here", "No address here<Br>"},
        {"two\r\nlines", "two<Br>lines<Br>"},
        {"", "<Br>"},
        {"http://a.org/x,\"unclosed label", "<A HREF=\"http://a.org/x\">unclosed label</A><Br>"},
    };
    for (const Case& c : cases) {
        QStringList l{QString::fromUtf8(c.in)};
        TextToHTML(l);
        EXPECT_EQ(l.value(0), QString::fromUtf8(c.out)) << c.in;
    }
}

TEST(DeptText, HTMLNameAndWebBase)
{
    TRequistionData html;
    html.SendAsHTML = true;
    TRequistionData plain;
    EXPECT_EQ(HTMLName(html, QStringLiteral("Memo.txt")), QStringLiteral("Memo.htm"));
    EXPECT_EQ(HTMLName(html, QStringLiteral("cover.letter.doc")), QStringLiteral("cover.letter.htm"));
    EXPECT_EQ(HTMLName(html, QStringLiteral("Memo")), QStringLiteral("Memo.htm"));
    EXPECT_EQ(HTMLName(html, QString()), QString());
    EXPECT_EQ(HTMLName(plain, QStringLiteral("Memo.doc")), QStringLiteral("Memo.doc"));

    EXPECT_EQ(WebBase(QStringLiteral("http://h.org/jobs/r1/index.htm")), QStringLiteral("http://h.org/jobs/r1/"));
    EXPECT_EQ(WebBase(QStringLiteral("http://h.org/jobs/")), QStringLiteral("http://h.org/jobs/"));
    EXPECT_EQ(WebBase(QStringLiteral("nohost")), QString());
}

TEST(DeptText, MailMessageRecipients)
{
    TMailMessage m;
    m.ToAddresses = QStringLiteral("a@x.org, b@x.org  \"Smith, Jo <jo@x.org>\",,c@x.org");
    EXPECT_EQ(m.recipients(), (QStringList{QStringLiteral("a@x.org"), QStringLiteral("b@x.org"),
                                           QStringLiteral("Smith, Jo <jo@x.org>"), QStringLiteral("c@x.org")}));
}

// ---------------------------------------------------------------- with a database

class DeptFilesTest : public mwtest::StoreTest
{
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        mw::Clock::setToday(QDate(2026, 6, 15));
        SystemInfo().FileExt = QStringLiteral("pdf");
        SystemInfo().HTTPAllowHTTP = true;
        SystemInfo().HTTPAllowSendAsWeb = true;
        SystemInfo().HTTPHeading = QStringList{QStringLiteral("<HEAD>")};
        SystemInfo().HTTPFooting = QStringList{QStringLiteral("<FOOT>")};
        dir = m_testDb->scratchDir() + QStringLiteral("/templates");
        out = m_testDb->scratchDir() + QStringLiteral("/out/");
        QDir().mkpath(dir);
        QDir().mkpath(out);

        sql(QStringLiteral("INSERT INTO users (UserID, UserName, Phone, FAX, JobPostingID, MainUser) "
                           "VALUES (?, ?, ?, ?, ?, ?)"),
            {QStringLiteral("HRMAIN"), QStringLiteral("Hanna Rowe"), QStringLiteral("555-0100"),
             QStringLiteral("555-0199"), QStringLiteral("HEALTH"), true});
        requisition(QStringLiteral("R100"), QStringLiteral("Clerk & Typist"), QStringLiteral("HEALTH"),
                    QStringLiteral("http://jobs.example.org/health/r100/index.htm"), true, false);
        applicant(QStringLiteral("000101"), QStringLiteral("Baker, Ann"), true, true, false);
        applicant(QStringLiteral("000102"), QStringLiteral("Adams, Bo"), false, false, true);
        applicant(QStringLiteral("000103"), QStringLiteral("Cole, Cy"), true, false, false);
        application(QStringLiteral("R100"), QStringLiteral("000101"), true, QDate(2026, 6, 1), QDate(2026, 6, 10));
        application(QStringLiteral("R100"), QStringLiteral("000102"), false, {}, QDate(2026, 6, 20));
        application(QStringLiteral("R100"), QStringLiteral("000103"), true, {}, QDate(2026, 7, 1));
    }

    TSystemInfo& SystemInfo() { return data->SystemInfo; }

    void requisition(const QString& req, const QString& title, const QString& group, const QString& web,
                     bool asEMail, bool asHTML)
    {
        sql(QStringLiteral("INSERT INTO requisitions (ReqNumber, PositionTitle, JobPostingID, Department, JobCode, "
                           "FTE, Contact, DatePosted, WebAddress, SendAsEMail, SendAsHTML, PositionUnderU, "
                           "PositionUnderUF, MessageToDept) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
            {req, title, group, QStringLiteral("Health Services"), QStringLiteral("J-7"), QStringLiteral("0.5"),
             QStringLiteral("Pat Lee"), QDate(2026, 5, 1), web, asEMail, asHTML, true,
             QStringLiteral("Women in clerical work"),
             QStringLiteral("Dear %CONTACT%,\r\nhere are the applicants for %JOBTITLE%.\r\n"
                            "See http://jobs.example.org/,\"our site\" today")});
    }
    void applicant(const QString& id, const QString& name, bool scanned, bool vet, bool rif)
    {
        sql(QStringLiteral("INSERT INTO applicants (ApplicantID, Name, Scanned, VeteranPreference, RIF, City, "
                           "RIFExpires) VALUES (?, ?, ?, ?, ?, ?, ?)"),
            {id, name, scanned, vet, rif, QStringLiteral("Springfield"), rif ? QVariant(QDate(2027, 1, 2)) : QVariant()});
    }
    void application(const QString& req, const QString& id, bool approved, const QVariant& sent,
                     const QVariant& interview)
    {
        sql(QStringLiteral("INSERT INTO applications (ReqNumber, ApplicantID, Approved, SemtDate, InterviewDate) "
                           "VALUES (?, ?, ?, ?, ?)"),
            {req, id, approved, sent, interview});
    }
    void setDelivery(bool asEMail, bool asHTML, const QString& web = QStringLiteral("keep"))
    {
        sql(QStringLiteral("UPDATE requisitions SET SendAsEMail = ?, SendAsHTML = ? WHERE ReqNumber = ?"),
            {asEMail, asHTML, QStringLiteral("R100")});
        if (web != QLatin1String("keep"))
            sql(QStringLiteral("UPDATE requisitions SET WebAddress = ? WHERE ReqNumber = ?"),
                {web, QStringLiteral("R100")});
    }
    TRequistionData req()
    {
        TRequistionData r;
        data->LoadRequisition(QStringLiteral("R100"), r);
        return r;
    }
    std::unique_ptr<TDeptFiles> files()
    {
        auto f = std::make_unique<TDeptFiles>(*data, talk);
        f->TemplateDir = dir;
        f->TempDir = out;
        f->Message = &message;
        return f;
    }
    void templ(const QString& name, const QByteArray& text) { writeBytes(dir + QLatin1Char('/') + name, text); }

    ScriptedTalk talk;
    TMailMessage message;
    QString dir;
    QString out;
};

TEST_P(DeptFilesTest, TextTemplateHeaderRowsAndTrailer)
{
    templ(QStringLiteral("Flow.txt"),
          "Flow for %JOBNUMBER% %jobtitle% (%POSTINGID%) on %TODAY%\r\n"
          "HR: %HRNAME% %HRPHONE% %HRFAX% - %UNDER% underutilized: %UNDERTEXT%\r\n"
          "--- the %detail% lines ---\r\n"
          "%APPID% %APPNAME%;12;|%APPAPPROVED%|%APPVET%|%APPRIF%|%APPRIFEXPIRES%|%APPSENTON%|%APPINTERVIEW%|%APPCITY%\r\n"
          "End of %DEPNAME% %WEBSITE%\r\n");
    auto f = files();
    EXPECT_TRUE(f->MakeTextFile(QStringLiteral("Flow.txt"), out + QStringLiteral("Flow.txt"), QStringLiteral("R100"),
                                false, false, false, QDate(), QDate()));
    const QByteArray bytes = readBytes(out + QStringLiteral("Flow.txt"));
    EXPECT_TRUE(bytes.contains("\r\n")) << "the template's line ends are kept";
    const QStringList got = lines(out + QStringLiteral("Flow.txt"));
    const QStringList credits = CreditLines();
    QStringList expected{
        QStringLiteral("Flow for R100 Clerk & Typist (HEALTH) on 06/15/2026"),
        QStringLiteral("HR: Hanna Rowe 555-0100 555-0199 - is underutilized: Women in clerical work"),
        QStringLiteral("000102 Adams, Bo   |No|No|Yes|01/02/2027||06/20/2026|Springfield"),
        QStringLiteral("000101 Baker, Ann  |Yes|Yes|No||06/01/2026|06/10/2026|Springfield"),
        QStringLiteral("000103 Cole, Cy    |Yes|No|No|||07/01/2026|Springfield"),
        QStringLiteral("End of Health Services Not Defined"),
        QString()};
    expected << credits;
    EXPECT_EQ(got, expected);
}

TEST_P(DeptFilesTest, TextTemplateFilters)
{
    templ(QStringLiteral("Report.txt"), "%DETAIL%\n%APPID%\n");
    auto f = files();
    const QString path = out + QStringLiteral("r.txt");
    EXPECT_TRUE(f->MakeTextFile(QStringLiteral("Report.txt"), path, QStringLiteral("R100"), true, false, false, {}, {}));
    EXPECT_EQ(lines(path).mid(0, 2), (QStringList{QStringLiteral("000101"), QStringLiteral("000103")}));
    EXPECT_FALSE(readBytes(path).contains('\r')) << "a template with LF line ends gives LF";

    EXPECT_TRUE(f->MakeTextFile(QStringLiteral("Report.txt"), path, QStringLiteral("R100"), false, false, true,
                                QDate(2026, 6, 10), QDate(2026, 6, 30)));
    EXPECT_EQ(lines(path).mid(0, 2), (QStringList{QStringLiteral("000102"), QStringLiteral("000101")}));
}

TEST_P(DeptFilesTest, TextTemplateFaults)
{
    auto f = files();
    const QString path = out + QStringLiteral("x.txt");
    // Missing template: nothing written, no message.
    EXPECT_FALSE(f->MakeTextFile(QStringLiteral("Missing.txt"), path, QStringLiteral("R100"), false, false, false, {}, {}));
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_TRUE(talk.errors().isEmpty());

    // No applications: header and trailer are written, the result is false.
    templ(QStringLiteral("T.txt"), "Head %JOBNUMBER%\n%DETAIL%\n%APPID%\nTail\n");
    EXPECT_FALSE(f->MakeTextFile(QStringLiteral("T.txt"), path, QStringLiteral("NONE"), false, false, false, {}, {}));
    EXPECT_EQ(lines(path).mid(0, 3), (QStringList{QStringLiteral("Head NONE"), QStringLiteral("Tail"), QString()}));

    // No marker: the whole template is the header, each application adds an empty line.
    templ(QStringLiteral("NoMarker.txt"), "Only %JOBNUMBER%\n");
    EXPECT_TRUE(f->MakeTextFile(QStringLiteral("NoMarker.txt"), path, QStringLiteral("R100"), false, false, false, {}, {}));
    EXPECT_EQ(lines(path).mid(0, 5), (QStringList{QStringLiteral("Only R100"), QString(), QString(), QString(), QString()}));

    // An empty template, and a marker on the last line: no crash, rows are empty lines.
    templ(QStringLiteral("Empty.txt"), "");
    EXPECT_TRUE(f->MakeTextFile(QStringLiteral("Empty.txt"), path, QStringLiteral("R100"), false, false, false, {}, {}));
    templ(QStringLiteral("Last.txt"), "%DETAIL%");
    EXPECT_TRUE(f->MakeTextFile(QStringLiteral("Last.txt"), path, QStringLiteral("R100"), false, false, false, {}, {}));
    EXPECT_EQ(lines(path).mid(0, 3), (QStringList{QString(), QString(), QString()}));

    // An output that cannot be created.
    EXPECT_FALSE(f->MakeTextFile(QStringLiteral("T.txt"), out + QStringLiteral("no/such/dir/x.txt"),
                                 QStringLiteral("R100"), false, false, false, {}, {}));
    EXPECT_EQ(talk.errors(), QStringList{QStringLiteral("Error:  Could Not Create Temporary File")});
}

TEST_P(DeptFilesTest, HTMLTemplateLinksMarksAndEscapes)
{
    sql(QStringLiteral("UPDATE applicants SET Name = ? WHERE ApplicantID = ?"),
        {QStringLiteral("Cole <Cy>"), QStringLiteral("000103")});
    templ(QStringLiteral("deptindex.htm"), "<Title>%JOBTITLE%</Title>\n<Table>%DETAIL%\n"
                                           "<Tr><Td>%APPNAME%</Td><Td>%APPVET%</Td><Td>%APPRIF%</Td><Td>%APPZIP%</Td></Tr>\n"
                                           "</Table>\n");
    auto f = files();
    f->MakeDeptIndex(req());
    const QStringList got = lines(out + QStringLiteral("deptindex.htm"));
    const QStringList expected{
        QStringLiteral("<HEAD><meta charset=\"windows-1252\">"),
        QStringLiteral("<Title>Clerk &amp; Typist</Title>"),
        QStringLiteral("<Tr><Td>Adams, Bo</Td><Td>No</Td><Td><Font Color=\"ff0000\">Yes</Font></Td><Td>&nbsp;</Td></Tr>"),
        // Sent, approved and scanned: linked.
        QStringLiteral("<Tr><Td><A HREF=\"http://jobs.example.org/health/r100/000101.pdf\">Baker, Ann</A></Td>"
                       "<Td><Font Color=\"ff0000\">Yes</Font></Td><Td>No</Td><Td>&nbsp;</Td></Tr>"),
        // Approved and scanned but not sent: not linked.
        QStringLiteral("<Tr><Td>Cole &lt;Cy&gt;</Td><Td>No</Td><Td>No</Td><Td>&nbsp;</Td></Tr>"),
        QStringLiteral("</Table>"),
        QStringLiteral("<FOOT>")};
    EXPECT_EQ(got, expected);

    // Without a web address the documents are linked under "Invalid".
    setDelivery(true, false, QString());
    f->MakeDeptIndex(req());
    EXPECT_TRUE(lines(out + QStringLiteral("deptindex.htm")).join(QLatin1Char('\n')).contains(
        QStringLiteral("<A HREF=\"Invalid000101.pdf\">Baker, Ann</A>")));
}

TEST_P(DeptFilesTest, TemplateEncodingIsKept)
{
    sql(QStringLiteral("UPDATE applicants SET Name = ? WHERE ApplicantID = ?"),
        {QStringLiteral("Bö 山田"), QStringLiteral("000101")});
    auto f = files();
    // Windows-1252: "é" is one byte; a character the code page lacks becomes "?" in
    // text and a character reference in HTML.
    templ(QStringLiteral("W.txt"), "Caf\xE9 %DETAIL%\n%APPNAME%\n");
    f->MakeTextFile(QStringLiteral("W.txt"), out + QStringLiteral("w.txt"), QStringLiteral("R100"), true, false, false, {}, {});
    EXPECT_EQ(readBytes(out + QStringLiteral("w.txt")).left(9), QByteArray("B\xF6 ??\nCol"));
    templ(QStringLiteral("W.htm"), "Caf\xE9\n%DETAIL%\n%APPNAME%\n");
    f->MakeTextFile(QStringLiteral("W.htm"), out + QStringLiteral("w.htm"), QStringLiteral("R100"), true, false, false, {}, {});
    EXPECT_TRUE(readBytes(out + QStringLiteral("w.htm")).contains("Caf\xE9\n<A HREF=\"http://jobs.example.org/health/r100/000101.pdf\">B\xF6 &#23665;&#30000;</A>"));
    // UTF-8 stays UTF-8.
    templ(QStringLiteral("U.txt"), "Café\n%DETAIL%\n%APPNAME%\n");
    f->MakeTextFile(QStringLiteral("U.txt"), out + QStringLiteral("u.txt"), QStringLiteral("R100"), true, false, false, {}, {});
    EXPECT_EQ(lines(out + QStringLiteral("u.txt")).mid(0, 2), (QStringList{QStringLiteral("Café"), QStringLiteral("Bö 山田")}));
}

TEST_P(DeptFilesTest, TheReaderKnowsTheEncoding)
{
    // An approved, sent and scanned applicant whose name has characters of
    // Windows-1252 (ë, €) and beyond it (山田, an emoji).
    const QString name = QStringLiteral("Baker, Zoë € 山田 😀");
    sql(QStringLiteral("UPDATE applicants SET Name = ? WHERE ApplicantID = ?"), {name, QStringLiteral("000101")});
    const QByteArray rows = "%DETAIL%\n%APPNAME%\n";
    const QByteArray inCp1252 = "Baker, Zo\xEB \x80 &#23665;&#30000; &#128512;";
    const QByteArray inUtf8 = "Baker, Zo\xC3\xAB \xE2\x82\xAC \xE5\xB1\xB1\xE7\x94\xB0 \xF0\x9F\x98\x80";
    const QByteArray utf8Bom = "\xEF\xBB\xBF";
    const struct
    {
        const char* what;
        QStringList heading;
        QByteArray templ;
        QByteArray expected; // in the bytes written; "^" at the start means at the very start
        const char* charset; // what a browser reads it as
    } cases[] = {
        {"plain ASCII, no head", {}, "<Table>\n" + rows + "</Table>\n",
         "^<meta charset=\"windows-1252\"><Table>\n<A HREF=\"http://jobs.example.org/health/r100/000101.pdf\">" + inCp1252,
         "cp1252"},
        {"plain ASCII, the head in the heading", {QStringLiteral("<HTML><HEAD><TITLE>Jobs</TITLE></HEAD><BODY>")},
         rows + "</BODY></HTML>\n", "^<HTML><HEAD><meta charset=\"windows-1252\"><TITLE>Jobs</TITLE>", "cp1252"},
        {"plain ASCII, the head in the template", {},
         "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<title>%JOBTITLE%</title>\n</head>\n<body>" + rows + "</body></html>\n",
         "^<!DOCTYPE html>\n<html lang=\"en\">\n<head><meta charset=\"windows-1252\">\n<title>", "cp1252"},
        {"plain ASCII declaring UTF-8", {}, "<head><meta charset=\"utf-8\"></head>\n" + rows,
         "^<head><meta charset=\"utf-8\"></head>\n<A HREF=\"http://jobs.example.org/health/r100/000101.pdf\">" + inUtf8,
         "utf-8"},
        {"plain ASCII declaring ISO-8859-1", {},
         "<HEAD><META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=ISO-8859-1\"></HEAD>\n" + rows,
         "^<HEAD><META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=ISO-8859-1\"></HEAD>\n<A HREF", "cp1252"},
        {"UTF-8 with a byte-order mark", {}, utf8Bom + "<p>Caf\xC3\xA9</p>\n" + rows,
         "^" + utf8Bom + "<meta charset=\"utf-8\"><p>Caf\xC3\xA9</p>\n", "utf-8"},
        {"UTF-8", {}, "<p>Caf\xC3\xA9</p>\n" + rows, "^<meta charset=\"utf-8\"><p>Caf\xC3\xA9</p>\n", "utf-8"},
        {"Windows-1252", {}, "<p>Caf\xE9</p>\n" + rows, "^<meta charset=\"windows-1252\"><p>Caf\xE9</p>\n", "cp1252"},
    };
    auto f = files();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SystemInfo().HTTPHeading = c.heading;
        templ(QStringLiteral("E.htm"), c.templ);
        const QString path = out + QStringLiteral("E.htm");
        EXPECT_TRUE(f->MakeTextFile(QStringLiteral("E.htm"), path, QStringLiteral("R100"), true, false, false, {}, {}));
        const QByteArray bytes = readBytes(path);
        if (c.expected.startsWith('^'))
            EXPECT_EQ(bytes.left(c.expected.size() - 1), c.expected.mid(1));
        else
            EXPECT_TRUE(bytes.contains(c.expected)) << bytes.toStdString();
        EXPECT_EQ(bytes.count("charset"), 1) << "one declaration";
        QString charset;
        const QString shown = browserText(path, &charset);
        EXPECT_EQ(charset, QLatin1String(c.charset));
        EXPECT_TRUE(shown.contains(QStringLiteral(">") + name + QStringLiteral("</A>"))) << shown.toStdString();
    }

    // Text and CSV files: Windows-1252 for a plain ASCII template ("?" for what it
    // lacks), UTF-8 with its byte-order mark for a UTF-8 one.
    const struct
    {
        const char* what;
        QByteArray templ;
        QByteArray start;
    } texts[] = {
        {"plain ASCII", "\"%JOBNUMBER%\"\r\n%DETAIL%\r\n\"%APPNAME%\"\r\n", "\"R100\"\r\n\"Baker, Zo\xEB \x80 ?? ?\"\r\n\"Cole, Cy\"\r\n"},
        {"UTF-8 with a byte-order mark", utf8Bom + "\"%JOBNUMBER%\"\n%DETAIL%\n\"%APPNAME%\"\n",
         utf8Bom + "\"R100\"\n\"" + inUtf8 + "\"\n\"Cole, Cy\"\n"},
    };
    for (const auto& c : texts) {
        SCOPED_TRACE(c.what);
        templ(QStringLiteral("ExportList.txt"), c.templ);
        const QString path = out + QStringLiteral("Applican.csv");
        EXPECT_TRUE(f->MakeTextFile(QStringLiteral("ExportList.txt"), path, QStringLiteral("R100"), true, false, false, {}, {}));
        EXPECT_EQ(readBytes(path).left(c.start.size()), c.start);
    }

    // The memo, as text and as HTML.
    sql(QStringLiteral("UPDATE requisitions SET Contact = ? WHERE ReqNumber = ?"),
        {QStringLiteral("Zoë Ōta"), QStringLiteral("R100")});
    SystemInfo().CustomMemo = QStringLiteral("Memo.txt");
    templ(QStringLiteral("Memo.txt"), "To %CONTACT%\r\n");
    templ(QStringLiteral("Memo.htm"), "<p>To %CONTACT%</p>\r\n");
    setDelivery(true, false);
    f->AttachMemo(req());
    EXPECT_EQ(readBytes(out + QStringLiteral("Memo.txt")), QByteArray("To Zo\xEB ?ta\r\n"));
    setDelivery(true, true);
    f->AttachMemo(req());
    EXPECT_EQ(readBytes(out + QStringLiteral("Memo.htm")), QByteArray("<meta charset=\"windows-1252\"><p>To Zo\xEB &#332;ta</p>\r\n"));
    EXPECT_EQ(browserText(out + QStringLiteral("Memo.htm")), QStringLiteral("<meta charset=\"windows-1252\"><p>To Zoë Ōta</p>\r\n"));
}

TEST_P(DeptFilesTest, LineEndsInsideValuesAreTheTemplates)
{
    sql(QStringLiteral("UPDATE requisitions SET PositionUnderUF = ? WHERE ReqNumber = ?"),
        {QStringLiteral("one\r\ntwo\rthree\nfour"), QStringLiteral("R100")});
    sql(QStringLiteral("UPDATE applicants SET Address1 = ? WHERE ApplicantID = ?"),
        {QStringLiteral("1 Main St\r\nApt 2"), QStringLiteral("000101")});
    SystemInfo().CustomMemo = QStringLiteral("Memo.txt");
    auto f = files();
    for (const QByteArray& end : {QByteArray("\r\n"), QByteArray("\n"), QByteArray("\r")}) {
        SCOPED_TRACE(end == "\r\n" ? "CR LF" : end == "\n" ? "LF" : "CR");
        templ(QStringLiteral("L.txt"), "U: %UNDERTEXT%" + end + "%DETAIL%" + end + "%APPID% %APPADDRESS1%" + end + "End" + end);
        const QString path = out + QStringLiteral("L.txt");
        EXPECT_TRUE(f->MakeTextFile(QStringLiteral("L.txt"), path, QStringLiteral("R100"), true, false, false, {}, {}));
        QByteArray expected = "U: one" + end + "two" + end + "three" + end + "four" + end + "000101 1 Main St" + end +
                              "Apt 2" + end + "000103 " + end + "End" + end + end;
        for (const QString& l : CreditLines())
            expected += l.toUtf8() + end;
        EXPECT_EQ(readBytes(path), expected);

        templ(QStringLiteral("Memo.txt"), "To %CONTACT%" + end + "Under: %UNDERTEXT%" + end);
        f->AttachMemo(req());
        EXPECT_EQ(readBytes(out + QStringLiteral("Memo.txt")),
                  "To Pat Lee" + end + "Under: one" + end + "two" + end + "three" + end + "four" + end);
    }
}

TEST_P(DeptFilesTest, ATemplateWithCRLineEnds)
{
    templ(QStringLiteral("Mac.txt"), "Head %JOBNUMBER%\r%DETAIL%\r%APPID% %APPCITY%\rTail\r");
    auto f = files();
    const QString path = out + QStringLiteral("Mac.txt");
    EXPECT_TRUE(f->MakeTextFile(QStringLiteral("Mac.txt"), path, QStringLiteral("R100"), true, false, false, {}, {}));
    QByteArray expected = "Head R100\r000101 Springfield\r000103 Springfield\rTail\r\r";
    for (const QString& l : CreditLines())
        expected += l.toUtf8() + '\r';
    EXPECT_EQ(readBytes(path), expected);
}

TEST_P(DeptFilesTest, HRContact)
{
    auto f = files();
    TRequistionData r = req();
    QString text = QStringLiteral("%HRNAME%/%HRPHONE%/%HRFAX%");
    f->FillReqPlaceholders(text, r);
    EXPECT_EQ(text, QStringLiteral("Hanna Rowe/555-0100/555-0199"));

    // A group without a main user: the logged-on user.
    r.JobPostingID = QStringLiteral("PARKS");
    text = QStringLiteral("%HRNAME%");
    f->FillReqPlaceholders(text, r);
    EXPECT_EQ(text, data->LoginData.UserName);

    // No group: empty.
    r.JobPostingID.clear();
    text = QStringLiteral("[%HRNAME%][%HRPHONE%][%HRFAX%]");
    f->FillReqPlaceholders(text, r);
    EXPECT_EQ(text, QStringLiteral("[][][]"));
}

TEST_P(DeptFilesTest, ApplicationLineInEachMode)
{
    auto f = files();
    TApplicantData a;
    a.ApplicantID = QStringLiteral("000101");
    a.Name = QStringLiteral("Baker, Ann");
    a.VeteranPreference = true;
    a.RIF = true;
    TApplicantData b;
    b.ApplicantID = QStringLiteral("000102");
    b.Name = QString(45, QLatin1Char('N'));
    struct Case
    {
        bool asEMail, asHTML;
        const TApplicantData* applicant;
        QString line;
    } cases[] = {
        {true, false, &a, QStringLiteral("000101 Baker, Ann") + QString(30, QLatin1Char(' ')) + QStringLiteral(" Veteran RIF")},
        {true, false, &b, QStringLiteral("000102 ") + QString(45, QLatin1Char('N'))},
        {true, true, &a, QStringLiteral("000101  Baker, Ann Veteran  RIF")},
        {false, true, &a,
         QStringLiteral("<Tr><Td><Font Size=2>000101</Font></Td><Td VAlign=Top><Font Size=2>"
                        "<A HREF=\"http://jobs.example.org/health/r100/000101.pdf\">Baker, Ann</A></Font></Td>"
                        "<Td><Font Size=2 Color=\"ff0000\">Veteran</Font></Td><Td><Font Size=2 Color=\"ff0000\">RIF</Font></Td>")},
        {false, true, &b,
         QStringLiteral("<Tr><Td><Font Size=2>000102</Font></Td><Td VAlign=Top><Font Size=2>"
                        "<A HREF=\"http://jobs.example.org/health/r100/000102.pdf\">") +
             QString(45, QLatin1Char('N')) + QStringLiteral("</A></Font></Td><Td>&nbsp</Td><Td>&nbsp</Td>")},
        {false, false, &a, QStringLiteral("000101 Baker, Ann") + QString(30, QLatin1Char(' ')) +
                               QStringLiteral(" Veteran RIF  http://jobs.example.org/health/r100/000101.pdf")},
    };
    for (const Case& c : cases) {
        setDelivery(c.asEMail, c.asHTML);
        EXPECT_EQ(f->ApplicationLine(*c.applicant, req()), c.line) << c.asEMail << c.asHTML;
    }
}

TEST_P(DeptFilesTest, MessageBody)
{
    auto f = files();
    setDelivery(false, true);
    TRequistionData r = req();
    f->StartDeptBody(r);
    f->EndDeptBody(r);
    EXPECT_EQ(message.Body,
              (QStringList{QStringLiteral("<HEAD>"), QStringLiteral("Dear Pat Lee,<Br>"),
                           QStringLiteral("here are the applicants for Clerk & Typist.<Br>"),
                           QStringLiteral("See <A HREF=\"http://jobs.example.org/\">our site</A> today<Br>"),
                           QStringLiteral("<Br>"), QStringLiteral("Applicants Enclosed:<Br>"), QStringLiteral("<Br>"),
                           QStringLiteral("<Table Border=0>"), QStringLiteral("</Table>"), QStringLiteral("<FOOT>")}));

    message.Body.clear();
    setDelivery(true, true);
    r = req();
    f->StartDeptBody(r);
    f->EndDeptBody(r);
    EXPECT_EQ(message.Body,
              (QStringList{QStringLiteral("Dear Pat Lee,"), QStringLiteral("here are the applicants for Clerk & Typist."),
                           QStringLiteral("See http://jobs.example.org/,\"our site\" today"), QStringLiteral(" "),
                           QStringLiteral("Applicants Enclosed:"), QStringLiteral(" ")}));
}

TEST_P(DeptFilesTest, MemoFlowFilesAndDirectories)
{
    auto f = files();
    // No memo setting: nothing made.
    f->AttachMemo(req());
    EXPECT_TRUE(message.Attachments.isEmpty());

    SystemInfo().CustomMemo = QStringLiteral("Memo.doc");
    templ(QStringLiteral("Memo.doc"), "To %CONTACT%\n%DETAIL% stays\n");
    templ(QStringLiteral("Memo.htm"), "<P>To %CONTACT% &amp; %JOBTITLE%</P>\n");
    f->AttachMemo(req());
    EXPECT_EQ(message.Attachments, QStringList{out + QStringLiteral("Memo.txt")});
    EXPECT_EQ(lines(out + QStringLiteral("Memo.txt")), (QStringList{QStringLiteral("To Pat Lee"), QStringLiteral("%DETAIL% stays")}));
    setDelivery(true, true);
    f->AttachMemo(req());
    EXPECT_EQ(message.Attachments.last(), out + QStringLiteral("Memo.htm"));
    EXPECT_EQ(lines(out + QStringLiteral("Memo.htm")), QStringList{QStringLiteral("<meta charset=\"windows-1252\"><P>To Pat Lee &amp; Clerk &amp; Typist</P>")});
    SystemInfo().CustomMemo = QStringLiteral("Gone.txt");
    EXPECT_THROW(f->AttachMemo(req()), FileError);

    // Flow files: attached in order whether written or not; the workbook only when asked for.
    message.Attachments.clear();
    templ(QStringLiteral("flow.htm"), "%DETAIL%\n%APPNAME%\n");
    f->MakeFlowFiles(req());
    EXPECT_EQ(message.Attachments, (QStringList{out + QStringLiteral("flow.htm"), out + QStringLiteral("report.htm"),
                                                out + QStringLiteral("Applican.csv")}));
    EXPECT_TRUE(QFileInfo::exists(out + QStringLiteral("flow.htm")));
    EXPECT_FALSE(QFileInfo::exists(out + QStringLiteral("report.htm")));
    EXPECT_EQ(talk.openWaits(), 0);

    // Form directories: every file, not the subdirectories; an empty setting attaches nothing.
    message.Attachments.clear();
    const QString forms = m_testDb->scratchDir() + QStringLiteral("/forms");
    QDir().mkpath(forms + QStringLiteral("/sub"));
    writeBytes(forms + QStringLiteral("/b.doc"), "b");
    writeBytes(forms + QStringLiteral("/a.pdf"), "a");
    writeBytes(forms + QStringLiteral("/README"), "r");
    writeBytes(forms + QStringLiteral("/sub/c.doc"), "c");
    f->AttachDirectory(forms);
    f->AttachDirectory(QString());
    f->AttachDirectory(forms + QStringLiteral("/missing"));
    EXPECT_EQ(message.Attachments, (QStringList{forms + QStringLiteral("/README"), forms + QStringLiteral("/a.pdf"),
                                                forms + QStringLiteral("/b.doc")}));
}

TEST_P(DeptFilesTest, DemoTemplatesServeEveryPath)
{
    writeDemoTemplates(dir);
    SystemInfo().CustomMemo = QStringLiteral("Memo.txt");
    SystemInfo().ExportAsExcel = true;
    SystemInfo().FilesSendFirst = demoFormDirectory(dir, QStringLiteral("FilesSendFirst"));
    auto f = files();
    for (const bool asHTML : {false, true}) {
        setDelivery(true, asHTML);
        message.Attachments.clear();
        const TRequistionData r = req();
        f->AttachDirectory(SystemInfo().FilesSendFirst);
        f->AttachMemo(r);
        f->MakeFlowFiles(r);
        ASSERT_EQ(message.Attachments.size(), 7) << message.Attachments.join(QLatin1Char('\n')).toStdString();
        for (const QString& a : message.Attachments) {
            const QByteArray bytes = readBytes(a);
            EXPECT_FALSE(bytes.isEmpty()) << a.toStdString();
            EXPECT_FALSE(bytes.contains("%JOB")) << a.toStdString() << " still holds a placeholder";
        }
        EXPECT_TRUE(readBytes(out + (asHTML ? QStringLiteral("flow.htm") : QStringLiteral("Flow.txt"))).contains("Baker, Ann"));
    }
    f->MakeDeptIndex(req());
    EXPECT_TRUE(readBytes(out + QStringLiteral("deptindex.htm")).contains("000101.pdf\">Baker, Ann</A>"));
    for (const char* name : {"ExportList.xls", "Export.xls", "ExportList.txt", "Export.txt"}) {
        const QString target = out + QStringLiteral("export-") + QLatin1String(name);
        SystemInfo().ExportAsExcel = QString::fromLatin1(name).endsWith(QLatin1String(".xls"));
        EXPECT_TRUE(f->MakeExportFile(QLatin1String(name), target, QStringLiteral("R100"), false, false, false, {}, {}))
            << name;
    }
    const xls::Sheet s = xls::Workbook::read(out + QStringLiteral("export-ExportList.xls")).firstSheet();
    EXPECT_EQ(s.text(0, 0), QStringLiteral("Applicants for R100 Clerk & Typist"));
    EXPECT_EQ(s.text(4, 1), QStringLiteral("Adams, Bo"));
    EXPECT_TRUE(talk.errors().isEmpty()) << talk.errors().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(talk.openWaits(), 0);
}

MW_INSTANTIATE_BACKENDS(DeptFilesTest);
