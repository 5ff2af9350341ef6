#include "mail/mime.h"

#include <QLocale>
#include <QMimeDatabase>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTimeZone>

#include <cstring>

namespace mw {

namespace mime {

namespace {

bool isControl(char32_t c)
{
    return c < 0x20 || c == 0x7f || (c >= 0x80 && c < 0xa0) || c == 0x2028 || c == 0x2029;
}

// Control characters, line ends included, become blanks.
QString withoutControls(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text)
        out += isControl(c.unicode()) ? QLatin1Char(' ') : c;
    return out;
}

bool isPlainAscii(const QString& text)
{
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            return false;
    return true;
}

// RFC 2047 encoded words (UTF-8, base64) of at most 75 characters, folded.
QByteArray encodedWords(const QString& text)
{
    QByteArray out;
    QByteArray chunk;
    auto flush = [&] {
        if (chunk.isEmpty())
            return;
        if (!out.isEmpty())
            out += "\r\n ";
        out += "=?UTF-8?B?" + chunk.toBase64() + "?=";
        chunk.clear();
    };
    for (qsizetype i = 0; i < text.size();) {
        // One character, a surrogate pair kept whole.
        const qsizetype n = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        const QByteArray bytes = text.mid(i, n).toUtf8();
        if (chunk.size() + bytes.size() > 45)
            flush();
        chunk += bytes;
        i += n;
    }
    flush();
    return out;
}

QByteArray percentEncoded(const QByteArray& utf8)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           std::strchr("!#$&+-.^_`|~", c) != nullptr;
        if (plain && c != 0) {
            out += ch;
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

QString asciiFallback(const QString& name)
{
    QString out;
    for (const QChar c : name)
        out += (c.unicode() < 0x20 || c.unicode() > 0x7e || c == QLatin1Char('"') || c == QLatin1Char('\\'))
                   ? QLatin1Char('_')
                   : c;
    return out;
}

} // namespace

bool isValidAddress(const QString& address)
{
    const qsizetype at = address.indexOf(QLatin1Char('@'));
    if (at <= 0 || at != address.lastIndexOf(QLatin1Char('@')) || at == address.size() - 1)
        return false;
    for (const QChar c : address) {
        const char16_t u = c.unicode();
        if (u <= 0x20 || u > 0x7e)
            return false;
        if (QStringView(u"<>,;\"()[]\\:").contains(c))
            return false;
    }
    return true;
}

QByteArray dateField(const QDateTime& when)
{
    const QLocale c = QLocale::c();
    const int offset = when.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return c.toString(when, QStringLiteral("ddd, dd MMM yyyy hh:mm:ss ")).toLatin1() + (offset < 0 ? '-' : '+') +
           QByteArray::number(minutes / 60).rightJustified(2, '0') +
           QByteArray::number(minutes % 60).rightJustified(2, '0');
}

QByteArray headerText(const QString& text)
{
    const QString clean = withoutControls(text);
    // Plain ASCII stays readable; text that merely looks encoded is encoded too.
    if (isPlainAscii(clean) && !clean.contains(QLatin1String("=?")) && clean.size() <= 900)
        return clean.toLatin1();
    return encodedWords(clean);
}

QByteArray mailbox(const QString& name, const QString& address)
{
    const QString clean = withoutControls(name).trimmed();
    if (clean.isEmpty())
        return '<' + address.toLatin1() + '>';
    QByteArray phrase;
    if (isPlainAscii(clean) && !clean.contains(QLatin1String("=?")) && clean.size() <= 200) {
        QString quoted = clean;
        quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('"'), QLatin1String("\\\""));
        phrase = '"' + quoted.toLatin1() + '"';
    } else {
        phrase = encodedWords(clean);
    }
    return phrase + " <" + address.toLatin1() + '>';
}

QByteArray attachmentDisposition(const QString& fileName)
{
    const QString clean = withoutControls(fileName);
    const QString fallback = asciiFallback(clean);
    if (fallback == clean)
        return "attachment; filename=\"" + fallback.toLatin1() + '"';
    // RFC 2231 alone (readers take a plain name before it), in pieces that keep
    // the lines short.
    QByteArray out = "attachment";
    const QByteArray encoded = percentEncoded(clean.toUtf8());
    int piece = 0;
    for (qsizetype i = 0; i < encoded.size(); ++piece) {
        qsizetype n = std::min<qsizetype>(60, encoded.size() - i);
        // Never split a %XX escape.
        if (i + n < encoded.size()) {
            if (encoded.at(i + n - 1) == '%')
                n -= 1;
            else if (n >= 2 && encoded.at(i + n - 2) == '%')
                n -= 2;
        }
        out += ";\r\n filename*" + QByteArray::number(piece) + "*=" + (piece == 0 ? "UTF-8''" : "") +
               encoded.mid(i, n);
        i += n;
    }
    return out;
}

QByteArray attachmentTypeName(const QString& fileName)
{
    const QString clean = withoutControls(fileName);
    const QString fallback = asciiFallback(clean);
    if (fallback == clean)
        return "name=\"" + fallback.toLatin1() + '"';
    return "name=\"" + encodedWords(clean).replace("\r\n ", " ") + '"';
}

QByteArray quotedPrintable(const QByteArray& utf8)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(utf8.size() + utf8.size() / 8);
    const QList<QByteArray> lines = utf8.split('\n');
    for (qsizetype l = 0; l < lines.size(); ++l) {
        QByteArray line = lines.at(l);
        if (line.endsWith('\r'))
            line.chop(1);
        int column = 0;
        for (qsizetype i = 0; i < line.size(); ++i) {
            const auto c = static_cast<unsigned char>(line.at(i));
            const bool last = i == line.size() - 1;
            QByteArray piece;
            if ((c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !last))
                piece = QByteArray(1, char(c));
            else
                piece = QByteArray("=") + hex[c >> 4] + hex[c & 15];
            if (column + piece.size() > 75) {
                out += "=\r\n";
                column = 0;
            }
            out += piece;
            column += int(piece.size());
        }
        if (l + 1 < lines.size())
            out += "\r\n";
    }
    return out;
}

} // namespace mime

