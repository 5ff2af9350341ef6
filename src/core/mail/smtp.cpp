#include "mail/smtp.h"

#include "shared/curlsupport.h"

#include <curl/curl.h>

namespace mw {

QString MailFailure::line() const
{
    QString text;
    switch (kind) {
    case Authentication:
        text = QStringLiteral("Could Not Authenticate Your User ID.");
        break;
    case Connection:
        text = QStringLiteral("Could Not Connect To Mail Server.");
        break;
    case Host:
        text = QStringLiteral("The Mail Server Could Not Be Found.");
        break;
    case Failure:
        text = QStringLiteral("The E-Mail Could Not Be Sent to The Mail Server.");
        break;
    case Recipient:
        text = QStringLiteral("Could Not Find Recipent %1 On Mail Server.").arg(who);
        break;
    case Attachment:
        text = QStringLiteral("Could Not Find File Attachment:") + who;
        break;
    case Header:
        text = QStringLiteral("E-Mail Header Is Incomplete.");
        break;
    case Cancelled:
        text = QStringLiteral("Sending Was Cancelled.");
        break;
    }
    if (!reason.isEmpty())
        text += QStringLiteral(" (") + reason + QLatin1Char(')');
    return text;
}

struct SmtpConnection::Impl
{
    MailServer server;
    std::function<bool()> stopped;
    std::function<void(const QString&)> onStep;
    std::function<void(qint64)> onSent;
    CURL* curl = nullptr;
    char errors[CURL_ERROR_SIZE] = {};

    // What the conversation showed, for the message being sent. Commands are
    // looked at only for their verb and the recipient: credentials are never kept.
    bool greeted = false;
    bool resolvedTold = false;
    bool dataStarted = false;
    QString pendingRecipient;
    QString lastRefusal; // the last reply of 400 or more
    QList<QPair<QString, QString>> refused; // recipient, reply
    MimeSource* source = nullptr;
    std::unique_ptr<AttachmentError> attachmentError;

    void step(const QString& text)
    {
        if (onStep)
            onStep(text);
    }

    static int debug(CURL*, curl_infotype type, char* data, size_t size, void* self)
    {
        auto* d = static_cast<Impl*>(self);
        const QByteArray bytes(data, qsizetype(size));
        switch (type) {
        case CURLINFO_TEXT:
            if (bytes.startsWith("  Trying ") || bytes.startsWith("Trying ")) {
                if (!d->resolvedTold) {
                    d->resolvedTold = true;
                    d->step(QStringLiteral("SMPT Server Resolved"));
                }
            } else if (bytes.startsWith("Connected to ")) {
                d->step(QStringLiteral("Connecting To Mail Server"));
            }
            break;
        case CURLINFO_HEADER_OUT:
            if (bytes.startsWith("RCPT TO:")) {
                QString who = QString::fromUtf8(bytes.mid(8)).trimmed();
                if (who.startsWith(QLatin1Char('<')))
                    who = who.mid(1, who.indexOf(QLatin1Char('>')) - 1);
                d->pendingRecipient = who;
            } else {
                d->pendingRecipient.clear();
            }
            break;
        case CURLINFO_HEADER_IN: {
            for (const QByteArray& raw : bytes.split('\n')) {
                const QString line = QString::fromUtf8(raw).trimmed();
                if (line.size() < 3)
                    continue;
                const bool final = line.size() == 3 || line.at(3) != QLatin1Char('-');
                if (!final)
                    continue;
                const int code = curl::replyCode(line);
                if (code == 220)
                    d->greeted = true;
                if (code >= 400) {
                    d->lastRefusal = line;
                    if (!d->pendingRecipient.isEmpty())
                        d->refused.append({d->pendingRecipient, line});
                }
                d->pendingRecipient.clear();
            }
            break;
        }
        default:
            break;
        }
        return 0;
    }

    static size_t read(char* buffer, size_t size, size_t count, void* self)
    {
        auto* d = static_cast<Impl*>(self);
        if (d->stopped && d->stopped())
            return CURL_READFUNC_ABORT;
        if (!d->dataStarted) {
            d->dataStarted = true;
            d->step(QStringLiteral("Sending Data"));
        }
        try {
            const qint64 n = d->source->read(buffer, qint64(size * count));
            if (d->onSent)
                d->onSent(d->source->produced());
            return size_t(n);
        } catch (const AttachmentError& e) {
            d->attachmentError = std::make_unique<AttachmentError>(e);
            return CURL_READFUNC_ABORT;
        }
    }

    static int progress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
    {
        auto* d = static_cast<Impl*>(self);
        return (d->stopped && d->stopped()) ? 1 : 0;
    }

    QString url() const
    {
        const QString host = curl::urlHost(server.host);
        const bool tlsFirst = server.security == MailSecurity::Tls ||
                              (server.security == MailSecurity::ByPort && server.port == 465);
        return QStringLiteral("%1://%2:%3").arg(tlsFirst ? QStringLiteral("smtps") : QStringLiteral("smtp"), host)
            .arg(server.port);
    }

