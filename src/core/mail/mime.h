#pragma once
// Outgoing messages in Internet mail form: header fields that no imported text can
// break (control characters never reach a header, non-ASCII words are RFC 2047
// encoded, file names RFC 2231), UTF-8 bodies, attachments read from disk and
// base64-encoded as the message is sent, never held whole in memory.

#include <QDateTime>
#include <QFile>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <stdexcept>

namespace mw {

// A file to attach could not be read; names the file.
class AttachmentError : public std::runtime_error
{
public:
    AttachmentError(const QString& fileName, const QString& reason)
        : std::runtime_error(reason.toStdString())
        , m_fileName(fileName)
        , m_reason(reason)
    {}
    QString fileName() const { return m_fileName; }
    QString reason() const { return m_reason; }

private:
    QString m_fileName;
    QString m_reason;
};

namespace mime {

// An address a message may go to or come from: one "@" with text on both sides, and
// no blank, control character, angle bracket, comma, semicolon, quote or parenthesis.
bool isValidAddress(const QString& address);
// The Date field of RFC 5322 for a moment, in its own zone: "Thu, 10 Dec 2026 08:15:02 -0500".
QByteArray dateField(const QDateTime& when);
// Text for a header field: control characters (line ends included) become blanks;
// text that is not plain ASCII becomes RFC 2047 encoded words (UTF-8). The result
// holds no CR or LF other than the folding it adds (CRLF and a blank).
QByteArray headerText(const QString& text);
// A mailbox for From or To: the name encoded as headerText, or the address alone.
QByteArray mailbox(const QString& name, const QString& address);
// The Content-Disposition of an attachment: the name as it is when plain ASCII,
// else in the RFC 2231 form.
QByteArray attachmentDisposition(const QString& fileName);
// The name parameter of an attachment's Content-Type, for older readers: RFC 2047
// encoded when it is not plain ASCII.
QByteArray attachmentTypeName(const QString& fileName);
// The body's text as quoted-printable UTF-8 with lines of at most 76 octets.
QByteArray quotedPrintable(const QByteArray& utf8);

} // namespace mime

// One message to send.
struct OutgoingMail
{
    QString subject;
    QString fromAddress;
    QString fromName;
    QStringList to; // valid addresses
    QStringList body;
    bool html = false; // a message with attachments is always plain text
    struct Attachment
    {
        QString path;  // the file read
        QString name;  // the name the recipient sees
    };
    QList<Attachment> attachments;
    QDateTime date;
};

// The message as a stream of bytes, produced as they are read: the header, the
// body, then each attachment read from its file in small pieces. onStep hears
// "Encoding File: " and "Finished Encoding File: " with each file's name. A file
// that cannot be read raises AttachmentError from read().
class MimeSource
{
public:
    explicit MimeSource(const OutgoingMail& mail, std::function<void(const QString&)> onStep = {});
    ~MimeSource();
    MimeSource(const MimeSource&) = delete;
    MimeSource& operator=(const MimeSource&) = delete;

    // Up to max bytes of the message into buffer; 0 at its end.
    qint64 read(char* buffer, qint64 max);
    // Starts again from the first byte.
    void rewind();
    // Bytes produced so far.
    qint64 produced() const { return m_produced; }

private:
    void fill();

    const OutgoingMail& m_mail;
    std::function<void(const QString&)> m_onStep;
    QByteArray m_boundary;
    QByteArray m_pending;
    qsizetype m_pendingPos = 0;
    int m_stage = 0;      // 0 header and body, then 1 + attachment index, then the end
    bool m_inFile = false;
    std::unique_ptr<QFile> m_file;
    qint64 m_produced = 0;
    bool m_done = false;
};

} // namespace mw
