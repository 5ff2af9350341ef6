#include "delivery/deptfiles.h"

#include "shared/platform.h"
#include "shared/usertalk.h"
#include "datastore/merrowinddata.h"
#include "delivery/fileutils.h"
#include "delivery/appquery.h"
#include "mail/mailmessage.h"
#include "shared/codepage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringDecoder>

#include <algorithm>
#include <array>

namespace mw {

namespace {

const QString kNbsp = QStringLiteral("&nbsp;");

QString dateText(const QDate& d)
{
    return d.isValid() ? d.toString(QStringLiteral("MM/dd/yyyy")) : QString();
}

// The reverse of the Windows-1252 table: a character to its byte, 0 when the code
// page lacks it.
const std::array<unsigned char, 0x2200>& cp1252Bytes()
{
    static const auto table = [] {
        std::array<unsigned char, 0x2200> t{};
        for (int b = 1; b < 256; ++b) {
            const char16_t c = decodeWindows1252(static_cast<unsigned char>(b));
            if (c < t.size())
                t[c] = static_cast<unsigned char>(b);
        }
        return t;
    }();
    return table;
}

enum class Charset
{
    Windows1252,
    Utf8,
    Ascii, // what is not ASCII: character references in HTML, "?" elsewhere
};

QByteArray encodeText(const QString& text, Charset charset, bool html)
{
    if (charset == Charset::Utf8)
        return text.toUtf8();
    const auto& table = cp1252Bytes();
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < 0x80) {
            out += char(c);
            continue;
        }
        if (charset == Charset::Windows1252 && c < table.size() && table[c]) {
            out += char(table[c]);
            continue;
        }
        char32_t code = c;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            code = QChar::surrogateToUcs4(c, text.at(++i).unicode()); // one character, one "?"
        if (html)
            out += "&#" + QByteArray::number(quint32(code)) + ';';
        else
            out += '?';
    }
    return out;
}

// The character set a <meta> tag of an HTML text names (small letters); empty when none does.
QString declaredCharset(const QString& text)
{
    static const QRegularExpression meta(
        QStringLiteral(R"(<meta\b[^>]*?\bcharset\s*=\s*["']?\s*([^\s"'/>;]+))"),
        QRegularExpression::CaseInsensitiveOption);
    return meta.match(text).captured(1).toLower();
}

// The names browsers read as Windows-1252.
bool isWindows1252Name(const QString& name)
{
    static const QStringList names{
        QStringLiteral("ansi_x3.4-1968"), QStringLiteral("ascii"),      QStringLiteral("cp1252"),
        QStringLiteral("cp819"),          QStringLiteral("csisolatin1"), QStringLiteral("ibm819"),
        QStringLiteral("iso-8859-1"),     QStringLiteral("iso-ir-100"), QStringLiteral("iso8859-1"),
        QStringLiteral("iso88591"),       QStringLiteral("iso_8859-1"), QStringLiteral("iso_8859-1:1987"),
        QStringLiteral("l1"),             QStringLiteral("latin1"),     QStringLiteral("us-ascii"),
        QStringLiteral("windows-1252"),   QStringLiteral("x-cp1252")};
    return names.contains(name);
}

// Where a <meta charset> goes: after the <head> tag, else the <html> tag, else the
// <!DOCTYPE>, else at the start.
qsizetype charsetPlace(const QString& text)
{
    static const QRegularExpression tags[] = {
        QRegularExpression(QStringLiteral(R"(<head(\s[^>]*)?>)"), QRegularExpression::CaseInsensitiveOption),
        QRegularExpression(QStringLiteral(R"(<html(\s[^>]*)?>)"), QRegularExpression::CaseInsensitiveOption),
        QRegularExpression(QStringLiteral(R"(<!doctype[^>]*>)"), QRegularExpression::CaseInsensitiveOption),
    };
    for (const QRegularExpression& tag : tags)
        if (const QRegularExpressionMatch m = tag.match(text); m.hasMatch())
            return m.capturedEnd();
    return 0;
}

// Line breaks inside values (CR LF, CR or LF) as "\n", which becomes the file's line end.
void oneLineEnd(PlaceholderSet& set)
{
    for (qsizetype i = 0; i < set.size(); ++i) {
        QString& value = set.valueAt(i);
        if (value.contains(QLatin1Char('\r'))) {
            value.replace(QLatin1String("\r\n"), QLatin1String("\n"));
            value.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        }
    }
}

} // namespace

