#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <memory>

namespace mwtest {

// A private SMTP server for one test: tests/support/smtpserver.py run by the system Python
// (python3-aiosmtpd) on 127.0.0.1 and a port of its own, stopped and its directory removed by the
// destructor. It ends by itself when the test process dies (its control pipe closes).
//
// Every message it accepts is kept: raw(n) gives the bytes received, message(n) a summary (n from
// 1, in order of arrival) with the fields mail_from, rcpt_tos, mail_options, subject, from, to,
// date, headers, body_text, body_type, attachments [{filename, sha256, size}], defects,
// max_line_length, tls, auth_user (a message Python cannot parse keeps only the envelope, tls,
// auth_user and a summary_error). Faults apply to the sessions that begin after them, until
// reset(). Every call blocks for a bounded time; waiting calls keep the caller's events going.
// Needs a QCoreApplication.
struct SmtpServerOptions
{
    enum class Tls { None, Implicit, StartTls };
    Tls tls = Tls::None;
    bool requireTls = false; // with StartTls: MAIL before STARTTLS gets 530
    QString authUser = {}; // when set, AUTH PLAIN and LOGIN are offered and required
    QString authPassword = {};
};

class SmtpServer
{
public:
    using Options = SmtpServerOptions;

    explicit SmtpServer(Options options = {});
    ~SmtpServer();

    bool ok() const;       // false when the server did not start; error() says why
    QString error() const; // the last failure of any call
    quint16 port() const;
    QString host() const; // "127.0.0.1"

    // With TLS: the CA that signed the server's certificate (for 127.0.0.1 and localhost), and
    // an unrelated CA a client must not accept the server with. Made once per process.
    QString caFile() const;
    QString otherCaFile() const;

    // Sends one control line and waits for its OK.
    bool command(const QString& line);
    bool silentGreeting();    // connections accepted, never greeted
    bool refuseConnections(); // the port is closed; reset() opens it again
    bool refuseSender(int code); // 451 or 550 to MAIL FROM
    bool refuseRecipient(const QString& address);
    bool dropDuringData(qint64 bytes); // cut without a reply after that much message content
    bool sizeLimit(qint64 bytes);      // SIZE advertised; larger messages get 552
    bool reset();

    int messageCount(); // -1 when the server does not answer
    QJsonObject message(int n); // waits until message n is stored; empty when it never is
    QByteArray raw(int n);
    QList<QJsonObject> messages();
    bool waitForMessages(int count, int ms = 10000);

    SmtpServer(const SmtpServer&) = delete;
    SmtpServer& operator=(const SmtpServer&) = delete;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace mwtest
