#pragma once
// The data export: a list of a requisition's applications, made from the export
// templates ("ExportList.txt", "Export.txt", "ExportList.xls", "Export.xls") as a
// comma-separated text file or a workbook, either saved where the user chooses and
// opened, or mailed to the requisition's department with a message; or mailed for
// every requisition of a job posting group, or for its continuous-recruitment
// requisitions. The "Export Data" window and `merrowind run export` set the choices
// and call Export.
//
// The file is made in a private directory of the export that is removed afterwards:
// a saved file takes the chosen path only once it is whole, and a mailed one leaves
// no copy behind. Every failure is told through the talk as it happens, with its
// cause; a failed result repeats the last text told (callers do not show it again).

#include "shared/operation.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <functional>

namespace mw {

class TMailMessage;
class TMerrowindData;
class UserTalk;
struct ExtraFiles;

// The save dialog's filter, in the file dialog's notation: comma-delimited files
// ("*.csv"), then all files.
QString ExportFileFilter();
// The name the save dialog proposes when "Save File To:" is empty.
QString ExportProposedFileName();

class DataExport
{
public:
    DataExport(TMerrowindData& data, UserTalk& talk);

    // ---- the choices ("Message To Department", "Export Options")
    QStringList Message;         // the message to the department, one line each
    bool SendToDept = false;     // "Send File To Department"
    QString SaveFileTo;          // "Save File To:"
    bool ApprovedOnly = false;   // "Include Only Approved Applicants"
    bool Continuous = false;     // "Continuous Recruitment": the continuous-recruitment templates
    bool ExportAll = false;      // every continuous-recruitment requisition of the group
    bool ExportAllJobs = false;  // every requisition of the group
    bool UseDates = false;       // "Export Interview Date Range"
    QDate StartDate;             // today when made
    QDate EndDate;               // today + 30 days when made

    // The captions of the two group boxes, set by Setup.
    QString ExportAllCaption;
    QString ExportAllJobsCaption;

    // Where the templates are: the working directory unless set otherwise.
    QString TemplateDir;
    // The program's extra files, offered with a mailed file when given.
    ExtraFiles* Extra = nullptr;
    // Opens a saved file with the desktop's program for its type; none: it is only saved.
    std::function<void(const QString& path)> OpenFile;
    // Sends a message (the window shows it in the Send E-Mail window); gives whether
    // it went out and has told the user why not. None: sent through the logged-on
    // user's mail server.
    std::function<bool(const TMailMessage& message)> SendMessage;

    // Called by the opening window: the group captions, the message (the settings'
    // continuous-recruitment message, or none), the group and requisition kept, and
    // "Save File To:" set to the default folder + requisition number + ".xls" or ".csv".
    void Setup(const QString& groupCaption, const QString& group, const QString& reqNumber);
    const QString& Group() const { return m_group; }
    const QString& ReqNumber() const { return m_reqNumber; }

    // The template the choices and the settings select, and the name a mailed file has.
    QString TemplateName() const;
    QString MailFileName() const;
    // The path a save writes: "Save File To:" with the extension of the file made.
    QString SavePath() const;

    // The "Export" button: the kept requisition, or the group when a group box is ticked.
    OperationResult Export();
    // One requisition's file, saved (then opened) or mailed by the choices.
    OperationResult ExportRequisition(const QString& reqNumber);
    // Every requisition of the kept group (ExportAll: its continuous-recruitment
    // ones only), in number order, each mailed to its own department.
    OperationResult ExportPostingGroup();
    // The requisitions ExportPostingGroup mails, in that order. The group is matched
    // whatever its letter case, as everywhere else.
    QStringList PostingGroupRequisitions();

private:
    bool makeFile(const QString& outputPath, const QString& reqNumber, QString& cause);
    OperationResult save(const QString& reqNumber);
    OperationResult send(const QString& reqNumber);
    OperationResult fail(const QString& text, const QString& cause);

    TMerrowindData& m_data;
    UserTalk& m_talk;
    QString m_group;
    QString m_reqNumber;
};

} // namespace mw
