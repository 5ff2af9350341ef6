#include "pgcluster.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Opens the database a cluster URL names, runs one query giving a single row, and gives its
// columns; empty when the connection or the query fails.
QStringList queryRow(const QString& url, const QString& sql)
{
    static int counter = 0;
    const QString name = QStringLiteral("selftest-%1").arg(++counter);
    QStringList row;
    {
        const QUrl parsed(url);
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(parsed.host());
        db.setPort(parsed.port());
        db.setUserName(parsed.userName());
        db.setDatabaseName(parsed.path().mid(1));
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(sql) && query.next()) {
                for (int i = 0; i < query.record().count(); ++i)
                    row << query.value(i).toString();
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return row;
}

// Whether anything accepts TCP connections on 127.0.0.1:port. A server whose data directory is gone
// refuses every login yet still holds its port, so this is what tells a stopped server apart.
bool accepting(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    close(fd);
    return ok;
}

TEST(PgCluster, servesFreshDatabasesUntilStopped)
{
    auto& cluster = mwtest::PgCluster::instance();
    ASSERT_TRUE(cluster.available()) << cluster.error().toStdString();

    const QString first = cluster.createDatabase();
    const QString second = cluster.createDatabase();
    ASSERT_FALSE(first.isEmpty()) << cluster.error().toStdString();
    ASSERT_FALSE(second.isEmpty()) << cluster.error().toStdString();
    EXPECT_NE(first, second);
    EXPECT_TRUE(first.startsWith(QStringLiteral("postgresql://postgres@127.0.0.1:"))) << first.toStdString();

    EXPECT_EQ(queryRow(first, QStringLiteral("SELECT 1")), QStringList{QStringLiteral("1")});
    EXPECT_EQ(queryRow(second, QStringLiteral("SELECT pg_encoding_to_char(encoding), datcollate, datctype, "
                                              "pg_get_userbyid(datdba) FROM pg_database "
                                              "WHERE datname = current_database()")),
              (QStringList{QStringLiteral("UTF8"), QStringLiteral("C"), QStringLiteral("C"),
                           QStringLiteral("postgres")}));
    EXPECT_EQ(queryRow(second, QStringLiteral("SELECT count(*) FROM pg_class WHERE relnamespace = "
                                              "'public'::regnamespace")),
              QStringList{QStringLiteral("0")});

    cluster.dropDatabase(first);
    EXPECT_TRUE(queryRow(first, QStringLiteral("SELECT 1")).isEmpty()) << "dropped database still reachable";
    EXPECT_EQ(queryRow(second, QStringLiteral("SELECT 1")), QStringList{QStringLiteral("1")});

    const int port = QUrl(second).port();
    ASSERT_TRUE(accepting(port));
    cluster.stop();
    EXPECT_FALSE(cluster.available());
    EXPECT_FALSE(accepting(port)) << "server still up after stop()";
    EXPECT_TRUE(cluster.createDatabase().isEmpty());
    cluster.stop();
}

} // namespace
