#include "pgcluster.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace mwtest {
namespace {

using Argv = std::vector<std::string>;

std::string shellQuote(const std::string& s)
{
    std::string out = "'";
    for (char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

std::string shellJoin(const Argv& argv)
{
    std::string out;
    for (const auto& a : argv) {
        if (!out.empty())
            out += ' ';
        out += shellQuote(a);
    }
    return out;
}

// Runs argv (argv[0] an absolute path) in cwd with stdin from /dev/null and stdout and stderr
// appended to logPath. Gives the exit code, or -1 when the program could not be run or was killed.
int run(const Argv& argv, const std::string& logPath, const std::string& cwd)
{
    // Everything the child touches is prepared before fork: between fork and exec only
    // async-signal-safe calls are allowed.
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const char* log = logPath.c_str();
    const char* dir = cwd.c_str();

    const pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(log, O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (in < 0 || out < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(out, 2) < 0 || chdir(dir) != 0)
            _exit(127);
        close_range(3, ~0U, 0);
        execv(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool isExecutable(const fs::path& p)
{
    std::error_code ec;
    return fs::is_regular_file(p, ec) && access(p.c_str(), X_OK) == 0;
}

std::string findOnPath(const std::string& name, const std::vector<std::string>& extraDirs = {})
{
    std::vector<std::string> dirs;
    if (const char* path = std::getenv("PATH")) {
        std::stringstream ss(path);
        std::string dir;
        while (std::getline(ss, dir, ':')) {
            if (!dir.empty())
                dirs.push_back(dir);
        }
    }
    dirs.insert(dirs.end(), extraDirs.begin(), extraDirs.end());
    for (const auto& dir : dirs) {
        const fs::path candidate = fs::path(dir) / name;
        if (isExecutable(candidate))
            return candidate.string();
    }
    return {};
}

// The bin directory of the newest PostgreSQL under /usr/lib/postgresql, else the one on PATH.
std::string findPgBinDir()
{
    std::vector<std::pair<std::pair<int, int>, fs::path>> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", ec)) {
        const std::string name = entry.path().filename().string();
        int major = 0;
        int minor = 0;
        const char* end = name.data() + name.size();
        auto [p, err] = std::from_chars(name.data(), end, major);
        if (err != std::errc() || p == name.data())
            continue;
        if (p != end && *p == '.')
            std::from_chars(p + 1, end, minor);
        const fs::path bin = entry.path() / "bin";
        if (isExecutable(bin / "initdb") && isExecutable(bin / "pg_ctl"))
            found.push_back({{major, minor}, bin});
    }
    if (!found.empty())
        return std::max_element(found.begin(), found.end())->second.string();

    const std::string initdb = findOnPath("initdb");
    if (!initdb.empty() && isExecutable(fs::path(initdb).parent_path() / "pg_ctl"))
        return fs::path(initdb).parent_path().string();
    return {};
}

QString tailOf(const std::string& path, int maxLines = 20)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    std::stringstream ss;
    ss << in.rdbuf();
    const QStringList lines = QString::fromUtf8(ss.str()).trimmed().split(QLatin1Char('\n'));
    return lines.mid(std::max<qsizetype>(0, lines.size() - maxLines)).join(QLatin1Char('\n'));
}

int freeLoopbackPort()
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    int port = -1;
    if (bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    close(fd);
    return port;
}

std::atomic<int> connectionCounter{0};

} // namespace

struct PgCluster::Impl
{
    mutable std::mutex mutex;
    pid_t ownerPid = getpid();
    bool running = false;
    QString error;
    int port = -1;
    int dbCounter = 0;

    std::string binDir;
    Argv asOwnerPrefix;        // runs the rest of argv as the account that owns the cluster
    bool asOwnerViaSu = false; // su takes one shell string instead of argv
    std::string tmpDir;        // removed by cleanup(); empty when there is nothing to clean
    std::string dataDir;
    int guardFd = -1; // write end of the watcher's pipe

    Argv asOwner(const Argv& cmd) const
    {
        Argv out = asOwnerPrefix;
        if (asOwnerViaSu)
            out.push_back(shellJoin(cmd));
        else
            out.insert(out.end(), cmd.begin(), cmd.end());
        return out;
    }

    Argv stopCommand() const
    {
        return asOwner({binDir + "/pg_ctl", "-D", dataDir, "-m", "immediate", "-w", "stop"});
    }

    bool start();
    bool chooseAccount(uid_t& uid, gid_t& gid);
    void startWatcher();
    void cleanup();
    bool admin(const QString& sql);
};

// As root the cluster runs as `postgres` (initdb refuses root). runuser is preferred; su is the
// fallback where runuser is missing or refuses (some PAM setups).
bool PgCluster::Impl::chooseAccount(uid_t& uid, gid_t& gid)
{
    uid = geteuid();
    gid = getegid();
    if (uid != 0)
        return true;

    const passwd* pw = getpwnam("postgres");
    if (!pw) {
        error = QStringLiteral("running as root, but there is no `postgres` account to run PostgreSQL as");
        return false;
    }
    uid = pw->pw_uid;
    gid = pw->pw_gid;

    const std::vector<std::string> sbin = {"/usr/sbin", "/sbin", "/usr/bin", "/bin"};
    const std::string runuser = findOnPath("runuser", sbin);
    const std::string su = findOnPath("su", sbin);
    const std::string probeLog = tmpDir + "/account.log";
    if (!runuser.empty()) {
        asOwnerPrefix = {runuser, "-u", "postgres", "--"};
        asOwnerViaSu = false;
        if (run(asOwner({"/bin/sh", "-c", "exit 0"}), probeLog, tmpDir) == 0)
            return true;
    }
    if (!su.empty()) {
        asOwnerPrefix = {su, "postgres", "-s", "/bin/sh", "-c"};
        asOwnerViaSu = true;
        if (run(asOwner({"/bin/sh", "-c", "exit 0"}), probeLog, tmpDir) == 0)
            return true;
    }
    error = QStringLiteral("cannot run commands as `postgres` (tried runuser and su):\n") + tailOf(probeLog);
    return false;
}

// A detached shell that waits for this process to end (its pipe reaches EOF once every copy of
// the write end is closed, which the kernel does however the process ends) and then stops the
// server and removes the directory, unless a regular stop() already did.
void PgCluster::Impl::startWatcher()
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return;
    const std::string script = "cat >/dev/null 2>&1; if [ -d " + shellQuote(tmpDir) + " ]; then if [ -f " +
                               shellQuote(dataDir + "/postmaster.pid") + " ]; then " +
                               shellJoin(stopCommand()) + " >/dev/null 2>&1; fi; rm -rf " +
                               shellQuote(tmpDir) + "; fi";
    const Argv argv = {"/bin/sh", "-c", script};
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    const pid_t pid = fork();
    if (pid == 0) {
        // Own session and a second fork: the watcher belongs to neither this process's group nor
        // its descendants, so whoever kills the test process (ctest on timeout) leaves it alone.
        setsid();
        if (fork() != 0)
            _exit(0);
        const int nul = open("/dev/null", O_RDWR);
        if (dup2(fds[0], 0) < 0 || nul < 0 || dup2(nul, 1) < 0 || dup2(nul, 2) < 0 || chdir("/") != 0)
            _exit(127);
        close_range(3, ~0U, 0);
        execv(args[0], args.data());
        _exit(127);
    }
    close(fds[0]);
    if (pid < 0) {
        close(fds[1]);
        return;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    guardFd = fds[1];
}

bool PgCluster::Impl::start()
{
    binDir = findPgBinDir();
    if (binDir.empty()) {
        error = QStringLiteral("no PostgreSQL found (looked for initdb and pg_ctl under "
                               "/usr/lib/postgresql/*/bin and on PATH)");
        return false;
    }

    // Always /tmp, not $TMPDIR: the postgres account must be able to reach the directory.
    char tmpl[] = "/tmp/merrowind-pg-XXXXXX";
    if (!mkdtemp(tmpl)) {
        error = QStringLiteral("mkdtemp failed: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    tmpDir = tmpl;
    dataDir = tmpDir + "/data";

    uid_t uid = 0;
    gid_t gid = 0;
    if (!chooseAccount(uid, gid))
        return false;
    if (chown(tmpDir.c_str(), uid, gid) != 0) {
        error = QStringLiteral("cannot hand %1 to uid %2: %3")
                    .arg(QString::fromStdString(tmpDir))
                    .arg(uid)
                    .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    startWatcher();

    const std::string initdbLog = tmpDir + "/initdb.log";
    const int initdbRc = run(asOwner({binDir + "/initdb", "-D", dataDir, "-A", "trust", "-U", "postgres",
                                      "-E", "UTF8", "--locale=C", "-N"}),
                             initdbLog, tmpDir);
    if (initdbRc != 0) {
        error = QStringLiteral("initdb failed (exit %1):\n%2").arg(initdbRc).arg(tailOf(initdbLog));
        return false;
    }

    // The port is free when chosen but another process may take it before the server binds it;
    // a bind failure is retried with another port.
    const std::string serverLog = tmpDir + "/postgres.log";
    const std::string ctlLog = tmpDir + "/pg_ctl.log";
    for (int attempt = 0; attempt < 5; ++attempt) {
        port = freeLoopbackPort();
        if (port <= 0) {
            error = QStringLiteral("cannot find a free port on 127.0.0.1");
            return false;
        }
        const std::string options = "-c listen_addresses=127.0.0.1 -p " + std::to_string(port) + " -k " +
                                    tmpDir +
                                    " -c fsync=off -c full_page_writes=off -c synchronous_commit=off"
                                    " -c max_parallel_workers_per_gather=0";
        const int rc = run(asOwner({binDir + "/pg_ctl", "-w", "-t", "60", "-D", dataDir, "-l", serverLog,
                                    "-o", options, "start"}),
                           ctlLog, tmpDir);
        if (rc == 0) {
            running = true;
            error.clear();
            return true;
        }
        const QString log = tailOf(serverLog);
        error = QStringLiteral("pg_ctl start failed (exit %1):\n%2\n%3").arg(rc).arg(tailOf(ctlLog), log);
        if (!log.contains(QLatin1String("could not bind")) &&
            !log.contains(QLatin1String("could not create any TCP/IP sockets")))
            return false;
        run(stopCommand(), ctlLog, tmpDir); // in case a half-started server is still around
    }
    return false;
}

void PgCluster::Impl::cleanup()
{
    // A forked child (a gtest death test, say) shares this object but not the cluster.
    if (getpid() != ownerPid)
        return;
    if (!tmpDir.empty()) {
        // The first line of postmaster.pid is the server's pid. Should pg_ctl fail, the server is
        // killed directly: once the directory is gone nothing else could find it.
        pid_t serverPid = 0;
        if (std::ifstream pidFile(dataDir + "/postmaster.pid"); pidFile >> serverPid) {
            if (run(stopCommand(), "/dev/null", tmpDir) != 0 && serverPid > 0)
                kill(serverPid, SIGKILL);
        }
        std::error_code ec;
        fs::remove_all(tmpDir, ec);
        tmpDir.clear();
    }
    if (guardFd >= 0) {
        close(guardFd);
        guardFd = -1;
    }
    running = false;
}

// Runs one statement in the `postgres` database as the superuser.
bool PgCluster::Impl::admin(const QString& sql)
{
    const QString name = QStringLiteral("mwtest-pgcluster-%1").arg(++connectionCounter);
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(QStringLiteral("127.0.0.1"));
        db.setPort(port);
        db.setUserName(QStringLiteral("postgres"));
        db.setDatabaseName(QStringLiteral("postgres"));
        if (!db.open()) {
            error = QStringLiteral("cannot connect to the test cluster: ") + db.lastError().text();
        } else {
            QSqlQuery query(db);
            ok = query.exec(sql);
            if (!ok)
                error = sql + QStringLiteral(": ") + query.lastError().text();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

PgCluster::PgCluster() : d(std::make_unique<Impl>())
{
    if (!d->start())
        d->cleanup(); // error() keeps the reason
}

PgCluster::~PgCluster()
{
    stop();
}

PgCluster& PgCluster::instance()
{
    static PgCluster cluster;
    return cluster;
}

bool PgCluster::available() const
{
    std::lock_guard lock(d->mutex);
    return d->running;
}

QString PgCluster::error() const
{
    std::lock_guard lock(d->mutex);
    return d->error;
}

QString PgCluster::createDatabase()
{
    std::lock_guard lock(d->mutex);
    if (!d->running) {
        if (d->error.isEmpty())
            d->error = QStringLiteral("the test cluster is not running");
        return {};
    }
    const QString name = QStringLiteral("mwtest_%1_%2").arg(++d->dbCounter).arg(d->ownerPid);
    if (!d->admin(QStringLiteral("CREATE DATABASE %1 TEMPLATE template0 ENCODING 'UTF8' "
                                 "LC_COLLATE 'C' LC_CTYPE 'C'")
                      .arg(name)))
        return {};
    return QStringLiteral("postgresql://postgres@127.0.0.1:%1/%2").arg(d->port).arg(name);
}

void PgCluster::dropDatabase(const QString& url)
{
    std::lock_guard lock(d->mutex);
    if (!d->running)
        return;
    const QUrl parsed(url);
    const QString name = parsed.path().mid(1);
    const bool plainName = !name.isEmpty() && std::all_of(name.begin(), name.end(), [](QChar c) {
        return c == QLatin1Char('_') || (c.unicode() < 128 && c.isLetterOrNumber());
    });
    if (parsed.port() != d->port || !plainName) {
        d->error = QStringLiteral("not a database of this test cluster: ") + url;
        return;
    }
    d->admin(QStringLiteral("DROP DATABASE IF EXISTS \"%1\" WITH (FORCE)").arg(name));
}

void PgCluster::stop()
{
    std::lock_guard lock(d->mutex);
    const bool wasRunning = d->running;
    d->cleanup();
    if (wasRunning)
        d->error = QStringLiteral("the test cluster was stopped");
}

} // namespace mwtest
