#include "shell/mainform.h"

#include "ui_mainform.h"

#include "access/menurules.h"
#include "shared/operation.h"
#include "shell/desktopopen.h"
#include "shell/helpviewer.h"
#include "shared/usertalk.h"
#include "datastore/merrowinddata.h"
#include "delivery/fileutils.h"
#include "delivery/websend.h"
#include "maintenance/flagprocesses.h"
#include "maintenance/packing.h"
#include "maintenance/purge.h"
#include "maintenance/puregdeleteform.h"
#include "import/importform.h"
#include "import/importrun.h"
#include "import/notices.h"
#include "import/scanapps.h"
#include "mail/mailsend.h"
#include "mail/resendgroupform.h"
#include "mail/resendlistform.h"
#include "reports/reportpreview.h"
#include "reports/reportset.h"
#include "shared/clock.h"
#include "shell/appactivityform.h"
#include "shell/scanacctform.h"
#include "web/ftpform.h"
#include "web/getpostingidform.h"

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QPrintDialog>
#include <QPointer>
#include <QPrinter>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QVersionNumber>

namespace mw {

namespace {

// The help topic of every menu command, by object name: F1 on a highlighted
// command opens it. A submenu's topic is that of the command that opens it.
struct MenuTopic
{
    const char* objectName;
    int topic;
};

constexpr MenuTopic kMenuTopics[] = {
    {"PrinterSettings1", 1000},
    {"Export1", 1100},
    {"ApplicantsOnly1", 1100},
    {"ApplicantsOnly2", 1100},
    {"Requisitions1", 1100},
    {"SendNotifyList1", 1114},
    {"ResendNotifyList1", 1113},
    {"ResendNotifyListToGroup1", 1117},
    {"SettingsUser1", 1200},
    {"SettingsGeneral1", 1300},
    {"AdministratorSettings1", 1400},
    {"Security1", 1700},
    {"Information1", 1550},
    {"Exit1", 1600},
    {"PersonalData1", 2100},
    {"New1", 2200},
    {"ReviewNew1", 2300},
    {"JobData1", 3100},
    {"Applicants2", 3200},
    {"PurgeFiles1", 4100},
    {"NotRehirableExpiredDates1", 4651},
    {"ProcessNotRehirable1", 4652},
    {"ProcessRIF1", 4800},
    {"DeleteOldRequestions1", 4200},
    {"ScannForApplications1", 4300},
    {"MarkOldRequisitions1", 4400},
    {"RemoveReqsFromWeb1", 4500},
    {"ReloadWebSite1", 4600},
    {"ReloadWebSiteForPostingID1", 4650},
    {"MarkOldApplicantsAsReviewed1", 4700},
    {"DeleteInvalidApplications1", 4710},
    {"PackDatabase1", 4750},
    {"ScanActivity1", 5100},
    {"WhatMissing1", 5200},
    {"NoApplicants1", 5300},
    {"Reqisition1", 5400},
    {"RIFReport1", 5700},
    {"NotRehirable1", 5950},
    {"ContinousRecruitment1", 5900},
    {"Veteran1", 5800},
    {"DoNotPurge1", 5500},
    {"FilledRequisitions1", 5600},
    {"RequisitionMarkForDeletion1", 5750},
    {"MerrowindHelp1", 6100},
};

} // namespace

TMainForm::TMainForm(TMerrowindData& dataModule, HelpSystem& help, UserTalk& talk, QWidget* parent)
    : QMainWindow(parent)
    , pdfViewerAvailable([] { return QVersionNumber::fromString(AcrobatVersion()) >= QVersionNumber(4, 0); })
    , showModal([](QDialog& dialog) { return dialog.exec(); })
    , m_ui(std::make_unique<Ui::TMainForm>())
    , m_data(dataModule)
    , m_help(help)
    , m_talk(talk)
    , m_timer(new QTimer(this))
    , m_extraFiles(std::make_unique<ExtraFiles>())
{
    m_ui->setupUi(this);
    m_ui->WarningLabel->hide();

    for (QLabel*& panel : m_panels) {
        panel = new QLabel(this);
        statusBar()->addWidget(panel, 1);
    }
    m_panels[0]->setText(QStringLiteral("Merrowind %1").arg(QStringLiteral(MERROWIND_VERSION)));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    for (QMenu* m : {m_ui->File1, m_ui->Export1, m_ui->Applicants1, m_ui->Requesitions1, m_ui->Process1,
                     m_ui->Reports1, m_ui->Help1})
        m->installEventFilter(this);
    connect(m_ui->Exit1, &QAction::triggered, this, &QWidget::close);
    connect(m_ui->MerrowindHelp1, &QAction::triggered, this, [this] { m_help.showTopic(0, this); });
    connect(m_ui->PrinterSettings1, &QAction::triggered, this, &TMainForm::PrinterSettings1Click);
    connect(m_ui->ProcessRIF1, &QAction::triggered, this, &TMainForm::ProcessRIF1Click);
    connect(m_ui->NotRehirableExpiredDates1, &QAction::triggered, this, &TMainForm::NotRehirableExpiredDates1Click);
    connect(m_ui->ProcessNotRehirable1, &QAction::triggered, this, &TMainForm::ProcessNotRehirable1Click);
    connect(m_ui->MarkOldApplicantsAsReviewed1, &QAction::triggered, this,
            &TMainForm::MarkOldApplicantsAsReviewed1Click);
    connect(m_ui->PackDatabase1, &QAction::triggered, this, &TMainForm::PackDatabase1Click);
    connect(m_ui->PurgeFiles1, &QAction::triggered, this, &TMainForm::PurgeFiles1Click);
    connect(m_ui->DeleteOldRequestions1, &QAction::triggered, this, &TMainForm::DeleteOldRequestions1Click);
    connect(m_ui->MarkOldRequisitions1, &QAction::triggered, this, &TMainForm::MarkOldRequisitions1Click);
    connect(m_ui->RemoveReqsFromWeb1, &QAction::triggered, this, &TMainForm::RemoveReqsFromWeb1Click);
    connect(m_ui->DeleteInvalidApplications1, &QAction::triggered, this,
            &TMainForm::DeleteInvalidApplications1Click);
    connect(m_ui->ResendNotifyList1, &QAction::triggered, this, &TMainForm::ResendNotifyList1Click);
    connect(m_ui->SendNotifyList1, &QAction::triggered, this, &TMainForm::SendNotifyList1Click);
    connect(m_ui->ResendNotifyListToGroup1, &QAction::triggered, this, &TMainForm::ResendNotifyListToGroup1Click);
    connect(m_ui->ReloadWebSite1, &QAction::triggered, this, &TMainForm::ReloadWebSite1Click);
    connect(m_ui->ReloadWebSiteForPostingID1, &QAction::triggered, this, &TMainForm::ReloadWebSiteForPostingID1Click);
    connect(m_ui->ApplicantsOnly1, &QAction::triggered, this, &TMainForm::ApplicantsOnly1Click);
    connect(m_ui->ApplicantsOnly2, &QAction::triggered, this, &TMainForm::ApplicantsOnly2Click);
    connect(m_ui->Requisitions1, &QAction::triggered, this, &TMainForm::Requisitions1Click);
    connect(m_ui->ScannForApplications1, &QAction::triggered, this, &TMainForm::ScannForApplications1Click);
    connect(m_ui->Reqisition1, &QAction::triggered, this, &TMainForm::Reqisition1Click);
    connect(m_ui->RIFReport1, &QAction::triggered, this, &TMainForm::RIFReport1Click);
    connect(m_ui->NotRehirable1, &QAction::triggered, this, &TMainForm::NotRehirable1Click);
    connect(m_ui->ContinousRecruitment1, &QAction::triggered, this, &TMainForm::ContinousRecruitment1Click);
    connect(m_ui->Veteran1, &QAction::triggered, this, &TMainForm::Veteran1Click);
    connect(m_ui->DoNotPurge1, &QAction::triggered, this, &TMainForm::DoNotPurge1Click);
    connect(m_ui->FilledRequisitions1, &QAction::triggered, this, &TMainForm::FilledRequisitions1Click);
    connect(m_ui->RequisitionMarkForDeletion1, &QAction::triggered, this,
            &TMainForm::RequisitionMarkForDeletion1Click);
    connect(m_ui->ScanActivity1, &QAction::triggered, this, &TMainForm::ScanActivity1Click);
    connect(m_ui->WhatMissing1, &QAction::triggered, this, &TMainForm::WhatMissing1Click);
    connect(m_ui->NoApplicants1, &QAction::triggered, this, &TMainForm::NoApplicants1Click);

    connect(&m_data, &TMerrowindData::takenForClosed, this,
            [this] { m_talk.inform(TMerrowindData::takenForClosedText()); });

    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(300000);
    connect(m_timer, &QTimer::timeout, this, &TMainForm::Timer1Timer);
    m_timer->start();
    endProgram = [] {
        QApplication::closeAllWindows();
        QCoreApplication::exit(0);
    };
}

TMainForm::~TMainForm() = default;

int TMainForm::helpTopic(const QString& objectName)
{
    for (const MenuTopic& t : kMenuTopics)
        if (objectName == QLatin1String(t.objectName))
            return t.topic;
    return 0;
}

QAction* TMainForm::menuCommand(const QString& objectName) const
{
    if (auto* menu = findChild<QMenu*>(objectName))
        return menu->menuAction();
    return findChild<QAction*>(objectName);
}

void TMainForm::FormActivate()
{
    MenuContext context;
    context.rights = m_data.SecurityData;
    context.informUsers = m_data.SystemInfo.InformUsers;
    context.helpAvailable = m_help.available();
    context.pdfViewerAvailable = pdfViewerAvailable && pdfViewerAvailable();
    for (const QString& name : ruledMenuCommands()) {
        QAction* action = menuCommand(name);
        if (!action)
            continue;
        const MenuCommandState state = menuCommandState(name, context);
        action->setEnabled(state.enabled);
        action->setVisible(state.visible);
    }
    if (!watchesLoginDenial(m_data.SecurityData))
        m_timer->stop();
    else if (!m_timer->isActive())
        m_timer->start();
}

void TMainForm::Timer1Timer()
{
    // Never under a running operation: the settings it works with stay, its windows
    // stay open. The check runs once the operation has ended.
    if (m_checkHeld)
        return;
    m_checkHeld = true;
    QPointer<TMainForm> self(this);
    whenNoOperation([self] {
        if (self)
            self->checkLoginsDenied();
    });
}

void TMainForm::checkLoginsDenied()
{
    m_checkHeld = false;
    try {
        m_data.ReadSettings();
    } catch (const DbError&) {
        return; // the next tick tries again
    }
    if (m_data.SystemInfo.AllowLogin && endProgram) {
        m_timer->stop();
        endProgram();
    }
}

void TMainForm::FillStatusBar()
{
    if (m_applicantCount == 0)
        m_applicantCount = m_data.ApplicantTable.recordCount();
    if (m_requisitionCount == 0)
        m_requisitionCount = m_data.RequestionTable.recordCount();
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    m_panels[1]->setText(QStringLiteral("Applicants: ") + english.toString(m_applicantCount));
    m_panels[2]->setText(QStringLiteral("Requisitions: ") + english.toString(m_requisitionCount));
}

QString TMainForm::statusText(int panel) const { return m_panels[panel]->text(); }

void TMainForm::showWarning(bool loginsDenied) { m_ui->WarningLabel->setVisible(loginsDenied); }

TApplicationViewer& TMainForm::applicationViewer()
{
    if (!m_viewer)
        m_viewer = std::make_unique<TApplicationViewer>(m_data, m_talk, desktopOpener());
    return *m_viewer;
}

ExtraFiles& TMainForm::extraFiles() { return *m_extraFiles; }

QPrinter& TMainForm::reportPrinter()
{
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution); // reports are placed to the printer's dot
    return *m_printer;
}

