#pragma once
// A test that sets the program's day leaves it set for itself only.

#include "shared/clock.h"

#include <gtest/gtest.h>

namespace mwtest {

inline void resetClockAfterEachTest()
{
    class Listener : public ::testing::EmptyTestEventListener
    {
        void OnTestEnd(const ::testing::TestInfo&) override { mw::Clock::setToday(QDate()); }
    };
    ::testing::UnitTest::GetInstance()->listeners().Append(new Listener);
}

} // namespace mwtest
