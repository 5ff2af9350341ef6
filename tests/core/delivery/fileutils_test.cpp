// Files on disk: copying, size, attributes, printing through a command, and viewing
// scanned applications through one private copy at a time.

#include "scriptedtalk.h"

#include "shared/platform.h"
#include "datastore/merrowinddata.h"
#include "delivery/fileutils.h"
#include "delivery/printfile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace mw;
using mwtest::ScriptedTalk;

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// Bytes that differ from chunk to chunk, so a repeated or skipped chunk shows.
QByteArray pattern(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 8192) % 251);
    return bytes;
}

std::string message(const std::function<void()>& action)
{
    try {
        action();
    } catch (const FileError& e) {
        return e.message().toStdString();
    }
    return "<no error>";
}

// Sets an environment variable for as long as it lives.
class EnvScope
{
public:
    EnvScope(const char* name, const QByteArray& value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name))
    {
        qputenv(name, value);
    }
    ~EnvScope()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }
    EnvScope(const EnvScope&) = delete;
    EnvScope& operator=(const EnvScope&) = delete;

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

} // namespace

// ---- CopyFileTo

TEST(CopyFileTo, CopiesEveryByteAndReplacesALongerTarget)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (int size : {0, 1, 8191, 8192, 8193, 3 * 8192 + 5}) {
        SCOPED_TRACE(size);
        const QString source = dir.filePath(QStringLiteral("source.bin"));
        const QString target = dir.filePath(QStringLiteral("target.bin"));
        writeFile(source, pattern(size));
        writeFile(target, QByteArray(40000, 'x'));
        CopyFileTo(source, target);
        EXPECT_EQ(readFile(target), pattern(size));
        EXPECT_EQ(readFile(source), pattern(size));
    }
}

TEST(CopyFileTo, IntoADirectoryKeepsTheSourceName)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("out")));
    const QString source = dir.filePath(QStringLiteral("000123.pdf"));
    writeFile(source, "scan");
    for (const QString& target :
         {dir.filePath(QStringLiteral("out")), dir.filePath(QStringLiteral("out/"))}) {
        SCOPED_TRACE(target.toStdString());
        QFile::remove(dir.filePath(QStringLiteral("out/000123.pdf")));
        CopyFileTo(source, target);
        EXPECT_EQ(readFile(dir.filePath(QStringLiteral("out/000123.pdf"))), "scan");
    }
}

TEST(CopyFileTo, OntoItselfKeepsTheContents)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString source = dir.filePath(QStringLiteral("doc.pdf"));
    writeFile(source, "contents");
    ASSERT_TRUE(QFile::link(source, dir.filePath(QStringLiteral("link.pdf"))));
    for (const QString& target : {source, dir.filePath(QStringLiteral("./doc.pdf")),
                                  dir.filePath(QStringLiteral("link.pdf")), dir.path()}) {
        SCOPED_TRACE(target.toStdString());
        CopyFileTo(source, target);
        EXPECT_EQ(readFile(source), "contents");
    }
}

TEST(CopyFileTo, FailuresNameTheFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString source = dir.filePath(QStringLiteral("doc.pdf"));
    writeFile(source, "contents");
    const QString missing = dir.filePath(QStringLiteral("missing.pdf"));
    const QString noDir = dir.filePath(QStringLiteral("nodir/doc.pdf"));

    EXPECT_EQ(message([&] { CopyFileTo(missing, dir.filePath(QStringLiteral("t.pdf"))); }),
              "Cannot open file " + missing.toStdString());
    EXPECT_EQ(message([&] { CopyFileTo(dir.path(), dir.filePath(QStringLiteral("t.pdf"))); }),
              "Cannot open file " + dir.path().toStdString());
    EXPECT_EQ(message([&] { CopyFileTo(source, noDir); }), "Cannot create file " + noDir.toStdString());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("t.pdf"))))
        << "nothing is created for a missing source";
}

TEST(CopyFileTo, RelativeTargetIsReportedInFull)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString source = dir.filePath(QStringLiteral("doc.pdf"));
    writeFile(source, "contents");
    const QString relative = QStringLiteral("no-such-dir-%1/x.pdf").arg(QCoreApplication::applicationPid());
    EXPECT_EQ(message([&] { CopyFileTo(source, relative); }),
              "Cannot create file " + QDir::current().absoluteFilePath(relative).toStdString());
}

