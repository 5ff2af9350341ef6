#include "dbfixture.h"

#include "datastore/createdatabase.h"
#include "pgcluster.h"

#include <QProcessEnvironment>
#include <QSqlQuery>

namespace mwtest {

std::string backendName(const ::testing::TestParamInfo<Backend>& info)
{
    return info.param == Backend::SQLite ? "SQLite" : "Postgres";
}

TestDatabase::TestDatabase(Backend backend, int layout)
    : m_backend(backend)
{
    try {
        if (backend == Backend::SQLite) {
            m_location = mw::DatabaseLocation::parse(m_dir.path());
        } else {
            PgCluster& pg = PgCluster::instance();
            const QString url = pg.available() ? pg.createDatabase() : QString();
            if (url.isEmpty()) {
                m_error = QStringLiteral("PostgreSQL is not available: ") + pg.error();
                return;
            }
            m_location = mw::DatabaseLocation::parse(url);
        }
        mw::createDatabase(m_location, layout);
        m_ok = true;
    } catch (const mw::DbError& e) {
        m_error = e.message();
    }
}

TestDatabase::~TestDatabase()
{
    if (m_backend == Backend::Postgres && !m_location.url.isEmpty())
        PgCluster::instance().dropDatabase(m_location.url);
}

void StoreTest::SetUp()
{
    m_testDb = std::make_unique<TestDatabase>(GetParam());
    if (!m_testDb->ok()) {
        if (GetParam() == Backend::Postgres &&
            QProcessEnvironment::systemEnvironment().value(QStringLiteral("MERROWIND_TEST_NO_POSTGRES")) ==
                QLatin1String("1"))
            GTEST_SKIP() << m_testDb->error().toStdString();
        FAIL() << m_testDb->error().toStdString();
    }
    data = std::make_unique<mw::TMerrowindData>();
    data->open(m_testDb->location());
    data->ReadSettings();
    ASSERT_TRUE(data->CheckUser(QStringLiteral("supervisor"), QString(), true));
}

void StoreTest::TearDown()
{
    data.reset();
    m_testDb.reset();
}

void StoreTest::sql(const QString& statement, const QVariantList& binds) { data->database().exec(statement, binds); }

QVariant StoreTest::scalar(const QString& statement, const QVariantList& binds)
{
    QSqlQuery q = data->database().exec(statement, binds);
    return q.next() ? q.value(0) : QVariant();
}

} // namespace mwtest
