#include "commands/sendcommand.h"

#include "access/reqpicker.h"
#include "datastore/merrowinddata.h"
#include "delivery/sendops.h"
#include "mail/mailsend.h"
#include "shared/usertalk.h"

namespace mw {

namespace {

const QString kUsage = QStringLiteral(
    "REQ --unsent|--all|--resend MM/DD/YYYY|--initial-forms|--final-forms|--applicant ID | --group ID");

OperationResult refuse(UserTalk& talk, const QString& text)
{
    talk.error(text);
    return OperationResult::failed(text);
}

// The "All Jobs" button: every open requisition of the group with new applications.
OperationResult sendForGroup(TMerrowindData& data, UserTalk& talk, const QString& group)
{
    if (!data.SecurityData.CanSendAllJobs)
        return refuse(talk, QStringLiteral("%1 may not use Requisition > Job Data > All Jobs (the profile %2 does "
                                           "not allow it)")
                                .arg(data.LoginData.UserID, data.SecurityData.Security));
    if (data.LoginData.Restricted && !data.PermittedGroups.contains(group, Qt::CaseInsensitive))
        return refuse(talk, QStringLiteral("%1 may not send for the job posting group %2 (not one of his groups)")
                                .arg(data.LoginData.UserID, group));
    if (!CheckMailSetup(data, talk))
        return OperationResult::failed(QStringLiteral("The user's mail is not set up."));
    if (!talk.ask(QStringLiteral("Are You Sure You Want To Send All Unsent Applications?")))
        return OperationResult::declined();
    return SendOperations(data, talk).SendNewApplicationsForGroup(group);
}

OperationResult sendFromCommandLine(TMerrowindData& data, UserTalk& talk, const QStringList& arguments)
{
    // A requisition and one mode, "--resend=05/11/2026" or written as words ("resend
    // 05/11/2026"); or --group ID alone.
    QStringList words;
    QStringList modes;
    QString value;
    QString group;
    bool groupGiven = false;
    for (const QString& a : arguments) {
        if (!a.startsWith(QLatin1String("--"))) {
            words << a;
        } else if (const QString name = a.section(QLatin1Char('='), 0, 0).mid(2); name == QLatin1String("group")) {
            group = a.section(QLatin1Char('='), 1);
            groupGiven = true;
        } else {
            modes << name;
            if (a.contains(QLatin1Char('=')))
                value = a.section(QLatin1Char('='), 1);
        }
    }
    const auto usage = [&](const QString& what) {
        return refuse(talk, QStringLiteral("merrowind run send: %1\nusage: merrowind run send %2").arg(what, kUsage));
    };
    if (groupGiven) {
        if (!words.isEmpty() || !modes.isEmpty())
            return usage(QStringLiteral("--group takes no requisition or mode"));
        return sendForGroup(data, talk, group);
    }
    if (words.isEmpty())
        return usage(QStringLiteral("give a requisition"));
    const QString req = words.takeFirst();
    if (modes.isEmpty() && !words.isEmpty()) {
        modes << words.takeFirst().toLower();
        if (!words.isEmpty())
            value = words.takeFirst();
    }
    if (modes.size() != 1 || !words.isEmpty())
        return usage(modes.isEmpty() ? QStringLiteral("give what to send") : QStringLiteral("give one thing to send"));
    const QString mode = modes.first();
    const bool takesValue = mode == QLatin1String("resend") || mode == QLatin1String("applicant");
    const QStringList known{QStringLiteral("unsent"), QStringLiteral("all"), QStringLiteral("resend"),
                            QStringLiteral("initial-forms"), QStringLiteral("final-forms"),
                            QStringLiteral("applicant")};
    if (!known.contains(mode))
        return usage(QStringLiteral("unknown mode \"%1\"").arg(mode));
    if (takesValue && value.isEmpty())
        return usage(QStringLiteral("--%1 needs a value").arg(mode));
    if (!takesValue && !value.isEmpty())
        return usage(QStringLiteral("--%1 takes no value").arg(mode));
    if (!requisitionPermitted(data, req))
        return refuse(talk, QStringLiteral("Requisition %1 Was Not Found%2.")
                                .arg(req, data.LoginData.Restricted ? QStringLiteral(" Among Your Job Posting Groups")
                                                                    : QString()));
    if (!CheckMailSetup(data, talk))
        return OperationResult::failed(QStringLiteral("The user's mail is not set up."));

    SendOperations send(data, talk);
    if (mode == QLatin1String("unsent"))
        return send.SendUnsentApplications(req);
    if (mode == QLatin1String("all"))
        return send.SendAllApplications(req);
    if (mode == QLatin1String("resend"))
        return send.ResendApplications(req, value);
    if (mode == QLatin1String("applicant"))
        return send.SendApplication(req, value);
    const bool initial = mode == QLatin1String("initial-forms");
    if (!talk.ask(initial ? QStringLiteral("Do You Wish To Send Initial Forms To The Department?")
                          : QStringLiteral("Do You Wish To Send Final Forms To The Department?")))
        return OperationResult::declined();
    return initial ? send.SendInitialForms(req) : send.SendFinalForms(req);
}

} // namespace

ProcessCommand sendProcessCommand()
{
    ProcessCommand c;
    c.name = QStringLiteral("send");
    // The send buttons belong to the requisition window, which every user may open.
    c.menuObject = QStringLiteral("JobData1");
    c.menuPath = QStringLiteral("Requisition > Job Data > E-Mail Options");
    c.summary = QStringLiteral(
        "Sends the department of requisition REQ its unsent approved applications (--unsent), all of them (--all), "
        "again those sent on a day (--resend MM/DD/YYYY), one applicant's (--applicant ID), or its initial or "
        "final forms; with --group, the unsent applications of every open requisition of the job posting groups that "
        "begin with ID (All Jobs). A sent date is recorded only for what reached the department.");
    c.argumentsUsage = kUsage;
    c.minArguments = 0;
    c.maxArguments = 3;
    c.run = &sendFromCommandLine;
    return c;
}

} // namespace mw
