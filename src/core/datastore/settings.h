#pragma once
// The general settings as the program holds them in memory.

#include <QString>
#include <QStringList>

namespace mw {

struct TSystemInfo
{
    QStringList HTTPHeading;
    QStringList HTTPFooting;
    QString HTTPWebAddress = QStringLiteral("/");
    QString FTPUploadDir = QStringLiteral("/");
    bool AllowLogin = false; // true: logins are denied
    bool HTTPAllowHTTP = false;
    bool HTTPAllowSendAsWeb = false;
    QString HTTPIndexName;
    bool AllowAutoLogin = false;
    int Port = 0;
    QString SMTPServer;
    // 0 by port (TLS from the start on 465, none elsewhere), 1 STARTTLS required,
    // 2 TLS from the start.
    int SMTPSecurity = 0;
    QString SMTPUserName; // SMTP AUTH when not empty
    QString SMTPPassword;
    int SMTPTimeout = 60; // seconds
    QString SMTPCAFile;   // a site's own certificate authority
    QString FileExt;
    QString FileLocation = QStringLiteral("/");
    QString SubjectSend;
    QString SubjectFirst;
    QString SubjectLast;
    QString FilesSendFirst;
    QString FilesSendLast;
    QString ExemptFiles;
    QString NonExemptFiles;
    QString CustomMemo;
    QString DefaultDirForFiles;
    int PurgeDays = 180;
    bool InformUsers = true;
    bool MakeAppFlow = false;
    int DefaultRIFDays = 0;
    int NotRehireDays = 0;
    int VetColor = 0xFFFF00;
    int RIFColor = 0x00FF00;
    int NotRehireColor = 0x0000FF;
    bool AutoProcessNotHire = false;
    bool AllowNotRehireSend = false;
    bool ExportAsExcel = false;
    bool DeleteInvalid = false;
};

// A directory setting as the program uses it: either separator accepted, and
// always ending with one.
QString normalizedDirectory(const QString& stored);

// The credit line appended to every HTML footing.
QString creditLine();

} // namespace mw
