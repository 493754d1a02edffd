// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QTranslator>
#include <algorithm>
#include <memory>
#include <vector>

namespace kv770::ui {

namespace {

constexpr const char* kLayerContext = "kv770::ui::LayerText";

// What the other layers say in English, as the window may show it. A text
// with %1, %2... holds values the layer put in; the rest is matched word for
// word. These layers stay free of translation: kv770ctl prints them as they
// are, and the trace and the files keep them English.
const char* const kLayerTexts[] = {
    // The request cycle's time-out reports (the phone number follows the maker's name).
    QT_TRANSLATE_NOOP("kv770::ui::LayerText",
                      "Connection timeout, please contact Velmora Electronics%1!"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "parameter query timeout!"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "set timeout"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "!"),
    // Typed numbers.
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "'%1' is not a valid integer value"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "'%1' is out of range (%2 to %3)"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "1 to 14 command bytes"),
    // Typed byte lists and the IEEE 754 calculator's input.
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "NO SPACK"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "Data eeore!"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "input data without spaces"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "there are illegal characters, please re-enter!"),
    // The serial port.
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "Error opening serial port\n%1: %2"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "the port is busy (another program has it open)"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText",
                      "%1. The user must be a member of the group that owns the device (%2), "
                      "for example: sudo usermod -aG %2 $USER, then log in again"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "This serial port already opened"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText",
                      "File handle is not a comm handle \n%1: not a serial device"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "(no port name)"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "Unable to create event"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "Unable to create read thread"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "Unable to create write thread"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "serial number %1"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "%1, serial number %2"),
    // TCP.
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "Asynchronous socket error %1"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "Windows socket error: %1 (%2), on API '%3'"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "Can't change value while socket is active"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "No address specified"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "'%1' is not a numeric IPv4 address"),
    // The system's reasons most often met on a port, a socket or a file.
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "No such file or directory"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "Permission denied"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "Is a directory"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "No space left on device"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "Read-only file system"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "Connection refused"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "Connection timed out"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "No route to host"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "Network is unreachable"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "Broken pipe"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "Connection reset by peer"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "Input/output error"),
    // Live values: status words, quantities and units.
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "ok"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "no answer"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "bad reply"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "current"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "variable %1"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "unit code %1"),
    // Live values: why a session could not start, and what it left out.
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "no answer from the gateway to %1"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText",
                      "meter %1 does not exist: the gateway has meters 1 to 8"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText",
                      "no meter is enabled in the gateway's MODBUS mapping: name the meters to "
                      "watch"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText",
                      "the gateway's slave address %1 does not fit a MODBUS frame"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "no instrument answered on the channels watched"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText",
                      "channel %1: command 3 unanswered; its units are not known yet"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText",
                      "channel %1: command 3 not valid: %2; its units are not known yet"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText",
                      "channel %1 left out: no instrument answered command 0"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText",
                      "channel %1 left out: command 0 answered with no valid reply: %2"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText",
                      "channel %1 left out: the gateway did not answer its HCS command"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "communication error %1"),
    // HART replies that do not check.
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "no HART reply in it (no FF 06 or FF 86)"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "delimiter %1 where %2 answers the request"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "the reply ends before its byte count"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "byte count %1, but %2 bytes follow it"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "check byte %1 where %2 was expected"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "address %1 where %2 was sent"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "command %1 where command %2 was sent"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText",
                      "byte count %1 leaves no room for the response code and device status"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText",
                      "the instrument answered with response code %1 (%2) and no data"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText",
                      "the instrument answered with response code %1 and no data"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText",
                      "byte count %1 is too short for command %2 (%3 at least)"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "communication error"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "invalid selection"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "too few data bytes received"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "device-specific command error"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "access restricted"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "busy"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "command not implemented"),
    // The configuration's commands as a write names them, and a setting the
    // read-back found different.
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "working mode"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "slave address"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "polling interval"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "RS-485 settings"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "meter %1 polling set-up"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "meter %1 byte orders"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "meter %1 coefficients"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "meter %1 custom parsing format"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "meter %1 read-meter command %2"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "%1: %2 wanted, the gateway has %3"),
    // The register map's column texts and notes.
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "IEEE 754 float"),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText",
                      "The gateway is in transparent mode: it presents these registers in "
                      "MODBUS RTU mode only."),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText",
                      "The working mode is not set: it presents these registers in MODBUS RTU "
                      "mode only."),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText",
                      "Meter %1 (custom meter): variable %2 not parsed from any reply; its "
                      "registers hold no value."),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText",
                      "Meter %1 (custom meter): variables %2 not parsed from any reply; their "
                      "registers hold no value."),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText",
                      "Meters %1 (custom meters): variable %2 not parsed from any reply; its "
                      "registers hold no value."),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText",
                      "Meters %1 (custom meters): variables %2 not parsed from any reply; their "
                      "registers hold no value."),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText", "No meter is enabled: the registers hold no value."),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText",
                      "Meter %1 disabled: the gateway does not poll it, so its registers hold "
                      "no value."),
    QT_TRANSLATE_NOOP("kv770::ui::LayerText",
                      "Meters %1 disabled: the gateway does not poll them, so their registers "
                      "hold no value."),
};

