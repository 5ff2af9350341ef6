#include "demo/demotemplates.h"

#include "datastore/database.h"
#include "workbook.h"

#include <QDir>
#include <QFile>

namespace mw {

namespace {

void writeText(const QString& path, const QByteArray& text)
{
    QByteArray crlf = text;
    crlf.replace("\n", "\r\n");
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(crlf) != crlf.size())
        throw DbError(QStringLiteral("Cannot write the template %1: %2")
                          .arg(QDir::toNativeSeparators(path), f.errorString()));
}

const char kFlowTxt[] =
    "APPLICANT FLOW - REQUISITION %JOBNUMBER%\n"
    "Position:    %JOBTITLE%\n"
    "Department:  %DEPNAME%    Posting group: %POSTINGID%\n"
    "Job code:    %JOBCODE%    FTE: %FTE%    Posted: %DATEPOSTED%\n"
    "HR contact:  %HRNAME%, phone %HRPHONE%, fax %HRFAX%\n"
    "Printed:     %TODAY%\n"
    "\n"
    "ID          Name                                     Applied    Interview  Vet RIF\n"
    "----------- ---------------------------------------- ---------- ---------- --- ---\n"
    "%DETAIL%\n"
    "%APPID%;11; %APPNAME%;40; %APPAPPLIED%;10; %APPINTERVIEW%;10; %APPVET%;3; %APPRIF%\n"
    "\n"
    "This position %UNDER% underutilized. %UNDERTEXT%\n";

const char kFlowHtm[] =
    "<Html><Head><Title>Applicant flow %JOBNUMBER%</Title></Head><Body>\n"
    "<H3>Applicant flow for requisition %JOBNUMBER%: %JOBTITLE%</H3>\n"
    "<P>%DEPNAME% (%POSTINGID%), job code %JOBCODE%, FTE %FTE%, posted %DATEPOSTED%.<Br>\n"
    "HR contact: %HRNAME%, phone %HRPHONE%, fax %HRFAX%.</P>\n"
    "<Table Border=1 CellPadding=3>\n"
    "<Tr><Th>ID</Th><Th>Name</Th><Th>Applied</Th><Th>Interview</Th><Th>Veteran</Th><Th>RIF</Th></Tr>\n"
    "<!-- %DETAIL% -->\n"
    "<Tr><Td>%APPID%</Td><Td>%APPNAME%</Td><Td>%APPAPPLIED%</Td><Td>%APPINTERVIEW%</Td><Td>%APPVET%</Td><Td>%APPRIF%</Td></Tr>\n"
    "</Table>\n"
    "<P>This position %UNDER% underutilized. %UNDERTEXT%</P>\n"
    "</Body></Html>\n";

const char kReportTxt[] =
    "APPLICANT REPORT - REQUISITION %JOBNUMBER% %JOBTITLE%\n"
    "%DEPNAME%, contact %CONTACT%. Printed %TODAY%.\n"
    "\n"
    "ID          Name                           City                 Phone          Approved Sent on\n"
    "%DETAIL%\n"
    "%APPID%;11; %APPNAME%;30; %APPCITY%;20; %APPPHONE%;14; %APPAPPROVED%;8; %APPSENTON%\n"
    "\n"
    "HR contact: %HRNAME% %HRPHONE%\n";

const char kReportHtm[] =
    "<Html><Head><Title>Applicant report %JOBNUMBER%</Title></Head><Body>\n"
    "<H3>Applicants for requisition %JOBNUMBER%: %JOBTITLE%</H3>\n"
    "<P>%DEPNAME%, contact %CONTACT%. Printed %TODAY%.</P>\n"
    "<Table Border=1 CellPadding=3>\n"
    "<Tr><Th>ID</Th><Th>Name</Th><Th>Address</Th><Th>City</Th><Th>Phone</Th><Th>Approved</Th><Th>Sent on</Th></Tr>\n"
    "<!-- %DETAIL% -->\n"
    "<Tr><Td>%APPID%</Td><Td>%APPNAME%</Td><Td>%APPADDRESS1%</Td><Td>%APPCITY% %APPSTATE% %APPZIP%</Td>"
    "<Td>%APPPHONE%</Td><Td>%APPAPPROVED%</Td><Td>%APPSENTON%</Td></Tr>\n"
    "</Table>\n"
    "<P>HR contact: %HRNAME%, %HRPHONE%</P>\n"
    "</Body></Html>\n";

const char kExportList[] =
    "\"Requisition\",\"ApplicantID\",\"Name\",\"Address1\",\"Address2\",\"City\",\"State\",\"Zip\",\"Phone\","
    "\"Applied\",\"Interview\",\"Approved\",\"Reviewed\",\"Veteran\",\"RIF\",\"Sent\"\n"
    "%DETAIL%\n"
    "\"%JOBNUMBER%\",\"%APPID%\",\"%APPNAME%\",\"%APPADDRESS1%\",\"%APPADDRESS2%\",\"%APPCITY%\",\"%APPSTATE%\","
    "\"%APPZIP%\",\"%APPPHONE%\",\"%APPAPPLIED%\",\"%APPINTERVIEW%\",\"%APPAPPROVED%\",\"%APPREVIEWED%\","
    "\"%APPVET%\",\"%APPRIF%\",\"%APPSENTON%\"\n";

const char kExport[] =
    "\"Continuous recruitment %JOBNUMBER%\",\"%JOBTITLE%\",\"%DEPNAME%\"\n"
    "\"ApplicantID\",\"Name\",\"Phone\",\"Applied\",\"Approved\",\"Approved on\"\n"
    "%DETAIL%\n"
    "\"%APPID%\",\"%APPNAME%\",\"%APPPHONE%\",\"%APPAPPLIED%\",\"%APPAPPROVED%\",\"%APPREVIEWEDON%\"\n";

const char kDeptIndex[] =
    "<Html><Head><Title>Requisition %JOBNUMBER%</Title></Head><Body>\n"
    "<H2>%JOBTITLE%</H2>\n"
    "<P>Requisition %JOBNUMBER% of %DEPNAME%. Documents of the applicants sent to you are linked below.<Br>\n"
    "Questions: %HRNAME%, %HRPHONE%.</P>\n"
    "<Table Border=1 CellPadding=3>\n"
    "<Tr><Th>ID</Th><Th>Name</Th><Th>Applied</Th><Th>Approved</Th><Th>Sent on</Th><Th>Veteran</Th><Th>RIF</Th></Tr>\n"
    "<!-- %DETAIL% -->\n"
    "<Tr><Td>%APPID%</Td><Td>%APPNAME%</Td><Td>%APPAPPLIED%</Td><Td>%APPAPPROVED%</Td><Td>%APPSENTON%</Td>"
    "<Td>%APPVET%</Td><Td>%APPRIF%</Td></Tr>\n"
    "</Table>\n"
    "</Body></Html>\n";

const char kMemoTxt[] =
    "MEMORANDUM                                              %TODAY%\n"
    "\n"
    "To:      %CONTACT%, %DEPNAME%\n"
    "From:    %HRNAME%, Human Resources (phone %HRPHONE%, fax %HRFAX%)\n"
    "Subject: Requisition %JOBNUMBER% - %JOBTITLE%\n"
    "\n"
    "Please find the forms for this requisition attached. Return the completed\n"
    "selection criteria to Human Resources before interviews are scheduled.\n"
    "This position %UNDER% underutilized. %UNDERTEXT%\n";

const char kMemoHtm[] =
    "<Html><Body>\n"
    "<H3>Memorandum</H3>\n"
    "<P><B>Date:</B> %TODAY%<Br><B>To:</B> %CONTACT%, %DEPNAME%<Br>\n"
    "<B>From:</B> %HRNAME%, Human Resources (phone %HRPHONE%, fax %HRFAX%)<Br>\n"
    "<B>Subject:</B> Requisition %JOBNUMBER% - %JOBTITLE%</P>\n"
    "<P>Please find the forms for this requisition attached. Return the completed selection criteria to Human "
    "Resources before interviews are scheduled. This position %UNDER% underutilized. %UNDERTEXT%</P>\n"
    "</Body></Html>\n";

// A workbook template: a title, a bold heading row, the marker row, the row
// template and a closing line; dates in a date format, widths set per column.
void writeWorkbook(const QString& path, const QString& title, const QStringList& headings,
                   const QStringList& rowTemplate, const QVector<int>& widths)
{
    xls::Workbook book;
    // A bold font for the title and the headings (index 5: BIFF skips 4).
    xls::Font bold = book.fonts.value(0);
    bold.weight = 700;
    book.fonts << bold;
    const auto position = quint16(book.fonts.size() - 1);
    const quint16 boldFont = position < 4 ? position : quint16(position + 1); // BIFF has no font 4
    xls::CellFormat heading = xls::CellFormat::defaultCell();
    heading.setFontIndex(boldFont);
    book.cellFormats << heading;
    const quint16 headingXf = quint16(book.cellFormats.size() - 1);

    xls::Sheet& sheet = book.firstSheet();
    sheet.name = QStringLiteral("Applicants");
    sheet.setText(0, 0, title, headingXf);
    sheet.setText(1, 0, QStringLiteral("%DEPNAME%, posting group %POSTINGID%, printed %TODAY%"));
    for (int c = 0; c < headings.size(); ++c)
        sheet.setText(3, c, headings.at(c), headingXf);
    sheet.setText(4, 0, QStringLiteral("%DETAIL%"));
    for (int c = 0; c < rowTemplate.size(); ++c)
        sheet.setText(5, c, rowTemplate.at(c));
    sheet.setText(7, 0, QStringLiteral("HR contact: %HRNAME%, %HRPHONE%"));
    for (int c = 0; c < widths.size(); ++c) {
        xls::ColumnFormat col;
        col.first = col.last = quint16(c);
        col.width = quint16(widths.at(c) * 256);
        sheet.columns << col;
    }
    try {
        book.save(path);
    } catch (const xls::WorkbookError& e) {
        throw DbError(QStringLiteral("Cannot write the template %1: %2").arg(QDir::toNativeSeparators(path), e.message()));
    }
}

struct Form
{
    const char* setting;
    const char* folder;
    const char* files[2];
};

const Form kForms[] = {
    {"FilesSendFirst", "first", {"Selection criteria.txt", "Interview guide.txt"}},
    {"FilesSendLast", "last", {"Hiring decision.txt", "Reference check.txt"}},
    {"ExemptFiles", "exempt", {"Exempt position checklist.txt", nullptr}},
    {"NonExemptFiles", "nonexempt", {"Non-exempt position checklist.txt", nullptr}},
};

} // namespace

