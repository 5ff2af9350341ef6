#include "shell/startup.h"

#include "access/logon.h"
#include "datastore/migrations.h"
#include "datastore/schema.h"
#include "shell/disabledform.h"
#include "shell/helpviewer.h"
#include "shell/logonform.h"
#include "shell/mainform.h"
#include "shared/platform.h"
#include "shell/scanacctform.h"
#include "shell/splashform.h"
#include "shared/usertalk.h"
#include "datastore/merrowinddata.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocale>
#include <QThread>

namespace mw {

Startup::Startup(StartupOptions options, UserTalk& talk)
    : m_options(std::move(options))
    , m_talk(talk)
{
    if (!m_options.engineVersion)
        m_options.engineVersion = tableEngineVersion;
    if (!m_options.networkUserName)
        m_options.networkUserName = networkUserName;
    if (!m_options.networkPresent)
        m_options.networkPresent = networkPresent;
    if (m_options.workingDirectory.isEmpty())
        m_options.workingDirectory = QDir::currentPath();
    if (!m_options.location) {
        const QString dir = m_options.workingDirectory;
        m_options.location = [dir] { return DatabaseLocation::resolve(dir); };
    }
    if (!m_options.showLogon)
        m_options.showLogon = [](TLogonForm& form) { form.exec(); };
    if (!m_options.pause)
        m_options.pause = [](int ms) {
            // The window stays on screen and does not answer meanwhile.
            QDeadlineTimer until(ms);
            while (!until.hasExpired())
                QThread::msleep(50);
        };
}

Startup::~Startup()
{
    // Windows go before the data module they use.
    m_logon.reset();
    m_main.reset();
    m_dateDialog.reset();
    m_disabled.reset();
    m_splash.reset();
    m_data.reset();
}

void Startup::splashStep()
{
    ++m_splashSteps;
    if (m_splash)
        m_splash->step();
}

Startup::Outcome Startup::start()
{
    // 1. Help is offered only when the help file is in the working directory.
    const QString helpFile = QDir(m_options.workingDirectory).filePath(QStringLiteral("Merrowind.hlp"));
    m_help = std::make_unique<HelpSystem>(HelpSystem::detect(m_options.workingDirectory) ? helpFile : QString());

    // 2. Dates are month/day/four-digit year everywhere; the program formats them itself.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));

    // 3. The splash, unless -S or /S is given.
    for (const QString& a : m_options.arguments)
        if (a.compare(QLatin1String("-S"), Qt::CaseInsensitive) == 0 ||
            a.compare(QLatin1String("/S"), Qt::CaseInsensitive) == 0)
            m_splashWanted = false;
    if (m_splashWanted) {
        m_splash = std::make_unique<TSplashForm>();
        m_splash->show();
        m_splash->repaint();
    }

    // 4. The table layer must be fit for the program.
    const int version = m_options.engineVersion();
    if (version < 500) {
        m_splash.reset();
        m_talk.error(QStringLiteral("This Applicaion Requires the Borland Database 5.0 Or Higher To Be Installed"));
        return Outcome::EngineTooOld;
    }

    // 5.
    m_disabled = std::make_unique<TDisabledForm>();
    splashStep();
    QApplication::setApplicationDisplayName(QStringLiteral("Merrowind"));

    // 6. The long-lived windows and the data module, in order.
    m_data = std::make_unique<TMerrowindData>();
    m_main = std::make_unique<TMainForm>(*m_data, *m_help, m_talk);
    if (m_options.pdfViewerAvailable)
        m_main->pdfViewerAvailable = m_options.pdfViewerAvailable;
    splashStep();
    m_dateDialog = std::make_unique<TScanAcctForm>();
    m_main->setDateDialog(m_dateDialog.get());
    splashStep();
    splashStep(); // requisition report
    m_logon = std::make_unique<TLogonForm>(*m_data);
    splashStep();
    const DatabaseLocation location = m_options.location();
    try {
        try {
            m_data->open(location);
        } catch (const DbError& e) {
            // A database of an older layout may be upgraded here, once confirmed.
            if (e.code() != QLatin1String(Database::OlderLayoutCode))
                throw;
            m_splash.reset();
            if (!offerUpgrade(location, e.message()))
                return Outcome::DatabaseFailed;
            m_data->open(location);
        }
    } catch (const DbError& e) {
        m_splash.reset();
        m_talk.error(e.message());
        return Outcome::DatabaseFailed;
    }
    splashStep();
    for (int i = 0; i < 8; ++i)
        splashStep(); // activity and application list windows, five reports, extra files window

    // 7.
    m_main->FillStatusBar();
    m_splash.reset();

    // 8.
    m_data->ReadSettings();

    // 9. Copies of documents left by an earlier run, and the work folders of a run
    // that was killed (a day old, so that another running copy's stay).
    deleteTemporaryCopies(m_data->SystemInfo.FileExt);
    deleteLeftoverWorkFolders(QDateTime::currentDateTime().addDays(-1));

    // 10.
    m_main->showWarning(m_data->SystemInfo.AllowLogin);

    // 11.
    logon();
    const Admission admission = admit(*m_data, m_loggedOn);

    // 12.
    if (admission == Admission::InvalidLogin) {
        m_talk.error(QStringLiteral("Access Denied To Merrowind, Invalid Login"));
        return Outcome::InvalidLogin;
    }

    // 13. Logins are denied and this user may not override that.
    if (admission == Admission::LoginsDenied) {
        m_disabled->show();
        m_disabled->repaint();
        QCoreApplication::processEvents();
        m_options.pause(5000);
        m_disabled->hide();
        m_disabled.reset();
        return Outcome::LoginsDisabled;
    }

    // 14.
    m_disabled.reset();
    m_main->show();
    return Outcome::Running;
}

bool Startup::offerUpgrade(const DatabaseLocation& location, const QString& refusal)
{
    const int layout = databaseLayout(location);
    if (!m_talk.ask(QStringLiteral("The database %1 was made by an older version of Merrowind (layout %2). "
                                   "Upgrade it to layout %3 now?\n\nOnly an administrator should do this, after "
                                   "making a copy of the database; no other copy of Merrowind may be running.")
                        .arg(location.describe())
                        .arg(layout)
                        .arg(Schema::Version))) {
        m_talk.error(refusal);
        return false;
    }
    const UpgradeReport report = upgradeDatabase(location);
    m_talk.inform(QStringLiteral("Database Upgraded From Layout %1 To Layout %2").arg(report.from).arg(report.to));
    return true;
}

void Startup::logon()
{
    TMerrowindData& d = *m_data;
    if (d.OnlySupervisorDefined()) {
        m_loggedOn = LogonFirstRunSupervisor(d);
        return;
    }
    const bool network = m_options.networkPresent();
    m_loggedOn = LogonAutomatic(d, network, network ? m_options.networkUserName() : QString());
    if (m_loggedOn)
        return;
    m_options.showLogon(*m_logon);
    m_loggedOn = m_logon->LoggedOn();
}

} // namespace mw
