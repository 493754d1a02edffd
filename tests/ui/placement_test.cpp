// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>

#include "support/window_fixture.h"
#include "ui/language.h"
#include "ui/placement.h"

namespace kv770::ui {
namespace {

TEST(PlacementTest, DesignedGeometryKeptWhereItFitsElseMovedAndShrunkInside) {
  const QRect designed{94, 171, 1049, 677};  // the form as designed
  struct Case {
    const char* screen;
    QRect available;
    QRect expected;
  } const cases[] = {
      {"1920x1080", {0, 0, 1920, 1080}, designed},
      {"1366x768", {0, 0, 1366, 768}, {94, 91, 1049, 677}},
      {"1280x720", {0, 0, 1280, 720}, {94, 43, 1049, 677}},
      {"1280x720 under a top panel", {0, 32, 1280, 688}, {94, 43, 1049, 677}},
      {"960x540", {0, 0, 960, 540}, {0, 0, 960, 540}},
      {"second screen 1280x720", {1920, 0, 1280, 720}, {1920, 43, 1049, 677}},
  };
  for (const Case& c : cases) EXPECT_EQ(Placement(designed, c.available), c.expected) << c.screen;
}

// The page checks run in each language the window speaks: its captions
// differ in width, and the window is built in the language in force.
class ScrollingPagesTest : public WindowFixture, public ::testing::WithParamInterface<Language> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(UseLanguage(GetParam()));
    WindowFixture::SetUp();
    // The pages' own room: a test before may have left the traffic history
    // shown (the View menu's choice is remembered).
    Find<QAction>(QStringLiteral("TrafficHistoryAction"))->setChecked(false);
  }
  void TearDown() override {
    form.reset();
    UseLanguage(Language::kEnglish);
  }
  void ShowAt(const QRect& available) {
    app::FitWindow(*form, available);
    EXPECT_TRUE(available.contains(form->geometry()));
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  }
  QTabWidget* Pages() const { return Find<QTabWidget>("PageControl1"); }
  QScrollArea* Scroll(int tab) {
    Pages()->setCurrentIndex(tab);
    QApplication::processEvents();
    auto* scroll = qobject_cast<QScrollArea*>(Pages()->widget(tab));
    EXPECT_NE(scroll, nullptr);
    return scroll;
  }
};

TEST_P(ScrollingPagesTest, NoScrollBarAtTheDesignedSize) {
  ShowAt({0, 0, 1920, 1080});
  for (int tab = 0; tab < Pages()->count(); ++tab) {
    QScrollArea* scroll = Scroll(tab);
    EXPECT_FALSE(scroll->horizontalScrollBar()->isVisible()) << tab;
    EXPECT_FALSE(scroll->verticalScrollBar()->isVisible()) << tab;
  }
}

// 1920x1080 at 200 %: the window fits, and every control of every page can
// be scrolled fully into view.
TEST_P(ScrollingPagesTest, EveryControlReachableOn960x540) {
  const QRect available(0, 0, 960, 540);
  ShowAt(available);
  EXPECT_LE(form->minimumSizeHint().width(), available.width());
  EXPECT_LE(form->minimumSizeHint().height(), available.height());
  for (int tab = 0; tab < Pages()->count(); ++tab) {
    QScrollArea* scroll = Scroll(tab);
    for (QWidget* w : scroll->widget()->findChildren<QWidget*>()) {
      if (!(w->focusPolicy() & Qt::TabFocus) || !w->isVisibleTo(scroll->widget())) continue;
      // The whole control, not only its text cursor as ensureWidgetVisible does.
      const QPoint centre = w->mapTo(scroll->widget(), w->rect().center());
      scroll->ensureVisible(centre.x(), centre.y(), w->width() / 2 + 1, w->height() / 2 + 1);
      const QRect shown(w->mapTo(scroll->viewport(), QPoint(0, 0)), w->size());
      EXPECT_TRUE(scroll->viewport()->rect().contains(shown))
          << w->objectName().toStdString() << " on tab " << tab;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Languages, ScrollingPagesTest,
                         ::testing::Values(Language::kEnglish, Language::kChinese),
                         [](const auto& info) {
                           return info.param == Language::kEnglish ? "English" : "Chinese";
                         });

}  // namespace
}  // namespace kv770::ui
