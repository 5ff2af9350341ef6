#pragma once

#include <QString>

#include <memory>

namespace mwtest {

// A private PostgreSQL server for the tests of one process: its own data directory under /tmp,
// its own port on 127.0.0.1, trust authentication. When the process runs as root the server runs
// as the `postgres` account. A watcher process removes the cluster even if the test process dies
// without running its exit handlers (crash, SIGKILL from a test timeout).
class PgCluster
{
public:
    // The one cluster of this test process: started on first call, stopped at process exit.
    static PgCluster& instance();
    bool available() const; // false when PostgreSQL could not be started; error() says why
    QString error() const;
    // A new empty database (UTF8, C collation, owner = the superuser the URL names);
    // gives a URL "postgresql://postgres@127.0.0.1:PORT/NAME".
    // Gives an empty string when that fails; error() then says why.
    QString createDatabase();
    void dropDatabase(const QString& url);
    void stop();

    PgCluster(const PgCluster&) = delete;
    PgCluster& operator=(const PgCluster&) = delete;

private:
    PgCluster();
    ~PgCluster();

    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace mwtest
