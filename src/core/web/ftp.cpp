#include "web/ftp.h"

#include "shared/curlsupport.h"

#include <QFile>
#include <QUrl>

#include <curl/curl.h>

namespace mw {

namespace {

// "/jobs/abc/" -> ["jobs", "abc"]
QStringList segments(const QString& dir)
{
    return dir.split(QLatin1Char('/'), Qt::SkipEmptyParts);
}

QString absolute(const QString& dir)
{
    return QLatin1Char('/') + segments(dir).join(QLatin1Char('/'));
}

size_t collect(char* data, size_t size, size_t count, void* target)
{
    static_cast<QByteArray*>(target)->append(data, qsizetype(size * count));
    return size * count;
}

} // namespace

struct FtpConnection::Impl
{
    FtpServer server;
    std::function<bool()> stopped;
    CURL* curl = nullptr;
    char errors[CURL_ERROR_SIZE] = {};
    bool loggedIn = false;
    QString lastRefusal; // the last reply of 400 or more
    int lastCode = 0;
    QFile* source = nullptr;
    std::function<void(qint64)> onSent;
    qint64 sent = 0;

    static int debug(CURL*, curl_infotype type, char* data, size_t size, void* self)
    {
        if (type != CURLINFO_HEADER_IN) // commands (PASS among them) are never looked at
            return 0;
        auto* d = static_cast<Impl*>(self);
        for (const QByteArray& raw : QByteArray(data, qsizetype(size)).split('\n')) {
            const QString line = QString::fromUtf8(raw).trimmed();
            if (line.size() < 3 || (line.size() > 3 && line.at(3) == QLatin1Char('-')))
                continue;
            const int code = curl::replyCode(line);
            if (code == 230)
                d->loggedIn = true;
            if (code >= 400) {
                d->lastRefusal = line;
                d->lastCode = code;
            }
        }
        return 0;
    }

    static int progress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
    {
        auto* d = static_cast<Impl*>(self);
        return (d->stopped && d->stopped()) ? 1 : 0;
    }

    static size_t read(char* buffer, size_t size, size_t count, void* self)
    {
        auto* d = static_cast<Impl*>(self);
        if (d->stopped && d->stopped())
            return CURL_READFUNC_ABORT;
        const qint64 n = d->source->read(buffer, qint64(size * count));
        if (n < 0)
            return CURL_READFUNC_ABORT;
        d->sent += n;
        if (d->onSent)
            d->onSent(d->sent);
        return size_t(n);
    }

    QByteArray url(const QString& dir, const QString& name = QString()) const
    {
        const QString host = curl::urlHost(server.host);
        QByteArray u = (server.security == FtpSecurity::Implicit ? "ftps://" : "ftp://") + host.toUtf8() + ':' +
                       QByteArray::number(server.port > 0 ? server.port : 21) + "/%2F";
        for (const QString& s : segments(dir))
            u += QUrl::toPercentEncoding(s) + '/';
        if (!name.isEmpty())
            u += QUrl::toPercentEncoding(name);
        return u;
    }