// ---------------------------------------------------------------- small helpers

void TExportRow::clear(const QString& empty)
{
    for (QString* f : {&JobNumber, &Scanned, &Approved, &Reviewed, &ApplicantID, &Name, &Address1, &Address2,
                       &Address3, &City, &State, &Zip, &Phone, &InterviewDate, &DispDate, &SemtDate,
                       &VeteranPreference, &RIF, &RIFExpires, &NotReHire, &NotReHireExpires, &ApprovedDate})
        *f = empty;
}

QString YesNo(bool value)
{
    return value ? QStringLiteral("Yes") : QStringLiteral("No");
}

QString WebBase(const QString& address)
{
    const qsizetype slash = address.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : address.left(slash + 1);
}

bool IsHTMLName(const QString& fileName)
{
    const QString suffix = QFileInfo(fileName).suffix();
    return suffix.compare(QLatin1String("htm"), Qt::CaseInsensitive) == 0 ||
           suffix.compare(QLatin1String("html"), Qt::CaseInsensitive) == 0;
}

void TextToHTML(QStringList& lines)
{
    for (QString& line : lines) {
        QString out;
        qsizetype pos = 0;
        while (true) {
            const qsizetype at = line.indexOf(QLatin1String("http"), pos, Qt::CaseInsensitive);
            if (at < 0)
                break;
            out += QStringView(line).mid(pos, at - pos);
            // The address: to the first blank, or, when a double quote comes first, to
            // the second double quote, or to the end of the line.
            const qsizetype blank = line.indexOf(QLatin1Char(' '), at);
            const qsizetype quote = line.indexOf(QLatin1Char('"'), at);
            qsizetype end = line.size(); // one past the address
            if (quote >= 0 && (blank < 0 || quote < blank)) {
                const qsizetype second = line.indexOf(QLatin1Char('"'), quote + 1);
                end = second < 0 ? line.size() : second + 1;
            } else if (blank >= 0) {
                end = blank; // the blank stays after the link
            }
            const QString address = line.mid(at, end - at);
            QString target = address;
            QString label = address;
            const qsizetype labelAt = address.indexOf(QLatin1String(",\""));
            if (labelAt >= 0) {
                target = address.left(labelAt);
                label = address.mid(labelAt + 2);
                if (label.endsWith(QLatin1Char('"')))
                    label.chop(1);
            }
            // The scheme is written in small letters.
            target.replace(0, 4, QStringLiteral("http"));
            if (labelAt < 0)
                label = target;
            out += QStringLiteral("<A HREF=\"") + target + QStringLiteral("\">") + label + QStringLiteral("</A>");
            pos = end;
        }
        out += QStringView(line).mid(pos);
        out.replace(QLatin1String("\r\n"), QLatin1String("<Br>"));
        out += QLatin1String("<Br>");
        line = out;
    }
}

QString HTMLName(const TRequistionData& requisition, const QString& fileName)
{
    if (!requisition.SendAsHTML || fileName.isEmpty())
        return fileName;
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0)
        return fileName.left(dot + 1) + QStringLiteral("htm");
    return fileName + QStringLiteral(".htm");
}

QStringList CreditLines()
{
    return {QStringLiteral("Merrowind"), QStringLiteral("Version %1").arg(QStringLiteral(MERROWIND_VERSION)),
            QStringLiteral("Copyright (c) 2026 The Merrowind developers"), QStringLiteral("https://merrowind.org/")};
}

// ---------------------------------------------------------------- template files