// ---- FileSizeOf and HasAttribute

// A directory holding one entry of every kind.
class EntriesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        writeFile(at("doc.pdf"), pattern(10000));
        writeFile(at(".hidden.pdf"), "h");
        writeFile(at("readonly.pdf"), "r");
        ASSERT_TRUE(QFile::setPermissions(at("readonly.pdf"),
                                          QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub")));
        ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral(".hiddendir")));
        ASSERT_TRUE(QFile::link(at("doc.pdf"), at("link.pdf")));
        ASSERT_TRUE(QFile::link(at("gone.pdf"), at("dangling.pdf")));
    }
    QString at(const char* name) const { return dir.filePath(QLatin1String(name)); }

    QTemporaryDir dir;
};

TEST_F(EntriesTest, FileSizeOfAnyEntry)
{
    EXPECT_EQ(FileSizeOf(at("doc.pdf")), 10000);
    EXPECT_EQ(FileSizeOf(at("link.pdf")), 10000) << "a link gives the size of its file";
    EXPECT_EQ(FileSizeOf(at(".hidden.pdf")), 1);
    EXPECT_EQ(FileSizeOf(at("dangling.pdf")), at("gone.pdf").toUtf8().size()) << "the link itself";
    EXPECT_GE(FileSizeOf(at("sub")), 0);
    EXPECT_EQ(FileSizeOf(at("missing.pdf")), -1);
    EXPECT_EQ(FileSizeOf(at("sub/missing.pdf")), -1);
    EXPECT_EQ(FileSizeOf(QString()), -1);
}

TEST_F(EntriesTest, HasAttributeNeedsEveryBitOfTheMask)
{
    // The superuser may write anything, so nothing is read-only for it.
    const bool readOnlyShows = ::geteuid() != 0;
    const struct
    {
        const char* name;
        unsigned mask;
        bool expected;
    } cases[] = {
        {"doc.pdf", faArchive, true},
        {"doc.pdf", faDirectory, false},
        {"doc.pdf", faHidden, false},
        {"doc.pdf", faReadOnly, false},
        {"doc.pdf", faSymLink, false},
        {"doc.pdf", faArchive | faHidden, false},
        {"doc.pdf", 0, true},
        {".hidden.pdf", faHidden | faArchive, true},
        {"readonly.pdf", faReadOnly | faArchive, readOnlyShows},
        {"sub", faDirectory, true},
        {"sub", faArchive, false},
        {"sub", faHidden, false},
        {"sub/", faDirectory, true},
        {".hiddendir/", faDirectory | faHidden, true},
        {"sub/..", faHidden, false},
        {"link.pdf", faSymLink | faArchive, true},
        {"dangling.pdf", faSymLink, true},
        {"dangling.pdf", faArchive, false},
        {"dangling.pdf", faReadOnly, false},
        {"missing.pdf", 0, false},
        {"missing.pdf", faReadOnly, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " mask " + std::to_string(c.mask));
        EXPECT_EQ(HasAttribute(at(c.name), c.mask), c.expected);
    }
}

// ---- PrintFile

// A print command that records the arguments it was given.
class PrintFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        script = dir.filePath(QStringLiteral("recordargs.sh"));
        output = dir.filePath(QStringLiteral("args.out"));
        writeFile(script,
                  QStringLiteral("#!/bin/sh\nprintf '%s\\0' \"$@\" > \"%1.part\" && mv \"%1.part\" \"%1\"\n")
                      .arg(output)
                      .toUtf8());
        ASSERT_TRUE(QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }
    QString command(const QString& arguments) const
    {
        return QLatin1Char('"') + script + QStringLiteral("\" ") + arguments;
    }

    // The arguments the command was run with, once it has run.
    QStringList recorded()
    {
        QDeadlineTimer deadline(10000);
        while (!QFileInfo::exists(output) && !deadline.hasExpired())
            QThread::msleep(10);
        const QByteArray bytes = readFile(output);
        QFile::remove(output);
        if (bytes.isEmpty() || !bytes.endsWith('\0'))
            return {QStringLiteral("<did not run>")};
        QStringList args = QString::fromUtf8(bytes).split(QChar(0));
        args.removeLast();
        return args;
    }

    QTemporaryDir dir;
    QString script;
    QString output;
};

