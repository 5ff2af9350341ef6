#include "import/importreader.h"

#include "shared/clock.h"
#include "shared/codepage.h"
#include "shared/progress.h"

#include <algorithm>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace mw {

namespace {

// Makes dst hold the characters of src, reusing dst's storage when it is its own.
void setText(QString& dst, QStringView src)
{
    if (!dst.isDetached() || src.size() > dst.capacity()) {
        dst = src.toString();
        return;
    }
    if (dst.size() != src.size())
        dst.resize(src.size());
    if (!src.isEmpty())
        std::memmove(dst.data(), src.data(), size_t(src.size()) * sizeof(QChar));
}

void clearText(QString& s)
{
    if (s.isDetached())
        s.resize(0);
    else
        s = QString();
}

// Blanks (the space character only) removed from both ends.
QStringView trimBlanks(QStringView v)
{
    const char16_t* b = v.utf16();
    const char16_t* e = b + v.size();
#ifdef __SSE2__
    // Fixed columns are padded with runs of blanks: skip eight at a time.
    const __m128i blank = _mm_set1_epi16(u' ');
    while (e - b >= 8 && _mm_movemask_epi8(_mm_cmpeq_epi16(
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(e - 8)), blank)) == 0xFFFF)
        e -= 8;
    while (e - b >= 8 && _mm_movemask_epi8(_mm_cmpeq_epi16(
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(b)), blank)) == 0xFFFF)
        b += 8;
#endif
    while (b < e && *b == u' ')
        ++b;
    while (e > b && e[-1] == u' ')
        --e;
    return QStringView(b, e - b);
}

// A tab field as given: blanks trimmed, then one leading and one trailing double quote removed.
QStringView unquote(QStringView field)
{
    field = trimBlanks(field);
    if (field.startsWith(u'"'))
        field = field.sliced(1);
    if (!field.isEmpty() && field.endsWith(u'"'))
        field.chop(1);
    return field;
}

int digitRun(QStringView v, qsizetype& pos, int maxDigits, int& digits)
{
    int value = 0;
    digits = 0;
    while (pos < v.size() && v[pos] >= u'0' && v[pos] <= u'9' && digits <= maxDigits) {
        value = value * 10 + (v[pos].unicode() - u'0');
        ++pos;
        ++digits;
    }
    return value;
}

const QString kTrue = QStringLiteral("True");
const QString kFalse = QStringLiteral("False");
const QString kNul = QStringLiteral("Nul");

QString dayText(const QDate& d)
{
    return d.toString(QStringLiteral("MM/dd/yyyy"));
}

} // namespace

// ---------------------------------------------------------------- ImportReader

QDate ImportReader::readShortDate(QStringView text)
{
    qsizetype pos = 0;
    int n = 0;
    const int m = digitRun(text, pos, 2, n);
    if (n < 1 || n > 2 || pos >= text.size() || text[pos] != u'/')
        return {};
    ++pos;
    const int d = digitRun(text, pos, 2, n);
    if (n < 1 || n > 2 || pos >= text.size() || text[pos] != u'/')
        return {};
    ++pos;
    const int y = digitRun(text, pos, 4, n);
    if (n != 4 || pos != text.size())
        return {};
    return QDate(y, m, d); // invalid for a day that does not exist
}

void ImportReader::readColumns(int start, int count, QString& value) const
{
    const qsizetype from = start < 1 ? 0 : qsizetype(start) - 1;
    if (count <= 0 || from >= DataLine.size()) {
        clearText(value);
        return;
    }
    const qsizetype n = std::min<qsizetype>(count, DataLine.size() - from);
    setText(value, trimBlanks(QStringView(DataLine).sliced(from, n)));
}

QString ImportReader::ReadDataLine(int start, int count) const
{
    QString value;
    readColumns(start, count, value);
    return value;
}

void ImportReader::ReadDelimitedData(int fieldNumber, QString& value) const
{
    if (fieldNumber <= 0)
        return;
    const QStringView line(DataLine);
    qsizetype begin = 0;
    for (int tabs = 1; tabs < fieldNumber; ++tabs) {
        const qsizetype t = line.indexOf(u'\t', begin);
        if (t < 0) {
            clearText(value);
            return;
        }
        begin = t + 1;
    }
    qsizetype end = line.indexOf(u'\t', begin);
    if (end < 0)
        end = line.size();
    setText(value, unquote(line.sliced(begin, end - begin)));
}

