#pragma once
// Requisitions' addresses on the web server. A web requisition's documents lie in
// a directory of its own, FTPUploadDir + eight letters, reached at HTTPWebAddress
// + the same letters + "/" + HTTPIndexName. The letters are all that keeps the
// documents from strangers: they come from the system's cryptographic source, and
// an address is used by one requisition only.

#include <QString>

namespace mw {

class TMerrowindData;

// The last directory of a web address: the text between its last "/" and the
// "/" before it. Empty when the address has fewer than two "/".
QString WebDirName(const QString& webAddress);
// Why the web address's directory may not be written to: its name must be one
// plain directory name (letters, digits, "-", "_" and "." but not first), never
// empty, "." or ".." and without a separator. Empty when it may.
QString webDirProblem(const QString& webAddress);

// A candidate address: HTTPWebAddress + eight random letters + "/" + HTTPIndexName,
// in lower case.
QString RandomWebAddress(const TMerrowindData& data);
// Whether a requisition has the address (ignoring case).
bool WebAddressInUse(TMerrowindData& data, const QString& webAddress);
// An address no requisition uses.
QString NewWebAddress(TMerrowindData& data);

} // namespace mw
