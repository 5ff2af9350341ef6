// Test entry: the core wants a QCoreApplication (timers, plugins). The program's
// clock goes back to the system's after every test.
#include "cleanclock.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    mwtest::resetClockAfterEachTest();
    return RUN_ALL_TESTS();
}