QDate ImportReader::today() const
{
    if (Clock::isSet())
        return Clock::today();
    // Asking the system costs a look at the time zone; once a second is often enough.
    if (!m_clockDay.isValid() || !m_clockAge.isValid() || m_clockAge.elapsed() >= 1000) {
        m_clockDay = Clock::today();
        m_clockAge.start();
    }
    return m_clockDay;
}

void ImportReader::delimitedField(int fieldNumber, QString& value)
{
    if (!m_tabsRead) {
        m_tabs.clear();
        const auto* c = reinterpret_cast<const char16_t*>(DataLine.constData());
        const qsizetype n = DataLine.size();
        qsizetype i = 0;
#ifdef __SSE2__
        const __m128i tab = _mm_set1_epi16(u'\t');
        for (; i + 8 <= n; i += 8) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + i));
            unsigned bits = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi16(v, tab)));
            while (bits) {
                const int bit = __builtin_ctz(bits);
                m_tabs.push_back(i + bit / 2);
                bits &= ~(3u << bit);
            }
        }
#endif
        for (; i < n; ++i)
            if (c[i] == u'\t')
                m_tabs.push_back(i);
        m_tabsRead = true;
    }
    // Field n runs from after tab n-1 to tab n (or the ends of the line).
    const auto n = size_t(fieldNumber);
    if (n - 1 > m_tabs.size()) {
        clearText(value);
        return;
    }
    const qsizetype begin = n == 1 ? 0 : m_tabs[n - 2] + 1;
    const qsizetype end = n - 1 < m_tabs.size() ? m_tabs[n - 1] : DataLine.size();
    setText(value, unquote(QStringView(DataLine).sliced(begin, end - begin)));
}

void ImportReader::readField(int start, int length, QString& value)
{
    if (start <= 0) { // not in the file (a negative start is taken as absent too)
        clearText(value);
        return;
    }
    if (length > 0)
        readColumns(start, length, value);
    else
        delimitedField(start, value);
}

void ImportReader::convertDate(QString& text)
{
    if (readShortDate(text).isValid())
        return;
    if (text.contains(u'-'))
        text.replace(u'-', u'/');
    if (text.indexOf(u'/') == 4) {
        // yyyy/rest -> rest/yyyy, the same length
        std::rotate(text.begin(), text.begin() + 5, text.end()); // rest + "yyyy/"
        std::rotate(text.end() - 5, text.end() - 1, text.end()); // rest + "/yyyy"
    }
}

QString ImportReader::ConvertDateTommddyyyy(const QString& text)
{
    QString result = text;
    convertDate(result);
    return result;
}

bool ImportReader::codeInList(const QString& code, const QString& list) const
{
    if (list.isEmpty())
        return false;
    bool ascii = true;
    for (QChar c : code)
        if (c.unicode() >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii) {
        if (!m_upper.isDetached())
            m_upper = QString();
        m_upper.resize(code.size());
        QChar* out = m_upper.data();
        for (qsizetype i = 0; i < code.size(); ++i) {
            const char16_t c = code[i].unicode();
            out[i] = QChar(c >= u'a' && c <= u'z' ? char16_t(c - 32) : c);
        }
    } else {
        m_upper = code.toUpper();
    }
    const QStringView l(list);
    qsizetype from = 0;
    for (;;) {
        qsizetype semi = l.indexOf(u';', from);
        const qsizetype end = semi < 0 ? l.size() : semi;
        if (l.sliced(from, end - from) == QStringView(m_upper))
            return true;
        if (semi < 0)
            return false;
        from = semi + 1;
    }
}

const QString& ImportReader::defaultPurgeDate(const QDate& today)
{
    if (m_purgeText.isNull() || m_purgeFor != today || m_purgeDaysFor != Layout.PurgeDays) {
        m_purgeFor = today;
        m_purgeDaysFor = Layout.PurgeDays;
        m_purgeText = dayText(today.addDays(Layout.PurgeDays));
    }
    return m_purgeText;
}

