#pragma once
// Who is at the keyboard: the three ways in (the first-run supervisor, the
// automatic logon with the network user name, a user identifier with its
// password) and whether the user, once known, may stay while logins are denied.
// The logon window, the start-up and the command line all decide through these.
// On success the data module's LoginData, SecurityData and PermittedGroups hold
// the user.

#include <QString>

namespace mw {

class TMerrowindData;

// A database whose only user is SUPERVISOR without a password logs on as him.
// False (nobody logged on) otherwise.
bool LogonFirstRunSupervisor(TMerrowindData& data);

// With a network present and the setting AllowAutoLogin on, the network user name
// logs on when it is a user identifier. Reads the settings first.
bool LogonAutomatic(TMerrowindData& data, bool networkPresent, const QString& networkUserName);

// The identifier and password as typed: reads the settings, checks the password.
bool LogonWithPassword(TMerrowindData& data, const QString& userId, const QString& password);

enum class Admission {
    Admitted,     // the user works
    InvalidLogin, // nobody logged on: "Access Denied To Merrowind, Invalid Login"
    LoginsDenied, // logins are denied and the user may not override that
};

// The decision after a logon attempt. A user who may change the settings is let in
// while logins are denied (the setting is cleared in memory only, never stored).
Admission admit(TMerrowindData& data, bool loggedOn);

} // namespace mw
