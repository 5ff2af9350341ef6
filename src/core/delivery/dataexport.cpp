#include "delivery/dataexport.h"

#include "datastore/merrowinddata.h"
#include "delivery/deptfiles.h"
#include "mail/mailmessage.h"
#include "mail/mailsend.h"
#include "shared/platform.h"
#include "shared/progress.h"
#include "shared/usertalk.h"
#include "workbook.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace mw {

namespace {

const QString kTempFileError = QStringLiteral("Error:  Could Not Create Temporary File");

// Passes everything on to the user but the errors of the file writers, which are
// kept as the cause of the export's own message. A writer tells a failed file
// operation right after it, so errno then still names what the system said.
class CauseTalk final : public UserTalk
{
public:
    explicit CauseTalk(UserTalk& talk)
        : m_talk(talk)
    {
    }

    bool ask(const QString& question) override { return m_talk.ask(question); }
    void inform(const QString& text) override { m_talk.inform(text); }
    void error(const QString& text) override
    {
        const int code = errno;
        if (text == kTempFileError && code != 0)
            causes << QString::fromLocal8Bit(std::strerror(code));
        else if (text.startsWith(kTempFileError + QStringLiteral("\n\n")))
            causes << text.mid(kTempFileError.size() + 2);
        else
            causes << text;
    }
    bool retry(const QString& caption, const QString& text) override { return m_talk.retry(caption, text); }
    void beginWait(const QString& text, bool cancellable) override { m_talk.beginWait(text, cancellable); }
    void wait(const QString& text) override { m_talk.wait(text); }
    void progress(qint64 done, qint64 total) override { m_talk.progress(done, total); }
    bool cancelled() override { return m_talk.cancelled(); }
    void endWait() override { m_talk.endWait(); }

    QStringList causes;

private:
    UserTalk& m_talk;
};

// A private directory for the file being made, in the temporary directory.
std::unique_ptr<QTemporaryDir> scratchDir(QString& cause)
{
    try {
        auto dir = std::make_unique<QTemporaryDir>(TempPath() + QStringLiteral("export-XXXXXX"));
        if (dir->isValid())
            return dir;
        cause = dir->errorString();
    } catch (const TempDirError& e) {
        cause = e.message();
    }
    return nullptr;
}

// Puts the made file at the chosen path: the path is replaced only by a whole file
// (written beside it under a hidden name, then renamed). Gives the system's reason
// when it cannot.
QString placeFile(const QString& made, const QString& target)
{
    QFile in(made);
    if (!in.open(QIODevice::ReadOnly))
        return in.errorString();
    const QFileInfo info(target);
    const QString where = QDir::toNativeSeparators(target) + QStringLiteral(": ");
    QTemporaryFile part(info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".XXXXXX"));
    if (!part.open())
        return where + part.errorString();
    const int fd = part.handle();
    const auto systemError = [&where](int code) { return where + QString::fromLocal8Bit(std::strerror(code)); };
    while (true) {
        const QByteArray piece = in.read(1 << 20);
        if (piece.isEmpty()) {
            if (in.error() != QFileDevice::NoError)
                return in.errorString();
            break;
        }
        for (qsizetype done = 0; done < piece.size();) {
            const ssize_t n = ::write(fd, piece.constData() + done, size_t(piece.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return systemError(n < 0 ? errno : ENOSPC);
            done += n;
        }
    }
    // The permissions a new file gets, not the private ones of a temporary file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(fd, 0666 & ~mask) != 0 || ::fsync(fd) != 0)
        return systemError(errno);
    if (::rename(QFile::encodeName(part.fileName()).constData(), QFile::encodeName(info.absoluteFilePath()).constData()) !=
        0)
        return systemError(errno);
    part.setAutoRemove(false);
    return QString();
}

// Requisition numbers in number order: runs of digits compare by their value
// ("R2" before "R10", "50" before "100"), the rest as text.
bool numberOrder(const QString& a, const QString& b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a.at(i).isDigit() && b.at(j).isDigit()) {
            qsizetype ei = i, ej = j;
            while (ei < a.size() && a.at(ei).isDigit())
                ++ei;
            while (ej < b.size() && b.at(ej).isDigit())
                ++ej;
            while (i < ei - 1 && a.at(i) == QLatin1Char('0'))
                ++i;
            while (j < ej - 1 && b.at(j) == QLatin1Char('0'))
                ++j;
            const QStringView ra = QStringView(a).mid(i, ei - i), rb = QStringView(b).mid(j, ej - j);
            if (ra.size() != rb.size())
                return ra.size() < rb.size();
            if (ra != rb)
                return ra < rb;
            i = ei;
            j = ej;
            continue;
        }
        if (a.at(i) != b.at(j))
            return a.at(i) < b.at(j);
        ++i;
        ++j;
    }
    if ((a.size() - i) != (b.size() - j))
        return a.size() - i < b.size() - j;
    return a < b; // equal by value ("050" and "50"): a fixed order all the same
}

} // namespace