namespace {

constexpr qint64 FilePiece = 57 * 64; // base64 of it is 64 lines of 76 characters

// The body's text with CRLF line ends, and the transfer encoding it needs.
QByteArray bodyPart(const QStringList& lines, bool html)
{
    QString text = lines.join(QLatin1Char('\n'));
    text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const QByteArray utf8 = text.toUtf8();
    bool sevenBit = true;
    for (const QByteArray& line : utf8.split('\n')) {
        if (line.size() > 998)
            sevenBit = false;
        for (const char ch : line) {
            const auto c = static_cast<unsigned char>(ch);
            if (c >= 0x80 || (c < 0x20 && c != '\t') || c == 0x7f)
                sevenBit = false;
        }
    }
    QByteArray part = "Content-Type: text/" + QByteArray(html ? "html" : "plain") + "; charset=utf-8\r\n";
    if (sevenBit) {
        QByteArray crlf = utf8;
        crlf.replace("\n", "\r\n");
        return part + "Content-Transfer-Encoding: 7bit\r\n\r\n" + crlf + "\r\n";
    }
    return part + "Content-Transfer-Encoding: quoted-printable\r\n\r\n" + mime::quotedPrintable(utf8) + "\r\n";
}

QByteArray randomHex(int bytes)
{
    QByteArray raw(bytes, '\0');
    for (char& c : raw)
        c = char(QRandomGenerator::system()->bounded(256));
    return raw.toHex();
}

} // namespace

MimeSource::MimeSource(const OutgoingMail& mail, std::function<void(const QString&)> onStep)
    : m_mail(mail)
    , m_onStep(std::move(onStep))
    , m_boundary("=_merrowind_" + randomHex(12))
{
}

MimeSource::~MimeSource() = default;

void MimeSource::rewind()
{
    m_pending.clear();
    m_pendingPos = 0;
    m_stage = 0;
    m_inFile = false;
    m_file.reset();
    m_produced = 0;
    m_done = false;
}