QString demoFormDirectory(const QString& directory, const QString& settingName)
{
    for (const Form& f : kForms)
        if (settingName == QLatin1String(f.setting))
            return QDir(directory).filePath(QStringLiteral("forms/") + QLatin1String(f.folder)) + QLatin1Char('/');
    return QString();
}

void writeDemoTemplates(const QString& directory)
{
    const QDir d(directory);
    if (!QDir().mkpath(directory))
        throw DbError(QStringLiteral("Cannot make the directory %1.").arg(QDir::toNativeSeparators(directory)));
    writeText(d.filePath(QStringLiteral("Flow.txt")), kFlowTxt);
    writeText(d.filePath(QStringLiteral("flow.htm")), kFlowHtm);
    writeText(d.filePath(QStringLiteral("Report.txt")), kReportTxt);
    writeText(d.filePath(QStringLiteral("report.htm")), kReportHtm);
    writeText(d.filePath(QStringLiteral("ExportList.txt")), kExportList);
    writeText(d.filePath(QStringLiteral("Export.txt")), kExport);
    writeText(d.filePath(QStringLiteral("deptindex.htm")), kDeptIndex);
    writeText(d.filePath(QStringLiteral("Memo.txt")), kMemoTxt);
    writeText(d.filePath(QStringLiteral("Memo.htm")), kMemoHtm);

    const QStringList flowHeadings{QStringLiteral("ID"), QStringLiteral("Name"), QStringLiteral("Applied"),
                                   QStringLiteral("Interview"), QStringLiteral("Veteran"), QStringLiteral("RIF")};
    const QStringList flowRow{QStringLiteral("%APPID%"), QStringLiteral("%APPNAME%"), QStringLiteral("%APPAPPLIED%"),
                              QStringLiteral("%APPINTERVIEW%"), QStringLiteral("%APPVET%"), QStringLiteral("%APPRIF%")};
    writeWorkbook(d.filePath(QStringLiteral("Flow.xls")), QStringLiteral("Applicant flow %JOBNUMBER% %JOBTITLE%"),
                  flowHeadings, flowRow, {12, 34, 12, 12, 9, 6});
    const QStringList listHeadings{QStringLiteral("ID"),    QStringLiteral("Name"),     QStringLiteral("Address"),
                                   QStringLiteral("City"),  QStringLiteral("State"),    QStringLiteral("Zip"),
                                   QStringLiteral("Phone"), QStringLiteral("Applied"),  QStringLiteral("Approved"),
                                   QStringLiteral("Sent")};
    const QStringList listRow{QStringLiteral("%APPID%"),    QStringLiteral("%APPNAME%"),    QStringLiteral("%APPADDRESS1%"),
                              QStringLiteral("%APPCITY%"),  QStringLiteral("%APPSTATE%"),   QStringLiteral("%APPZIP%"),
                              QStringLiteral("%APPPHONE%"), QStringLiteral("%APPAPPLIED%"), QStringLiteral("%APPAPPROVED%"),
                              QStringLiteral("%APPSENTON%")};
    const QVector<int> listWidths{12, 30, 30, 18, 6, 10, 16, 12, 9, 12};
    writeWorkbook(d.filePath(QStringLiteral("ExportList.xls")), QStringLiteral("Applicants for %JOBNUMBER% %JOBTITLE%"),
                  listHeadings, listRow, listWidths);
    writeWorkbook(d.filePath(QStringLiteral("Export.xls")),
                  QStringLiteral("Continuous recruitment %JOBNUMBER% %JOBTITLE%"), listHeadings, listRow, listWidths);

    for (const Form& f : kForms) {
        const QString folder = demoFormDirectory(directory, QLatin1String(f.setting));
        QDir().mkpath(folder);
        for (const char* name : f.files)
            if (name)
                writeText(folder + QLatin1String(name),
                          QByteArray("Demonstration form: ") + name + "\nFill in and return to Human Resources.\n");
    }
}

} // namespace mw