void TMainForm::PrinterSettings1Click()
{
    QPrintDialog dialog(&reportPrinter(), this);
    dialog.setWindowTitle(QStringLiteral("Printer Settings"));
    dialog.exec();
}

// The Process menu's bulk changes: the windows show the changed records afterwards.
void TMainForm::runBulkCommand(OperationResult (*command)(TMerrowindData&, UserTalk&))
{
    if (command(m_data, m_talk).changedData())
        m_data.RefreshTables();
}

void TMainForm::ProcessRIF1Click() { runBulkCommand(&ProcessRIFCommand); }
void TMainForm::NotRehirableExpiredDates1Click() { runBulkCommand(&NotRehirableExpiredDatesCommand); }
void TMainForm::ProcessNotRehirable1Click() { runBulkCommand(&ProcessNotRehirableCommand); }
void TMainForm::MarkOldApplicantsAsReviewed1Click() { runBulkCommand(&MarkOldApplicantsAsReviewed); }
void TMainForm::PackDatabase1Click() { runBulkCommand(&PackDatabaseCommand); }
void TMainForm::ScannForApplications1Click() { runBulkCommand(&ScanForApplicationsCommand); }
void TMainForm::MarkOldRequisitions1Click() { runBulkCommand(&MarkOldRequisitionsCommand); }
void TMainForm::RemoveReqsFromWeb1Click() { runBulkCommand(&RemoveFilledReqsFromWebCommand); }

