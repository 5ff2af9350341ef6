// Test entry for window tests: a QApplication (run them with QT_QPA_PLATFORM=offscreen).
// The program's clock goes back to the system's after every test.
#include "cleanclock.h"
#include "shell/application.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    mw::MerrowindApplication app(argc, argv); // as the program has it
    ::testing::InitGoogleTest(&argc, argv);
    mwtest::resetClockAfterEachTest();
    return RUN_ALL_TESTS();
}