TEST_F(PrintFileTest, ThePathTakesThePlaceOfTheFirstMarkerOrComesLast)
{
    const QString plain = dir.filePath(QStringLiteral("doc.pdf"));
    const QString awkward = dir.filePath(QStringLiteral("my \"scan\"; rm -rf 'x' $HOME.pdf"));
    const struct
    {
        QString document;
        QString arguments;
        QStringList expected;
    } cases[] = {
        {plain, QStringLiteral("-d office %1"), {QStringLiteral("-d"), QStringLiteral("office"), plain}},
        {plain, QStringLiteral("%1 -n 2"), {plain, QStringLiteral("-n"), QStringLiteral("2")}},
        {plain, QStringLiteral("-n 2"), {QStringLiteral("-n"), QStringLiteral("2"), plain}},
        {plain, QString(), {plain}},
        {plain,
         QStringLiteral("--file=%1 --title=%1"),
         {QStringLiteral("--file=") + plain, QStringLiteral("--title=%1")}},
        {plain, QStringLiteral("\"-o media=A4 fit\" %1"), {QStringLiteral("-o media=A4 fit"), plain}},
        {awkward, QStringLiteral("%1"), {awkward}},
        {awkward, QStringLiteral("-n 1"), {QStringLiteral("-n"), QStringLiteral("1"), awkward}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.toStdString() + " with " + c.document.toStdString());
        writeFile(c.document, "%PDF");
        PrintFile(c.document, command(c.arguments));
        EXPECT_EQ(recorded(), c.expected);
    }
}

TEST_F(PrintFileTest, ARelativeNameArrivesAsAFullPath)
{
    // A name starting with "-" must not reach the command as an option.
    const QString old = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    writeFile(QStringLiteral("-d.pdf"), "%PDF");
    PrintFile(QStringLiteral("-d.pdf"), command(QStringLiteral("%1")));
    QDir::setCurrent(old);
    EXPECT_EQ(recorded(), QStringList{dir.filePath(QStringLiteral("-d.pdf"))});
}

TEST_F(PrintFileTest, TheEnvironmentChoosesTheCommand)
{
    const QString doc = dir.filePath(QStringLiteral("doc.pdf"));
    writeFile(doc, "%PDF");
    {
        EnvScope env("MERROWIND_PRINT_COMMAND", command(QStringLiteral("-q %1")).toUtf8());
        PrintFile(doc);
        EXPECT_EQ(recorded(), (QStringList{QStringLiteral("-q"), doc}));
    }
    {
        // Set but empty: printing is off even where lp exists; nothing runs.
        EnvScope env("MERROWIND_PRINT_COMMAND", QByteArray());
        EXPECT_EQ(DefaultPrintCommand(), QString());
        PrintFile(doc);
        PrintFile(doc, QStringLiteral("   "));
        PrintFile(doc, QString());
    }
}

TEST_F(PrintFileTest, ACommandWrittenWithSingleQuotesKeepsItsWords)
{
    // The way a shell user writes the command in the environment.
    const QString doc = dir.filePath(QStringLiteral("doc.pdf"));
    writeFile(doc, "%PDF");
    EnvScope env("MERROWIND_PRINT_COMMAND",
                 (QLatin1Char('\'') + script + QStringLiteral("' -o 'media=A4 fit' -t 'Jo'\\''s \"scan\"' %1")).toUtf8());
    PrintFile(doc);
    EXPECT_EQ(recorded(), (QStringList{QStringLiteral("-o"), QStringLiteral("media=A4 fit"), QStringLiteral("-t"),
                                       QStringLiteral("Jo's \"scan\""), doc}));
}