bool TemplateText::read(const QString& path)
{
    lines.clear();
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = f.readAll();
    if (bytes.contains("\r\n"))
        lineEnd = "\r\n";
    else if (bytes.contains('\n'))
        lineEnd = "\n";
    else if (bytes.contains('\r'))
        lineEnd = "\r";
    else
        lineEnd = "\r\n";
    ascii = std::all_of(bytes.cbegin(), bytes.cend(), [](char b) { return static_cast<unsigned char>(b) < 0x80; });
    byteOrderMark = false;
    QString text;
    QStringDecoder utf(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    text = utf.decode(bytes);
    utf8 = !utf.hasError() && !ascii;
    if (utf8) {
        byteOrderMark = bytes.startsWith("\xEF\xBB\xBF");
        if (text.startsWith(QChar(0xFEFF))) // the decoder may have taken it out already
            text.remove(0, 1);
    } else if (!ascii) {
        decodeWindows1252(bytes.constData(), bytes.size(), text);
    }
    if (text.isEmpty())
        return true;
    const QChar end = lineEnd == "\r" ? QLatin1Char('\r') : QLatin1Char('\n');
    lines = text.split(end);
    if (lines.last().isEmpty())
        lines.removeLast(); // the line end of the last line
    for (QString& l : lines)
        if (l.endsWith(QLatin1Char('\r')))
            l.chop(1);
    return true;
}

QByteArray TemplateText::encode(const QString& text, bool html) const
{
    return encodeText(text, utf8 ? Charset::Utf8 : Charset::Windows1252, html);
}

QByteArray TemplateText::file(QString text, bool html) const
{
    Charset charset = utf8 ? Charset::Utf8 : Charset::Windows1252;
    if (html) {
        const QString declared = declaredCharset(text);
        if (declared.isEmpty()) {
            const QString meta = charset == Charset::Utf8 ? QStringLiteral("<meta charset=\"utf-8\">")
                                                          : QStringLiteral("<meta charset=\"windows-1252\">");
            text.insert(charsetPlace(text), meta);
        } else if (ascii) {
            // Nothing in the template says otherwise: the page is what it declares.
            if (declared == QLatin1String("utf-8") || declared == QLatin1String("utf8") ||
                declared == QLatin1String("unicode-1-1-utf-8"))
                charset = Charset::Utf8;
            else if (!isWindows1252Name(declared))
                charset = Charset::Ascii;
        }
    }
    if (lineEnd != "\n")
        text.replace(QLatin1Char('\n'), QString::fromLatin1(lineEnd));
    QByteArray bytes = byteOrderMark ? QByteArray("\xEF\xBB\xBF") : QByteArray();
    bytes += encodeText(text, charset, html);
    return bytes;
}

// ---------------------------------------------------------------- the writer object

TDeptFiles::TDeptFiles(TMerrowindData& data, UserTalk& talk)
    : TemplateDir(QDir::currentPath())
    , TempDir(TempPath())
    , m_data(data)
    , m_talk(talk)
{
}

QString TDeptFiles::templatePath(const QString& name) const
{
    QString n = name;
    n.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (QFileInfo(n).isAbsolute())
        return n;
    return QDir(TemplateDir).filePath(n);
}

void TDeptFiles::attach(const QString& path)
{
    if (Message)
        Message->attach(path);
}

THRContact TDeptFiles::HRContact(const TRequistionData& requisition)
{
    const QString group = requisition.JobPostingID;
    if (group.isEmpty())
        return {};
    auto it = m_contacts.constFind(group);
    if (it != m_contacts.constEnd())
        return *it;
    TLoginData user;
    m_data.LoadMainUser(group, user);
    const THRContact c{user.UserName, user.Phone, user.FAX};
    m_contacts.insert(group, c);
    return c;
}

QString TDeptFiles::ApplicationLink(const TRequistionData& requisition, const QString& applicantId,
                                    const QString& text) const
{
    const QString base = requisition.WebAddress.isEmpty() ? QStringLiteral("Invalid") : WebBase(requisition.WebAddress);
    const QString file = (applicantId + QLatin1Char('.') + m_data.SystemInfo.FileExt).toLower().toHtmlEscaped();
    return QStringLiteral("<A HREF=\"") + base + file + QStringLiteral("\">") + text + QStringLiteral("</A>");
}

void TDeptFiles::requisitionSet(const TRequistionData& r, PlaceholderSet& set, bool html)
{
    const THRContact hr = HRContact(r);
    auto value = [html](const QString& v) { return html ? v.toHtmlEscaped() : v; };
    set.set(QStringLiteral("%TODAY%"), dateText(m_data.today()));
    set.set(QStringLiteral("%HRNAME%"), value(hr.UserName));
    set.set(QStringLiteral("%HRPHONE%"), value(hr.Phone));
    set.set(QStringLiteral("%HRFAX%"), value(hr.FAX));
    set.set(QStringLiteral("%UNDERTEXT%"), value(r.PositionUnderUF));
    set.set(QStringLiteral("%UNDER%"), r.PositionUnderU ? QStringLiteral("is") : QStringLiteral("is not"));
    set.set(QStringLiteral("%JOBNUMBER%"), value(r.ReqNumber));
    set.set(QStringLiteral("%POSTINGID%"), value(r.JobPostingID));
    set.set(QStringLiteral("%CONTACT%"), value(r.Contact));
    set.set(QStringLiteral("%DEPNAME%"), value(r.Department));
    set.set(QStringLiteral("%JOBCODE%"), value(r.JobCode));
    set.set(QStringLiteral("%FTE%"), value(r.FTE));
    set.set(QStringLiteral("%DATEPOSTED%"), r.DatePosted);
    set.set(QStringLiteral("%JOBTITLE%"), value(r.PositionTitle));
    set.set(QStringLiteral("%WEBSITE%"), r.SendAsHTML && !r.SendAsEMail ? value(r.WebAddress)
                                                                          : QStringLiteral("Not Defined"));
}

void TDeptFiles::FillReqPlaceholders(QString& text, const TRequistionData& requisition)
{
    PlaceholderSet set;
    requisitionSet(requisition, set, false);
    set.fill(text);
}

void TDeptFiles::FillReqPlaceholderLines(QStringList& lines, const TRequistionData& requisition)
{
    PlaceholderSet set;
    requisitionSet(requisition, set, false);
    for (QString& l : lines)
        set.fill(l);
}


void TDeptFiles::FillRowPlaceholders(QString& text, const TExportRow& row, const TRequistionData& requisition)
{
    PlaceholderSet req;
    requisitionSet(requisition, req, false);
    PlaceholderSet set(&req);
    rowSet(row, set);
    set.fill(text);
}

// ---------------------------------------------------------------- text writer

bool TDeptFiles::MakeTextFile(const QString& templateName, const QString& outputPath, const QString& reqNumber,
                              bool approvedOnly, bool /*continuous*/, bool useDates, const QDate& fromDate,
                              const QDate& toDate)
{
    const QString source = templatePath(templateName);
    if (!QFileInfo(source).isFile())
        return false;
    TemplateText tpl;
    if (!tpl.read(source))
        return false;
    QFile out(outputPath);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_talk.error(QStringLiteral("Error:  Could Not Create Temporary File"));
        return false;
    }
    const bool html = IsHTMLName(source);

    TRequistionData req;
    m_data.LoadRequisition(reqNumber, req);
    PlaceholderSet reqSet;
    requisitionSet(req, reqSet, html);
    oneLineEnd(reqSet);

    QString text;
    auto writeLine = [&](const QString& line) {
        text += line;
        text += QLatin1Char('\n');
    };
    if (html)
        for (const QString& l : m_data.SystemInfo.HTTPHeading)
            writeLine(l);

    // Header: up to the line that holds the marker, which is not written.
    qsizetype i = 0;
    bool marker = false;
    for (; i < tpl.lines.size(); ++i) {
        if (tpl.lines.at(i).contains(QLatin1String("%DETAIL%"), Qt::CaseInsensitive)) {
            marker = true;
            ++i;
            break;
        }
        QString l = tpl.lines.at(i);
        reqSet.fill(l);
        writeLine(l);
    }
    QString rowTemplate;
    if (marker && i < tpl.lines.size())
        rowTemplate = tpl.lines.at(i++);

    // One line per application.
    bool any = false;
    {
        AppQuery q(m_data.database(), reqNumber, approvedOnly, useDates, fromDate, toDate);
        TExportRow row;
        PlaceholderSet set(&reqSet);
        const QString empty = html ? kNbsp : QString();
        while (q.next()) {
            any = true;
            row.clear(empty);
            q.read(row);
            row.JobNumber = reqNumber;
            if (html) {
                for (QString* f : {&row.ApplicantID, &row.Name, &row.Address1, &row.Address2, &row.Address3,
                                   &row.City, &row.State, &row.Zip, &row.Phone, &row.JobNumber})
                    if (*f != kNbsp)
                        *f = f->toHtmlEscaped();
                if (row.Scanned == QLatin1String("Yes") && row.Approved == QLatin1String("Yes") &&
                    row.SemtDate != kNbsp)
                    row.Name = ApplicationLink(req, q.value(AppQuery::ApplicantID).toString(), row.Name);
                static const QString red = QStringLiteral("<Font Color=\"ff0000\">Yes</Font>");
                if (row.VeteranPreference == QLatin1String("Yes"))
                    row.VeteranPreference = red;
                if (row.RIF == QLatin1String("Yes"))
                    row.RIF = red;
            }
            rowSet(row, set);
            oneLineEnd(set);
            QString line = rowTemplate;
            set.fill(line);
            writeLine(line);
        }
    }

    // Trailer.
    for (; i < tpl.lines.size(); ++i) {
        QString l = tpl.lines.at(i);
        reqSet.fill(l);
        writeLine(l);
    }
    if (html) {
        for (const QString& l : m_data.SystemInfo.HTTPFooting)
            writeLine(l);
    } else {
        writeLine(QString());
        for (const QString& l : CreditLines())
            writeLine(l);
    }
    const QByteArray bytes = tpl.file(text, html);
    if (out.write(bytes) != bytes.size() || !out.flush()) {
        out.remove(); // a part of the file is not sent as if it were the file
        m_talk.error(QStringLiteral("Error:  Could Not Create Temporary File"));
        return false;
    }
    out.close();
    return any;
}

