// The import layout, the line reader and the import file source.

#include "dbfixture.h"

#include "import/importreader.h"
#include "scriptedtalk.h"
#include "shared/clock.h"
#include "shared/progress.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

using mw::ImportFile;
using mw::ImportReader;
using mw::TImportData;

namespace {

QString q(const char* s) { return QString::fromUtf8(s); }

// ------------------------------------------------------------ single fields

struct ColumnCase
{
    const char* line;
    int start, count;
    const char* expected;
};

TEST(ImportReadDataLine, CutsColumnsAndTrimsBlanksOnly)
{
    const ColumnCase cases[] = {
        {"  abc  xyz", 1, 7, "abc"},
        {"abcdef", 5, 10, "ef"},           // runs past the end: the visible part
        {"abc", 4, 3, ""},                 // starts past the end
        {"abc", 9, 1, ""},
        {"a\tb c", 1, 3, "a\tb"},          // a tab is an ordinary character in columns
        {"\tx \t", 1, 4, "\tx \t"},        // only the space is a blank
        {"0123456789ABCDEF", 12, 5, "BCDEF"},
        {"", 1, 5, ""},
        {"abc", 1, 0, ""},
        {"                 abc            d e                  |", 1, 53, "abc            d e"},
        {"                                   ", 3, 30, ""},
        {"x                 \t               y", 2, 40, "\t               y"},
    };
    ImportReader r;
    for (const auto& c : cases) {
        r.DataLine = q(c.line);
        EXPECT_EQ(r.ReadDataLine(c.start, c.count), q(c.expected)) << c.line << " @" << c.start;
    }
}

struct FieldCase
{
    const char* line;
    int field;
    const char* expected;
};

TEST(ImportReadDelimitedData, TabFieldsWithOneEnclosingQuoteRemoved)
{
    const FieldCase cases[] = {
        {"a\tb\tc", 1, "a"},
        {"a\tb\tc", 2, "b"},
        {"a\tb\tc", 3, "c"},
        {"a\tb", 3, ""},                        // one tab: no third field
        {"a\t\tc", 2, ""},
        {"a\t", 2, ""},
        {"", 1, ""},
        {"x\t  \"Smith, John\"  \ty", 2, "Smith, John"},
        {"\"O\"Brien\"", 1, "O\"Brien"},        // the inner quote stays
        {"\"", 1, ""},
        {"\"\"\"", 1, "\""},                    // doubled quotes are not collapsed
        {"x\t\"a\tb\"", 2, "a"},                // a tab inside quotes still ends the field
        {"x\t\"a\tb\"", 3, "b"},
        {"\" padded \"", 1, " padded "},        // blanks inside the quotes are kept
        {"f1\tf2\tf3\tf4\tf5\tf6\tf7\tf8\tf9\tf10\tf11\tf12\tf13", 12, "f12"},
        {"1234567\t9abcdef\t\t\t\t\t\t\t\t\tlast", 11, "last"},
        {"1234567\t9abcdef\t\t\t\t\t\t\t\t\tlast", 2, "9abcdef"},
        {"1234567\t9abcdef\t\t\t\t\t\t\t\t\tlast", 12, ""},
    };
    ImportReader r;
    for (const auto& c : cases) {
        r.DataLine = q(c.line);
        QString v = QStringLiteral("previous");
        r.ReadDelimitedData(c.field, v);
        EXPECT_EQ(v, q(c.expected)) << c.line << " #" << c.field;
    }
}

TEST(ImportReadDelimitedData, FieldNumberBelowOneLeavesValueAlone)
{
    ImportReader r;
    r.DataLine = QStringLiteral("a\tb");
    for (int n : {0, -1, -100}) {
        QString v = QStringLiteral("kept");
        r.ReadDelimitedData(n, v);
        EXPECT_EQ(v, QStringLiteral("kept")) << n;
    }
}

TEST(ImportConvertDate, NormalisesToMonthDayYear)
{
    const std::pair<const char*, const char*> cases[] = {
        {"12/01/2003", "12/01/2003"},
        {"1/5/2003", "1/5/2003"},     // already a date: no leading zeros added
        {"12-01-2003", "12/01/2003"},
        {"2003/12/01", "12/01/2003"},
        {"2003-12-01", "12/01/2003"},
        {"2099-06-30", "06/30/2099"},
        {"2003-12-1", "12/1/2003"},
        {"20031201", "20031201"},     // not a date: passed on unchanged
        {"13/45/2003", "13/45/2003"},
        {"2003/", "/2003"},
        {"", ""},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(ImportReader::ConvertDateTommddyyyy(q(in)), q(out)) << in;
}

struct CodeCase
{
    const char* list;
    const char* code;
    bool valid;
};

TEST(ImportCodeLists, WholeItemsAgainstTheUpperCasedCode)
{
    const CodeCase cases[] = {
        {"A;B", "b", true},
        {"A;B", "B", true},
        {"a;B", "a", false},     // a lower-case entry never matches
        {"A;B", "AB", false},
        {"", "", false},          // an empty list accepts nothing
        {"", "A", false},
        {"A;;B", "", true},       // an empty item accepts an empty code
        {"A;", "", true},
        {";A", "", true},
        {"A;B", "", false},
        {"A; B", " b", true},     // blanks belong to the item
        {"A; B", "B", false},
        {"É;X", "é", true},
    };
    ImportReader r;
    for (const auto& c : cases) {
        r.Layout.AppRIFCodes = q(c.list);
        r.Layout.VetCodes = q(c.list);
        EXPECT_EQ(r.ValidRIFCode(q(c.code)), c.valid) << c.list << " / " << c.code;
        EXPECT_EQ(r.ValidVetCode(q(c.code)), c.valid) << c.list << " / " << c.code;
    }
}

// ------------------------------------------------------------ whole lines

// A layout of tab-separated fields: applicant values in fields 1..16, requisition values in 17..27.
TImportData tabLayout()
{
    TImportData l;
    int field = 1;
    for (const auto& n : TImportData::Numbers) {
        if (n.member == &TImportData::PurgeDays)
            break;
        const QLatin1String name(n.name);
        if (name.endsWith(QLatin1String("Start")))
            l.*n.member = field++;
    }
    l.VetCodes = QStringLiteral("V;Y");
    l.AppRIFCodes = QStringLiteral("R;x");
    l.PurgeDays = 30;
    return l;
}

// The tab line for the layout above, by settings name prefix.
QString tabLine(const std::vector<std::pair<const char*, const char*>>& values)
{
    QStringList fields(27);
    int i = 0;
    for (const auto& n : TImportData::Numbers) {
        const QLatin1String name(n.name);
        if (!name.endsWith(QLatin1String("Start")))
            continue;
        for (const auto& [prefix, value] : values)
            if (name == QString::fromLatin1(prefix) + QLatin1String("Start"))
                fields[i] = q(value);
        if (++i == 27)
            break;
    }
    return fields.join(QLatin1Char('\t'));
}

const QDate kToday(2026, 1, 1);

struct PurgeCase
{
    const char* read;
    const char* expected;
};

TEST(ImportExtractData, PurgeDateLaterThanTodayStaysOthersGetTheDefault)
{
    const PurgeCase cases[] = {
        {"", "01/31/2026"},
        {"01/01/2026", "01/31/2026"},   // today
        {"06/15/2020", "01/31/2026"},   // past
        {"12/31/2025", "01/31/2026"},   // last day of last year is earlier
        {"2025-12-31", "01/31/2026"},
        {"01/02/2026", "01/02/2026"},   // tomorrow
        {"1/2/2026", "1/2/2026"},
        {"2099-06-30", "06/30/2099"},
        {"20990630", "01/31/2026"},     // no date after conversion: the default
        {"02/30/2027", "01/31/2026"},
    };
    ImportReader r(tabLayout());
    mw::Clock::setToday(kToday);
    for (const auto& c : cases) {
        r.DataLine = tabLine({{"AppID", "A1"}, {"AppPurgeDate", c.read}});
        r.ExtractData();
        EXPECT_EQ(r.ApplicantData.PurgeDate, q(c.expected)) << c.read;
    }
}

TEST(ImportExtractData, ExplicitZeroPurgeDaysGivesToday)
{
    TImportData l = tabLayout();
    l.PurgeDays = 0;
    ImportReader r(l);
    mw::Clock::setToday(kToday);
    r.DataLine = tabLine({{"AppPurgeDate", "06/15/2020"}});
    r.ExtractData();
    EXPECT_EQ(r.ApplicantData.PurgeDate, QStringLiteral("01/01/2026"));
}

TEST(ImportExtractData, BlankLineGivesOnlyTheDefaults)
{
    struct Case
    {
        const char* what;
        QString vet, rif;
        const char* vetFlag;
        const char* rifFlag;
    };
    const Case cases[] = {
        {"plain lists", QStringLiteral("V"), QStringLiteral("R"), "False", "False"},
        {"empty items", QStringLiteral("V;"), QStringLiteral(";R"), "True", "True"},
    };
    for (const auto& c : cases) {
        for (const QString& line : {QString(200, u' '), tabLine({})}) {
            TImportData l = tabLayout();
            if (line.startsWith(u' ')) { // the same values from fixed columns
                for (const auto& n : TImportData::Numbers)
                    if (n.member != &TImportData::PurgeDays && QLatin1String(n.name).endsWith(QLatin1String("Length")))
                        l.*n.member = 5;
            }
            l.VetCodes = c.vet;
            l.AppRIFCodes = c.rif;
            ImportReader r(l);
            mw::Clock::setToday(kToday);
            r.DataLine = line;
            r.ExtractData();
            const auto& a = r.ApplicantData;
            const auto& q2 = r.ReqData;
            for (const QString* s : {&a.AppID, &a.Name, &a.Soc, &a.Phone, &a.Address1, &a.Address2, &a.Address3,
                                     &a.Address4, &a.City, &a.State, &a.Zip, &a.AppliedDate, &q2.Number,
                                     &q2.Contact, &q2.PostingID, &q2.PositionTitle, &q2.FTE, &q2.JobCode,
                                     &q2.Department, &q2.Phone, &q2.EMail, &q2.Mail})
                EXPECT_TRUE(s->isEmpty()) << c.what << ": " << s->toStdString();
            EXPECT_EQ(q2.DatePosted, QStringLiteral("01/01/2026")) << c.what;
            EXPECT_EQ(a.PurgeDate, QStringLiteral("01/31/2026")) << c.what;
            EXPECT_EQ(a.VetPref, q(c.vetFlag)) << c.what;
            EXPECT_EQ(a.RIF, q(c.rifFlag)) << c.what;
            EXPECT_EQ(a.RIFExpire, QStringLiteral("Nul")) << c.what;
        }
    }
}

TEST(ImportExtractData, FlagsAndDatesOfAFullLine)
{
    struct Case
    {
        const char* vet;
        const char* rif;
        const char* expire;
        const char* vetFlag;
        const char* rifFlag;
        const char* expireOut;
    };
    const Case cases[] = {
        {"y", "R", "2027-03-04", "True", "True", "03/04/2027"},
        {"N", "R", "", "False", "True", "Nul"},
        {"V", "Q", "03/04/2027", "True", "False", "Nul"}, // not in the list: no expiry
        {"v", "x", "03/04/2027", "True", "False", "Nul"}, // the lower-case RIF entry never matches
    };
    ImportReader r(tabLayout());
    mw::Clock::setToday(kToday);
    for (const auto& c : cases) {
        r.DataLine = tabLine({{"AppID", " 00123 "}, {"AppName", "\"Smith, John\""}, {"AppVetPref", c.vet},
                              {"AppRIF", c.rif}, {"AppRIFExpire", c.expire}, {"AppDispDate", "2025-11-30"},
                              {"ReqNumber", "R-9"}, {"ReqPosted", "11-02-2025"}, {"ReqFTE", "0.5"}});
        r.ExtractData();
        EXPECT_EQ(r.ApplicantData.AppID, QStringLiteral("00123"));
        EXPECT_EQ(r.ApplicantData.Name, QStringLiteral("Smith, John"));
        EXPECT_EQ(r.ApplicantData.VetPref, q(c.vetFlag)) << c.vet;
        EXPECT_EQ(r.ApplicantData.RIF, q(c.rifFlag)) << c.rif;
        EXPECT_EQ(r.ApplicantData.RIFExpire, q(c.expireOut)) << c.rif << c.expire;
        EXPECT_EQ(r.ApplicantData.AppliedDate, QStringLiteral("11/30/2025"));
        EXPECT_EQ(r.ReqData.Number, QStringLiteral("R-9"));
        EXPECT_EQ(r.ReqData.DatePosted, QStringLiteral("11/02/2025"));
        EXPECT_EQ(r.ReqData.FTE, QStringLiteral("0.5"));
    }
}

TEST(ImportExtractData, EachKindReadsOnlyItsValues)
{
    struct Case
    {
        int kind;
        bool applicant, applied, requisition;
    };
    const Case cases[] = {
        {mw::ImportAllData, true, true, true},
        {mw::ImportApplicants, true, false, false},
        {mw::ImportRequisitions, false, false, true},
    };
    for (const auto& c : cases) {
        ImportReader r(tabLayout());
        mw::Clock::setToday(kToday);
        r.ImportKind = c.kind;
        r.DataLine = tabLine({{"AppID", "A1"}, {"AppDispDate", "2025-11-30"}, {"ReqNumber", "R1"}});
        r.ExtractData();
        EXPECT_EQ(r.ApplicantData.AppID.isEmpty(), !c.applicant) << c.kind;
        EXPECT_EQ(r.ApplicantData.AppliedDate.isEmpty(), !c.applied) << c.kind;
        EXPECT_EQ(r.ReqData.Number.isEmpty(), !c.requisition) << c.kind;
        EXPECT_EQ(r.ReqData.DatePosted.isEmpty(), !c.requisition) << c.kind;
        // No defaults and no code lists for a kind without applicants.
        for (const QString* s : {&r.ApplicantData.PurgeDate, &r.ApplicantData.VetPref, &r.ApplicantData.RIF,
                                 &r.ApplicantData.RIFExpire})
            EXPECT_EQ(s->isEmpty(), !c.applicant) << c.kind;
    }
}

TEST(ImportExtractData, FixedAndTabbedFieldsMixAndAbsentOnesStayEmpty)
{
    TImportData l;
    l.AppIDStart = 12;                     // twelfth tab field
    l.AppNameStart = 12, l.AppNameLength = 5; // columns 12..16
    l.ReqNumberStart = 1, l.ReqNumberLength = 3;
    l.AppCityStart = -4;                   // a negative start is taken as absent
    ImportReader r(l);
    mw::Clock::setToday(kToday);
    r.DataLine = QStringLiteral("R12abcdefghIJKLMNOP\t2\t3\t4\t5\t6\t7\t8\t9\t10\t11\t twelve \t13");
    r.ExtractData();
    EXPECT_EQ(r.ApplicantData.AppID, QStringLiteral("twelve"));
    EXPECT_EQ(r.ApplicantData.Name, QStringLiteral("IJKLM"));
    EXPECT_EQ(r.ReqData.Number, QStringLiteral("R12"));
    EXPECT_TRUE(r.ApplicantData.City.isEmpty());
    EXPECT_TRUE(r.ApplicantData.Soc.isEmpty());
}

// ------------------------------------------------------------ the layout from the settings

class ImportLayoutLoad : public mwtest::StoreTest
{};

TEST_P(ImportLayoutLoad, EmptyFieldsGiveDefaults)
{
    QStringList sets;
    QVariantList binds;
    for (const auto& n : TImportData::Numbers) {
        sets << QString::fromLatin1(n.name) + QLatin1String(" = ?");
        binds << QVariant(QMetaType(QMetaType::Int));
    }
    for (const auto& t : TImportData::Texts) {
        sets << QString::fromLatin1(t.name) + QLatin1String(" = ?");
        binds << QVariant(QMetaType(QMetaType::QString));
    }
    sql(QStringLiteral("UPDATE settings SET ") + sets.join(QStringLiteral(", ")), binds);
    data->ImportLayout.AppIDStart = 99;
    data->LoadImportLayout();
    const TImportData& l = data->ImportLayout;
    for (const auto& n : TImportData::Numbers)
        EXPECT_EQ(l.*n.member, n.member == &TImportData::PurgeDays ? 180 : 0) << n.name;
    for (const auto& t : TImportData::Texts)
        EXPECT_TRUE((l.*t.member).isEmpty()) << t.name;
}

TEST_P(ImportLayoutLoad, ReadsEveryFieldByItsName)
{
    QStringList sets;
    QVariantList binds;
    int value = 0;
    for (const auto& n : TImportData::Numbers) {
        sets << QString::fromLatin1(n.name) + QLatin1String(" = ?");
        binds << ++value;
    }
    for (const auto& t : TImportData::Texts) {
        sets << QString::fromLatin1(t.name) + QLatin1String(" = ?");
        binds << QString::fromLatin1(t.name).toLower() + QLatin1String(";x");
    }
    sql(QStringLiteral("UPDATE settings SET ") + sets.join(QStringLiteral(", ")), binds);
    data->LoadImportLayout();
    const TImportData& l = data->ImportLayout;
    value = 0;
    for (const auto& n : TImportData::Numbers)
        EXPECT_EQ(l.*n.member, ++value) << n.name;
    EXPECT_EQ(l.AppIDStart, 1);
    EXPECT_EQ(l.ReqPostedLength, 54);
    EXPECT_EQ(l.LinesToSkip, 56);
    EXPECT_EQ(l.VetCodes, QStringLiteral("VETCODES;X"));      // upper-cased on load
    EXPECT_EQ(l.AppRIFCodes, QStringLiteral("apprifcodes;x")); // as stored
    EXPECT_EQ(l.ImportFileName, QStringLiteral("importfilename;x"));
    EXPECT_EQ(l.ReqsOnlyFile, QStringLiteral("reqsonlyfile;x"));

    // Explicit zero purge days stay zero, and a new load sees the new values.
    sql(QStringLiteral("UPDATE settings SET PurgeDays = ?, AppIDStart = ?"), {0, 7});
    data->LoadImportLayout();
    EXPECT_EQ(data->ImportLayout.PurgeDays, 0);
    EXPECT_EQ(data->ImportLayout.AppIDStart, 7);

    ImportReader r(data->ImportLayout);
    EXPECT_TRUE(r.ValidVetCode(QStringLiteral("vetcodes")));
    EXPECT_FALSE(r.ValidRIFCode(QStringLiteral("apprifcodes")));
    EXPECT_FALSE(r.ValidRIFCode(QStringLiteral("x"))); // "x" is held lower-case
}

MW_INSTANTIATE_BACKENDS(ImportLayoutLoad);

// ------------------------------------------------------------ the file source

struct FileCase
{
    const char* what;
    QByteArray bytes;
    int skip;
    std::vector<const char*> lines;
};

TEST(ImportFileLines, LineEndsSkippingAndCharacters)
{
    const FileCase cases[] = {
        {"crlf", QByteArray("a b\r\ncd\r\n"), 0, {"a b", "cd"}},
        {"lf", QByteArray("a b\ncd\n"), 0, {"a b", "cd"}},
        {"no final line end", QByteArray("a\nlast"), 0, {"a", "last"}},
        {"cr before the end of file", QByteArray("a\r\nb\r"), 0, {"a", "b"}},
        {"lone cr stays", QByteArray("a\rb\r\nc"), 0, {"a\rb", "c"}},
        {"empty lines kept", QByteArray("\n\r\nx\n\n"), 0, {"", "", "x", ""}},
        {"skip", QByteArray("head1\nhead2\nbody\n"), 2, {"body"}},
        {"skip all", QByteArray("head1\nhead2"), 5, {}},
        {"empty file", QByteArray(), 0, {}},
        {"single line end", QByteArray("\n"), 0, {""}},
        {"high bytes", QByteArray("Jos\xE9\t\x80\x93\x81\xFF\n"), 0, {"José\t€“\u0081ÿ"}},
        {"nul and tab", QByteArray("a\0b\tc", 5), 0, {}},
        {"high bytes across blocks of sixteen",
         QByteArray("0123456789abcd\xE9\x80\x9F" "0123456789ab\x8A\xE9\xFF\xA0z"), 0,
         {"0123456789abcdé€Ÿ0123456789abŠéÿ\u00A0z"}},
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const auto& c : cases) {
        const QString path = dir.filePath(QString::fromLatin1(c.what));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(c.bytes);
        f.close();
        ImportFile file(path, c.skip);
        ASSERT_TRUE(file.open()) << c.what;
        QStringList got;
        QString line;
        while (file.readLine(line))
            got << line;
        QStringList want;
        for (const char* l : c.lines)
            want << q(l);
        if (QLatin1String(c.what) == QLatin1String("nul and tab"))
            want << QStringView(u"a\0b\tc", 5).toString();
        EXPECT_EQ(got, want) << c.what;
        EXPECT_FALSE(file.cancelled());
    }
}

TEST(ImportFileLines, LongLinesAcrossBlocksProgressAndCancel)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big"));
    QByteArray content;
    // Lines at the limit, many of them: some cross the read blocks' borders.
    const QByteArray longLine(ImportFile::MaxLineBytes, 'x');
    for (int i = 0; i < 40; ++i)
        content += longLine + "\r\n" + QByteArray::number(i) + "\n";
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
    f.close();

    ImportFile file(path);
    ASSERT_TRUE(file.open());
    qint64 last = 0;
    file.setProgress([&](qint64 read, qint64 total) {
        EXPECT_GE(read, last);
        EXPECT_EQ(total, content.size());
        last = read;
        return true;
    });
    QString line;
    int n = 0;
    while (file.readLine(line)) {
        if (n % 2 == 0)
            EXPECT_EQ(line.size(), longLine.size());
        else
            EXPECT_EQ(line, QString::number(n / 2));
        ++n;
    }
    EXPECT_EQ(n, 80);
    EXPECT_EQ(last, content.size());
    EXPECT_FALSE(file.failed());

    // A line beyond the limit is no line of an export: the reading stops there
    // with an error, after the lines before it, and without holding the line.
    for (const qsizetype beyond : {ImportFile::MaxLineBytes + 1, qsizetype(3 * 1024 * 1024 + 7)}) {
        QFile g(dir.filePath(QStringLiteral("over")));
        ASSERT_TRUE(g.open(QIODevice::WriteOnly | QIODevice::Truncate));
        g.write("first\n" + QByteArray(beyond, 'y') + "\nlast\n");
        g.close();
        ImportFile over(g.fileName());
        ASSERT_TRUE(over.open());
        ASSERT_TRUE(over.readLine(line));
        EXPECT_EQ(line, QStringLiteral("first"));
        EXPECT_FALSE(over.readLine(line)) << beyond;
        EXPECT_TRUE(over.failed());
        EXPECT_TRUE(over.errorString().contains(QStringLiteral("longer than 65536 characters"))) << over.errorString().toStdString();
    }

    ImportFile cancelled(path);
    ASSERT_TRUE(cancelled.open());
    cancelled.setProgress([](qint64, qint64) { return false; });
    EXPECT_FALSE(cancelled.readLine(line));
    EXPECT_TRUE(cancelled.cancelled());

    // Through the user talk: the please-wait window's Cancel stops the reading.
    mwtest::ScriptedTalk talk;
    talk.cancelAfter(1);
    mw::ProgressMeter meter(talk);
    ImportFile byTalk(path);
    ASSERT_TRUE(byTalk.open());
    byTalk.reportTo(meter);
    EXPECT_FALSE(byTalk.readLine(line));
    EXPECT_TRUE(byTalk.cancelled());
    EXPECT_EQ(meter.total(), content.size());
}

TEST(ImportFileLines, MissingFileDoesNotOpen)
{
    ImportFile file(QStringLiteral("/nonexistent/dir/file.txt"));
    EXPECT_FALSE(file.open());
    QString line;
    EXPECT_FALSE(file.readLine(line));
}

} // namespace
