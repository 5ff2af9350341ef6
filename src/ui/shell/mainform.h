#pragma once
// The main window: the menu through which everything is reached, the status bar
// with the counts, the warning line and the timer that ends ordinary users'
// programs when logins are denied.

#include <QHash>
#include <QMainWindow>
#include <QTimer>

#include <functional>
#include <memory>

class QLabel;
class QMenu;
class QPrinter;

namespace mw {

class HelpSystem;
class OperationResult;
class TApplicationViewer;
class TMerrowindData;
class UserTalk;

class TMainForm : public QMainWindow
{
    Q_OBJECT
public:
    TMainForm(TMerrowindData& dataModule, HelpSystem& help, UserTalk& talk, QWidget* parent = nullptr);
    ~TMainForm() override;

    // Menu items, named as the help and the rights refer to them.
    QMenu *File1, *Export1, *Applicants1, *Requesitions1, *Process1, *Reports1, *Help1;
    QAction *PrinterSettings1, *ApplicantsOnly1, *ApplicantsOnly2, *Requisitions1, *SendNotifyList1,
        *ResendNotifyList1, *ResendNotifyListToGroup1, *SettingsUser1, *SettingsGeneral1, *AdministratorSettings1,
        *Security1, *Information1, *Exit1;
    QAction *PersonalData1, *New1, *ReviewNew1;
    QAction *JobData1, *Applicants2;
    QAction *PurgeFiles1, *NotRehirableExpiredDates1, *ProcessNotRehirable1, *ProcessRIF1, *DeleteOldRequestions1,
        *ScannForApplications1, *MarkOldRequisitions1, *RemoveReqsFromWeb1, *ReloadWebSite1,
        *ReloadWebSiteForPostingID1, *MarkOldApplicantsAsReviewed1, *DeleteInvalidApplications1, *PackDatabase1;
    QAction *ScanActivity1, *WhatMissing1, *NoApplicants1, *Reqisition1, *RIFReport1, *NotRehirable1,
        *ContinousRecruitment1, *Veteran1, *DoNotPurge1, *FilledRequisitions1, *RequisitionMarkForDeletion1;
    QAction* MerrowindHelp1;

    QTimer Timer1;
    QLabel* WarningLabel;

    // Whether "&Review New" is offered: a PDF viewer of version 4.0 or later is there.
    std::function<bool()> pdfViewerAvailable;
    // Ends the program at once (the timer found logins denied).
    std::function<void()> endProgram;

    void FillStatusBar();
    void FormActivate(); // enabling by rights, timer, help
    void Timer1Timer();
    void showWarning(bool loginsDenied);
    QString statusText(int panel) const;
    int helpTopic(QAction* item) const { return m_topics.value(item, 0); }
    QPrinter& reportPrinter();
    // Opens applicants' scanned documents; one viewing copy for the whole program.
    TApplicationViewer& applicationViewer();

    // The window of that object name among the program's windows, or null.
    static QWidget* findWindow(const QString& objectName);

protected:
    void changeEvent(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    QAction* item(QMenu* menu, const char* name, const QString& caption, int topic);
    void buildMenu();
    void PrinterSettings1Click();
    void runBulkCommand(OperationResult (*command)(TMerrowindData&, UserTalk&));
    void checkLoginsDenied();
    void ProcessRIF1Click();
    void NotRehirableExpiredDates1Click();
    void ProcessNotRehirable1Click();
    void MarkOldApplicantsAsReviewed1Click();
    void PackDatabase1Click();

    TMerrowindData& m_data;
    HelpSystem& m_help;
    UserTalk& m_talk;
    QHash<QAction*, int> m_topics;
    QLabel* m_panels[3];
    qint64 m_applicantCount = 0;
    qint64 m_requisitionCount = 0;
    std::unique_ptr<QPrinter> m_printer;
    std::unique_ptr<TApplicationViewer> m_viewer;
    bool m_checkHeld = false; // a login check waits for a running operation to end
};

} // namespace mw
