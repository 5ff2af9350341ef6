#include "shell/mainform.h"

#include "access/menurules.h"
#include "shared/operation.h"
#include "shell/desktopopen.h"
#include "shell/helpviewer.h"
#include "shared/usertalk.h"
#include "datastore/merrowinddata.h"
#include "delivery/fileutils.h"
#include "maintenance/flagprocesses.h"
#include "maintenance/packing.h"

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
#include <QVBoxLayout>
#include <QVersionNumber>

namespace mw {

TMainForm::TMainForm(TMerrowindData& dataModule, HelpSystem& help, UserTalk& talk, QWidget* parent)
    : QMainWindow(parent)
    , pdfViewerAvailable([] { return QVersionNumber::fromString(AcrobatVersion()) >= QVersionNumber(4, 0); })
    , m_data(dataModule)
    , m_help(help)
    , m_talk(talk)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Merrowind"));
    buildMenu();

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    auto* title = new QLabel(QStringLiteral("Merrowind"), central);
    QFont f = title->font();
    f.setPointSize(32);
    f.setBold(true);
    title->setFont(f);
    title->setAlignment(Qt::AlignCenter);
    title->setStyleSheet(QStringLiteral("color: #2e5e8c"));
    WarningLabel = new QLabel(QStringLiteral("Warning: Logins Are Currently Disabled."), central);
    WarningLabel->setAlignment(Qt::AlignCenter);
    WarningLabel->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold"));
    WarningLabel->hide();
    layout->addStretch();
    layout->addWidget(title);
    layout->addWidget(WarningLabel);
    layout->addStretch();
    setCentralWidget(central);

    for (QLabel*& panel : m_panels) {
        panel = new QLabel(this);
        statusBar()->addWidget(panel, 1);
    }
    m_panels[0]->setText(QStringLiteral("Merrowind %1").arg(QStringLiteral(MERROWIND_VERSION)));
    resize(760, 480);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    Timer1.setInterval(300000);
    connect(&Timer1, &QTimer::timeout, this, &TMainForm::Timer1Timer);
    Timer1.start();
    endProgram = [] {
        QApplication::closeAllWindows();
        QCoreApplication::exit(0);
    };
}

TMainForm::~TMainForm() = default;

QAction* TMainForm::item(QMenu* menu, const char* name, const QString& caption, int topic)
{
    QAction* a = menu->addAction(caption);
    a->setObjectName(QLatin1String(name));
    m_topics.insert(a, topic);
    return a;
}

