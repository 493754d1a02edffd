// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <QAccessible>
#include <QPushButton>
#include <QStringList>

#include "support/window_fixture.h"

namespace kv770::ui {
namespace {

using AccessibilityTest = WindowFixture;

QString AccessibleName(QObject* object) {
  return QAccessible::queryAccessibleInterface(object)->text(QAccessible::Name);
}

TEST_F(AccessibilityTest, ButtonNameFollowsItsCaption) {
  QPushButton* open = Find<QPushButton>("Button1");
  ASSERT_EQ(AccessibleName(open), QStringLiteral("Open"));
  open->setText(QStringLiteral("close"));
  EXPECT_EQ(AccessibleName(open), QStringLiteral("close"));
}

TEST_F(AccessibilityTest, WindowIsAnnouncedAsAWindowByItsTitle) {
  QAccessibleInterface* window = QAccessible::queryAccessibleInterface(form.get());
  EXPECT_EQ(window->role(), QAccessible::Window);
  EXPECT_EQ(window->text(QAccessible::Name), QStringLiteral("KV770-W"));
}

TEST_F(AccessibilityTest, TabFollowsReadingOrderOnTheTransparentTab) {
  const QStringList expected = {"Edit9",     "ComboBox30", "ComboBox42", "Button3", "Edit28",
                                "Edit29",    "Edit31",     "Edit32",     "Button7", "Edit25",
                                "ComboBox3", "Edit26",     "ComboBox31", "Edit27",  "ComboBox32",
                                "Edit30",    "ComboBox33", "Button16",   "Edit10",  "Button20"};
  QWidget* page = Find("TabSheet2");
  QWidget* first = Find("Edit9");
  QStringList visited;
  QWidget* w = first;
  do {
    if (page->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus)) visited << w->objectName();
    w = w->nextInFocusChain();
  } while (w != first);
  EXPECT_EQ(visited, expected);
}

}  // namespace
}  // namespace kv770::ui
