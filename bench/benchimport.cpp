// Import reading speed: a million all-data lines, once in fixed columns and once
// tab-separated, read from a temporary file and converted line by line (nothing stored).
// Usage: mw_benchimport [lines] [directory]
// With a directory the files are kept there and reused by the next run of the same size.

#include "import/importreader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>
#include <cstdlib>

using mw::TImportData;

namespace {

double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// The values of line i, in layout order (27 of them).
QByteArrayList valuesOf(int i)
{
    const QByteArray n = QByteArray::number(i);
    return {"A" + n,
            "Lastname" + n + ", First",
            QByteArray::number(100000000 + i),
            "555-01" + QByteArray::number(i % 100),
            QByteArray::number(i % 9000) + " Main Street",
            "Apt " + QByteArray::number(i % 300),
            "",
            "",
            "Springfield",
            "IL",
            "62704",
            i % 3 ? "2099-06-30" : "01/01/2020",
            i % 5 ? "N" : "V",
            "2025-11-" + QByteArray::number(10 + i % 20),
            i % 7 ? "" : "R",
            i % 7 ? "" : "2027-01-01",
            "R" + QByteArray::number(i % 5000),
            "Hiring Manager " + QByteArray::number(i % 50),
            "PG" + QByteArray::number(i % 40),
            "Caf\xE9 Supervisor",
            "1.0",
            "JC" + QByteArray::number(i % 700),
            "Department of Things",
            "555-0100",
            "manager@example.org",
            "1 Civic Center Plaza",
            i % 2 ? "" : "10-01-2025"};
}

constexpr int kWidth = 30; // fixed column width of every value

TImportData layout(bool fixed)
{
    TImportData l;
    for (int i = 0; i < 27; ++i) {
        l.*TImportData::Numbers[2 * i].member = fixed ? 1 + i * kWidth : i + 1;
        l.*TImportData::Numbers[2 * i + 1].member = fixed ? kWidth : 0;
    }
    l.VetCodes = QStringLiteral("V;D");
    l.AppRIFCodes = QStringLiteral("R;X");
    return l;
}

void write(const QString& path, int lines, bool fixed)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
    QByteArray block;
    for (int i = 0; i < lines; ++i) {
        const QByteArrayList v = valuesOf(i);
        if (fixed) {
            for (const QByteArray& s : v)
                block += s.leftJustified(kWidth, ' ', true);
        } else {
            block += v.join('\t');
        }
        block += "\r\n";
        if (block.size() > (1 << 22)) {
            f.write(block);
            block.clear();
        }
    }
    f.write(block);
}

void run(const QString& path, bool fixed, int expected)
{
    mw::ImportReader reader(layout(fixed));
    mw::ImportFile file(path);
    if (!file.open()) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        std::exit(1);
    }
    qint64 progressCalls = 0;
    file.setProgress([&](qint64, qint64) {
        ++progressCalls;
        return true;
    });
    qint64 check = 0;
    QElapsedTimer t;
    t.start();
    const double cpu0 = cpuSeconds();
    int lines = 0;
    while (file.readLine(reader.DataLine)) {
        reader.ExtractData();
        check += reader.ApplicantData.AppID.size() + reader.ReqData.DatePosted.size() + reader.ApplicantData.VetPref.size();
        ++lines;
    }
    const double s = double(t.nsecsElapsed()) / 1e9;
    const double cpu = cpuSeconds() - cpu0;
    std::printf("%-6s %d lines, %.1f MB: %.3f s (%.0f lines/s), cpu %.3f s (%.0f lines/s) "
                "(%lld progress reports, check %lld)\n",
                fixed ? "fixed" : "tabbed", lines, double(file.size()) / 1e6, s, lines / s, cpu, lines / cpu,
                static_cast<long long>(progressCalls), static_cast<long long>(check));
    if (lines != expected) {
        std::fprintf(stderr, "expected %d lines\n", expected);
        std::exit(1);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int lines = argc > 1 ? std::atoi(argv[1]) : 1000000;
    QTemporaryDir tmp;
    const QString dir = argc > 2 ? QString::fromLocal8Bit(argv[2]) : tmp.path();
    auto path = [&](bool fixed) {
        return dir + (fixed ? QStringLiteral("/fixed-%1.txt") : QStringLiteral("/tabbed-%1.txt")).arg(lines);
    };
    QElapsedTimer t;
    t.start();
    for (bool fixed : {true, false})
        if (!QFile::exists(path(fixed)))
            write(path(fixed), lines, fixed);
    std::printf("generated in %.1f s\n", double(t.elapsed()) / 1000);
    std::fflush(stdout);
    for (bool fixed : {true, false})
        run(path(fixed), fixed, lines);
    return 0;
}
