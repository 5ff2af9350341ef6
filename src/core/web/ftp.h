#pragma once
// Talking to the web server's FTP server (libcurl; FTPS explicit or implicit when
// the site asks for it, certificates verified). One control connection is logged
// in on first use and kept for every later call until disconnect(). Remote paths
// are absolute ("/jobs/abcdefgh/"); names are used exactly as given.
//
// Runs on a transfer's worker thread: it touches neither the database nor the
// windows. The password never appears in a URL, a log or a result.

#include <QList>
#include <QString>

#include <functional>
#include <memory>

namespace mw {

enum class FtpSecurity {
    None = 0,     // plain FTP
    Explicit = 1, // AUTH TLS on the usual port, required
    Implicit = 2, // TLS from the first byte
};

struct FtpServer
{
    QString host;
    int port = 21;
    QString user;     // anonymous when empty
    QString password;
    FtpSecurity security = FtpSecurity::None;
    bool passive = false; // active mode unless asked (FTPS always uses passive mode)
    int timeoutSeconds = 10;
    QString caFile;
};

struct FtpResult
{
    enum Failure {
        None,
        Host,        // the server's name is not known
        Connection,  // no connection (refused, timed out, TLS or certificate)
        Login,       // the user name or password was refused
        Command,     // the server refused a command (a reply of 400 to 599)
        Transfer,    // a transfer broke off
        Cancelled,
    };
    Failure failure = None;
    int code = 0;   // the server's reply code when it refused
    QString reply;  // the server's reply line, or what the connection said
    bool ok() const { return failure == None; }
};

struct RemoteEntry
{
    QString name;
    qint64 size = -1; // -1 when the server does not tell
    bool directory = false;
};

class FtpConnection
{
public:
    explicit FtpConnection(FtpServer server, std::function<bool()> stopped = {});
    ~FtpConnection();
    FtpConnection(const FtpConnection&) = delete;
    FtpConnection& operator=(const FtpConnection&) = delete;

    // Logs in (when not already) and goes to the directory: whether it exists.
    FtpResult changeDir(const QString& dir);
    // Makes the directory, and any above it that are missing.
    FtpResult makeDir(const QString& dir);
    FtpResult removeDir(const QString& dir);
    FtpResult deleteFile(const QString& dir, const QString& name);
    // The directory's entries with their sizes.
    FtpResult list(const QString& dir, QList<RemoteEntry>& entries);
    // Stores a local file under the name; binary, or text (ASCII) transfer.
    // onSent hears the bytes sent so far.
    FtpResult upload(const QString& localPath, const QString& dir, const QString& name, bool binary,
                     const std::function<void(qint64)>& onSent = {});
    bool connected() const;
    void disconnect();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace mw
