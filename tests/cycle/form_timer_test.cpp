// SPDX-License-Identifier: GPL-3.0-or-later
#include "cycle/form_timer.h"

#include <gtest/gtest.h>
#include <QElapsedTimer>
#include <QTest>

namespace kv770::cycle {
namespace {

// Waits until the timer has fired `count` times; returns the time it took.
qint64 MsUntilFired(FormTimer& timer, int count = 1, int limitMs = 3000) {
  int fired = 0;
  auto connection = QObject::connect(&timer, &FormTimer::OnTimer, [&] { ++fired; });
  QElapsedTimer clock;
  clock.start();
  (void)QTest::qWaitFor([&] { return fired >= count; }, limitMs);
  QObject::disconnect(connection);
  return fired >= count ? clock.elapsed() : -1;
}

TEST(FormTimer, StartsEnabledLikeAFormTimerAndStopsWhenDisabled) {
  FormTimer timer(100);
  EXPECT_TRUE(timer.Enabled());
  EXPECT_TRUE(timer.Running());
  timer.SetEnabled(false);
  EXPECT_FALSE(timer.Running());
  EXPECT_EQ(MsUntilFired(timer, 1, 300), -1);
}

// A countdown is seen through its remaining time: after a wait of at least
// 50 ms, one that kept running has at most interval - 50 ms left, one that
// restarted has nearly all of it, however slow the machine is.
TEST(FormTimer, EnablingARunningTimerDoesNotRestartItsCountdown) {
  FormTimer timer(10000);
  timer.SetEnabled(false);
  timer.SetEnabled(true);
  QTest::qWait(50);
  timer.SetEnabled(true);  // must not restart the countdown
  EXPECT_LE(timer.RemainingMs(), 10000 - 50);
}

TEST(FormTimer, TheSameIntervalKeepsTheCountdownAnotherRestartsIt) {
  FormTimer timer(10000);
  QTest::qWait(50);
  timer.SetInterval(10000);
  EXPECT_LE(timer.RemainingMs(), 10000 - 50);

  timer.SetInterval(20000);  // restarts with the new interval
  EXPECT_GT(timer.RemainingMs(), 10000);
  EXPECT_EQ(timer.Interval(), 20000);
}

TEST(FormTimer, IntervalSetWhileDisabledWaitsForTheNextEnable) {
  FormTimer timer(1000);
  timer.SetEnabled(false);
  timer.SetInterval(100);
  EXPECT_FALSE(timer.Running());
  EXPECT_EQ(timer.Interval(), 100);
  timer.SetEnabled(true);
  EXPECT_GE(MsUntilFired(timer), 0);
}

TEST(FormTimer, ZeroIntervalNeverFiresAndRepeatsOtherwise) {
  FormTimer timer(0);
  EXPECT_FALSE(timer.Running());
  EXPECT_EQ(MsUntilFired(timer, 1, 200), -1);
  timer.SetInterval(50);
  EXPECT_GE(MsUntilFired(timer, 3), 0);
}

}  // namespace
}  // namespace kv770::cycle
