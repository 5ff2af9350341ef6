#pragma once
// What the program's libcurl clients (mail, FTP) share: starting the library once,
// a server's reply code, and a host name as a URL wants it.

#include <QString>

namespace mw::curl {

// Starts libcurl for the whole program; safe to call from any thread, any number of times.
void initialise();
// The three-digit code at the start of a server's reply line; 0 when there is none.
int replyCode(const QString& line);
// The host for a URL: an IPv6 address in brackets, anything else as it is (trimmed).
QString urlHost(const QString& host);

} // namespace mw::curl
