#include "cycle/form_timer.h"

#include <QElapsedTimer>
#include <QTest>
#include <gtest/gtest.h>

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

TEST(FormTimer, EnablingARunningTimerDoesNotRestartItsCountdown) {
  FormTimer timer(400);
  timer.SetEnabled(false);
  timer.SetEnabled(true);
  QElapsedTimer clock;
  clock.start();
  QTest::qWait(250);
  timer.SetEnabled(true);  // must not push the deadline to 650 ms
  MsUntilFired(timer);
  EXPECT_LT(clock.elapsed(), 560);
}

TEST(FormTimer, TheSameIntervalKeepsTheCountdownAnotherRestartsIt) {
  FormTimer timer(400);
  QElapsedTimer clock;
  clock.start();
  QTest::qWait(250);
  timer.SetInterval(400);
  MsUntilFired(timer);
  EXPECT_LT(clock.elapsed(), 560);

  clock.restart();
  QTest::qWait(250);
  timer.SetInterval(300);  // restarts: fires about 300 ms from here
  MsUntilFired(timer);
  EXPECT_GE(clock.elapsed(), 540);
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
