#pragma once
// Stored passwords: salted hashes, never the typed text. The empty password stays
// empty, so a user without a password is still recognisable as such.

#include <QString>

namespace mw::passwords {

QString hash(const QString& typed); // empty gives empty
bool isHash(const QString& stored);
// Whether the typed password is the stored one. A stored value that is not a hash
// (an older database) is compared as typed; the comparison is exact.
bool matches(const QString& stored, const QString& typed);

} // namespace mw::passwords
