// SPDX-License-Identifier: GPL-3.0-or-later
// The window in Simplified Chinese: no caption left in English, and what
// the other layers say translated where the window shows it. (The pages'
// fit in Chinese is checked with the English in placement_test.cpp.)
#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QRegularExpression>
#include <QTabWidget>

#include "support/window_fixture.h"
#include "ui/language.h"

namespace kv770::ui {
namespace {

// Every text a person reads or hears of the window's own making, the
// configuration window's too, each control's in the order the controls
// were made: captions, group titles,
// tab and menu texts, tooltips, accessible names and descriptions. List
// entries are left out: most are values (rates, units, model names).
QStringList Captions(QWidget& window) {
  // The configuration window is made when first asked for (here with
  // nothing to map: it says so to the sink).
  window.findChild<QAction*>(QStringLiteral("RegisterMapAction"))->trigger();
  QStringList texts;
  for (QWidget* w : window.findChildren<QWidget*>()) {
    if (w->objectName().startsWith(QLatin1String("ContactLine"))) continue;  // the maker's address
    if (auto* label = qobject_cast<QLabel*>(w)) texts << label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(w)) texts << button->text();
    if (auto* group = qobject_cast<QGroupBox*>(w)) texts << group->title();
    if (auto* tabs = qobject_cast<QTabWidget*>(w))
      for (int i = 0; i < tabs->count(); ++i) texts << tabs->tabText(i);
    texts << w->toolTip() << w->accessibleName() << w->accessibleDescription();
  }
  for (QAction* action : window.findChildren<QAction*>()) texts << action->text();
  return texts;
}

class ChineseWindow : public WindowFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(UseLanguage(Language::kChinese));
    WindowFixture::SetUp();
  }
  void TearDown() override {
    form.reset();
    UseLanguage(Language::kEnglish);
  }
};

// A text the same in both windows that still holds an English word: a
// caption that missed its translation. Names of protocols, signals and
// units are the same in any language.
TEST_F(ChineseWindow, NoCaptionLeftInEnglish) {
  ASSERT_TRUE(UseLanguage(Language::kEnglish));
  const QStringList english = Captions(*app::MakeWindow(&messages));
  ASSERT_TRUE(UseLanguage(Language::kChinese));
  const QStringList chinese = Captions(*form);
  ASSERT_EQ(english.size(), chinese.size());
  static const QRegularExpression word(QStringLiteral("[A-Za-z]{2,}"));
  static const QRegularExpression kept(
      QStringLiteral("^(KV770|HART|MODBUS|Modbus|RTU|ADR|COM|RTS|DTR|PCBSN|IEEE754|HEX|FF|TCP|IP|"
                     "RS485|CSV|ms|kv770|config)$"));
  QStringList untranslated;
  for (qsizetype i = 0; i < english.size(); ++i) {
    if (english[i] != chinese[i]) continue;
    for (auto it = word.globalMatch(english[i]); it.hasNext();)
      if (!kept.match(it.next().captured()).hasMatch()) {
        untranslated << english[i];
        break;
      }
  }
  EXPECT_TRUE(untranslated.isEmpty()) << untranslated.join(QStringLiteral(" | ")).toStdString();
}

// What the calculator's input check and the request cycle's number check
// say reaches the message box in Chinese, the typed value kept.
TEST_F(ChineseWindow, OtherLayersComplaintsShownInChinese) {
  Type(QStringLiteral("Edit7"), QStringLiteral("zz"));
  Click(QStringLiteral("Button13"));  // "Calculation"
  Type(QStringLiteral("Edit18"), QStringLiteral("300"));
  Click(QStringLiteral("Button4"));  // "MODBUS Comm Test"
  EXPECT_EQ(messages.shown, (QStringList{QStringLiteral("含有非法字符，请重新输入！"),
                                         QStringLiteral("“300”超出范围（0 至 255）")}));
}

// Texts of other layers with values in them: the values kept as they came
// (a value with a % in it too), a value that is itself a known text
// translated, a value named twice matched as one; unknown texts, and any
// text while the window speaks English, unchanged.
TEST(LayerTextTest, KnownTextsTranslatedWithTheirValues) {
  struct Case {
    const char* english;
    const char* chinese;
  } const cases[] = {
      {"'%1x' is not a valid integer value", "“%1x”不是有效的整数值"},
      {"Error opening serial port\n/dev/ttyUSB0 (COM4): the port is busy (another program has it "
       "open)",
       "打开串口出错\n/dev/ttyUSB0 (COM4)：端口忙（另一个程序已打开它）"},
      {"Permission denied. The user must be a member of the group that owns the device (dialout), "
       "for example: sudo usermod -aG dialout $USER, then log in again",
       "权限不够。用户必须是拥有该设备的组（dialout）的成员，例如：sudo usermod -aG dialout "
       "$USER，然后重新登录"},
      {"Permission denied. The user must be a member of the group that owns the device (dialout), "
       "for example: sudo usermod -aG uucp $USER, then log in again",
       "Permission denied. The user must be a member of the group that owns the device (dialout), "
       "for example: sudo usermod -aG uucp $USER, then log in again"},
      {"channel 2 left out: command 0 answered with no valid reply: check byte 3A where 2B was "
       "expected",
       "通道 2 已略过：命令 0 的应答无效：校验字节为 3A，应为 2B"},
      {"Connection timeout, please contact Velmora Electronics400-555-0770!",
       "连接超时，请联系 Velmora Electronics 400-555-0770！"},
      {"unit code 200 ×1.000", "单位代码 200 ×1.000"},
      {"m³/h ×2.5", "m³/h ×2.5"},
  };
  ASSERT_TRUE(UseLanguage(Language::kChinese));
  for (const Case& c : cases)
    EXPECT_EQ(LayerText(QString::fromUtf8(c.english)), QString::fromUtf8(c.chinese)) << c.english;
  ASSERT_TRUE(UseLanguage(Language::kEnglish));
  for (const Case& c : cases)
    EXPECT_EQ(LayerText(QString::fromUtf8(c.english)), QString::fromUtf8(c.english)) << c.english;
}

}  // namespace
}  // namespace kv770::ui
