// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// kv770ctl run in-process: what it printed and its exit code.

#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include "cli/ctl.h"

namespace kv770::test {

struct Outcome {
  int code = -1;
  QString out;
  QString err;
};

inline Outcome Ctl(const QStringList& arguments) {
  Outcome o;
  QTextStream out(&o.out);
  QTextStream err(&o.err);
  o.code = cli::Run(arguments, out, err);
  return o;
}

inline QJsonObject Json(const QString& text) {
  return QJsonDocument::fromJson(text.toUtf8()).object();
}

}  // namespace kv770::test
