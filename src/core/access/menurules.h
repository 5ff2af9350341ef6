#pragma once
// Which menu commands a user may use: his rights and the settings to enabled and
// visible, keyed by the command's object name. The main window applies it when it
// is activated; the command line refuses a command the user's menu would disable.

#include "datastore/logindata.h"

#include <QString>
#include <QStringList>

namespace mw {

// What the rules look at.
struct MenuContext
{
    TSecurityData rights;
    bool informUsers = false;        // the setting InformUsers: notices of new applications are sent
    bool helpAvailable = false;      // the help file was found at start-up
    bool pdfViewerAvailable = false; // a document viewer fit for reviewing is there
};

struct MenuCommandState
{
    bool enabled = true;
    bool visible = true;
    bool operator==(const MenuCommandState&) const = default;
};

// The state of the menu command (or submenu) of that object name. Commands the
// rules do not name are enabled and visible.
MenuCommandState menuCommandState(const QString& objectName, const MenuContext& context);

// The object names the rules name, in menu order.
QStringList ruledMenuCommands();

// Whether the main window's five-minute check, which ends the program when logins
// are denied, applies to this user: not to those who may change the settings.
bool watchesLoginDenial(const TSecurityData& rights);

} // namespace mw