// The words of a print command, as /bin/sh would give them to the program.
TEST(SplitPrintCommand, SplitsAsAShellWould)
{
    const struct
    {
        const char* command;
        QStringList words;
    } cases[] = {
        {"lp -d office %1", {"lp", "-d", "office", "%1"}},
        {"  lp\t-n\t2  ", {"lp", "-n", "2"}},
        {"lp -o 'media=A4 fit' %1", {"lp", "-o", "media=A4 fit", "%1"}},
        {"lp -o \"media=A4 fit\" %1", {"lp", "-o", "media=A4 fit", "%1"}},
        {"'/opt/my printer/print' %1", {"/opt/my printer/print", "%1"}},
        {"lp -t \"Jo's scan\"", {"lp", "-t", "Jo's scan"}},
        {"lp -t 'say \"hi\"'", {"lp", "-t", "say \"hi\""}},
        {"lp -t 'it'\\''s'", {"lp", "-t", "it's"}},
        {"lp -t a\\ b", {"lp", "-t", "a b"}},
        {"lp --title=\"a b\"c'd e'", {"lp", "--title=a bcd e"}},
        // In single quotes a backslash is itself; in double quotes it escapes only $ ` " and itself.
        {"lp 'x\\y' \"a\\\"b\" \"c\\\\d\" \"e\\f\" \"\\$HOME\"", {"lp", "x\\y", "a\"b", "c\\d", "e\\f", "$HOME"}},
        {"lp '' \"\" x''", {"lp", "", "", "x"}},
        // Nothing is expanded and no operator is acted on.
        {"lp *.pdf ~ $HOME `id`; rm x | y &", {"lp", "*.pdf", "~", "$HOME", "`id`;", "rm", "x", "|", "y", "&"}},
        // Continued lines; a backslash at the very end stays.
        {"lp -n \\\n2 a\\\nb \"c\\\nd\"", {"lp", "-n", "2", "ab", "cd"}},
        {"lp a\\", {"lp", "a\\"}},
        // A line break parts words (no shell runs, so there is no second command).
        {"lp\n-q", {"lp", "-q"}},
        // A quote left open: a shell refuses the line, so nothing runs.
        {"lp 'open %1", {}},
        {"lp \"open %1", {}},
        {"", {}},
        {" \t ", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        EXPECT_EQ(SplitPrintCommand(QString::fromUtf8(c.command)), c.words);
    }
}

// ---- AcrobatVersion

TEST(AcrobatVersion, IsTheQtVersionOfTheBuiltInViewer)
{
    // The program is always built with Qt PDF, so the viewer is there ("0" would mean none).
    EXPECT_EQ(AcrobatVersion(), QStringLiteral(QT_VERSION_STR));
}

// ---- TempPath

// TMPDIR names a fresh directory of the test's own while the test runs.
class TempPathTest : public ::testing::Test
{
protected:
    TempPathTest()
        : m_tmpdir("TMPDIR", m_base.path().toUtf8())
    {
    }
    void SetUp() override { ASSERT_TRUE(m_base.isValid()); }

    // Where TempPath belongs: named after the real user's account.
    QString expected() const
    {
        const passwd* pw = ::getpwuid(::getuid());
        const QString account = pw ? QString::fromLocal8Bit(pw->pw_name) : QString::number(::getuid());
        return QDir(m_base.path()).canonicalPath() + QStringLiteral("/merrowind-") + account;
    }
    static struct stat entry(const QString& path)
    {
        struct stat st{};
        EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &st), 0) << path.toStdString();
        return st;
    }
    static QString refusal()
    {
        try {
            TempPath();
        } catch (const std::exception& e) { // what an operation runner catches
            return QString::fromStdString(e.what());
        }
        return QStringLiteral("<no error>");
    }

    QTemporaryDir m_base;
    EnvScope m_tmpdir;
};

TEST_F(TempPathTest, IsAPrivateDirectoryOfTheRealUser)
{
    // The environment does not choose the name.
    const EnvScope nw("NWUSERNAME", "intruder");
    const EnvScope user("USER", "intruder");
    const QString dir = expected();
    EXPECT_EQ(TempPath(), dir + QLatin1Char('/'));
    const struct stat st = entry(dir);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_uid, ::getuid());
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    // Found as it is the next time.
    writeFile(dir + QStringLiteral("/kept.pdf"), "kept");
    EXPECT_EQ(TempPath(), dir + QLatin1Char('/'));
    EXPECT_EQ(readFile(dir + QStringLiteral("/kept.pdf")), "kept");
}

TEST_F(TempPathTest, LooserPermissionsOfOurOwnDirectoryAreTightened)
{
    const QString dir = expected();
    ASSERT_TRUE(QDir().mkdir(dir));
    for (mode_t mode : {0777, 0755, 0711, 0500, 01777}) {
        SCOPED_TRACE(mode);
        ASSERT_EQ(::chmod(QFile::encodeName(dir).constData(), mode), 0);
        EXPECT_EQ(TempPath(), dir + QLatin1Char('/'));
        EXPECT_EQ(entry(dir).st_mode & 07777, 0700u);
    }
}