    // A clean set of options for the next request; the logged-in connection stays.
    void prepare(const QByteArray& address)
    {
        curl::initialise();
        if (!curl) {
            curl = curl_easy_init();
            if (!curl)
                throw std::runtime_error("libcurl could not be started");
            loggedIn = false;
        } else {
            curl_easy_reset(curl);
        }
        const long timeout = std::max(1, server.timeoutSeconds);
        errors[0] = '\0';
        lastRefusal.clear();
        lastCode = 0;
        curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errors);
        curl_easy_setopt(curl, CURLOPT_URL, address.constData());
        curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "ftp,ftps");
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, timeout);
        curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, timeout);
        curl_easy_setopt(curl, CURLOPT_ACCEPTTIMEOUT_MS, timeout * 1000);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, timeout);
        // The server's address is looked up once for the connection's life: libcurl
        // 7.88 waits a second on every fresh look-up, once per data connection after
        // the usual minute of caching.
        curl_easy_setopt(curl, CURLOPT_DNS_CACHE_TIMEOUT, -1L);
        // Over TLS always passive: libcurl 7.88 sends active-mode TLS data in the clear.
        if (!server.passive && server.security == FtpSecurity::None)
            curl_easy_setopt(curl, CURLOPT_FTPPORT, "-");
        if (server.security == FtpSecurity::Explicit)
            curl_easy_setopt(curl, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
        if (!server.caFile.isEmpty())
            curl_easy_setopt(curl, CURLOPT_CAINFO, server.caFile.toLocal8Bit().constData());
        if (!server.user.isEmpty()) {
            curl_easy_setopt(curl, CURLOPT_USERNAME, server.user.toUtf8().constData());
            curl_easy_setopt(curl, CURLOPT_PASSWORD, server.password.toUtf8().constData());
        }
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &Impl::progress);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);
        curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
        curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, &Impl::debug);
        curl_easy_setopt(curl, CURLOPT_DEBUGDATA, this);
    }

    FtpResult finish(CURLcode rc)
    {
        FtpResult r;
        const QString said = QString::fromUtf8(errors).trimmed();
        r.code = lastCode;
        r.reply = !lastRefusal.isEmpty() ? lastRefusal : said;
        switch (rc) {
        case CURLE_OK:
            return FtpResult();
        case CURLE_ABORTED_BY_CALLBACK:
            r.failure = FtpResult::Cancelled;
            break;
        case CURLE_COULDNT_RESOLVE_HOST:
            r.failure = FtpResult::Host;
            r.reply = said;
            break;
        case CURLE_LOGIN_DENIED:
            r.failure = FtpResult::Login;
            break;
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
            r.failure = FtpResult::Connection;
            r.reply = QStringLiteral("the server's certificate could not be verified: ") + said;
            break;
        case CURLE_COULDNT_CONNECT:
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_USE_SSL_FAILED:
        case CURLE_WEIRD_SERVER_REPLY:
            r.failure = FtpResult::Connection;
            break;
        case CURLE_OPERATION_TIMEDOUT:
            r.failure = loggedIn ? FtpResult::Transfer : FtpResult::Connection;
            break;
        case CURLE_QUOTE_ERROR:
        case CURLE_REMOTE_ACCESS_DENIED:
        case CURLE_REMOTE_FILE_NOT_FOUND:
        case CURLE_UPLOAD_FAILED:
        case CURLE_FTP_COULDNT_RETR_FILE:
        case CURLE_REMOTE_DISK_FULL:
            r.failure = lastCode >= 400 ? FtpResult::Command : FtpResult::Transfer;
            break;
        default:
            // A transfer the server answered with a refusal (452: its disk is full).
            r.failure = (lastCode >= 400 && rc == CURLE_PARTIAL_FILE) ? FtpResult::Command : FtpResult::Transfer;
            break;
        }
        // A broken conversation is not reused: the next call logs in again.
        if (r.failure != FtpResult::Command)
            close();
        return r;
    }

    void close()
    {
        if (curl) {
            curl_easy_cleanup(curl); // says QUIT on a connection still open
            curl = nullptr;
        }
        loggedIn = false;
    }

    // Runs FTP commands after logging in, before anything else; a command marked
    // with a leading "*" may fail.
    FtpResult quote(const QList<QByteArray>& list)
    {
        prepare(url(QString()));
        curl_slist* commands = nullptr;
        for (const QByteArray& command : list)
            commands = curl_slist_append(commands, command.constData());
        curl_easy_setopt(curl, CURLOPT_QUOTE, commands);
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
        const CURLcode rc = curl_easy_perform(curl);
        curl_slist_free_all(commands);
        return finish(rc);
    }
};

FtpConnection::FtpConnection(FtpServer server, std::function<bool()> stopped)
    : d(std::make_unique<Impl>())
{
    d->server = std::move(server);
    d->stopped = std::move(stopped);
}

FtpConnection::~FtpConnection()
{
    d->close();
}

bool FtpConnection::connected() const { return d->curl && d->loggedIn; }

void FtpConnection::disconnect() { d->close(); }

FtpResult FtpConnection::changeDir(const QString& dir)
{
    d->prepare(d->url(dir));
    curl_easy_setopt(d->curl, CURLOPT_NOBODY, 1L);
    return d->finish(curl_easy_perform(d->curl));
}