// The purges: each command shows its steps in a purge window of its own, gone
// before the results box and released when the command ends.
void TMainForm::runPurgeCommand(OperationResult (*command)(TMerrowindData&, UserTalk&, const PurgeView&))
{
    OperationResult result;
    {
        TPuregDeleteForm form(this);
        result = command(m_data, m_talk, form.view());
    }
    if (result.changedData())
        m_data.RefreshTables();
}

void TMainForm::PurgeFiles1Click() { runPurgeCommand(&PurgeFilesCommand); }
void TMainForm::DeleteOldRequestions1Click() { runPurgeCommand(&DeleteOldRequisitionsCommand); }
void TMainForm::DeleteInvalidApplications1Click() { runPurgeCommand(&DeleteInvalidApplicationsCommand); }

// The import window of the kind, shown modally and released; the windows show the
// imported records afterwards.
void TMainForm::openImport(int kind)
{
    {
        TImportForm form(m_data, m_help, m_talk, this);
        form.ImportKind = kind;
        showModal(form);
        if (form.Imported())
            m_data.RefreshTables();
    }
    FormActivate();
}

void TMainForm::ApplicantsOnly1Click() { openImport(ImportAllData); }
void TMainForm::ApplicantsOnly2Click() { openImport(ImportApplicants); }
void TMainForm::Requisitions1Click() { openImport(ImportRequisitions); }