bool TDeptFiles::MakeExportFile(const QString& templateName, const QString& outputPath, const QString& reqNumber,
                                bool approvedOnly, bool continuous, bool useDates, const QDate& fromDate,
                                const QDate& toDate)
{
    WaitScope wait(m_talk, QStringLiteral("Please Wait, Creating Export File"));
    if (m_data.SystemInfo.ExportAsExcel)
        return MakeSheetFile(templateName, outputPath, reqNumber, approvedOnly, continuous, useDates, fromDate,
                             toDate);
    return MakeTextFile(templateName, outputPath, reqNumber, approvedOnly, continuous, useDates, fromDate, toDate);
}

// ---------------------------------------------------------------- the department message

void TDeptFiles::StartDeptBody(const TRequistionData& requisition)
{
    if (!Message)
        return;
    QStringList lines = requisition.MessageToDept;
    FillReqPlaceholderLines(lines, requisition);
    if (requisition.SendAsHTML && !requisition.SendAsEMail) {
        TextToHTML(lines);
        Message->Body = m_data.SystemInfo.HTTPHeading + Message->Body;
        Message->addLines(lines);
        Message->addLines({QStringLiteral("<Br>"), QStringLiteral("Applicants Enclosed:<Br>"), QStringLiteral("<Br>"),
                           QStringLiteral("<Table Border=0>")});
    } else {
        Message->addLines(lines);
        Message->addLines({QStringLiteral(" "), QStringLiteral("Applicants Enclosed:"), QStringLiteral(" ")});
    }
}

