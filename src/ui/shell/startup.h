#pragma once
// Bringing the program up: splash, engine check, windows and data module,
// settings, logon, and then the main window or an orderly stop.

#include "datastore/database.h"

#include <QStringList>

#include <functional>
#include <memory>

namespace mw {

class HelpSystem;
class TDisabledForm;
class TLogonForm;
class TMainForm;
class TMerrowindData;
class TScanAcctForm;
class TSplashForm;
class UserTalk;

struct StartupOptions
{
    QStringList arguments;
    QString workingDirectory;
    // What the machine says; tests put in their own.
    std::function<int()> engineVersion;
    std::function<QString()> networkUserName;
    std::function<bool()> networkPresent;
    std::function<bool()> pdfViewerAvailable;
    std::function<DatabaseLocation()> location; // default: the database named Merrowind
    std::function<void(TLogonForm&)> showLogon;  // default: the window, modal
    std::function<void(int milliseconds)> pause; // default: waits without answering the user
};

class Startup
{
public:
    enum class Outcome { Running, EngineTooOld, DatabaseFailed, InvalidLogin, LoginsDisabled };

    Startup(StartupOptions options, UserTalk& talk);
    ~Startup();

    Outcome start();

    bool splashWanted() const { return m_splashWanted; }
    int splashSteps() const { return m_splashSteps; }
    TMainForm* mainForm() const { return m_main.get(); }
    TMerrowindData& data() const { return *m_data; }
    HelpSystem& help() const { return *m_help; }
    TScanAcctForm* dateDialog() const { return m_dateDialog.get(); }
    bool loggedOn() const { return m_loggedOn; }

private:
    void splashStep();
    void logon();
    // Asks whether to upgrade a database of an older layout and does it; false (the
    // refusal shown) when the user says No.
    bool offerUpgrade(const DatabaseLocation& location, const QString& refusal);

    StartupOptions m_options;
    UserTalk& m_talk;
    bool m_splashWanted = true;
    int m_splashSteps = 0;
    bool m_loggedOn = false;
    std::unique_ptr<HelpSystem> m_help;
    std::unique_ptr<TMerrowindData> m_data;
    std::unique_ptr<TSplashForm> m_splash;
    std::unique_ptr<TDisabledForm> m_disabled;
    std::unique_ptr<TMainForm> m_main;
    std::unique_ptr<TScanAcctForm> m_dateDialog;
    std::unique_ptr<TLogonForm> m_logon;
};

} // namespace mw
