#pragma once
// Sending one message, or one run of numbered attachment sets, the way every
// sender of the program does: the e-mail window shows it, the notices, the
// command line and the tests use it directly.
//
// Send: checks the recipients, offers the extra files, copies the attachments
// into a fresh private directory of this send, sends over one connection on a
// worker thread (the window thread stays painted, Cancel and the window's close
// box stop it: a cancelled send is not sent), deletes only its own copies, and
// tells a failure with every line collected, newest first. A message that reaches
// no recipient is not sent. Once the message data has begun nothing is sent again
// by itself.

#include "mail/mailmessage.h"
#include "mail/smtp.h"

#include <QStringList>

#include <functional>
#include <memory>

class QTemporaryDir;

namespace mw {

class TMerrowindData;
class UserTalk;

// The extra files the user picked for the next department message; one list for
// as long as the program runs.
struct ExtraFiles
{
    QStringList files;
};

// The logged-on user's mail server: his own server, port, security and login, the
// general ones where he has none. The general login goes only to the general server.
MailServer mailServerOf(const TMerrowindData& data);

// Whether the logged-on user can send mail; tells what is missing.
bool CheckMailSetup(const TMerrowindData& data, UserTalk& talk);

class MailSend
{
public:
    MailSend(MailServer server, UserTalk& talk, ExtraFiles* extraFiles = nullptr);
    ~MailSend();
    MailSend(const MailSend&) = delete;
    MailSend& operator=(const MailSend&) = delete;

    // Subject, FromAddress, FromName, ToAddresses, MaxBytes, AsHTML, the body lines
    // and the attachment paths.
    TMailMessage Message;
    bool Sent = false;
    QString ErrorText; // the failure lines, newest first, each ending with a line end

    // The window's two labels; empty when no window shows the send.
    std::function<void(const QString&)> ShowStatus;
    std::function<void(const QString&)> ShowStep;
    // The window's close box asks to stop.
    std::function<bool()> StopRequested;

    // The whole run; sets Sent. Gives Sent.
    bool Send();

    // The steps of Send, each usable on its own.
    void PrepareHeader();
    void CheckAddresses();
    void AddExtraFiles();
    void CopyAttachmentsToTemp(); // false Sent when an attachment cannot be copied
    void DeleteAttachments();     // the copies of this send only

    // After Send: the messages the server took (for one recipient at least), and
    // whether no connection could be made at all (the server is down or unknown).
    int messagesSent() const { return m_messagesSent; }
    bool serverUnreachable() const { return m_unreachable; }
    // After Send: the attachments (as given in Message) that went out in a message
    // the server took for one recipient at least. A split run stops at its first
    // failed set, so these are the first ones of the list.
    QStringList deliveredAttachments() const { return Message.Attachments.mid(0, m_attachmentsDelivered); }
    // After Send: whether Cancel (or the close box) stopped it.
    bool cancelled() const { return m_cancelled; }
    // The recipients left after CheckAddresses.
    const QStringList& recipients() const { return m_mail.to; }

    // The restriction lines a split run puts at the top of the body.
    static QStringList splitNotice(qint64 maxBytes);

private:
    void fail(const MailFailure& failure);
    void step(const QString& text);

    MailServer m_server;
    UserTalk& m_talk;
    ExtraFiles* m_extraFiles;
    OutgoingMail m_mail;
    std::unique_ptr<QTemporaryDir> m_copies;
    int m_messagesSent = 0;
    qsizetype m_attachmentsDelivered = 0;
    bool m_unreachable = false;
    bool m_cancelled = false;
};

} // namespace mw