void TMainForm::buildMenu()
{
    QMenuBar* bar = menuBar();
    File1 = bar->addMenu(QStringLiteral("&File"));
    File1->setObjectName(QStringLiteral("File1"));
    PrinterSettings1 = item(File1, "PrinterSettings1", QStringLiteral("P&rinter Settings"), 1000);
    Export1 = File1->addMenu(QStringLiteral("&Import"));
    Export1->setObjectName(QStringLiteral("Export1"));
    m_topics.insert(Export1->menuAction(), 1100);
    ApplicantsOnly1 = item(Export1, "ApplicantsOnly1", QStringLiteral("&All Data "), 1100);
    ApplicantsOnly2 = item(Export1, "ApplicantsOnly2", QStringLiteral("A&pplicants"), 1100);
    Requisitions1 = item(Export1, "Requisitions1", QStringLiteral("&Requisitions"), 1100);
    Export1->addSeparator();
    SendNotifyList1 = item(Export1, "SendNotifyList1", QStringLiteral("&Send Notify List To User"), 1114);
    ResendNotifyList1 = item(Export1, "ResendNotifyList1", QStringLiteral("R&esend Notify List"), 1113);
    ResendNotifyListToGroup1 =
        item(Export1, "ResendNotifyListToGroup1", QStringLiteral("Rese&nd Notify List To Group"), 1117);
    File1->addSeparator();
    SettingsUser1 = item(File1, "SettingsUser1", QStringLiteral("&User Settings"), 1200);
    SettingsGeneral1 = item(File1, "SettingsGeneral1", QStringLiteral("&General Settings"), 1300);
    AdministratorSettings1 = item(File1, "AdministratorSettings1", QStringLiteral("&Administrator Settings"), 1400);
    Security1 = item(File1, "Security1", QStringLiteral("&Security"), 1700);
    Information1 = item(File1, "Information1", QStringLiteral("&Information"), 1550);
    File1->addSeparator();
    Exit1 = item(File1, "Exit1", QStringLiteral("&Exit"), 1600);

    Applicants1 = bar->addMenu(QStringLiteral("&Applicants"));
    Applicants1->setObjectName(QStringLiteral("Applicants1"));
    PersonalData1 = item(Applicants1, "PersonalData1", QStringLiteral("&Personal Data"), 2100);
    New1 = item(Applicants1, "New1", QStringLiteral("&New"), 2200);
    ReviewNew1 = item(Applicants1, "ReviewNew1", QStringLiteral("&Review New"), 2300);

    Requesitions1 = bar->addMenu(QStringLiteral("&Requisition"));
    Requesitions1->setObjectName(QStringLiteral("Requesitions1"));
    JobData1 = item(Requesitions1, "JobData1", QStringLiteral("&Job Data"), 3100);
    Applicants2 = item(Requesitions1, "Applicants2", QStringLiteral("&Applicants"), 3200);

    Process1 = bar->addMenu(QStringLiteral("&Process"));
    Process1->setObjectName(QStringLiteral("Process1"));
    PurgeFiles1 = item(Process1, "PurgeFiles1", QStringLiteral("&Purge Files"), 4100);
    NotRehirableExpiredDates1 =
        item(Process1, "NotRehirableExpiredDates1", QStringLiteral("&Not Rehirable Expired Dates"), 4651);
    ProcessNotRehirable1 = item(Process1, "ProcessNotRehirable1", QStringLiteral("Pr&ocess Not Rehirable"), 4652);
    ProcessRIF1 = item(Process1, "ProcessRIF1", QStringLiteral("R&IF Expired Dates"), 4800);
    DeleteOldRequestions1 = item(Process1, "DeleteOldRequestions1", QStringLiteral("&Delete Old Requisitions"), 4200);
    ScannForApplications1 = item(Process1, "ScannForApplications1", QStringLiteral("&Scan For Applications"), 4300);
    MarkOldRequisitions1 = item(Process1, "MarkOldRequisitions1", QStringLiteral("&Mark Old Requisitions"), 4400);
    RemoveReqsFromWeb1 = item(Process1, "RemoveReqsFromWeb1", QStringLiteral("&Remove Filled Reqs From Web"), 4500);
    ReloadWebSite1 = item(Process1, "ReloadWebSite1", QStringLiteral("R&eload Web Site"), 4600);
    ReloadWebSiteForPostingID1 =
        item(Process1, "ReloadWebSiteForPostingID1", QStringLiteral("Re&load Web Site For Posting ID"), 4650);
    MarkOldApplicantsAsReviewed1 =
        item(Process1, "MarkOldApplicantsAsReviewed1", QStringLiteral("M&ark Old Applicants As Reviewed"), 4700);
    DeleteInvalidApplications1 =
        item(Process1, "DeleteInvalidApplications1", QStringLiteral("Delete In&valid Applications"), 4710);
    PackDatabase1 = item(Process1, "PackDatabase1", QStringLiteral("Pa&ck Database"), 4750);

    Reports1 = bar->addMenu(QStringLiteral("R&eports"));
    Reports1->setObjectName(QStringLiteral("Reports1"));
    ScanActivity1 = item(Reports1, "ScanActivity1", QStringLiteral("&Scan Activity"), 5100);
    WhatMissing1 = item(Reports1, "WhatMissing1", QStringLiteral("&No Applications"), 5200);
    NoApplicants1 = item(Reports1, "NoApplicants1", QStringLiteral("N&o Applicants"), 5300);
    Reqisition1 = item(Reports1, "Reqisition1", QStringLiteral("&Requisition"), 5400);
    RIFReport1 = item(Reports1, "RIFReport1", QStringLiteral("R&IF"), 5700);
    NotRehirable1 = item(Reports1, "NotRehirable1", QStringLiteral("No&t Rehirable"), 5950);
    ContinousRecruitment1 = item(Reports1, "ContinousRecruitment1", QStringLiteral("&Continuous Recruitment"), 5900);
    Veteran1 = item(Reports1, "Veteran1", QStringLiteral("&Veteran"), 5800);
    DoNotPurge1 = item(Reports1, "DoNotPurge1", QStringLiteral("&Do Not Purge"), 5500);
    FilledRequisitions1 = item(Reports1, "FilledRequisitions1", QStringLiteral("&Filled Requisitions"), 5600);
    RequisitionMarkForDeletion1 =
        item(Reports1, "RequisitionMarkForDeletion1", QStringLiteral("R&equisitions Marked For Deletion"), 5750);

    Help1 = bar->addMenu(QStringLiteral("&Help"));
    Help1->setObjectName(QStringLiteral("Help1"));
    MerrowindHelp1 = item(Help1, "MerrowindHelp1", QStringLiteral("Merrowind Help"), 6100);

    for (QMenu* m : {File1, Export1, Applicants1, Requesitions1, Process1, Reports1, Help1})
        m->installEventFilter(this);

    connect(Exit1, &QAction::triggered, this, &QWidget::close);
    connect(MerrowindHelp1, &QAction::triggered, this, [this] { m_help.showTopic(0, this); });
    connect(PrinterSettings1, &QAction::triggered, this, &TMainForm::PrinterSettings1Click);
    connect(ProcessRIF1, &QAction::triggered, this, &TMainForm::ProcessRIF1Click);
    connect(NotRehirableExpiredDates1, &QAction::triggered, this, &TMainForm::NotRehirableExpiredDates1Click);
    connect(ProcessNotRehirable1, &QAction::triggered, this, &TMainForm::ProcessNotRehirable1Click);
    connect(MarkOldApplicantsAsReviewed1, &QAction::triggered, this, &TMainForm::MarkOldApplicantsAsReviewed1Click);
    connect(PackDatabase1, &QAction::triggered, this, &TMainForm::PackDatabase1Click);
}