qint64 MimeSource::read(char* buffer, qint64 max)
{
    qint64 written = 0;
    while (written < max) {
        if (m_pendingPos >= m_pending.size()) {
            m_pending.clear();
            m_pendingPos = 0;
            if (m_done)
                break;
            fill();
            continue;
        }
        const qint64 n = std::min<qint64>(max - written, m_pending.size() - m_pendingPos);
        std::memcpy(buffer + written, m_pending.constData() + m_pendingPos, size_t(n));
        m_pendingPos += n;
        written += n;
    }
    m_produced += written;
    return written;
}

void MimeSource::fill()
{
    const auto& attachments = m_mail.attachments;
    if (m_stage == 0) {
        QByteArray h;
        const QDateTime when = m_mail.date.isValid() ? m_mail.date : QDateTime::currentDateTime();
        h += "Date: " + mime::dateField(when) + "\r\n";
        h += "From: " + mime::mailbox(m_mail.fromName, m_mail.fromAddress) + "\r\n";
        QByteArray to;
        for (const QString& a : m_mail.to)
            to += (to.isEmpty() ? "" : ",\r\n ") + mime::mailbox(QString(), a);
        h += "To: " + to + "\r\n";
        h += "Subject: " + mime::headerText(m_mail.subject) + "\r\n";
        const qsizetype at = m_mail.fromAddress.indexOf(QLatin1Char('@'));
        const QByteArray domain = at > 0 ? m_mail.fromAddress.mid(at + 1).toLatin1() : QByteArray("merrowind.invalid");
        h += "Message-ID: <" + randomHex(16) + '.' + QByteArray::number(when.toSecsSinceEpoch()) + '@' + domain +
             ">\r\n";
        h += "MIME-Version: 1.0\r\n";
        if (attachments.isEmpty()) {
            m_pending = h + bodyPart(m_mail.body, m_mail.html);
            m_done = true;
            return;
        }
        h += "Content-Type: multipart/mixed; boundary=\"" + m_boundary + "\"\r\n\r\n";
        h += "This is a multi-part message in MIME format.\r\n";
        h += "--" + m_boundary + "\r\n" + bodyPart(m_mail.body, false);
        m_pending = h;
        m_stage = 1;
        return;
    }
    const qsizetype index = m_stage - 1;
    if (index >= attachments.size()) {
        m_pending = "--" + m_boundary + "--\r\n";
        m_done = true;
        return;
    }
    const OutgoingMail::Attachment& a = attachments.at(index);
    if (!m_inFile) {
        m_file = std::make_unique<QFile>(a.path);
        if (!m_file->open(QIODevice::ReadOnly))
            throw AttachmentError(a.name, m_file->errorString());
        if (m_onStep)
            m_onStep(QStringLiteral("Encoding File: ") + a.name);
        static const QMimeDatabase types;
        const QByteArray type = types.mimeTypeForFile(a.name, QMimeDatabase::MatchExtension).name().toLatin1();
        m_pending = "--" + m_boundary + "\r\nContent-Type: " + (type.isEmpty() ? "application/octet-stream" : type) +
                    ";\r\n " + mime::attachmentTypeName(a.name) + "\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: " +
                    mime::attachmentDisposition(a.name) + "\r\n\r\n";
        m_inFile = true;
        return;
    }
    // Whole pieces only: base64 pads the end of what it is given.
    QByteArray raw = m_file->read(FilePiece);
    while (!raw.isEmpty() && raw.size() < FilePiece && !m_file->atEnd() && m_file->error() == QFileDevice::NoError) {
        const QByteArray more = m_file->read(FilePiece - raw.size());
        if (more.isEmpty())
            break;
        raw += more;
    }
    if (raw.isEmpty()) {
        if (!m_file->atEnd() || m_file->error() != QFileDevice::NoError)
            throw AttachmentError(a.name, m_file->errorString());
        m_file.reset();
        m_inFile = false;
        ++m_stage;
        if (m_onStep)
            m_onStep(QStringLiteral("Finished Encoding File: ") + a.name);
        m_pending.clear();
        return;
    }
    const QByteArray encoded = raw.toBase64();
    m_pending.clear();
    m_pending.reserve(encoded.size() + encoded.size() / 38 + 2);
    for (qsizetype i = 0; i < encoded.size(); i += 76)
        m_pending += encoded.mid(i, 76) + "\r\n";
}

} // namespace mw
