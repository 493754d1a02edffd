#pragma once

// The window's controls, one struct per tab or area, named by what each
// control is. Every control keeps the name it bears in the form as its
// objectName (Edit8, ComboBox41, XISHU1); docs/controls.md maps one name to
// the other. The window owns the widgets through Qt's parent chain; these
// are plain pointers to them.
#include <array>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kv770::ui {

// "System Parameter": the link to the gateway and the gateway's own settings.
struct SystemControls {
  QComboBox* linkChoice = nullptr;  // serial port or TCP
  // Serial link
  QGroupBox* serialGroup = nullptr;
  QComboBox* serialPort = nullptr;
  QComboBox* serialBaud = nullptr;
  QComboBox* serialParity = nullptr;
  QPushButton* openPort = nullptr;  // "Open" / "close"
  // Crossed on purpose: "COM_RTS" drives DTR and "COM_DTR" drives RTS.
  QCheckBox* comRts = nullptr;
  QCheckBox* comDtr = nullptr;
  // TCP link
  QGroupBox* tcpGroup = nullptr;
  QLineEdit* tcpAddress = nullptr;
  QLineEdit* tcpPort = nullptr;
  QLabel* tcpStatus = nullptr;
  QPushButton* tcpConnect = nullptr;
  QPushButton* tcpDisconnect = nullptr;
  QPushButton* makerProgram = nullptr;  // starts the maker's own program
  // Gateway settings, each with its "Set"
  QGroupBox* rs485Group = nullptr;
  QComboBox* rs485Baud = nullptr;
  QComboBox* rs485Parity = nullptr;
  QPushButton* rs485Set = nullptr;
  QGroupBox* slaveAddressGroup = nullptr;
  QLineEdit* slaveAddress = nullptr;
  QPushButton* slaveAddressSet = nullptr;
  QGroupBox* workingModeGroup = nullptr;
  QComboBox* workingMode = nullptr;
  QPushButton* workingModeSet = nullptr;
  QGroupBox* pollingGroup = nullptr;
  QLineEdit* pollingInterval = nullptr;  // in units of 10 ms
  QPushButton* pollingIntervalSet = nullptr;
  // Board serial number and inspector
  QGroupBox* boardGroup = nullptr;
  QLineEdit* boardSerial = nullptr;
  QComboBox* inspector = nullptr;
  QPushButton* boardSet = nullptr;
  // Requests
  QPushButton* communicationQuery = nullptr;
  QPushButton* systemQuery = nullptr;
  QPushButton* parameterReset = nullptr;
};

// "Transparent Mode": HART through the gateway.
struct HartControls {
  QGroupBox* group = nullptr;
  QLineEdit* preambleLength = nullptr;  // of the frames this window builds
  QComboBox* hartAddress = nullptr;     // the gateway's; also chooses the meter
  QComboBox* commandMode = nullptr;     // master or secondary master
  QPushButton* addressSet = nullptr;
  // Identity, from HART command 0
  QGroupBox* identityGroup = nullptr;
  QLineEdit* manufacturerId = nullptr;
  QLineEdit* sensorType = nullptr;
  QLineEdit* preambleCount = nullptr;
  QLineEdit* sensorSerial = nullptr;
  QPushButton* identityQuery = nullptr;
  // Dynamic variables, from HART command 3
  QGroupBox* variablesGroup = nullptr;
  struct Variable {
    QLineEdit* value = nullptr;
    QComboBox* unit = nullptr;
  };
  std::array<Variable, 4> variables;
  QPushButton* variablesQuery = nullptr;
  // A typed request from its delimiter on
  QGroupBox* manualGroup = nullptr;
  QLineEdit* manualCommand = nullptr;
  QLabel* checksumNote = nullptr;
  QPushButton* manualSend = nullptr;
};

}  // namespace kv770::ui