void TMainForm::FormActivate()
{
    MenuContext context;
    context.rights = m_data.SecurityData;
    context.informUsers = m_data.SystemInfo.InformUsers;
    context.helpAvailable = m_help.available();
    context.pdfViewerAvailable = pdfViewerAvailable && pdfViewerAvailable();
    for (const QString& name : ruledMenuCommands()) {
        QAction* action = nullptr;
        if (auto* menu = findChild<QMenu*>(name))
            action = menu->menuAction();
        else
            action = findChild<QAction*>(name);
        if (!action)
            continue;
        const MenuCommandState state = menuCommandState(name, context);
        action->setEnabled(state.enabled);
        action->setVisible(state.visible);
    }
    if (!watchesLoginDenial(m_data.SecurityData))
        Timer1.stop();
    else if (!Timer1.isActive())
        Timer1.start();
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
        Timer1.stop();
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

void TMainForm::showWarning(bool loginsDenied) { WarningLabel->setVisible(loginsDenied); }

TApplicationViewer& TMainForm::applicationViewer()
{
    if (!m_viewer)
        m_viewer = std::make_unique<TApplicationViewer>(m_data, m_talk, desktopOpener());
    return *m_viewer;
}

QPrinter& TMainForm::reportPrinter()
{
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>();
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
            m_help.showTopic(helpTopic(menu->activeAction()), this);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, e);
}

} // namespace mw