QString ExportFileFilter()
{
    return QStringLiteral("Comma Delimited (*.csv);;All Files (*)");
}

QString ExportProposedFileName()
{
    return QStringLiteral("Applicant.csv");
}

DataExport::DataExport(TMerrowindData& data, UserTalk& talk)
    : StartDate(data.today())
    , EndDate(data.today().addDays(30))
    , TemplateDir(QDir::currentPath())
    , m_data(data)
    , m_talk(talk)
{
}

void DataExport::Setup(const QString& groupCaption, const QString& group, const QString& reqNumber)
{
    ExportAllCaption = QStringLiteral("Export All Continuous Recruitment Jobs For Job Posting ID: ") + groupCaption;
    ExportAllJobsCaption = QStringLiteral("Export All Jobs For Job Posting ID: ") + groupCaption;
    Message.clear();
    QSqlQuery q = m_data.database().exec(QStringLiteral("SELECT DefaultContinueMessage FROM settings ORDER BY rid"));
    if (q.next() && !q.value(0).isNull()) {
        QString text = q.value(0).toString();
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        Message = text.split(QLatin1Char('\n'));
    }
    m_group = group;
    m_reqNumber = reqNumber;
    // The default folder and the file name are joined with a separator.
    const QString dir = m_data.SystemInfo.DefaultDirForFiles.trimmed();
    SaveFileTo = (dir.isEmpty() ? QString() : QDir::toNativeSeparators(normalizedDirectory(dir))) + reqNumber +
                 (m_data.SystemInfo.ExportAsExcel ? QStringLiteral(".xls") : QStringLiteral(".csv"));
}

QString DataExport::TemplateName() const
{
    const bool excel = m_data.SystemInfo.ExportAsExcel;
    if (Continuous)
        return excel ? QStringLiteral("Export.xls") : QStringLiteral("Export.txt");
    return excel ? QStringLiteral("ExportList.xls") : QStringLiteral("ExportList.txt");
}

QString DataExport::MailFileName() const
{
    return m_data.SystemInfo.ExportAsExcel ? QStringLiteral("Applican.xls") : QStringLiteral("Applican.csv");
}

QString DataExport::SavePath() const
{
    const QString ext = m_data.SystemInfo.ExportAsExcel ? QStringLiteral(".xls")
                        : IsHTMLName(TemplateName())   ? QStringLiteral(".htm")
                                                       : QStringLiteral(".csv");
    QString path = SaveFileTo.trimmed();
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    const qsizetype slash = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    if (dot > slash + 1)
        path.truncate(dot);
    return path + ext;
}

OperationResult DataExport::fail(const QString& text, const QString& cause)
{
    const QString shown = cause.isEmpty() ? text : text + QStringLiteral("\n\n") + cause;
    m_talk.error(shown);
    return OperationResult::failed(shown);
}

bool DataExport::makeFile(const QString& outputPath, const QString& reqNumber, QString& cause)
{
    CauseTalk quiet(m_talk);
    TDeptFiles files(m_data, quiet);
    files.TemplateDir = TemplateDir;
    const QString source = files.templatePath(TemplateName());
    if (!QFileInfo(source).isFile()) {
        cause = QStringLiteral("The template %1 is missing.").arg(QDir::toNativeSeparators(source));
        return false;
    }
    errno = 0;
    bool made = false;
    try {
        made = files.MakeExportFile(TemplateName(), outputPath, reqNumber, ApprovedOnly, Continuous, UseDates,
                                    StartDate, EndDate);
    } catch (const xls::WorkbookError& e) {
        // More rows than a sheet holds.
        cause = e.message() + QStringLiteral("\nExport fewer applications (approved ones only, or an interview "
                                             "date range), or export as text.");
        return false;
    }
    if (!quiet.causes.isEmpty()) {
        cause = quiet.causes.join(QLatin1Char('\n'));
        return false;
    }
    // A text template that matched no application has still written its file.
    if (!made && !QFileInfo(outputPath).isFile()) {
        cause = QStringLiteral("%1 was not written.").arg(QDir::toNativeSeparators(outputPath));
        return false;
    }
    return true;
}

OperationResult DataExport::Export()
{
    if (!ExportAll && !ExportAllJobs)
        return ExportRequisition(m_reqNumber);
    return ExportPostingGroup();
}

OperationResult DataExport::ExportRequisition(const QString& reqNumber)
{
    OperationScope running;
    try {
        return SendToDept ? send(reqNumber) : save(reqNumber);
    } catch (const std::exception& e) {
        return fail(SendToDept ? QStringLiteral("Error:  Could Not Create Export File, Export File Not Sent To Department")
                               : QStringLiteral("Error:  Could Not Create Export File"),
                    QString::fromStdString(e.what()));
    }
}

