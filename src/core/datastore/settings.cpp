#include "datastore/settings.h"

#include "datastore/merrowinddata.h"

namespace mw {

QString normalizedDirectory(const QString& stored)
{
    QString d = stored;
    d.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (!d.endsWith(QLatin1Char('/')))
        d += QLatin1Char('/');
    return d;
}

QString creditLine()
{
    return QStringLiteral("<Font Size=2><Br><Br>Merrowind<Br>Version %1<Br>"
                          "Made with Merrowind, <A HREF=\"https://merrowind.org/\">merrowind.org</A></Font><Br>")
        .arg(QStringLiteral(MERROWIND_VERSION));
}

void TMerrowindData::ReadSettings()
{
    TSystemInfo s;
    s.HTTPWebAddress.clear();
    s.FTPUploadDir.clear();
    s.FileLocation.clear();

    TTable& t = SettingsTable;
    if (t.active() && t.state() == DataSetState::Browse)
        t.refresh();
    if (t.active() && t.hasRecord()) {
        auto text = [&](const char* name, QString& member) {
            TField f = t.fieldByName(QLatin1String(name));
            if (!f.isNull())
                member = f.asString();
        };
        auto flag = [&](const char* name, bool& member) {
            TField f = t.fieldByName(QLatin1String(name));
            if (!f.isNull())
                member = f.asBoolean();
        };
        auto number = [&](const char* name, int& member) {
            TField f = t.fieldByName(QLatin1String(name));
            if (!f.isNull())
                member = f.asInteger();
        };
        auto lines = [&](const char* name, QStringList& member) {
            TField f = t.fieldByName(QLatin1String(name));
            if (!f.isNull()) {
                QString v = f.asString();
                v.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
                member = v.split(QLatin1Char('\n'));
                if (!member.isEmpty() && member.last().isEmpty())
                    member.removeLast();
            }
        };
        lines("HTTPHeading", s.HTTPHeading);
        lines("HTTPFooting", s.HTTPFooting);
        text("HTTPWebAddress", s.HTTPWebAddress);
        text("FTPUploadDir", s.FTPUploadDir);
        flag("AllowLogin", s.AllowLogin);
        flag("HTTPAllowHTTP", s.HTTPAllowHTTP);
        flag("HTTPAllowSendAsWeb", s.HTTPAllowSendAsWeb);
        text("HTTPIndexName", s.HTTPIndexName);
        flag("AllowAutoLogin", s.AllowAutoLogin);
        number("Port", s.Port);
        text("SMTPServer", s.SMTPServer);
        number("SMTPSecurity", s.SMTPSecurity);
        text("SMTPUserName", s.SMTPUserName);
        text("SMTPPassword", s.SMTPPassword);
        number("SMTPTimeout", s.SMTPTimeout);
        text("SMTPCAFile", s.SMTPCAFile);
        text("FileExt", s.FileExt);
        text("FileLocation", s.FileLocation);
        text("SubjectSend", s.SubjectSend);
        text("SubjectFirst", s.SubjectFirst);
        text("SubjectLast", s.SubjectLast);
        text("FilesSendFirst", s.FilesSendFirst);
        text("FilesSendLast", s.FilesSendLast);
        text("ExemptFiles", s.ExemptFiles);
        text("NonExemptFiles", s.NonExemptFiles);
        text("CustomMemo", s.CustomMemo);
        text("DefaultDirForFiles", s.DefaultDirForFiles);
        number("PurgeDays", s.PurgeDays);
        flag("InformUsers", s.InformUsers);
        flag("MakeAppFlow", s.MakeAppFlow);
        number("DefaultRIFDays", s.DefaultRIFDays);
        number("NotRehireDays", s.NotRehireDays);
        number("VetColor", s.VetColor);
        number("RIFColor", s.RIFColor);
        number("NotRehireColor", s.NotRehireColor);
        flag("AutoProcessNotHire", s.AutoProcessNotHire);
        flag("AllowNotRehireSend", s.AllowNotRehireSend);
        flag("ExportAsExcel", s.ExportAsExcel);
        flag("DeleteInvalid", s.DeleteInvalid);
    }

    if (LoginData.SMTPServer.isEmpty())
        LoginData.SMTPServer = s.SMTPServer;
    if (LoginData.SMTPPort == 0)
        LoginData.SMTPPort = s.Port;
    if (s.SMTPTimeout <= 0)
        s.SMTPTimeout = 60;

    if (!s.FTPUploadDir.endsWith(QLatin1Char('/')))
        s.FTPUploadDir += QLatin1Char('/');
    s.FileExt = s.FileExt.toLower();
    if (!s.HTTPWebAddress.endsWith(QLatin1Char('/')))
        s.HTTPWebAddress += QLatin1Char('/');
    s.FileLocation = normalizedDirectory(s.FileLocation);
    s.HTTPFooting << QStringLiteral("<Br><Br>") << creditLine();
    SystemInfo = s;
}

} // namespace mw
