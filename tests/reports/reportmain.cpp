// Test entry of the report tests: reports paint text, which wants a QGuiApplication;
// the offscreen platform needs no display. The program's clock goes back to the
// system's after every test.
#include "cleanclock.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    mwtest::resetClockAfterEachTest();
    return RUN_ALL_TESTS();
}
