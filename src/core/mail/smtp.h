#pragma once
// Talking to a mail server (SMTP over libcurl, with TLS and AUTH when the site
// asks for them). One connection is made on the first message and kept for the
// next ones until disconnect(). Runs on a transfer's worker thread: it touches
// neither the database nor the windows; the stop flag ends it soon after it is set.
//
// What goes wrong comes back as failures, each with the server's own reply line
// when there was one. Passwords never appear in them or anywhere else.

#include "mail/mime.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>

namespace mw {

enum class MailSecurity {
    ByPort = 0,   // TLS from the start on port 465, none on any other port
    StartTls = 1, // STARTTLS, required: never sent without it
    Tls = 2,      // TLS from the start
};

struct MailServer
{
    QString host;
    int port = 0;
    MailSecurity security = MailSecurity::ByPort;
    QString user;      // SMTP AUTH when not empty
    QString password;
    int timeoutSeconds = 60; // connecting, and each wait for the server
    QString caFile;    // a site's own certificate authority, besides the system's
};

struct MailFailure
{
    enum Kind {
        Authentication, // "Could Not Authenticate Your User ID."
        Connection,     // "Could Not Connect To Mail Server."
        Host,           // "The Mail Server Could Not Be Found."
        Failure,        // "The E-Mail Could Not Be Sent to The Mail Server."
        Recipient,      // "Could Not Find Recipent <who> On Mail Server."
        Attachment,     // "Could Not Find File Attachment:<file>"
        Header,         // "E-Mail Header Is Incomplete."
        Cancelled,      // "Sending Was Cancelled."
    };
    Kind kind = Failure;
    QString who;    // the recipient or the file
    QString reason; // the server's reply line, or what the connection said
    // The line for the error text: the message, then the reason in brackets.
    QString line() const;
};

class SmtpConnection
{
public:
    // stopped tells whether to stop (may be empty). onStep hears the progress texts ("SMPT Server Resolved",
    // "Connecting To Mail Server", "Sending Data", the encoding texts); onSent the
    // bytes of the current message sent so far.
    SmtpConnection(MailServer server, std::function<bool()> stopped,
                   std::function<void(const QString&)> onStep = {}, std::function<void(qint64)> onSent = {});
    ~SmtpConnection();
    SmtpConnection(const SmtpConnection&) = delete;
    SmtpConnection& operator=(const SmtpConnection&) = delete;

    // Sends one message; true when the server took it for every recipient. A
    // message refused for some recipients went to the others: false, with a
    // Recipient failure for each refused one. Failures are appended.
    bool send(const OutgoingMail& mail, QList<MailFailure>& failures);
    // Whether the last failure was that no connection could be made at all.
    bool neverConnected() const { return m_neverConnected; }
    void disconnect();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
    bool m_neverConnected = false;
};

} // namespace mw
