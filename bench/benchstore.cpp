// mw_benchstore: times the data store on a large database made by mw_benchgen.
//
//   mw_benchstore DIR [--posts N] [--repeat N]
//
// Goes through the data module as the windows do (TMerrowindData and its table
// components, rules included) and prints one line per figure with its target.

#include "datastore/merrowinddata.h"

#include <QCoreApplication>
#include <QSqlQuery>
#include <QString>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

double timeMs(const std::function<void()>& f)
{
    const auto t0 = Clock::now();
    f();
    return msSince(t0);
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const auto i = static_cast<std::size_t>(p / 100.0 * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}
double median(const std::vector<double>& v) { return percentile(v, 50); }

int g_missed = 0;

// One figure: the measured value, the target, and whether it was met.
void report(const char* what, double ms, double targetMs, const char* extra = "")
{
    const bool ok = ms < targetMs;
    if (!ok)
        ++g_missed;
    std::printf("%-52s %10.2f ms   target < %6.0f ms  %s%s\n", what, ms, targetMs, ok ? "ok" : "MISSED", extra);
}

void info(const char* what, double ms, const char* extra = "")
{
    std::printf("%-52s %10.2f ms   %s\n", what, ms, extra);
}

// SplitMix64: a fixed sequence of applicants to edit.
std::uint64_t g_seed = 77;
std::uint64_t nextRandom()
{
    std::uint64_t z = (g_seed += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

struct SearchResult
{
    double sequenceMs = 0; // setFiltered(true), first(), 99 x next()
    double firstMs = 0;    // first() alone, filter already on
    int rows = 0;
};

// The name search of the applicant window: filter on, then the first 100 rows.
SearchResult nameSearch(mw::TMerrowindData& data, const QString& text)
{
    mw::TTable& t = data.ApplicantTable;
    t.setFiltered(false);
    data.SearchInName = true;
    data.SearchInID = data.SearchInSSN = data.SearchInPhone = false;
    data.ApplicantSearchText = text;
    SearchResult r;
    qint64 checksum = 0;
    r.sequenceMs = timeMs([&] {
        t.setFiltered(true);
        t.first();
        for (int i = 0; i < 100 && !t.eof(); ++i) {
            if (i > 0)
                t.next();
            if (t.eof())
                break;
            checksum += t.fieldByName(QStringLiteral("ApplicantID")).asString().size();
            checksum += t.fieldByName(QStringLiteral("Name")).asString().size();
            ++r.rows;
        }
    });
    r.firstMs = timeMs([&] { t.first(); });
    if (checksum == 0 && r.rows > 0)
        std::printf("(nothing read)\n");
    return r;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    QString dir;
    int posts = 200;
    int repeat = 5;
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--posts") && i + 1 < args.size())
            posts = std::max(1, args[++i].toInt());
        else if (args[i] == QLatin1String("--repeat") && i + 1 < args.size())
            repeat = std::max(1, args[++i].toInt());
        else if (!args[i].startsWith(QLatin1String("--")) && dir.isEmpty())
            dir = args[i];
        else {
            std::fprintf(stderr, "usage: mw_benchstore DIR [--posts N] [--repeat N]\n");
            return 2;
        }
    }
    if (dir.isEmpty()) {
        std::fprintf(stderr, "usage: mw_benchstore DIR [--posts N] [--repeat N]\n");
        return 2;
    }
    const mw::DatabaseLocation loc = mw::DatabaseLocation::parse(dir);

    try {
        mw::TMerrowindData data;
        data.LoginData.UserID = QStringLiteral("BENCH");

        // ---- opening the data module
        std::vector<double> opens;
        for (int i = 0; i < repeat; ++i) {
            data.close();
            opens.push_back(timeMs([&] { data.open(loc); }));
        }
        std::printf("database %s, %d repeats, median unless stated\n\n", qPrintable(loc.describe()), repeat);
        report("open the data module (TMerrowindData::open)", median(opens), 1000);
        info("  first open of this process", opens.front());

        // ---- counting
        mw::TTable& applicants = data.ApplicantTable;
        mw::TTable& applications = data.ApplicationTable;
        std::vector<double> countApplicants, countApplications;
        qint64 nApplicants = 0, nApplications = 0;
        for (int i = 0; i < repeat; ++i) {
            applicants.refresh();
            countApplicants.push_back(timeMs([&] { nApplicants = applicants.recordCount(); }));
            applications.refresh();
            countApplications.push_back(timeMs([&] { nApplications = applications.recordCount(); }));
        }
        char extra[128];
        std::snprintf(extra, sizeof extra, "  (%lld records)", static_cast<long long>(nApplicants));
        report("recordCount, applicants, unfiltered", median(countApplicants), 50, extra);
        info("  first count of this process", countApplicants.front());
        std::snprintf(extra, sizeof extra, "  (%lld records)", static_cast<long long>(nApplications));
        report("recordCount, applications, unfiltered", median(countApplications), 50, extra);
        info("  first count of this process", countApplications.front());

        // ---- the name search
        const struct
        {
            const char* text;
            const char* label;
        } searches[] = {{"smith", "common"}, {"ann", "part of many names"}, {"vanderpoel", "rare"}};
        for (const auto& s : searches) {
            std::vector<double> seq, first;
            int rows = 0;
            for (int i = 0; i < repeat; ++i) {
                const SearchResult r = nameSearch(data, QString::fromLatin1(s.text));
                seq.push_back(r.sequenceMs);
                first.push_back(r.firstMs);
                rows = r.rows;
            }
            char what[96];
            std::snprintf(what, sizeof what, "name search \"%s\" (%s): first %d rows", s.text, s.label, rows);
            report(what, median(seq), 100, "  (setFiltered + first + next x99)");
            info("  of which one first() with the filter on", median(first));
            std::vector<double> counts;
            qint64 n = 0;
            for (int i = 0; i < repeat; ++i) {
                applicants.refresh();
                counts.push_back(timeMs([&] { n = applicants.recordCount(); }));
            }
            std::snprintf(extra, sizeof extra, "(%lld records match)", static_cast<long long>(n));
            info("  recordCount with the filter on", median(counts), extra);
        }
        applicants.setFiltered(false);

        // ---- what one commit costs on this disk: a post is made of commits
        std::vector<double> commits;
        for (int i = 0; i < 50; ++i)
            commits.push_back(timeMs([&] {
                data.sessions().setUser(i % 2 ? QStringLiteral("BENCH") : QStringLiteral("BENCH2"));
            }));
        data.sessions().setUser(data.LoginData.UserID);
        char commitLine[96];
        std::snprintf(commitLine, sizeof commitLine, "(95th pct %.2f ms)", percentile(commits, 95));
        info("one commit of a one-row change, for reference", median(commits), commitLine);

        // ---- edit and post through the table, its rules included
        std::vector<QString> ids;
        for (int i = 0; i < posts; ++i) {
            const qint64 rid = 1 + static_cast<qint64>(nextRandom() % static_cast<std::uint64_t>(nApplicants));
            QSqlQuery q = data.database().exec(QStringLiteral("SELECT ApplicantID FROM applicants WHERE rid = ?"),
                                               {rid});
            if (q.next())
                ids.push_back(q.value(0).toString());
        }
        std::vector<double> locates, edits, postsMs, totals;
        int n = 0;
        for (const QString& id : ids) {
            const auto t0 = Clock::now();
            bool found = false;
            locates.push_back(timeMs([&] { found = applicants.findKey({id}); }));
            if (!found) {
                std::fprintf(stderr, "applicant %s not found\n", qPrintable(id));
                return 1;
            }
            edits.push_back(timeMs([&] { applicants.edit(); }));
            applicants.fieldByName(QStringLiteral("Phone"))
                .setValue(QStringLiteral("(555) 010-%1").arg(n++ % 10000, 4, 10, QLatin1Char('0')));
            postsMs.push_back(timeMs([&] { applicants.post(); }));
            totals.push_back(msSince(t0));
        }
        std::snprintf(extra, sizeof extra, "  (%zu applicants)", totals.size());
        report("findKey + edit + change Phone + post, median", median(totals), 5, extra);
        report("findKey + edit + change Phone + post, 95th pct", percentile(totals, 95), 5);
        info("  findKey, median", median(locates));
        info("  edit, median", median(edits));
        info("  post, median", median(postsMs));
        info("  post, 95th percentile", percentile(postsMs, 95));

        data.close();
    } catch (const mw::DbError& e) {
        std::fprintf(stderr, "mw_benchstore: %s\n", qPrintable(e.message()));
        return 1;
    }

    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    const double peakMb = static_cast<double>(ru.ru_maxrss) / 1024.0; // kilobytes on Linux
    const bool ok = peakMb < 300;
    if (!ok)
        ++g_missed;
    std::printf("%-52s %10.1f MB   target < %6d MB  %s\n", "peak memory (ru_maxrss)", peakMb, 300,
                ok ? "ok" : "MISSED");
    std::printf("\n%d target(s) missed\n", g_missed);
    return 0;
}