QString TDeptFiles::ApplicationLine(const TApplicantData& a, const TRequistionData& r) const
{
    if (r.SendAsEMail && r.SendAsHTML)
        return a.ApplicantID + QStringLiteral("  ") + a.Name + (a.VeteranPreference ? QStringLiteral(" Veteran") : QString()) +
               (a.RIF ? QStringLiteral("  RIF") : QString());
    if (!r.SendAsEMail && r.SendAsHTML) {
        static const QString empty = QStringLiteral("<Td>&nbsp</Td>");
        return QStringLiteral("<Tr><Td><Font Size=2>") + a.ApplicantID.toHtmlEscaped() + QStringLiteral("</Font></Td>") +
               QStringLiteral("<Td VAlign=Top><Font Size=2>") +
               ApplicationLink(r, a.ApplicantID, a.Name.toHtmlEscaped()) + QStringLiteral("</Font></Td>") +
               (a.VeteranPreference ? QStringLiteral("<Td><Font Size=2 Color=\"ff0000\">Veteran</Font></Td>") : empty) +
               (a.RIF ? QStringLiteral("<Td><Font Size=2 Color=\"ff0000\">RIF</Font></Td>") : empty);
    }
    QString line = a.ApplicantID + QLatin1Char(' ') + a.Name.leftJustified(40, QLatin1Char(' ')) +
                   (a.VeteranPreference ? QStringLiteral(" Veteran") : QString()) +
                   (a.RIF ? QStringLiteral(" RIF") : QString());
    // The server keeps the document under its name in small letters.
    if (!r.SendAsEMail)
        line += QStringLiteral("  ") + WebBase(r.WebAddress) +
                (a.ApplicantID + QLatin1Char('.') + m_data.SystemInfo.FileExt).toLower();
    return line;
}

