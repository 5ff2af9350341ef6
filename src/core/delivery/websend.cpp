#include "delivery/websend.h"

#include "datastore/merrowinddata.h"
#include "datastore/records.h"
#include "delivery/deptfiles.h"
#include "shared/usertalk.h"
#include "web/ftppublisher.h"
#include "web/webaddress.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>

namespace mw {

namespace {

QString requisitionLines(const TRequistionData& r)
{
    return QStringLiteral("Requisition: ") + r.ReqNumber + QLatin1Char(' ') + r.PositionTitle +
           QStringLiteral("\nDepartment: ") + r.Department;
}

QString remoteDir(const TMerrowindData& data, const TRequistionData& r)
{
    return data.SystemInfo.FTPUploadDir + WebDirName(r.WebAddress);
}

} // namespace

namespace {

// Writes and uploads the index page; what went wrong, or nothing.
QString uploadIndex(TMerrowindData& data, UserTalk& talk, FtpPublisher& ftp, const TRequistionData& requisition)
{
    if (const QString problem = deptIndexProblem(data, talk); !problem.isEmpty())
        return problem;
    TDeptFiles files(data, talk);
    const QString page = files.TempDir + QStringLiteral("deptindex.htm");
    QFile::remove(page);
    files.MakeDeptIndex(requisition);
    if (!QFileInfo(page).isFile())
        return QStringLiteral("The index page was not made: it could not be written in %1.").arg(files.TempDir);
    ftp.SetRequisition(requisition.Department, requisition.ReqNumber, requisition.PositionTitle);
    ftp.LoadSettings();
    const QString dir = remoteDir(data, requisition);
    ftp.UploadFile(page, data.SystemInfo.HTTPIndexName, ftp.UploadAsBinary, dir);
    QFile::remove(page);
    if (!ftp.fileUploaded())
        return QStringLiteral("The index page was not uploaded. ") + ftp.failureText();
    return QString();
}

} // namespace

QString deptIndexProblem(TMerrowindData& data, UserTalk& talk)
{
    if (data.SystemInfo.HTTPIndexName.trimmed().isEmpty() ||
        data.SystemInfo.HTTPIndexName.contains(QLatin1Char('/')))
        return QStringLiteral("The index page was not made: the settings give it no plain file name (Index Name).");
    const TDeptFiles files(data, talk);
    if (!QFileInfo(files.templatePath(QStringLiteral("deptindex.htm"))).isFile())
        return QStringLiteral("The index page was not made: no template \"deptindex.htm\" in %1.").arg(files.TemplateDir);
    return QString();
}

bool UploadApplications(TMerrowindData& data, UserTalk& talk, FtpPublisher& ftp, const TRequistionData& requisition,
                        const QStringList& documents, bool withIndex)
{
    if (requisition.SendAsEMail)
        return true;
    if (requisition.WebAddress.trimmed().isEmpty()) {
        talk.inform(QStringLiteral("An Error Occured During The Upload Of File To The Web, No Web Address Was Found "
                                   "For This Requisition.\nAn E-Mail Was Not Sent to The Department\n") +
                    requisitionLines(requisition));
        return false;
    }
    if (const QString problem = webDirProblem(requisition.WebAddress); !problem.isEmpty()) {
        talk.error(problem + QLatin1Char('\n') + requisitionLines(requisition));
        return false;
    }
    QStringList why;
    ftp.SetRequisition(requisition.Department, requisition.ReqNumber, requisition.PositionTitle);
    if (!documents.isEmpty()) {
        ftp.UploadFiles(documents, remoteDir(data, requisition));
        if (!ftp.AllUploaded) {
            why << ftp.failureText();
            if (!ftp.missingFiles().isEmpty())
                why << QStringLiteral("Not on the server whole: ") + ftp.missingFiles().join(QStringLiteral(", "));
        }
    }
    // The index page goes up after a failed upload too.
    if (withIndex && !ftp.cancelled()) {
        if (const QString problem = uploadIndex(data, talk, ftp, requisition); !problem.isEmpty())
            why << problem;
    }
    why.removeAll(QString());
    const bool ok = why.isEmpty() && !ftp.cancelled();
    if (!ok && !ftp.cancelled())
        talk.inform(QStringLiteral("An Error Occured During The Upload Of File To The Web, Not All The Files Where "
                                   "Uploaded.\nAn E-Mail Was Not Sent to The Department\n") +
                    requisitionLines(requisition) + QLatin1Char('\n') + why.join(QLatin1Char('\n')));
    return ok;
}

bool UploadDeptIndex(TMerrowindData& data, UserTalk& talk, FtpPublisher& ftp, const TRequistionData& requisition)
{
    if (requisition.SendAsEMail || requisition.WebAddress.trimmed().isEmpty() ||
        !webDirProblem(requisition.WebAddress).isEmpty() || ftp.cancelled())
        return false;
    return uploadIndex(data, talk, ftp, requisition).isEmpty();
}

void ReloadWebApplications(TMerrowindData& data, UserTalk& talk, FtpPublisher& ftp, const QString& reqNumber,
                           ReloadReport& report)
{
    TRequistionData r;
    data.LoadRequisition(reqNumber, r);
    if (r.SendAsEMail)
        return;
    const QDate close = QDate::fromString(r.CloseDate, QStringLiteral("MM/dd/yyyy"));
    QStringList documents;
    {
        QSqlQuery q = data.database().exec(QStringLiteral("SELECT ApplicantID FROM applications WHERE ReqNumber = ? "
                                                          "AND Approved = 1 AND (DispDate <= ? OR DispDate IS NULL) "
                                                          "AND SemtDate IS NOT NULL ORDER BY rid"),
                                           {reqNumber, close.isValid() ? close.toString(Qt::ISODate)
                                                                       : QStringLiteral("9999-01-01")});
        while (q.next()) {
            const QString id = q.value(0).toString();
            if (data.ScannedFileExists(id))
                documents << data.ScannedFileName(id);
        }
    }
    ++report.requisitions;
    report.documents += int(documents.size());
    if (!UploadApplications(data, talk, ftp, r, documents) || ftp.cancelled())
        report.failed << reqNumber;
}

bool ReloadWebSite(TMerrowindData& data, UserTalk& talk, FtpPublisher& ftp, ReloadReport& report, const QString& group)
{
    QStringList numbers;
    {
        QString sql = QStringLiteral("SELECT ReqNumber FROM requisitions WHERE (PositionFilled IS NULL OR "
                                     "PositionFilled = 0) AND COALESCE(EMailAddress, '') <> '' AND "
                                     "COALESCE(WebAddress, '') <> '' AND SendFirstData = 1");
        QVariantList binds;
        if (!group.isEmpty()) {
            sql += QStringLiteral(" AND JobPostingID = ?");
            binds << group;
        }
        QSqlQuery q = data.database().exec(sql + QStringLiteral(" ORDER BY ReqNumber"), binds);
        while (q.next())
            numbers << q.value(0).toString();
    }
    if (numbers.isEmpty()) {
        talk.inform(QStringLiteral("No Requistion Avaliable To Send To The Web Send"));
        return false;
    }
    for (const QString& n : std::as_const(numbers)) {
        if (ftp.cancelled())
            break;
        ReloadWebApplications(data, talk, ftp, n, report);
    }
    if (report.requisitions == 0 && !ftp.cancelled()) {
        // Every one of them goes by e-mail (web delivery is switched off).
        talk.inform(QStringLiteral("No Requistion Avaliable To Send To The Web Send"));
        return false;
    }
    return true;
}

namespace {

OperationResult reloadResult(const ReloadReport& report, bool cancelled, bool showDone)
{
    QString text = showDone ? QStringLiteral("Web Site Reloaded") : QString();
    if (cancelled)
        text = QStringLiteral("Web Site Reload Cancelled: %1 of %2 requisition(s) reloaded.")
                   .arg(report.requisitions - report.failed.size())
                   .arg(report.requisitions);
    else if (!report.failed.isEmpty())
        text = QStringLiteral("Web Site Reloaded, but %1 of %2 requisition(s) failed: %3")
                   .arg(report.failed.size())
                   .arg(report.requisitions)
                   .arg(report.failed.join(QStringLiteral(", ")));
    OperationResult r = cancelled ? OperationResult::cancelled(text)
                        : report.failed.isEmpty() ? OperationResult::done(text)
                                                  : OperationResult::failed(text);
    r.count(QStringLiteral("Requisitions Reloaded"), report.requisitions - report.failed.size());
    r.count(QStringLiteral("Requisitions Failed"), report.failed.size());
    r.count(QStringLiteral("Documents"), report.documents);
    return r;
}

OperationResult reload(TMerrowindData& data, UserTalk& talk, const QString& question, const QString& group,
                       FtpPublisher* given, bool showDone)
{
    return runOperation(talk, {question, QStringLiteral("Please Wait, Reloading Web Site"), true,
                               [&](UserTalk& t) {
                                   std::unique_ptr<FtpPublisher> own;
                                   FtpPublisher* ftp = given;
                                   if (!ftp) {
                                       own = std::make_unique<FtpPublisher>(data, t);
                                       ftp = own.get();
                                   }
                                   ReloadReport report;
                                   if (!ReloadWebSite(data, t, *ftp, report, group))
                                       return OperationResult::done();
                                   return reloadResult(report, ftp->cancelled(), showDone);
                               }});
}

} // namespace

OperationResult reloadWebSiteCommand(TMerrowindData& data, UserTalk& talk, FtpPublisher* ftp)
{
    return reload(data, talk, QStringLiteral("Are You Sure You Want To Reload The Web Site?"), QString(), ftp, true);
}

OperationResult reloadWebSiteForGroupCommand(TMerrowindData& data, UserTalk& talk, const QString& group,
                                             FtpPublisher* ftp)
{
    if (const QString error = reloadGroupChoiceError(group); !error.isEmpty()) {
        talk.error(error);
        return OperationResult::declined();
    }
    return reload(data, talk, QString(), group, ftp, false);
}

QString reloadGroupChoiceError(const QString& group)
{
    return group.trimmed().isEmpty()
               ? QStringLiteral("Error, Cannot Load A Reload The With With A Null Posting ID Number!")
               : QString();
}

} // namespace mw