TEST_F(TempPathTest, WhatSomebodyElsePlantedThereIsRefusedAndLeftAlone)
{
    const QString dir = expected();
    // A directory elsewhere, open to all, with a document copy in it.
    const QString elsewhere = m_base.filePath(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QDir().mkdir(elsewhere));
    ASSERT_EQ(::chmod(QFile::encodeName(elsewhere).constData(), 0777), 0);
    writeFile(elsewhere + QStringLiteral("/planted.pdf"), "planted");

    const struct
    {
        const char* what;
        std::function<void()> plant;
        const char* why;
    } cases[] = {
        {"link to a directory", [&] { ASSERT_TRUE(QFile::link(elsewhere, dir)); }, "it is a symbolic link"},
        {"dangling link", [&] { ASSERT_TRUE(QFile::link(m_base.filePath(QStringLiteral("nothing")), dir)); },
         "it is a symbolic link"},
        {"plain file", [&] { writeFile(dir, "file"); }, "it is not a directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.plant();
        EXPECT_EQ(refusal(), QStringLiteral("Cannot use the temporary directory %1: %2.")
                                 .arg(dir, QLatin1String(c.why)));
        EXPECT_THROW(TempPath(), TempDirError);
        EXPECT_EQ(deleteTemporaryCopies(QStringLiteral("pdf")), 0);
        EXPECT_TRUE(QFile::remove(dir)) << "removes the link itself";
    }
    EXPECT_FALSE(QFileInfo::exists(m_base.filePath(QStringLiteral("nothing")))) << "made through a link";
    EXPECT_EQ(QDir(elsewhere).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{QStringLiteral("planted.pdf")});
    EXPECT_EQ(readFile(elsewhere + QStringLiteral("/planted.pdf")), "planted");
    EXPECT_EQ(entry(elsewhere).st_mode & 07777, 0777u) << "permissions changed through a link";
}

// A killed run's work folders go once they are old; a running copy's fresh ones,
// other folders and what links point at stay.
TEST_F(TempPathTest, LeftoverWorkFoldersAreDeletedOnceTheyAreOld)
{
    const QString dir = TempPath();
    const QString elsewhere = m_base.filePath(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QDir().mkdir(elsewhere));
    writeFile(elsewhere + QStringLiteral("/kept.pdf"), "kept");
    const time_t old = QDateTime::currentDateTime().addDays(-2).toSecsSinceEpoch();
    const auto folder = [&](const QString& name, bool aged) {
        ASSERT_TRUE(QDir().mkdir(dir + name));
        writeFile(dir + name + QStringLiteral("/00000001.pdf"), "copy");
        ASSERT_TRUE(QFile::link(elsewhere, dir + name + QStringLiteral("/link")));
        if (aged) {
            const timespec times[2] = {{old, 0}, {old, 0}};
            ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(dir + name).constData(), times, 0), 0);
        }
    };
    folder(QStringLiteral("dept-aaaaaa"), true);
    folder(QStringLiteral("send-bbbbbb"), true);
    folder(QStringLiteral("export-cccccc"), true);
    folder(QStringLiteral("send-fresh1"), false);
    folder(QStringLiteral("other-dddddd"), true);
    ASSERT_TRUE(QFile::link(elsewhere, dir + QStringLiteral("dept-link")));

    EXPECT_EQ(deleteLeftoverWorkFolders(QDateTime::currentDateTime().addDays(-1)), 3);
    EXPECT_EQ(QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::Name).join(u' '),
              QStringLiteral("dept-link other-dddddd send-fresh1"));
    EXPECT_EQ(QDir(elsewhere).entryList(QDir::Files), QStringList{QStringLiteral("kept.pdf")});
}

TEST_F(TempPathTest, ADirectoryOfAnotherAccountIsRefused)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only the superuser can give a directory to another account";
    const QString dir = expected();
    ASSERT_TRUE(QDir().mkdir(dir));
    ASSERT_EQ(::chmod(QFile::encodeName(dir).constData(), 0700), 0);
    ASSERT_EQ(::chown(QFile::encodeName(dir).constData(), 65534, 65534), 0);
    EXPECT_EQ(refusal(), QStringLiteral("Cannot use the temporary directory %1: it is not owned by you.").arg(dir));
    EXPECT_EQ(entry(dir).st_uid, 65534u);
}

