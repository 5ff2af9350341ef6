#pragma once
// Reading HR export files: the line source (ImportFile) and the conversion of one
// line into the applicant and requisition values it carries (ImportReader). No
// windows here; the import window owns a reader and feeds it lines.

#include "datastore/importlayout.h"

#include <QByteArray>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QStringView>

#include <functional>
#include <vector>

namespace mw {

class ProgressMeter;

// The applicant values of one line, as texts, in this order.
struct TImportApplicantData
{
    QString AppID;
    QString Name;
    QString Soc;
    QString Phone;
    QString Address1;
    QString Address2;
    QString Address3;
    QString Address4;
    QString City;
    QString State;
    QString Zip;
    QString PurgeDate;
    QString AppliedDate; // the date of the application (all-data files only)
    QString VetPref;     // "True" / "False"
    QString RIF;         // "True" / "False"
    QString RIFExpire;   // "mm/dd/yyyy" as read, or "Nul" for no date
};

// The requisition values of one line, as texts, in this order.
struct TImportReqData
{
    QString Number;
    QString Contact;
    QString PostingID;
    QString PositionTitle;
    QString FTE;
    QString JobCode;
    QString Department;
    QString DatePosted;
    QString Phone;
    QString EMail;
    QString Mail;
};

enum ImportKindValue { ImportAllData = 0, ImportApplicants = 1, ImportRequisitions = 2 };

// Turns DataLine into the values of TImportApplicantData and TImportReqData.
class ImportReader
{
public:
    ImportReader() = default;
    explicit ImportReader(const TImportData& layout)
        : Layout(layout)
    {}

    TImportData Layout;       // a copy of the layout of the run
    QString DataLine;         // the current line
    int ImportKind = ImportAllData;
    TImportApplicantData ApplicantData;
    TImportReqData ReqData;

    // The program's today, asked of the clock at most once a second.
    QDate today() const;

    // count characters of DataLine from position start (first 1), blanks trimmed at both ends.
    QString ReadDataLine(int start, int count) const;
    // The tab-separated field fieldNumber (first 1) of DataLine, trimmed and with one
    // enclosing double quote removed at each end. value is left alone for fieldNumber <= 0.
    void ReadDelimitedData(int fieldNumber, QString& value) const;
    // A date as m/d/yyyy is given back unchanged; "-" becomes "/" and a leading
    // four-digit year moves to the end. Anything else passes as it is.
    static QString ConvertDateTommddyyyy(const QString& text);
    bool ValidVetCode(const QString& code) const { return codeInList(code, Layout.VetCodes); }
    bool ValidRIFCode(const QString& code) const { return codeInList(code, Layout.AppRIFCodes); }
    // Fills ApplicantData and ReqData from DataLine for ImportKind and converts them.
    void ExtractData();

    // The date a text names in the program's short date format (m/d/yyyy); invalid otherwise.
    static QDate readShortDate(QStringView text);

private:
    void readField(int start, int length, QString& value);
    void delimitedField(int fieldNumber, QString& value); // through the tab positions of the line
    void readColumns(int start, int count, QString& value) const;
    static void convertDate(QString& text);
    bool codeInList(const QString& code, const QString& list) const;
    const QString& defaultPurgeDate(const QDate& today);

    mutable QDate m_clockDay; // the current date, asked of the clock at most once a second
    mutable QElapsedTimer m_clockAge;
    std::vector<qsizetype> m_tabs; // positions of the tabs of DataLine, once per ExtractData
    bool m_tabsRead = false;
    mutable QString m_upper; // scratch for upper-cased codes
    QDate m_purgeFor;        // the today and PurgeDays m_purgeText was made for
    int m_purgeDaysFor = 0;
    QString m_purgeText;
    QDate m_todayFor;
    QString m_todayText;
};

// The lines of an import file. The file is read as single-byte Windows-1252 text:
// each byte is one character, so columns count bytes. Lines end at LF or CR LF; a
// CR elsewhere is an ordinary character. The first linesToSkip lines are thrown
// away; every further line is given, a last one without a line end included.
class ImportFile
{
public:
    // Reports the bytes read so far and the size of the file; false cancels the reading.
    using Progress = std::function<bool(qint64 bytesRead, qint64 total)>;

    explicit ImportFile(const QString& fileName, int linesToSkip = 0);

    // Lines longer than this are not lines of an export: the reading stops there.
    static constexpr qsizetype MaxLineBytes = 64 * 1024;

    bool open();                       // false when the file cannot be read; see errorString
    QString errorString() const { return m_failure.isEmpty() ? m_file.errorString() : m_failure; }
    // The reading stopped before the end of the file: a read error (a share that went
    // away) or an over-long line. readLine gave false; errorString says why.
    bool failed() const { return !m_failure.isEmpty(); }
    void setProgress(Progress progress) { m_progress = std::move(progress); }
    // Reports through the meter (bytes read of the file's size): the user sees it
    // in the please-wait window or on the console, and Cancel stops the reading.
    void reportTo(ProgressMeter& meter);

    // The next line into line (its storage is reused); false at the end or when cancelled.
    bool readLine(QString& line);
    bool cancelled() const { return m_cancelled; }
    qint64 size() const { return m_total; }
    qint64 bytesRead() const { return m_read; }
    qint64 lineNumber() const { return m_lineNumber; } // of the last line given or skipped, first 1

private:
    bool nextRaw(const char*& begin, qsizetype& length); // one line's bytes, line end removed
    bool fill();                                         // false at the end of the file or when cancelled

    QFile m_file;
    int m_toSkip;
    Progress m_progress;
    QByteArray m_buf;
    qsizetype m_pos = 0;
    qsizetype m_end = 0;
    qint64 m_total = 0;
    qint64 m_read = 0;
    qint64 m_lineNumber = 0;
    bool m_eof = false;
    bool m_cancelled = false;
    QString m_failure;
};

} // namespace mw