void TDeptFiles::EndDeptBody(const TRequistionData& requisition)
{
    if (!Message || !(requisition.SendAsHTML && !requisition.SendAsEMail))
        return;
    Message->addLine(QStringLiteral("</Table>"));
    Message->addLines(m_data.SystemInfo.HTTPFooting);
}

void TDeptFiles::AttachMemo(const TRequistionData& requisition)
{
    const QString custom = m_data.SystemInfo.CustomMemo;
    if (custom.isEmpty())
        return;
    const QString output = TempDir + HTMLName(requisition, QStringLiteral("Memo.txt"));
    const QString source = templatePath(HTMLName(requisition, custom));
    TemplateText tpl;
    if (!tpl.read(source))
        throw FileError(QStringLiteral("Cannot open file %1").arg(QDir::toNativeSeparators(source)));
    const bool html = IsHTMLName(source);
    PlaceholderSet set;
    requisitionSet(requisition, set, html);
    oneLineEnd(set);
    QString text;
    for (QString l : tpl.lines) {
        set.fill(l);
        text += l;
        text += QLatin1Char('\n');
    }
    QFile out(output);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw FileError(QStringLiteral("Cannot create file %1").arg(QDir::toNativeSeparators(output)));
    const QByteArray bytes = tpl.file(text, html);
    if (out.write(bytes) != bytes.size() || !out.flush()) {
        const QString why = out.errorString();
        out.remove();
        throw FileError(QStringLiteral("Cannot write file %1: %2").arg(QDir::toNativeSeparators(output), why));
    }
    out.close();
    attach(output);
}

void TDeptFiles::MakeFlowFiles(const TRequistionData& requisition)
{
    WaitScope wait(m_talk, QStringLiteral("Please Wait, Creating Files For Department"));
    const QString flow = requisition.SendAsHTML ? QStringLiteral("flow.htm") : QStringLiteral("Flow.txt");
    const QString report = requisition.SendAsHTML ? QStringLiteral("report.htm") : QStringLiteral("Report.txt");
    const QString& req = requisition.ReqNumber;
    MakeTextFile(flow, TempDir + flow, req, true, false, false, QDate(), QDate());
    MakeTextFile(report, TempDir + report, req, false, false, false, QDate(), QDate());
    MakeTextFile(QStringLiteral("ExportList.txt"), TempDir + QStringLiteral("Applican.csv"), req, false, false, false,
                 QDate(), QDate());
    if (m_data.SystemInfo.ExportAsExcel && QFileInfo(templatePath(QStringLiteral("Flow.xls"))).isFile()) {
        MakeSheetFile(QStringLiteral("Flow.xls"), TempDir + QStringLiteral("Flow.xls"), req, true, false, false,
                      QDate(), QDate());
        attach(TempDir + QStringLiteral("Flow.xls"));
    }
    attach(TempDir + flow);
    attach(TempDir + report);
    attach(TempDir + QStringLiteral("Applican.csv"));
}

void TDeptFiles::MakeDeptIndex(const TRequistionData& requisition)
{
    MakeTextFile(QStringLiteral("deptindex.htm"), TempDir + QStringLiteral("deptindex.htm"), requisition.ReqNumber,
                 false, false, false, QDate(), QDate());
}

void TDeptFiles::AttachDirectory(const QString& directory, const QString& mask)
{
    if (directory.trimmed().isEmpty())
        return;
    const QString dir = normalizedDirectory(directory);
    QDir d(dir);
    if (!d.exists())
        return;
    // "*.*" stands for every file, with or without an extension.
    const QString filter = mask == QLatin1String("*.*") ? QStringLiteral("*") : mask;
    const QFileInfoList entries =
        d.entryInfoList({filter}, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& f : entries)
        attach(dir + f.fileName());
}

} // namespace mw