TEST_F(TempPathTest, AMissingSystemTemporaryDirectoryIsReportedNotReplaced)
{
    const QString missing = m_base.filePath(QStringLiteral("gone"));
    const EnvScope tmpdir("TMPDIR", missing.toUtf8());
    const QString before = QDir::currentPath();
    const QStringList entries = QDir(before).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    EXPECT_EQ(refusal(), QStringLiteral("Cannot use the temporary directory: the system temporary directory \"%1\" "
                                        "does not exist.")
                             .arg(missing));
    EXPECT_FALSE(QFileInfo::exists(missing));
    EXPECT_EQ(QDir(before).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), entries)
        << "made beside the working directory";
}

// ---- TApplicationViewer

// Scanned documents in a directory of their own, a TempPath inside a temporary
// directory of the test's own, and a viewer
// that records what it is asked to open.
class ViewerTest : public ::testing::Test
{
protected:
    struct Opened
    {
        QString path, params, dir;
        int showMode;
        QByteArray contents; // of the file when it was opened
    };

    ViewerTest()
        : m_tmpdir("TMPDIR", m_tmp.path().toUtf8())
    {
    }
    void SetUp() override
    {
        ASSERT_TRUE(scratch.isValid());
        ASSERT_TRUE(QDir(scratch.path()).mkdir(QStringLiteral("docs")));
        docs = scratch.filePath(QStringLiteral("docs/"));
        data.SystemInfo.FileLocation = docs;
        data.SystemInfo.FileExt = QStringLiteral("pdf");
        QDir(TempPath()).removeRecursively();
    }
    void TearDown() override { QDir(TempPath()).removeRecursively(); }

    void document(const QString& fileName) { writeFile(docs + fileName, "scan of " + fileName.toUtf8()); }

    TApplicationViewer viewer()
    {
        return TApplicationViewer(
            data, talk, [this](const QString& path, const QString& params, const QString& d, int showMode) {
                opened.append({path, params, d, showMode, readFile(path)});
                return 42;
            });
    }
    QStringList tempFiles() const
    {
        return QDir(TempPath())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System);
    }

    QTemporaryDir m_tmp; // the system temporary directory while the test runs
    EnvScope m_tmpdir;
    QTemporaryDir scratch;
    QString docs;
    TMerrowindData data;
    ScriptedTalk talk;
    QList<Opened> opened;
};

TEST_F(ViewerTest, OpensACopyOfTheDocumentInsideAPleaseWait)
{
    document(QStringLiteral("123.pdf"));
    TApplicationViewer v = viewer();
    EXPECT_EQ(
        v.ViewApplication(QStringLiteral("000123"), QStringLiteral("/A page=1"), QStringLiteral("/tmp"), 3),
        42);

    const QString copy = TempPath() + QStringLiteral("123.pdf");
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0].path, copy);
    EXPECT_EQ(opened[0].params, QStringLiteral("/A page=1"));
    EXPECT_EQ(opened[0].dir, QStringLiteral("/tmp"));
    EXPECT_EQ(opened[0].showMode, 3);
    EXPECT_EQ(opened[0].contents, "scan of 123.pdf");
    EXPECT_EQ(v.LastViewedFile, copy);
    EXPECT_EQ(talk.texts(ScriptedTalk::Said::Wait),
              QStringList{QStringLiteral("Please Wait Loading Application")});
    EXPECT_EQ(talk.openWaits(), 0);
    EXPECT_TRUE(talk.errors().isEmpty());
    EXPECT_EQ(readFile(docs + QStringLiteral("123.pdf")), "scan of 123.pdf");
}