// The new-application notices change no records: the tables stay as they are.
void TMainForm::ResendNotifyList1Click() { notifyAll(m_data, m_talk); }

void TMainForm::SendNotifyList1Click()
{
    TResendListForm form(m_data, m_help, m_talk, this);
    if (showModal(form) == QDialog::Accepted)
        notifyOneUser(m_data, m_talk, form.chosenUser());
}

void TMainForm::ResendNotifyListToGroup1Click()
{
    TResendGroupForm form(m_data, m_help, m_talk, this);
    if (showModal(form) == QDialog::Accepted)
        notifyGroup(m_data, m_talk, form.chosenGroup(), false); // the dialog has asked
}

// The reloads change no records: the tables stay as they are.
void TMainForm::publishToWeb(const std::function<OperationResult(FtpPublisher&)>& command)
{
    TFTPForm form(m_data, m_talk, this);
    form.show();
    command(form.publisher());
}

void TMainForm::ReloadWebSite1Click()
{
    publishToWeb([this](FtpPublisher& ftp) { return reloadWebSiteCommand(m_data, m_talk, &ftp); });
}

void TMainForm::ReloadWebSiteForPostingID1Click()
{
    TGetPostingIDForm picker(m_data, m_help, this);
    if (showModal(picker) != QDialog::Accepted)
        return;
    const QString group = picker.chosenGroup();
    publishToWeb(
        [this, &group](FtpPublisher& ftp) { return reloadWebSiteForGroupCommand(m_data, m_talk, group, &ftp); });
}

