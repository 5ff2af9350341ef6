#pragma once
// The files a hiring department receives for a requisition, and the message that
// carries them: templates filled with the requisition and its applications (text,
// HTML and workbook files), the cover memo, the flow files, the department index
// page and the form directories, and the body of the department message.

#include "datastore/logindata.h"
#include "datastore/records.h"
#include "shared/placeholders.h"

#include <QDate>
#include <QHash>
#include <QString>
#include <QStringList>

namespace mw {

class TMerrowindData;
class TMailMessage;
class UserTalk;

// One application as the template writers see it: the display text of each column.
struct TExportRow
{
    QString JobNumber;
    QString Scanned;
    QString Approved;
    QString Reviewed;
    QString ApplicantID;
    QString Name;
    QString Address1;
    QString Address2;
    QString Address3;
    QString City;
    QString State;
    QString Zip;
    QString Phone;
    QString InterviewDate;
    QString DispDate;
    QString SemtDate;
    QString VeteranPreference;
    QString RIF;
    QString RIFExpires;
    QString NotReHire;
    QString NotReHireExpires;
    QString ApprovedDate;

    // Every field set to the empty value of the file being written ("&nbsp;" in HTML).
    void clear(const QString& empty);
};

// The HR contact placed into documents: the main user of the requisition's job
// posting group.
struct THRContact
{
    QString UserName;
    QString Phone;
    QString FAX;
};

QString YesNo(bool value);
// The web address cut after its last "/" (which stays); empty without a "/".
QString WebBase(const QString& address);
// Whether a file name is an HTML one (".htm" or ".html", any case).
bool IsHTMLName(const QString& fileName);
// Plain message lines to HTML lines: web addresses become links (an address, a
// comma and a label in double quotes become a link with that label), line breaks
// become "<Br>", and every line ends with "<Br>".
void TextToHTML(QStringList& lines);
// The ".htm" form of a file name when the requisition goes out as HTML.
QString HTMLName(const TRequistionData& requisition, const QString& fileName);
// The four credit lines closing generated files: name, version, copyright, web address.
QStringList CreditLines();

// A template file as text: its lines, the encoding and line ends to write back.
class TemplateText
{
public:
    // Reads the file; false when it cannot be read. Lines end in CR LF, LF or CR
    // alone; the file's own line end is CR LF when it holds one, else LF when it
    // holds one, else CR when it holds one, else CR LF. The encoding is UTF-8 when
    // the bytes are valid UTF-8 and not all ASCII (a byte-order mark is noted and
    // not part of the text), Windows-1252 otherwise: a plain ASCII template gives
    // the file a reader falls back on when it is told nothing (a browser without a
    // declared character set, a spreadsheet opening a CSV file without a mark).
    bool read(const QString& path);
    QStringList lines;
    bool utf8 = false;
    bool byteOrderMark = false; // a UTF-8 file that started with one
    bool ascii = true;          // every byte of the file is ASCII
    QByteArray lineEnd = "\r\n";

    // Encodes text the way the template was written. In a Windows-1252 file a
    // character the code page lacks becomes a character reference in HTML files and
    // "?" elsewhere (one "?" for a character beyond the Basic Multilingual Plane too).
    QByteArray encode(const QString& text, bool html) const;

    // The bytes of a file written from the template. The text's lines end in "\n",
    // which becomes the template's line end, and it is encoded as encode() does,
    // after the byte-order mark when the template had one. An HTML page declares its
    // character set: when the text has no <meta> naming one, a <meta charset> of the
    // encoding written goes right after the <head> tag (else the <html> tag, else
    // the <!DOCTYPE>, else at the very start). A plain ASCII template that declares
    // one is written as declared: UTF-8, Windows-1252 for the names browsers read
    // as Windows-1252 (ISO-8859-1, US-ASCII, ...), ASCII with character references
    // for any other.
    QByteArray file(QString text, bool html) const;
};

class TDeptFiles
{
public:
    TDeptFiles(TMerrowindData& data, UserTalk& talk);

    // Where the templates are: the working directory unless set otherwise.
    QString TemplateDir;
    // Where generated files go, with a trailing separator: TempPath() unless set otherwise.
    QString TempDir;
    // The message that body lines and attachments go to; may be null for the
    // writers that do not need one.
    TMailMessage* Message = nullptr;

    // ---- placeholders
    void FillReqPlaceholders(QString& text, const TRequistionData& requisition);
    void FillReqPlaceholderLines(QStringList& lines, const TRequistionData& requisition);
    void FillRowPlaceholders(QString& text, const TExportRow& row, const TRequistionData& requisition);
    // The HR contact of a requisition (the logged-on user when its group has no main
    // user; empty when the requisition has no group).
    THRContact HRContact(const TRequistionData& requisition);
    // A link to an applicant's document on the department's web page.
    QString ApplicationLink(const TRequistionData& requisition, const QString& applicantId,
                            const QString& text) const;

    // ---- template writers
    // Fills a text or HTML template with the requisition's applications. True when
    // at least one application was written.
    bool MakeTextFile(const QString& templateName, const QString& outputPath, const QString& reqNumber,
                      bool approvedOnly, bool continuous, bool useDates, const QDate& fromDate, const QDate& toDate);
    // Fills a workbook template. True when the template exists and the file was
    // written. A file that would run past a sheet's last row (a template ending near
    // it, more applications than it holds) is not written: reported as "Could Not
    // Create Temporary File", false, and no file of that name is left.
    bool MakeSheetFile(const QString& templateName, const QString& outputPath, const QString& reqNumber,
                       bool approvedOnly, bool continuous, bool useDates, const QDate& fromDate, const QDate& toDate);
    // The export file: a workbook when the settings ask for one, otherwise text.
    bool MakeExportFile(const QString& templateName, const QString& outputPath, const QString& reqNumber,
                        bool approvedOnly, bool continuous, bool useDates, const QDate& fromDate, const QDate& toDate);

    // ---- the department message
    void StartDeptBody(const TRequistionData& requisition);
    QString ApplicationLine(const TApplicantData& applicant, const TRequistionData& requisition) const;
    void EndDeptBody(const TRequistionData& requisition);
    // Writes the cover memo and attaches it. Raises FileError when the memo template
    // cannot be read.
    void AttachMemo(const TRequistionData& requisition);
    void MakeFlowFiles(const TRequistionData& requisition);
    void MakeDeptIndex(const TRequistionData& requisition);
    // Attaches every file of a directory that matches the mask; subdirectories are
    // not entered. An empty or missing directory attaches nothing.
    void AttachDirectory(const QString& directory, const QString& mask = QStringLiteral("*.*"));

    // A template's full path: a bare name is looked up in TemplateDir.
    QString templatePath(const QString& name) const;

private:
    struct AppQuery;
    void requisitionSet(const TRequistionData& requisition, PlaceholderSet& set, bool html);
    void attach(const QString& path);

    TMerrowindData& m_data;
    UserTalk& m_talk;
    QHash<QString, THRContact> m_contacts; // by posting group, for the life of this object
};

} // namespace mw
