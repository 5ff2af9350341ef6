#pragma once
// The main window: the menu through which everything is reached, the status bar
// with the counts, the warning line and the timer that ends ordinary users'
// programs when logins are denied. The menu's enabling follows the core's rules
// (access/menurules.h); its Process commands run as operations (shared/operation.h)
// and the tables are read again when one changed data. The Import menu's notify
// commands ask through their dialogs (mail/) and send the notices (import/notices.h).
// The web reloads run under the upload window (web/), released when they end.
// The Import menu's three imports run in the import window (import/), shown
// modally; the tables are read again after a run.
// The Process menu's purges and deletions run in a purge window (maintenance/)
// made for the command and released when it ends.
// The Reports menu's eleven reports are made by the core (reports/reportset.h)
// under the please-wait window and shown in a report preview (reports/), modal,
// released when it is closed; "&Requisition" asks for the number first
// (TAppActivityForm), "&Scan Activity" for the day (the Select Date window).

#include <QMainWindow>

#include <functional>
#include <memory>

class QAction;
class QDialog;
class QLabel;
class QPrinter;
class QTimer;

namespace Ui {
class TMainForm;
}

namespace mw {

class FtpPublisher;
class HelpSystem;
class OperationResult;
class TApplicationViewer;
class TMerrowindData;
class UserTalk;
struct ExtraFiles;
struct PurgeView;
struct ReportRequest;
class TScanAcctForm;

class TMainForm final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TMainForm)

public:
    TMainForm(TMerrowindData& dataModule, HelpSystem& help, UserTalk& talk, QWidget* parent = nullptr);
    ~TMainForm() override;

    // Whether "&Review New" is offered: a PDF viewer of version 4.0 or later is there.
    std::function<bool()> pdfViewerAvailable;
    // Ends the program at once (the timer found logins denied).
    std::function<void()> endProgram;
    // Shows a dialog of the menu's commands modally and gives its result.
    std::function<int(QDialog&)> showModal;

    void FillStatusBar();
    void FormActivate(); // enabling by rights, timer, help
    void Timer1Timer();
    void showWarning(bool loginsDenied);
    QString statusText(int panel) const;
    // The help topic of the menu command (or submenu) of that object name; 0 for none.
    static int helpTopic(const QString& objectName);
    QPrinter& reportPrinter();
    // Opens applicants' scanned documents; one viewing copy for the whole program.
    TApplicationViewer& applicationViewer();
    // The extra files the user picked for the next department message; one list for
    // the whole program.
    ExtraFiles& extraFiles();
    // The Select Date window the program keeps (made at start-up), used by "&Scan
    // Activity"; without one the main window makes its own when first needed.
    void setDateDialog(TScanAcctForm* dialog) { m_dateDialog = dialog; }

    // The window of that object name among the program's windows, or null.
    static QWidget* findWindow(const QString& objectName);

protected:
    void changeEvent(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    // The menu command of that object name; a submenu's is the action opening it.
    QAction* menuCommand(const QString& objectName) const;
    void PrinterSettings1Click();
    void runBulkCommand(OperationResult (*command)(TMerrowindData&, UserTalk&));
    void runPurgeCommand(OperationResult (*command)(TMerrowindData&, UserTalk&, const PurgeView&));
    void checkLoginsDenied();
    void ProcessRIF1Click();
    void NotRehirableExpiredDates1Click();
    void ProcessNotRehirable1Click();
    void MarkOldApplicantsAsReviewed1Click();
    void PackDatabase1Click();
    void PurgeFiles1Click();
    void DeleteOldRequestions1Click();
    void MarkOldRequisitions1Click();
    void RemoveReqsFromWeb1Click();
    void DeleteInvalidApplications1Click();
    void ResendNotifyList1Click();
    void SendNotifyList1Click();
    void ResendNotifyListToGroup1Click();
    void ReloadWebSite1Click();
    void ReloadWebSiteForPostingID1Click();
    void ApplicantsOnly1Click();
    void ApplicantsOnly2Click();
    void Requisitions1Click();
    void openImport(int kind);
    void ScannForApplications1Click();
    void publishToWeb(const std::function<OperationResult(FtpPublisher&)>& command);
    void previewReport(const ReportRequest& request);
    void Reqisition1Click();
    void RIFReport1Click();
    void NotRehirable1Click();
    void ContinousRecruitment1Click();
    void Veteran1Click();
    void DoNotPurge1Click();
    void FilledRequisitions1Click();
    void RequisitionMarkForDeletion1Click();
    void ScanActivity1Click();
    void WhatMissing1Click();
    void NoApplicants1Click();

    std::unique_ptr<Ui::TMainForm> m_ui;
    TMerrowindData& m_data;
    HelpSystem& m_help;
    UserTalk& m_talk;
    QTimer* m_timer;     // "Timer1": the five-minute check of denied logins
    QLabel* m_panels[3]; // the status bar: version, applicants, requisitions
    qint64 m_applicantCount = 0;
    qint64 m_requisitionCount = 0;
    std::unique_ptr<QPrinter> m_printer;
    std::unique_ptr<TApplicationViewer> m_viewer;
    std::unique_ptr<ExtraFiles> m_extraFiles;
    TScanAcctForm* m_dateDialog = nullptr;
    std::unique_ptr<TScanAcctForm> m_ownDateDialog;
    bool m_checkHeld = false; // a login check waits for a running operation to end
};

} // namespace mw