// The reports: made whole by the core under the please-wait window (Cancel stops
// the reading), then shown in a preview until it is closed. A failure shows its
// error; nothing to report on (declined) shows nothing.
void TMainForm::previewReport(const ReportRequest& request)
{
    std::unique_ptr<Report> report;
    OperationSteps steps;
    steps.waitText = QStringLiteral("Please Wait, Preparing The Report");
    steps.cancellable = true;
    steps.work = [this, &request, &report](UserTalk& talk) {
        return makeReport(m_data, talk, request, Clock::now(), report);
    };
    if (!runOperation(m_talk, steps).isDone() || !report)
        return;
    TReportPreview preview(*report, reportPrinter(), m_help, helpTopic(reportMenuObject(request.kind)), m_talk, this);
    showModal(preview);
}

void TMainForm::Reqisition1Click()
{
    TAppActivityForm picker(m_data, m_talk, this);
    if (showModal(picker) != QDialog::Accepted || !picker.Found())
        return; // the picker has said when the number was not found
    ReportRequest request;
    request.kind = ReportKind::Requisition;
    request.requisition = picker.typedNumber();
    previewReport(request);
}

void TMainForm::RIFReport1Click() { previewReport({ReportKind::RIF, {}, {}}); }
void TMainForm::NotRehirable1Click() { previewReport({ReportKind::NotRehirable, {}, {}}); }
void TMainForm::ContinousRecruitment1Click() { previewReport({ReportKind::Continuous, {}, {}}); }
void TMainForm::Veteran1Click() { previewReport({ReportKind::Veteran, {}, {}}); }
void TMainForm::DoNotPurge1Click() { previewReport({ReportKind::DoNotPurge, {}, {}}); }
void TMainForm::FilledRequisitions1Click() { previewReport({ReportKind::Filled, {}, {}}); }
void TMainForm::RequisitionMarkForDeletion1Click() { previewReport({ReportKind::MarkedForDeletion, {}, {}}); }
void TMainForm::WhatMissing1Click() { previewReport({ReportKind::NoApplications, {}, {}}); }
void TMainForm::NoApplicants1Click() { previewReport({ReportKind::NoApplicants, {}, {}}); }

void TMainForm::ScanActivity1Click()
{
    if (!m_dateDialog) {
        m_ownDateDialog = std::make_unique<TScanAcctForm>(this);
        m_dateDialog = m_ownDateDialog.get();
    }
    m_dateDialog->setDate(m_data.today());
    if (showModal(*m_dateDialog) != QDialog::Accepted)
        return;
    previewReport({ReportKind::ScanActivity, {}, m_dateDialog->date()});
}

QWidget* TMainForm::findWindow(const QString& objectName)
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == objectName)
            return w;
    return nullptr;
}

void TMainForm::changeEvent(QEvent* e)
{
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
}

void TMainForm::showEvent(QShowEvent* e)
{
    QMainWindow::showEvent(e);
    FormActivate();
}

bool TMainForm::eventFilter(QObject* watched, QEvent* e)
{
    // F1 on a highlighted menu item opens its help topic.
    if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_F1) {
        if (auto* menu = qobject_cast<QMenu*>(watched); menu && menu->activeAction() && m_help.available()) {
            const QAction* active = menu->activeAction();
            m_help.showTopic(helpTopic(active->menu() ? active->menu()->objectName() : active->objectName()), this);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, e);
}

} // namespace mw
