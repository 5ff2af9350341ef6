#pragma once
// Percent-delimited placeholders in template texts.

#include <QString>

namespace mw {

// Replaces every occurrence of the token (any letter case) by the value. A width
// suffix right after the token (";", digits, ";") is taken out and the value is
// padded with blanks on the right to that width; a longer value is not cut.
// Inserted values are not searched again.
void ReplacePlaceholder(QString& text, const QString& token, const QString& value);

} // namespace mw
