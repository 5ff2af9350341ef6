// Arbitrary bytes through the import line reader and the import file source.
// The first bytes choose the layout and the kind, the rest is the line; the same
// bytes are also read back as an import file.

#include "import/importreader.h"
#include "shared/clock.h"
#include "shared/codepage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstddef>
#include <cstdint>

namespace {

constexpr std::size_t kLayoutBytes = 56 + 2; // 54 starts/lengths, skip, kind, list selector, purge days

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < kLayoutBytes)
        return 0;
    mw::TImportData layout;
    for (int i = 0; i < 54; ++i) {
        // Small values mostly; the top bit gives a far-away or negative position.
        const int b = data[i];
        layout.*mw::TImportData::Numbers[i].member = (b & 0x80) ? (b & 1 ? -(b & 0x7F) : (b & 0x7F) * 1000) : b & 0x3F;
    }
    layout.LinesToSkip = data[54] & 7;
    const int kind = data[55] % 3;
    layout.PurgeDays = static_cast<std::int8_t>(data[57]) * 1000;
    const char* const lists[] = {"", "A;B", "A;;B", ";", "V; x;"};
    layout.VetCodes = QString::fromLatin1(lists[data[56] % 5]);
    layout.AppRIFCodes = QString::fromLatin1(lists[(data[56] / 5) % 5]);

    const char* rest = reinterpret_cast<const char*>(data + kLayoutBytes);
    const auto restSize = static_cast<qsizetype>(size - kLayoutBytes);

    mw::ImportReader reader(layout);
    reader.ImportKind = kind;
    mw::Clock::setToday(QDate(2026, 1, 1));
    mw::decodeWindows1252(rest, restSize, reader.DataLine);
    reader.ExtractData();
    reader.ExtractData(); // storage reused from the first pass
    (void)mw::ImportReader::ConvertDateTommddyyyy(reader.DataLine);
    for (int n = -1; n < 4; ++n) {
        QString v;
        reader.ReadDelimitedData(n, v);
        (void)reader.ReadDataLine(n, n * 3);
    }

    // The same bytes as a file: every byte must come back, less the line ends.
    static const QString path = QDir::tempPath() + QStringLiteral("/mw_fuzz_import_%1.txt").arg(QCoreApplication::applicationPid());
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(rest, restSize);
    }
    mw::ImportFile file(path, 0);
    if (!file.open())
        return 0;
    QString line;
    qsizetype chars = 0;
    qint64 lines = 0;
    while (file.readLine(line)) {
        chars += line.size();
        ++lines;
        reader.DataLine = line;
        reader.ExtractData();
    }
    qsizetype lf = 0;
    for (qsizetype i = 0; i < restSize; ++i)
        lf += rest[i] == '\n';
    // Characters given + removed line ends (each LF, and at most one CR per line) = bytes.
    if (chars + lf > restSize || chars + lf + lines < restSize)
        __builtin_trap();
    if (lines < lf || lines > lf + 1)
        __builtin_trap();
    return 0;
}