OperationResult DataExport::save(const QString& reqNumber)
{
    static const QString text = QStringLiteral("Error:  Could Not Create Export File");
    QString given = SaveFileTo.trimmed();
    given.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (QFileInfo(given).fileName().isEmpty())
        return fail(text, QStringLiteral("No file name was given."));
    SaveFileTo = SavePath();
    const QString target = SaveFileTo;
    QString cause;
    const std::unique_ptr<QTemporaryDir> scratch = scratchDir(cause);
    if (!scratch)
        return fail(text, cause);
    const QString made = scratch->filePath(QFileInfo(target).fileName());
    if (!makeFile(made, reqNumber, cause))
        return fail(text, cause);
    cause = placeFile(made, target);
    if (!cause.isEmpty())
        return fail(text, cause);
    if (OpenFile)
        OpenFile(target);
    OperationResult r = OperationResult::done();
    r.count(QStringLiteral("Files Saved"), 1);
    return r;
}

OperationResult DataExport::send(const QString& reqNumber)
{
    static const QString text =
        QStringLiteral("Error:  Could Not Create Export File, Export File Not Sent To Department");
    QString cause;
    const std::unique_ptr<QTemporaryDir> scratch = scratchDir(cause);
    if (!scratch)
        return fail(text, cause);
    const QString made = scratch->filePath(MailFileName());
    if (!makeFile(made, reqNumber, cause))
        return fail(text, cause);

    TRequistionData r;
    m_data.LoadRequisition(reqNumber, r);
    QStringList lines = Message;
    TDeptFiles files(m_data, m_talk);
    files.FillReqPlaceholderLines(lines, r);
    // The message carries the file, so it goes out as plain text: the lines stay
    // plain for every department.
    TMailMessage message;
    message.Subject = QStringLiteral("Export Data For Req#: ") + r.JobPostingID + r.ReqNumber + QLatin1Char(' ') +
                      r.PositionTitle;
    message.FromAddress = m_data.LoginData.EMailAddress;
    message.FromName = m_data.LoginData.UserName;
    message.ToAddresses = r.EMailAddress;
    message.MaxBytes = r.MaxFiles;
    message.AsHTML = false;
    message.Body = lines;
    message.attach(made);

    bool sent = false;
    QString why;
    if (SendMessage) {
        sent = SendMessage(message);
    } else {
        MailSend mail(mailServerOf(m_data), m_talk, Extra);
        mail.Message = message;
        sent = mail.Send();
        why = mail.ErrorText.trimmed();
    }
    if (!sent) // the sender has told why
        return OperationResult::failed(QStringLiteral("Error: E-Mail Not Sent\n\n") + why);
    OperationResult result = OperationResult::done();
    result.count(QStringLiteral("Files Sent"), 1);
    return result;
}

QStringList DataExport::PostingGroupRequisitions()
{
    QString sql = QStringLiteral("SELECT ReqNumber FROM requisitions WHERE %1 = ?")
                      .arg(m_data.upper(QStringLiteral("JobPostingID")));
    if (ExportAll)
        sql += QStringLiteral(" AND Continue = 1");
    QStringList numbers;
    QSqlQuery q = m_data.database().exec(sql, {m_group.trimmed().toUpper()});
    while (q.next())
        numbers << q.value(0).toString();
    std::sort(numbers.begin(), numbers.end(), numberOrder);
    return numbers;
}

OperationResult DataExport::ExportPostingGroup()
{
    OperationScope running;
    SendToDept = true;
    QStringList numbers;
    try {
        numbers = PostingGroupRequisitions();
    } catch (const std::exception& e) {
        return fail(QStringLiteral("Error:  Could Not Create Export File, Export File Not Sent To Department"),
                    QString::fromStdString(e.what()));
    }
    QStringList failed;
    int sent = 0;
    ProgressMeter meter(m_talk, numbers.size(), 0);
    for (qsizetype i = 0; i < numbers.size(); ++i) {
        if (!meter.step(i))
            break;
        if (ExportRequisition(numbers.at(i)).isFailed())
            failed << numbers.at(i);
        else
            ++sent;
    }
    OperationResult result;
    if (meter.cancelled())
        result = OperationResult::cancelled();
    else if (!failed.isEmpty())
        result = fail(QStringLiteral("Export Files Not Sent For %1 Of %2 Requisitions: %3")
                          .arg(failed.size())
                          .arg(numbers.size())
                          .arg(failed.join(QStringLiteral(", "))),
                      QString());
    result.count(QStringLiteral("Files Sent"), sent);
    result.count(QStringLiteral("Files Not Sent"), failed.size());
    return result;
}

} // namespace mw