    void open()
    {
        curl::initialise();
        greeted = false;
        curl = curl_easy_init();
        if (!curl)
            throw std::runtime_error("libcurl could not be started");
        const long timeout = std::max(1, server.timeoutSeconds);
        curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errors);
        curl_easy_setopt(curl, CURLOPT_URL, url().toUtf8().constData());
        curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_DNS_CACHE_TIMEOUT, -1L); // one look-up for the connection's life
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, timeout);
        curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, timeout);
        // A connection that stalls while the message goes out.
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, timeout);
        if (server.security == MailSecurity::StartTls)
            curl_easy_setopt(curl, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
        if (!server.caFile.isEmpty())
            curl_easy_setopt(curl, CURLOPT_CAINFO, server.caFile.toLocal8Bit().constData());
        if (!server.user.isEmpty()) {
            curl_easy_setopt(curl, CURLOPT_USERNAME, server.user.toUtf8().constData());
            curl_easy_setopt(curl, CURLOPT_PASSWORD, server.password.toUtf8().constData());
        }
        curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(curl, CURLOPT_READFUNCTION, &Impl::read);
        curl_easy_setopt(curl, CURLOPT_READDATA, this);
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &Impl::progress);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);
        curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
        curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, &Impl::debug);
        curl_easy_setopt(curl, CURLOPT_DEBUGDATA, this);
#if LIBCURL_VERSION_NUM >= 0x080200
        curl_easy_setopt(curl, CURLOPT_MAIL_RCPT_ALLOWFAILS, 1L);
#else
        curl_easy_setopt(curl, CURLOPT_MAIL_RCPT_ALLLOWFAILS, 1L);
#endif
    }

    void close()
    {
        if (curl) {
            curl_easy_cleanup(curl); // says QUIT on a connection still open
            curl = nullptr;
        }
    }
};

SmtpConnection::SmtpConnection(MailServer server, std::function<bool()> stopped,
                               std::function<void(const QString&)> onStep, std::function<void(qint64)> onSent)
    : d(std::make_unique<Impl>())
{
    d->server = std::move(server);
    d->stopped = std::move(stopped);
    d->onStep = std::move(onStep);
    d->onSent = std::move(onSent);
}

SmtpConnection::~SmtpConnection()
{
    d->close();
}

void SmtpConnection::disconnect()
{
    if (d->curl) {
        d->step(QStringLiteral("Disconnecting from SMTP Server"));
        d->close();
    }
}

bool SmtpConnection::send(const OutgoingMail& mail, QList<MailFailure>& failures)
{
    m_neverConnected = false;
    if (!mime::isValidAddress(mail.fromAddress) || mail.to.isEmpty()) {
        failures.append({MailFailure::Header, QString(), QString()});
        return false;
    }
    if (!d->curl)
        d->open();

    MimeSource source(mail, d->onStep);
    d->source = &source;
    d->dataStarted = false;
    d->pendingRecipient.clear();
    d->lastRefusal.clear();
    d->refused.clear();
    d->attachmentError.reset();
    d->errors[0] = '\0';

    curl_easy_setopt(d->curl, CURLOPT_MAIL_FROM, ('<' + mail.fromAddress.toUtf8() + '>').constData());
    curl_slist* recipients = nullptr;
    for (const QString& to : mail.to)
        recipients = curl_slist_append(recipients, ('<' + to.toUtf8() + '>').constData());
    curl_easy_setopt(d->curl, CURLOPT_MAIL_RCPT, recipients);
    const CURLcode rc = curl_easy_perform(d->curl);
    curl_easy_setopt(d->curl, CURLOPT_MAIL_RCPT, nullptr);
    curl_slist_free_all(recipients);
    d->source = nullptr;

    const QString said = QString::fromUtf8(d->errors).trimmed();
    const QString reason = !d->lastRefusal.isEmpty() ? d->lastRefusal : said;
    bool ok = rc == CURLE_OK;
    if (d->attachmentError) {
        const AttachmentError& e = *d->attachmentError;
        failures.append({MailFailure::Attachment, e.fileName(), e.reason()});
        ok = false;
    } else if (rc == CURLE_ABORTED_BY_CALLBACK) {
        failures.append({MailFailure::Cancelled, QString(), QString()});
    } else if (rc == CURLE_COULDNT_RESOLVE_HOST) {
        m_neverConnected = true;
        failures.append({MailFailure::Host, QString(), said});
    } else if (rc == CURLE_COULDNT_CONNECT || (rc == CURLE_OPERATION_TIMEDOUT && !d->greeted)) {
        m_neverConnected = true;
        failures.append({MailFailure::Connection, QString(), said});
    } else if (rc == CURLE_PEER_FAILED_VERIFICATION || rc == CURLE_SSL_CACERT_BADFILE) {
        m_neverConnected = true;
        failures.append({MailFailure::Connection, QString(),
                         QStringLiteral("the mail server's certificate could not be verified: ") + said});
    } else if (rc == CURLE_SSL_CONNECT_ERROR || rc == CURLE_USE_SSL_FAILED) {
        m_neverConnected = true;
        failures.append({MailFailure::Connection, QString(),
                         QStringLiteral("no secure connection could be made: ") + said});
    } else if (rc == CURLE_LOGIN_DENIED) {
        failures.append({MailFailure::Authentication, QString(), reason});
    } else if (rc != CURLE_OK) {
        failures.append({MailFailure::Failure, QString(), reason.isEmpty() ? QString::fromUtf8(curl_easy_strerror(rc)) : reason});
    }
    // Recipients refused while others took the message (or all refused).
    for (const auto& [who, reply] : std::as_const(d->refused)) {
        failures.append({MailFailure::Recipient, who, reply});
        ok = false;
    }
    if (rc != CURLE_OK)
        d->close(); // a broken conversation is not reused
    return ok;
}

} // namespace mw
