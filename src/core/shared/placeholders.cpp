#include "shared/placeholders.h"

namespace mw {

namespace {

// A width suffix right after a token ending at end: ";", digits, ";". Gives the
// width and where the suffix ends, or false when there is none (the text then
// stays as it is). An absurd width counts as none.
bool widthSuffix(const QString& text, qsizetype end, int& width, qsizetype& suffixEnd)
{
    if (end >= text.size() || text.at(end) != QLatin1Char(';'))
        return false;
    qsizetype p = end + 1;
    while (p < text.size() && text.at(p).unicode() >= '0' && text.at(p).unicode() <= '9')
        ++p;
    if (p == end + 1 || p >= text.size() || text.at(p) != QLatin1Char(';'))
        return false;
    bool ok = false;
    width = QStringView(text).mid(end + 1, p - end - 1).toInt(&ok);
    if (!ok || width > 65535)
        return false;
    suffixEnd = p + 1;
    return true;
}

// Inserts value in place of text[at, end) and a following width suffix; gives where
// the search goes on.
qsizetype insertValue(QString& text, qsizetype at, qsizetype end, const QString& value)
{
    int width = 0;
    qsizetype suffixEnd = end;
    if (widthSuffix(text, end, width, suffixEnd) && value.size() < width) {
        text.replace(at, suffixEnd - at, value);
        text.insert(at + value.size(), QString(width - value.size(), QLatin1Char(' ')));
        return at + width;
    }
    text.replace(at, suffixEnd - at, value);
    return at + value.size();
}

} // namespace

void ReplacePlaceholder(QString& text, const QString& token, const QString& value)
{
    if (token.isEmpty())
        return;
    qsizetype from = 0;
    while (true) {
        const qsizetype at = text.indexOf(token, from, Qt::CaseInsensitive);
        if (at < 0)
            return;
        from = insertValue(text, at, at + token.size(), value);
    }
}

void PlaceholderSet::set(const QString& token, const QString& value)
{
    QString name = token;
    if (name.startsWith(QLatin1Char('%')))
        name.remove(0, 1);
    if (name.endsWith(QLatin1Char('%')))
        name.chop(1);
    name = name.toUpper();
    for (Entry& e : m_entries)
        if (e.name == name) {
            e.value = value;
            return;
        }
    m_entries.push_back({name, value});
}

const QString* PlaceholderSet::find(QStringView name) const
{
    for (const Entry& e : m_entries)
        if (e.name.size() == name.size() && QStringView(e.name).compare(name, Qt::CaseInsensitive) == 0)
            return &e.value;
    return m_fallback ? m_fallback->find(name) : nullptr;
}

void PlaceholderSet::fill(QString& text) const
{
    constexpr qsizetype longestName = 64;
    qsizetype from = text.indexOf(QLatin1Char('%'));
    while (from >= 0 && from + 1 < text.size()) {
        const qsizetype close = text.indexOf(QLatin1Char('%'), from + 1);
        if (close < 0)
            return;
        const QString* value = nullptr;
        if (close - from - 1 <= longestName)
            value = find(QStringView(text).mid(from + 1, close - from - 1));
        if (value) {
            const qsizetype next = insertValue(text, from, close + 1, *value);
            from = text.indexOf(QLatin1Char('%'), next);
        } else {
            // The closing sign may open the next token ("50% %JOBTITLE%").
            from = close;
        }
    }
}

} // namespace mw
