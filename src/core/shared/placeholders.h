#pragma once
// Percent-delimited placeholders in template texts.

#include <QString>
#include <QStringView>

#include <vector>

namespace mw {

// Replaces every occurrence of the token (any letter case) by the value. A width
// suffix right after the token (";", digits, ";") is taken out and the value is
// padded with blanks on the right to that width; a longer value is not cut.
// Inserted values are not searched again.
void ReplacePlaceholder(QString& text, const QString& token, const QString& value);

// A set of tokens with their values, filled into a text in one pass: each token
// found (any letter case, with the width suffix of ReplacePlaceholder) is replaced
// by its value, and no inserted value is ever searched for tokens, so a value that
// reads like a token stays as it is. A set may fall back on another for the tokens
// it does not know.
class PlaceholderSet
{
public:
    explicit PlaceholderSet(const PlaceholderSet* fallback = nullptr)
        : m_fallback(fallback)
    {}

    // token: with its percent signs, e.g. "%JOBTITLE%". A later value replaces an earlier one.
    void set(const QString& token, const QString& value);
    // The value of the i-th token set, for refilling a set in a loop without looking tokens up.
    QString& valueAt(qsizetype i) { return m_entries[size_t(i)].value; }
    qsizetype size() const { return qsizetype(m_entries.size()); }
    void fill(QString& text) const;
    const QString* find(QStringView name) const; // name without the percent signs

private:
    struct Entry
    {
        QString name; // upper case, without percent signs
        QString value;
    };
    std::vector<Entry> m_entries;
    const PlaceholderSet* m_fallback;
};

} // namespace mw
