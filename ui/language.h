// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <optional>

namespace kv770::ui {

// The languages the window speaks: English, its own, and Simplified Chinese.
enum class Language { kEnglish, kChinese };

// The language a name chooses ("en", "zh_CN"); none for any other name.
std::optional<Language> LanguageNamed(const QString& name);

// The system locale's choice: Chinese for zh_CN, English for anything else.
Language SystemLanguage();

// Installs the window's translation for `language` (compiled into the
// program) and Qt's own for its dialogs and standard buttons (Debian's
// qt6-translations-l10n, where installed); English takes both away. Call
// it before the window is made: the window's texts are set as it is built.
// False when the window's own translation could not be loaded.
bool UseLanguage(Language language);

// A text that another layer made in English (a link's error, a time-out
// report, a live status word, a typed-input complaint) in the window's
// language. Known texts are translated whole; a known text with values in
// it (an address, a device, a number) keeps its values, which are
// translated in turn where they are texts themselves. Anything else, and
// everything in English, is returned as it is.
QString LayerText(const QString& english);

}  // namespace kv770::ui
