// Test entry for window tests: a QApplication (run them with QT_QPA_PLATFORM=offscreen).
#include "shell/application.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    mw::MerrowindApplication app(argc, argv); // as the program has it
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
