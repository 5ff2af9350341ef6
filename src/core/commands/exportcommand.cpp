#include "commands/exportcommand.h"

#include "datastore/merrowinddata.h"
#include "delivery/dataexport.h"
#include "shared/usertalk.h"

namespace mw {

namespace {

OperationResult usage(UserTalk& talk, const QString& why)
{
    talk.error(QStringLiteral("merrowind run export: ") + why +
               QStringLiteral("\nusage: merrowind run export REQ --file PATH | REQ --send | --group ID "
                              "[--continuous] --send"));
    return OperationResult::failed(QString());
}

} // namespace

ProcessCommand exportProcessCommand()
{
    ProcessCommand c;
    c.name = QStringLiteral("export");
    c.menuObject = QStringLiteral("JobData1");
    c.menuPath = QStringLiteral("Requisition > Job Data > Export");
    c.summary = QStringLiteral(
        "Saves a requisition's applications at PATH, made from the export templates of the working directory "
        "(a workbook or a comma-separated file, as the general settings say), or mails them to its department; "
        "with --group, mails every requisition of the job posting group (--continuous: its "
        "continuous-recruitment requisitions) its own list.");
    c.argumentsUsage = QStringLiteral("REQ --file PATH | REQ --send | --group ID [--continuous] --send");
    c.minArguments = 0;
    c.maxArguments = 1;
    c.run = &exportFromCommandLine;
    return c;
}

OperationResult exportFromCommandLine(TMerrowindData& data, UserTalk& talk, const QStringList& arguments)
{
    QString req;
    QString file;
    QString group;
    bool hasFile = false;
    bool hasGroup = false;
    bool send = false;
    bool continuous = false;
    for (const QString& a : arguments) {
        if (a == QLatin1String("--send")) {
            send = true;
        } else if (a == QLatin1String("--continuous")) {
            continuous = true;
        } else if (a.startsWith(QLatin1String("--file="))) {
            file = a.mid(7);
            hasFile = true;
        } else if (a.startsWith(QLatin1String("--group="))) {
            group = a.mid(8).trimmed();
            hasGroup = true;
        } else {
            req = a.trimmed();
        }
    }
    if (hasGroup == !req.isEmpty())
        return usage(talk, QStringLiteral("give either a requisition number or --group"));
    if (hasFile == send)
        return usage(talk, QStringLiteral("give either --file PATH or --send"));
    if (hasGroup && hasFile)
        return usage(talk, QStringLiteral("a group's lists are mailed (--send), not saved"));
    if (hasFile && file.trimmed().isEmpty())
        return usage(talk, QStringLiteral("--file needs a path"));

    DataExport exporter(data, talk);
    if (hasGroup) {
        exporter.Setup(group, group, QString());
        exporter.ExportAll = continuous;
        exporter.ExportAllJobs = !continuous;
    } else {
        if (!data.database().exec(QStringLiteral("SELECT ReqNumber FROM requisitions WHERE ReqNumber = ?"), {req}).next())
            return usage(talk, QStringLiteral("there is no requisition %1").arg(req));
        TRequistionData r;
        data.LoadRequisition(req, r);
        exporter.Setup(r.JobPostingID, r.JobPostingID, req);
        if (hasFile)
            exporter.SaveFileTo = file;
    }
    exporter.SendToDept = send;
    exporter.Continuous = continuous;
    OperationResult result = exporter.Export();
    if (result.isDone() && hasFile) {
        // Said here, as the window says it by opening the file; the counts stay unprinted.
        result.text = QStringLiteral("Export File Saved: ") + exporter.SaveFileTo;
        talk.inform(result.text);
    }
    return result;
}

} // namespace mw
