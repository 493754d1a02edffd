// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/poll_dispatcher.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QMetaObject>
#include <QMutex>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <string>
#include <vector>

namespace kv770::sim {
namespace {

// A thread running the loop, driven from this one as SimThread does:
// timers fire in the order they fall due (however late the thread gets to
// them), a notifier hears its descriptor, an object deleted from its own
// handler goes quietly, and the loop quits when told from outside.
TEST(PollDispatcher, RunsAThreadsTimersNotifiersAndQuitting) {
  QThread thread;
  thread.setEventDispatcher(new PollDispatcher);
  thread.start();
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, pair), 0);

  QMutex mutex;
  std::vector<std::string> seen;
  const auto record = [&](const std::string& what) {
    const QMutexLocker lock(&mutex);
    seen.push_back(what);
  };
  // Deleted in its thread as the thread winds down.
  auto* context = new QObject;
  context->moveToThread(&thread);
  QObject::connect(&thread, &QThread::finished, context, &QObject::deleteLater);
  int ticks = 0;
  QMetaObject::invokeMethod(
      context,
      [&, context] {
        QTimer::singleShot(80, context, [&] { record("late"); });
        QTimer::singleShot(30, context, [&] { record("early"); });
        auto* repeating = new QTimer(context);
        QObject::connect(repeating, &QTimer::timeout, context, [&, repeating] {
          if (++ticks == 3) {
            record("three ticks");
            repeating->deleteLater();
          }
        });
        repeating->start(1);
        auto* notifier = new QSocketNotifier(pair[0], QSocketNotifier::Read, context);
        QObject::connect(notifier, &QSocketNotifier::activated, context, [&, notifier] {
          char bytes[8];
          const ssize_t n = ::read(pair[0], bytes, sizeof bytes);
          record("read " + std::string(bytes, static_cast<std::size_t>(std::max<ssize_t>(n, 0))));
          delete notifier;
        });
        // Late for every timer: all of them fall due before the loop looks.
        QThread::msleep(120);
      },
      Qt::BlockingQueuedConnection);
  ASSERT_EQ(::write(pair[1], "ab", 2), 2);

  const QDeadlineTimer deadline(10000);
  const auto count = [&] {
    const QMutexLocker lock(&mutex);
    return seen.size();
  };
  while (count() < 4 && !deadline.hasExpired()) QThread::msleep(5);
  thread.quit();
  EXPECT_TRUE(thread.wait(QDeadlineTimer(10000)));
  ::close(pair[0]);
  ::close(pair[1]);

  ASSERT_EQ(seen.size(), 4u);
  const auto at = [&](const std::string& what) {
    return std::find(seen.begin(), seen.end(), what) - seen.begin();
  };
  EXPECT_LT(at("early"), at("late"));
  EXPECT_LT(at("three ticks"), 4);
  EXPECT_LT(at("read ab"), 4);
}

}  // namespace
}  // namespace kv770::sim