TEST_F(ViewerTest, WhichDocumentAnIdentifierFinds)
{
    for (const char* name : {"0.pdf", "123.pdf", "000456.pdf", "0789.pdf", "555.PDF"})
        document(QLatin1String(name));
    ASSERT_TRUE(QDir(docs).mkdir(QStringLiteral("sub")));
    document(QStringLiteral("sub/321.pdf"));
    // A document beside the documents' directory, reachable only by climbing out of it.
    const QString outside = QStringLiteral("mw-escape-%1").arg(QCoreApplication::applicationPid());
    writeFile(scratch.filePath(outside + QStringLiteral(".pdf")), "outside");

    const struct
    {
        QString id;
        const char* document; // the file opened (as copy TempPath()/document), nullptr: not found
    } cases[] = {
        {QStringLiteral("123"), "123.pdf"},
        {QStringLiteral("0123"), "123.pdf"},
        {QStringLiteral("0"), "0.pdf"},
        {QStringLiteral("0000"), "0.pdf"},
        {QStringLiteral("000456"), "000456.pdf"}, // found as it is: not shortened
        {QStringLiteral("0789"), "0789.pdf"},
        {QStringLiteral("555"), "555.PDF"}, // extension in capitals on disk
        {QStringLiteral("00789"), nullptr}, // shortened all the way to "789", not to "0789"
        {QStringLiteral("456"), nullptr},   // zeros are only ever taken away
        {QStringLiteral("999"), nullptr},
        {QString(), nullptr},
        {QStringLiteral("sub/321"), nullptr},
        {QStringLiteral("../") + outside, nullptr},
        {QStringLiteral("../docs/123"), nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("identifier \"" + c.id.toStdString() + "\"");
        talk.clear();
        opened.clear();
        TApplicationViewer v = viewer();
        const int result = v.ViewApplication(c.id);
        if (c.document) {
            const QString name = QString::fromLatin1(c.document);
            const QString copy =
                TempPath() + name.left(name.lastIndexOf(QLatin1Char('.'))) + QStringLiteral(".pdf");
            EXPECT_EQ(result, 42);
            ASSERT_EQ(opened.size(), 1);
            EXPECT_EQ(opened[0].path, copy);
            EXPECT_EQ(opened[0].contents, "scan of " + name.toUtf8());
            EXPECT_TRUE(talk.errors().isEmpty());
            QFile::remove(copy);
        } else {
            EXPECT_EQ(result, 0);
            EXPECT_TRUE(opened.isEmpty());
            EXPECT_EQ(talk.errors(), QStringList{QStringLiteral("Application Form for Applicant Not Found")});
            EXPECT_TRUE(talk.texts(ScriptedTalk::Said::Wait).isEmpty());
            EXPECT_TRUE(v.LastViewedFile.isEmpty());
        }
        EXPECT_EQ(tempFiles(), QStringList());
    }
    EXPECT_FALSE(QFileInfo::exists(TempPath() + QStringLiteral("../") + outside + QStringLiteral(".pdf")));
    EXPECT_FALSE(QFileInfo::exists(TempPath() + QStringLiteral("sub")));
}

TEST_F(ViewerTest, OnlyTheLastViewedCopyIsKept)
{
    document(QStringLiteral("123.pdf"));
    document(QStringLiteral("456.pdf"));
    TApplicationViewer v = viewer();

    v.ViewApplication(QStringLiteral("123"));
    v.ViewApplication(QStringLiteral("456"));
    EXPECT_EQ(tempFiles(), QStringList{QStringLiteral("456.pdf")});
    EXPECT_EQ(v.LastViewedFile, TempPath() + QStringLiteral("456.pdf"));

    // Viewed again after a new scan: the old copy went, so the new scan shows.
    writeFile(docs + QStringLiteral("456.pdf"), "rescanned");
    v.ViewApplication(QStringLiteral("456"));
    EXPECT_EQ(opened.last().contents, "rescanned");

    // A missing document leaves the last copy alone.
    v.ViewApplication(QStringLiteral("999"));
    EXPECT_EQ(tempFiles(), QStringList{QStringLiteral("456.pdf")});
    EXPECT_EQ(opened.size(), 3);
}

TEST_F(ViewerTest, ACopyThatCannotBeMadeIsReportedAndNotOpened)
{
    document(QStringLiteral("123.pdf"));
    // The copy's name leads nowhere: a link into a directory that does not exist.
    const QString copy = TempPath() + QStringLiteral("123.pdf");
    ASSERT_TRUE(QFile::link(scratch.filePath(QStringLiteral("nodir/x.pdf")), copy));

    TApplicationViewer v = viewer();
    EXPECT_EQ(v.ViewApplication(QStringLiteral("123")), 0);
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_EQ(talk.errors(), QStringList{QStringLiteral("Cannot create file ") + copy});
    EXPECT_EQ(talk.openWaits(), 0);
    EXPECT_TRUE(v.LastViewedFile.isEmpty());

    // The way is clear again for the next try.
    EXPECT_EQ(v.ViewApplication(QStringLiteral("123")), 42);
    EXPECT_EQ(opened.last().contents, "scan of 123.pdf");
}