void ImportReader::ExtractData()
{
    TImportApplicantData& a = ApplicantData;
    TImportReqData& r = ReqData;
    const TImportData& l = Layout;

    m_tabsRead = false;
    const bool applicants = ImportKind != ImportRequisitions;
    const bool requisitions = ImportKind != ImportApplicants;
    const bool allData = ImportKind == ImportAllData;

    if (applicants) {
        readField(l.AppIDStart, l.AppIDLength, a.AppID);
        readField(l.AppNameStart, l.AppNameLength, a.Name);
        readField(l.AppSocStart, l.AppSocLength, a.Soc);
        readField(l.AppPhoneStart, l.AppPhoneLength, a.Phone);
        readField(l.AppAddress1Start, l.AppAddress1Length, a.Address1);
        readField(l.AppAddress2Start, l.AppAddress2Length, a.Address2);
        readField(l.AppAddress3Start, l.AppAddress3Length, a.Address3);
        readField(l.AppAddress4Start, l.AppAddress4Length, a.Address4);
        readField(l.AppCityStart, l.AppCityLength, a.City);
        readField(l.AppStateStart, l.AppStateLength, a.State);
        readField(l.AppZipStart, l.AppZipLength, a.Zip);
        readField(l.AppPurgeDateStart, l.AppPurgeDateLength, a.PurgeDate);
        readField(l.AppVetPrefStart, l.AppVetPrefLength, a.VetPref);
        readField(l.AppRIFStart, l.AppRIFLength, a.RIF);
        readField(l.AppRIFExpireStart, l.AppRIFExpireLength, a.RIFExpire);
    } else {
        for (QString* s : {&a.AppID, &a.Name, &a.Soc, &a.Phone, &a.Address1, &a.Address2, &a.Address3, &a.Address4,
                           &a.City, &a.State, &a.Zip, &a.PurgeDate, &a.VetPref, &a.RIF, &a.RIFExpire})
            clearText(*s);
    }
    if (allData)
        readField(l.AppDispDateStart, l.AppDispDateLength, a.AppliedDate);
    else
        clearText(a.AppliedDate);
    if (requisitions) {
        readField(l.ReqNumberStart, l.ReqNumberLength, r.Number);
        readField(l.ReqContactStart, l.ReqContactLength, r.Contact);
        readField(l.ReqPostingIDStart, l.ReqPostingIDLength, r.PostingID);
        readField(l.ReqPositionTitleStart, l.ReqPositionTitleLength, r.PositionTitle);
        readField(l.ReqFTEStart, l.ReqFTELength, r.FTE);
        readField(l.ReqJobCodeStart, l.ReqJobCodeLength, r.JobCode);
        readField(l.ReqDepartmentStart, l.ReqDepartmentLength, r.Department);
        readField(l.ReqPhoneStart, l.ReqPhoneLength, r.Phone);
        readField(l.ReqEMailStart, l.ReqEMailLength, r.EMail);
        readField(l.ReqMailStart, l.ReqMailLength, r.Mail);
        readField(l.ReqPostedStart, l.ReqPostedLength, r.DatePosted);
    } else {
        for (QString* s : {&r.Number, &r.Contact, &r.PostingID, &r.PositionTitle, &r.FTE, &r.JobCode, &r.Department,
                           &r.DatePosted, &r.Phone, &r.EMail, &r.Mail})
            clearText(*s);
    }

    if (allData && !a.AppliedDate.isEmpty())
        convertDate(a.AppliedDate);

    const QDate day = today();
    if (requisitions) {
        if (!r.DatePosted.isEmpty()) {
            convertDate(r.DatePosted);
        } else {
            if (m_todayText.isNull() || m_todayFor != day) {
                m_todayFor = day;
                m_todayText = dayText(day);
            }
            setText(r.DatePosted, m_todayText);
        }
    }

    if (applicants) {
        if (!a.RIFExpire.isEmpty())
            convertDate(a.RIFExpire);
        else
            setText(a.RIFExpire, kNul);

        // A purge date that is not a later day, or not a date at all, gives way to the default.
        bool keep = false;
        if (!a.PurgeDate.isEmpty()) {
            convertDate(a.PurgeDate);
            const QDate purge = readShortDate(a.PurgeDate);
            keep = purge.isValid() && purge > day;
        }
        if (!keep)
            setText(a.PurgeDate, defaultPurgeDate(day));

        setText(a.VetPref, ValidVetCode(a.VetPref) ? kTrue : kFalse);
        if (ValidRIFCode(a.RIF)) {
            setText(a.RIF, kTrue);
        } else {
            setText(a.RIF, kFalse);
            setText(a.RIFExpire, kNul);
        }
    }
}