FtpResult FtpConnection::makeDir(const QString& dir)
{
    // The directories above it first; each one may be there already (whether it is
    // there afterwards, changing into it tells: a refused command would cost the
    // connection).
    QList<QByteArray> commands;
    QString path;
    const QStringList parts = segments(dir);
    for (qsizetype i = 0; i < parts.size(); ++i) {
        path += QLatin1Char('/') + parts.at(i);
        commands << QByteArray("*MKD ") + path.toUtf8();
    }
    return d->quote(commands);
}

FtpResult FtpConnection::removeDir(const QString& dir)
{
    return d->quote({"RMD " + absolute(dir).toUtf8()});
}

FtpResult FtpConnection::deleteFile(const QString& dir, const QString& name)
{
    QString path = absolute(dir);
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return d->quote({"DELE " + (path + name).toUtf8()});
}

FtpResult FtpConnection::list(const QString& dir, QList<RemoteEntry>& entries)
{
    entries.clear();
    QByteArray listing;
    d->prepare(d->url(dir));
    curl_easy_setopt(d->curl, CURLOPT_CUSTOMREQUEST, "MLSD");
    curl_easy_setopt(d->curl, CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(d->curl, CURLOPT_WRITEDATA, &listing);
    FtpResult r = d->finish(curl_easy_perform(d->curl));
    if (r.ok()) {
        // "type=file;size=1234;modify=...; name"
        for (const QByteArray& raw : listing.split('\n')) {
            QByteArray line = raw;
            if (line.endsWith('\r'))
                line.chop(1);
            const qsizetype blank = line.indexOf(' ');
            if (blank < 0)
                continue;
            RemoteEntry e;
            e.name = QString::fromUtf8(line.mid(blank + 1));
            for (const QByteArray& fact : line.left(blank).split(';')) {
                const qsizetype eq = fact.indexOf('=');
                const QByteArray key = fact.left(eq).toLower(), value = fact.mid(eq + 1).toLower();
                if (key == "size")
                    e.size = value.toLongLong();
                else if (key == "type")
                    e.directory = value == "dir" || value == "cdir" || value == "pdir";
            }
            if (e.name == QLatin1String(".") || e.name == QLatin1String(".."))
                continue;
            entries.append(e);
        }
        return r;
    }
    if (r.failure != FtpResult::Command || (r.code != 500 && r.code != 501 && r.code != 502 && r.code != 504))
        return r;
    // A server without MLSD: the names, then each one's size.
    listing.clear();
    d->prepare(d->url(dir));
    curl_easy_setopt(d->curl, CURLOPT_DIRLISTONLY, 1L);
    curl_easy_setopt(d->curl, CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(d->curl, CURLOPT_WRITEDATA, &listing);
    r = d->finish(curl_easy_perform(d->curl));
    if (!r.ok())
        return r;
    for (const QByteArray& raw : listing.split('\n')) {
        QByteArray line = raw.trimmed();
        if (line.isEmpty())
            continue;
        RemoteEntry e;
        e.name = QString::fromUtf8(line.mid(line.lastIndexOf('/') + 1));
        d->prepare(d->url(dir, e.name));
        curl_easy_setopt(d->curl, CURLOPT_NOBODY, 1L);
        if (d->finish(curl_easy_perform(d->curl)).ok()) {
            curl_off_t size = -1;
            curl_easy_getinfo(d->curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size);
            e.size = size;
        }
        entries.append(e);
    }
    return FtpResult();
}

FtpResult FtpConnection::upload(const QString& localPath, const QString& dir, const QString& name, bool binary,
                                const std::function<void(qint64)>& onSent)
{
    QFile file(localPath);
    if (!file.open(QIODevice::ReadOnly)) {
        FtpResult r;
        r.failure = FtpResult::Transfer;
        r.reply = QStringLiteral("%1: %2").arg(localPath, file.errorString());
        return r;
    }
    d->prepare(d->url(dir, name));
    d->source = &file;
    d->sent = 0;
    d->onSent = onSent;
    curl_easy_setopt(d->curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(d->curl, CURLOPT_READFUNCTION, &Impl::read);
    curl_easy_setopt(d->curl, CURLOPT_READDATA, d.get());
    curl_easy_setopt(d->curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(file.size()));
    curl_easy_setopt(d->curl, CURLOPT_TRANSFERTEXT, binary ? 0L : 1L);
    const CURLcode rc = curl_easy_perform(d->curl);
    d->source = nullptr;
    d->onSent = nullptr;
    return d->finish(rc);
}

} // namespace mw
