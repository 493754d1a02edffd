// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QJsonObject>
#include <QString>
#include <optional>
#include <vector>

#include "gateway/config.h"

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace kv770::ui {

class Exchanger;
class Requests;

// "Gateway configuration": the gateway's whole configuration in the model
// kv770ctl uses. Read it from the gateway, save it to a backup file, open
// one, compare a file with the gateway, and write it back with a read-back
// that shows what the gateway did not take. Settings show as a table of
// the backup's fields; a value edited there is checked by the backup's own
// reader. While it reads or writes it owns the link, as Live Values does.
class ConfigDialog : public QDialog {
  Q_OBJECT

 public:
  ConfigDialog(Requests& requests, Exchanger& exchanger, QWidget* parent = nullptr);

  void Read();
  void Open();
  void Save();
  void Compare();
  void Write();
  // The MODBUS registers of the configuration shown, for the SCADA side:
  // shown as a table and exported as CSV or, for a file named *.pdf, as a
  // printable page.
  void RegisterMap();

 private:
  enum class Task { kNone, kRead, kCompare, kWrite, kReadBack };

  void ReadGateway(Task task);
  void onAnswered(int index, const QByteArray& reply);
  void onFinished(bool cancelled);
  void SendWrite();
  void ShowConfig(const QString& origin);
  void ShowComparison(const gateway::GatewayConfig& file, const gateway::GatewayConfig& gateway);
  void onCellChanged(int row, int column);
  void SetBusy(bool busy, int steps = 0);
  void Say(const QString& text);

  Requests& requests_;
  Exchanger& exchanger_;
  QLabel* origin_ = nullptr;
  QTableWidget* table_ = nullptr;
  QPlainTextEdit* messages_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* send_ = nullptr;
  std::vector<QPushButton*> actions_;

  std::optional<gateway::GatewayConfig> config_;  // shown and edited
  std::optional<gateway::GatewayConfig> fileConfig_;  // the file being compared
  QString source_;  // where config_ came from, for the backup's "source"
  Task task_ = Task::kNone;
  gateway::GatewayConfig read_;  // the reports read so far
  QStringList readErrors_;
  int answered_ = 0;
  bool filling_ = false;  // the table is being filled, not edited
};

}  // namespace kv770::ui