// ---------------------------------------------------------------- ImportFile

namespace {

constexpr qsizetype kBlock = qsizetype(1) << 20;

} // namespace

void ImportFile::reportTo(ProgressMeter& meter)
{
    m_progress = [&meter](qint64 bytesRead, qint64 total) {
        meter.setTotal(total);
        return meter.step(bytesRead);
    };
}

ImportFile::ImportFile(const QString& fileName, int linesToSkip)
    : m_file(fileName)
    , m_toSkip(std::max(linesToSkip, 0))
{}

bool ImportFile::open()
{
    if (!m_file.open(QIODevice::ReadOnly))
        return false;
    m_total = m_file.size();
    m_buf.resize(kBlock);
    return true;
}

bool ImportFile::fill()
{
    if (m_eof || m_cancelled || !m_file.isOpen())
        return false;
    if (m_pos > 0) {
        const qsizetype keep = m_end - m_pos;
        if (keep > 0)
            std::memmove(m_buf.data(), m_buf.constData() + m_pos, size_t(keep));
        m_pos = 0;
        m_end = keep;
    }
    if (m_end == m_buf.size()) // one line fills the buffer: make room
        m_buf.resize(m_buf.size() * 2);
    const qint64 n = m_file.read(m_buf.data() + m_end, m_buf.size() - m_end);
    if (n < 0)
        m_failure = QStringLiteral("the import file could not be read: %1").arg(m_file.errorString());
    if (n <= 0) {
        m_eof = true;
        return false;
    }
    m_end += qsizetype(n);
    m_read += n;
    if (m_progress && !m_progress(m_read, std::max(m_total, m_read))) {
        m_cancelled = true;
        return false;
    }
    return true;
}

bool ImportFile::nextRaw(const char*& begin, qsizetype& length)
{
    qsizetype scanned = 0; // bytes after m_pos known to hold no line feed
    for (;;) {
        const char* base = m_buf.constData() + m_pos;
        const void* nl = std::memchr(base + scanned, '\n', size_t(m_end - m_pos - scanned));
        if (nl) {
            begin = base;
            length = static_cast<const char*>(nl) - base;
            const qsizetype end = length + 1;
            if (length > 0 && begin[length - 1] == '\r')
                --length;
            if (length > MaxLineBytes)
                break;
            m_pos += end;
            return true;
        }
        scanned = m_end - m_pos;
        if (scanned > MaxLineBytes + 1) // the line and a CR before its end
            break;
        if (!fill()) {
            if (m_cancelled || m_failure.size() > 0 || m_pos >= m_end)
                return false;
            // The last line, without a line end (a CR just before the end of the file is one).
            begin = m_buf.constData() + m_pos;
            length = m_end - m_pos;
            if (begin[length - 1] == '\r')
                --length;
            if (length > MaxLineBytes)
                break;
            m_pos = m_end;
            return true;
        }
    }
    m_failure = QStringLiteral("the line is longer than %1 characters: this is not an import file.").arg(MaxLineBytes);
    return false;
}

bool ImportFile::readLine(QString& line)
{
    const char* begin = nullptr;
    qsizetype length = 0;
    while (m_toSkip > 0) {
        if (!nextRaw(begin, length))
            return false;
        --m_toSkip;
        ++m_lineNumber;
    }
    if (!nextRaw(begin, length))
        return false;
    ++m_lineNumber;
    decodeWindows1252(begin, length, line);
    return true;
}

} // namespace mw
