#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <memory>

namespace mwtest {

// A private FTP server for one test: tests/support/ftpserver.py run by the system Python
// (python3-pyftpdlib, python3-openssl) on 127.0.0.1 and a port of its own, passive and active,
// serving root() to one user with all rights; optionally an HTTP server (GET only) over the same
// directory. The destructor stops it and removes the directory; it ends by itself when the test
// process dies (its control pipe closes).
//
// Explicit TLS requires AUTH TLS before the login and PROT P before any data connection (a login
// in the clear gets 550); implicit TLS speaks TLS from the first byte, data connections included.
// Faults hold until reset(); n counts the commands or transfers they spoil, -1 for all. Every call
// blocks for a bounded time; waiting calls keep the caller's events going. Needs a
// QCoreApplication.
struct FtpServerOptions
{
    enum class Tls
    {
        None,
        Explicit,
        Implicit
    };
    Tls tls = Tls::None;
    bool http = false;
    QString user = QStringLiteral("merrowind");
    QString password = QStringLiteral("ftp-Secret-1");
};

class FtpServer
{
public:
    using Options = FtpServerOptions;

    explicit FtpServer(Options options = {});
    ~FtpServer();

    bool ok() const;       // false when the server did not start; error() says why
    QString error() const; // the last failure of any call
    quint16 port() const;
    quint16 httpPort() const; // 0 without Options::http
    QString host() const;     // "127.0.0.1"
    QString root() const;     // the served directory
    QString user() const;
    QString password() const;

    // With TLS: the CA that signed the server's certificate (for 127.0.0.1 and localhost), and
    // an unrelated CA a client must not accept the server with. Made once per process.
    QString caFile() const;
    QString otherCaFile() const;

    // Sends one control line and waits for its OK. The faults, with what a client sees:
    //   refuseConnections  connections refused; reset() listens on the same port again
    //   refuseLogin        530 to every PASS, right or wrong
    //   refuseMkd          550 Cannot create directory.
    //   refuseStor         553 Could not store file. to STOR, no file made
    //   refuseStorName     the same for every STOR of a file of that name
    //   dropStor           half the first block of data is kept, then both connections are reset
    //                      without a reply
    //   truncateStor       226, but only the first half of the data is kept
    //   diskFull           all data taken, then 452 Insufficient storage space., no file kept
    // APPE and STOU are left alone.
    bool command(const QString& line);
    bool refuseConnections();
    bool refuseLogin();
    bool refuseMkd(int n);
    bool refuseStor(int n);
    bool refuseStorName(const QString& name);
    bool dropStor(int n);
    bool truncateStor(int n);
    bool diskFull(int n);
    bool reset(); // all faults cleared
    int logins(); // successful logins since the start (reset() keeps them); -1 when no answer

    // What the server holds, by paths relative to root().
    QByteArray file(const QString& relativePath) const;         // empty when missing
    QStringList entries(const QString& relativeDir = {}) const; // names, sorted
    bool exists(const QString& relativePath) const;

    // GET http://127.0.0.1:httpPort()/path; status gets the HTTP status, 0 when none came.
    QByteArray httpGet(const QString& path, int* status = nullptr);

    FtpServer(const FtpServer&) = delete;
    FtpServer& operator=(const FtpServer&) = delete;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace mwtest
