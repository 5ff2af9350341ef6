#include "mail/mailsend.h"

#include "datastore/merrowinddata.h"
#include "shared/platform.h"
#include "shared/transfer.h"
#include "shared/usertalk.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace mw {

namespace {

// The name a path gives its file, whichever separator it was written with.
QString fileNameOf(const QString& path)
{
    const qsizetype cut = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return path.mid(cut + 1);
}

// Copies a file; gives the file system's reason when it cannot (a full disk says so).
QString copyFile(const QString& from, const QString& to)
{
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        return in.errorString();
    const int fd = ::open(QFile::encodeName(to).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    QString why;
    while (why.isEmpty()) {
        const QByteArray piece = in.read(1 << 20);
        if (piece.isEmpty()) {
            if (in.error() != QFileDevice::NoError)
                why = in.errorString();
            break;
        }
        for (qsizetype done = 0; done < piece.size() && why.isEmpty();) {
            const ssize_t n = ::write(fd, piece.constData() + done, size_t(piece.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                why = QString::fromLocal8Bit(std::strerror(n < 0 ? errno : ENOSPC));
            else
                done += n;
        }
    }
    if (::close(fd) != 0 && why.isEmpty())
        why = QString::fromLocal8Bit(std::strerror(errno));
    return why;
}

} // namespace

MailServer mailServerOf(const TMerrowindData& data)
{
    const TLoginData& user = data.LoginData;
    const TSystemInfo& general = data.SystemInfo;
    MailServer s;
    s.host = user.SMTPServer.trimmed();
    s.port = user.SMTPPort;
    const int security = user.SMTPSecurity >= 0 ? user.SMTPSecurity : general.SMTPSecurity;
    s.security = security == 1 ? MailSecurity::StartTls : security == 2 ? MailSecurity::Tls : MailSecurity::ByPort;
    if (!user.SMTPUserName.isEmpty()) {
        s.user = user.SMTPUserName;
        s.password = user.SMTPPassword;
    } else if (s.host.compare(general.SMTPServer.trimmed(), Qt::CaseInsensitive) == 0) {
        s.user = general.SMTPUserName;
        s.password = general.SMTPPassword;
    }
    s.timeoutSeconds = general.SMTPTimeout > 0 ? general.SMTPTimeout : 60;
    s.caFile = general.SMTPCAFile;
    return s;
}

bool CheckMailSetup(const TMerrowindData& data, UserTalk& talk)
{
    bool ok = true;
    if (data.LoginData.EMailAddress.isEmpty()) {
        talk.error(QStringLiteral("Your E-Mail Address Has Not Been Setup!"));
        ok = false;
    }
    if (data.LoginData.SMTPServer.isEmpty() || data.LoginData.SMTPPort == 0) {
        talk.error(QStringLiteral("Your E-Mail Server And Port Have Not Been Setup."));
        return false;
    }
    return ok;
}

MailSend::MailSend(MailServer server, UserTalk& talk, ExtraFiles* extraFiles)
    : m_server(std::move(server))
    , m_talk(talk)
    , m_extraFiles(extraFiles)
{
}

MailSend::~MailSend()
{
    DeleteAttachments();
}

QStringList MailSend::splitNotice(qint64 maxBytes)
{
    return {QStringLiteral("Your Site Has Restricted The Number Of Files You Can Receive To: %1 Bytes").arg(maxBytes),
            QStringLiteral("You Will Receive Multiple Messages Until All The Files Have Been Sent.")};
}

void MailSend::fail(const MailFailure& failure)
{
    Sent = false;
    if (failure.kind == MailFailure::Cancelled)
        m_cancelled = true;
    ErrorText.prepend(failure.line() + QLatin1Char('\n'));
}

void MailSend::step(const QString& text)
{
    if (ShowStep)
        ShowStep(text);
}

void MailSend::PrepareHeader()
{
    m_mail.subject = Message.Subject;
    m_mail.fromAddress = Message.FromAddress.trimmed();
    m_mail.fromName = Message.FromName;
    m_mail.date = QDateTime::currentDateTime();
    m_mail.html = Message.AsHTML && Message.Attachments.isEmpty();
}

void MailSend::CheckAddresses()
{
    m_mail.to.clear();
    QStringList removed;
    for (const QString& entry : Message.recipients()) {
        if (!mime::isValidAddress(entry)) {
            removed << entry;
            continue;
        }
        bool seen = false;
        for (const QString& kept : std::as_const(m_mail.to))
            seen = seen || kept.compare(entry, Qt::CaseInsensitive) == 0;
        if (!seen)
            m_mail.to << entry;
    }
    if (removed.isEmpty())
        return;
    QString text = QStringLiteral("The message with the subject:\n") + Message.Subject +
                   QStringLiteral(" Has Failed\n\nThe following addresses are invalid and have been removed:\n\n");
    for (const QString& r : removed)
        text += r + QLatin1Char('\n');
    m_talk.error(text);
}

void MailSend::AddExtraFiles()
{
    if (!m_extraFiles || m_extraFiles->files.isEmpty())
        return;
    if (m_talk.ask(QStringLiteral("You Have Added Extra Files, Do You Wish To Send Them?."))) {
        Message.Attachments << m_extraFiles->files;
        return;
    }
    if (!m_talk.ask(QStringLiteral("Do You Want to Keep These Files?.")))
        m_extraFiles->files.clear();
}

void MailSend::CopyAttachmentsToTemp()
{
    m_mail.attachments.clear();
    if (Message.Attachments.isEmpty())
        return;
    QString base;
    try {
        base = TempPath();
    } catch (const TempDirError& e) {
        Sent = false;
        ErrorText.prepend(e.message() + QLatin1Char('\n'));
        return;
    }
    // A directory of this send's own: nothing left by another run is sent, and
    // two files of one name stay two.
    m_copies = std::make_unique<QTemporaryDir>(base + QStringLiteral("send-XXXXXX"));
    if (!m_copies->isValid()) {
        Sent = false;
        ErrorText.prepend(QStringLiteral("Cannot make a directory for the attachments in %1: %2\n")
                              .arg(base, m_copies->errorString()));
        return;
    }
    for (qsizetype i = 0; i < Message.Attachments.size(); ++i) {
        const QString& original = Message.Attachments.at(i);
        step(QStringLiteral("Copying File: ") + original);
        const QString name = fileNameOf(original);
        if (!QFileInfo(original).isFile()) {
            fail({MailFailure::Attachment, name, QString()});
            return;
        }
        const QString dir = m_copies->filePath(QString::number(i + 1));
        const QString copy = dir + QLatin1Char('/') + name;
        const QString why = QDir().mkpath(dir) ? copyFile(original, copy) : QStringLiteral("cannot make the directory");
        if (!why.isEmpty()) {
            QFile::remove(copy);
            Sent = false;
            ErrorText.prepend(QStringLiteral("Cannot copy %1 to %2: %3\n").arg(original, dir, why));
            return;
        }
        m_mail.attachments.append({copy, name});
    }
    step(QString());
}

void MailSend::DeleteAttachments()
{
    m_copies.reset(); // removes this send's directory with every copy in it
}

bool MailSend::Send()
{
    Sent = true;
    ErrorText.clear();
    m_messagesSent = 0;
    m_attachmentsDelivered = 0;
    m_unreachable = false;
    m_cancelled = false;
    if (ShowStatus)
        ShowStatus(QStringLiteral("Sending Mail, Please Wait"));

    PrepareHeader();
    CheckAddresses();
    if (m_mail.to.isEmpty()) {
        // Nothing goes out; whoever asked for the message hears so.
        Sent = false;
        ErrorText = QStringLiteral("The E-Mail Has No Valid Recipient.\n");
        if (ShowStatus)
            ShowStatus(QString());
        return Sent;
    }
    AddExtraFiles();
    m_mail.html = Message.AsHTML && Message.Attachments.isEmpty();
    CopyAttachmentsToTemp();

    if (Sent) {
        const qint64 maxBytes = Message.MaxBytes;
        const bool split = maxBytes > 0 && !m_mail.attachments.isEmpty();
        qint64 total = 0;
        for (const auto& a : std::as_const(m_mail.attachments))
            total += QFileInfo(a.path).size() * 4 / 3;
        const QList<OutgoingMail::Attachment> all = m_mail.attachments;
        QList<MailFailure> failures;

        const bool finished = runTransfer(
            m_talk,
            [&](TransferState& state) {
                qint64 base = 0;
                SmtpConnection connection(
                    m_server, [&state] { return state.stop(); }, [&state](const QString& s) { state.setStep(s); },
                    [&](qint64 sent) { state.setProgress(base + sent, total); });
                auto sendOne = [&](OutgoingMail& mail) {
                    const qsizetype before = failures.size();
                    const bool ok = connection.send(mail, failures);
                    qsizetype refused = 0;
                    bool other = false;
                    for (qsizetype i = before; i < failures.size(); ++i) {
                        if (failures.at(i).kind == MailFailure::Recipient)
                            ++refused;
                        else
                            other = true;
                    }
                    if (ok || (!other && refused < mail.to.size())) {
                        ++m_messagesSent;
                        m_attachmentsDelivered += mail.attachments.size();
                    }
                    if (connection.neverConnected())
                        m_unreachable = true;
                    return ok;
                };
                if (!split) {
                    OutgoingMail mail = m_mail;
                    mail.body = Message.Body;
                    sendOne(mail);
                } else {
                    OutgoingMail mail = m_mail;
                    mail.body = splitNotice(maxBytes) + Message.Body;
                    QList<OutgoingMail::Attachment> pending = all;
                    bool ok = true;
                    for (int set = 0; !pending.isEmpty() && ok && !state.stop(); ++set) {
                        mail.subject = Message.Subject + QStringLiteral(" Attachment Set: ") + QString::number(set);
                        mail.attachments.clear();
                        qint64 budget = maxBytes;
                        while (!pending.isEmpty()) {
                            const qint64 size = QFileInfo(pending.first().path).size();
                            if (size <= budget) {
                                mail.attachments << pending.takeFirst();
                                budget -= size;
                                if (budget == 0)
                                    break;
                            } else {
                                if (mail.attachments.isEmpty())
                                    mail.attachments << pending.takeFirst(); // too big for any set: alone
                                break;
                            }
                        }
                        ok = sendOne(mail);
                        for (const auto& a : std::as_const(mail.attachments)) {
                            base += QFileInfo(a.path).size() * 4 / 3;
                            QFile::remove(a.path); // the set's copies are done with
                        }
                    }
                    if (ok && !pending.isEmpty()) // stopped between two sets
                        failures.append({MailFailure::Cancelled, QString(), QString()});
                }
                connection.disconnect();
            },
            [this](const QString& s) { step(s); }, StopRequested);
        Q_UNUSED(finished); // a stop shows as a failure of what it stopped
        for (const MailFailure& f : std::as_const(failures))
            fail(f);
    }
    DeleteAttachments();
    if (ShowStatus)
        ShowStatus(QString());
    if (!Sent)
        m_talk.error(QStringLiteral("Error: E-Mail Not Sent\n\n") + ErrorText);
    return Sent;
}

} // namespace mw