// A text with values: the English as a pattern whose %n capture the values.
struct Pattern {
  const char* source;
  QRegularExpression match;
  int literal = 0;  // characters of its own: the more, the more telling a match
};

const std::vector<Pattern>& Patterns() {
  static const std::vector<Pattern> patterns = [] {
    static const QRegularExpression placeholder(QStringLiteral("%([1-9])"));
    std::vector<Pattern> list;
    for (const char* source : kLayerTexts) {
      const QString text = QString::fromUtf8(source);
      if (!placeholder.match(text).hasMatch()) continue;
      QString expression = QStringLiteral("^");
      int literal = 0;
      qsizetype at = 0;
      QList<QChar> seen;
      for (QRegularExpressionMatchIterator it = placeholder.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString before = text.mid(at, m.capturedStart() - at);
        expression += QRegularExpression::escape(before);
        literal += static_cast<int>(before.size());
        const QChar n = m.captured(1)[0];
        // A value named twice is the same value both times.
        expression += seen.contains(n) ? QStringLiteral("\\k<v%1>").arg(n)
                                       : QStringLiteral("(?<v%1>.*?)").arg(n);
        seen << n;
        at = m.capturedEnd();
      }
      expression += QRegularExpression::escape(text.mid(at)) + QStringLiteral("$");
      literal += static_cast<int>(text.size() - at);
      list.push_back(
          {source, QRegularExpression(expression, QRegularExpression::DotMatchesEverythingOption),
           literal});
    }
    std::stable_sort(list.begin(), list.end(),
                     [](const Pattern& a, const Pattern& b) { return a.literal > b.literal; });
    return list;
  }();
  return patterns;
}

// `form` with each %n replaced by values[n - 1], in one pass, so that a value
// holding "%1" stays as it is.
QString Fill(const QString& form, const QStringList& values) {
  QString out;
  for (qsizetype i = 0; i < form.size(); ++i) {
    if (form[i] == QLatin1Char('%') && i + 1 < form.size() && form[i + 1] >= QLatin1Char('1') &&
        form[i + 1] <= QLatin1Char('9')) {
      const qsizetype n = form[i + 1].unicode() - '1';
      if (n < values.size()) {
        out += values[n];
        ++i;
        continue;
      }
    }
    out += form[i];
  }
  return out;
}

QString Translate(const QString& english, int depth) {
  if (english.isEmpty() || depth > 3) return english;
  const QByteArray key = english.toUtf8();
  const QString whole = QCoreApplication::translate(kLayerContext, key.constData());
  if (whole != english) return whole;
  for (const Pattern& p : Patterns()) {
    const QRegularExpressionMatch m = p.match.match(english);
    if (!m.hasMatch()) continue;
    const QString form = QCoreApplication::translate(kLayerContext, p.source);
    if (form == QString::fromUtf8(p.source)) return english;  // no translation: as it came
    QStringList values;
    for (int n = 1; n <= 9; ++n) {
      const QString name = QStringLiteral("v%1").arg(n);
      if (!p.match.namedCaptureGroups().contains(name)) break;
      values << Translate(m.captured(name), depth + 1);
    }
    return Fill(form, values);
  }
  return english;
}

// The translators installed, kept until another language replaces them.
std::vector<std::unique_ptr<QTranslator>>& Installed() {
  static std::vector<std::unique_ptr<QTranslator>> translators;
  return translators;
}

}  // namespace

std::optional<Language> LanguageNamed(const QString& name) {
  if (name == QLatin1String("en")) return Language::kEnglish;
  if (name == QLatin1String("zh_CN")) return Language::kChinese;
  return std::nullopt;
}

Language SystemLanguage() {
  return QLocale::system().name() == QLatin1String("zh_CN") ? Language::kChinese
                                                            : Language::kEnglish;
}

bool UseLanguage(Language language) {
  for (const std::unique_ptr<QTranslator>& t : Installed())
    QCoreApplication::removeTranslator(t.get());
  Installed().clear();
  if (language == Language::kEnglish) return true;

  // Qt's own texts first: a translator installed later is asked first, and
  // the window's own must win where both know a text.
  auto qt = std::make_unique<QTranslator>();
  if (qt->load(QStringLiteral("qtbase_zh_CN"),
               QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(qt.get());
    Installed().push_back(std::move(qt));
  }
  auto own = std::make_unique<QTranslator>();
  if (!own->load(QStringLiteral(":/i18n/kv770-config_zh_CN.qm"))) return false;
  QCoreApplication::installTranslator(own.get());
  Installed().push_back(std::move(own));
  return true;
}

QString LayerText(const QString& english) {
  return Translate(english, 0);
}

}  // namespace kv770::ui
