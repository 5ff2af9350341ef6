#pragma once
// A fresh database per test, on SQLite or on the throwaway PostgreSQL server.

#include "datastore/merrowinddata.h"
#include "datastore/schema.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace mwtest {

enum class Backend { SQLite, Postgres };

std::string backendName(const ::testing::TestParamInfo<Backend>& info);

// Creates a new database (the first-run records included) and removes it afterwards.
class TestDatabase
{
public:
    // The current layout, or an older one for tests of upgrades.
    explicit TestDatabase(Backend backend, int layout = mw::Schema::Version);
    ~TestDatabase();
    const mw::DatabaseLocation& location() const { return m_location; }
    bool ok() const { return m_ok; }
    const QString& error() const { return m_error; }
    QString scratchDir() const { return m_dir.path(); } // a temporary directory of the test's own

private:
    Backend m_backend;
    QTemporaryDir m_dir;
    mw::DatabaseLocation m_location;
    bool m_ok = false;
    QString m_error;
};

// A test run once per backend, with a data module open on a fresh database and
// SUPERVISOR as the logged-on user.
class StoreTest : public ::testing::TestWithParam<Backend>
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs a statement straight on the database (test set-up), values bound.
    void sql(const QString& statement, const QVariantList& binds = {});
    // The single value a select gives.
    QVariant scalar(const QString& statement, const QVariantList& binds = {});

    std::unique_ptr<TestDatabase> m_testDb;
    std::unique_ptr<mw::TMerrowindData> data;
};

#define MW_INSTANTIATE_BACKENDS(Suite)                                                                     \
    INSTANTIATE_TEST_SUITE_P(Backends, Suite,                                                              \
                             ::testing::Values(::mwtest::Backend::SQLite, ::mwtest::Backend::Postgres),    \
                             ::mwtest::backendName)

} // namespace mwtest
