// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The window's controls, one struct per tab or area, named by what each
// control is. Every control keeps the name it bears in the form as its
// objectName (shared.sendBuffer, ComboBox41, XISHU1); docs/controls.md maps one name to
// the other. The window owns the widgets through Qt's parent chain; these
// are plain pointers to them.
#include <array>

class QChartView;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTableWidget;
class QWidget;

namespace kv770::ui {

class ClickLabel;

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

// "MODBUS Parameter Configuration": the mapping of one meter.
struct MappingControls {
  QPushButton* mappingQuery = nullptr;  // reads the chosen meter's mapping
  QGroupBox* group = nullptr;
  QComboBox* meter = nullptr;
  QComboBox* enable = nullptr;
  QComboBox* deviceMode = nullptr;
  QComboBox* instrumentType = nullptr;  // 0 is a custom meter
  QComboBox* preambleLength = nullptr;
  QLineEdit* bufferClearTime = nullptr;  // seconds
  QPushButton* setupSet = nullptr;
  // Captions the row "Current"; time-outs of queries and settings write here.
  QLabel* currentLabel = nullptr;
  // The current (40001) and the four variables, each a register pair.
  std::array<QLabel*, 5> registerLabels{};
  std::array<QComboBox*, 5> byteOrders{};
  QPushButton* byteOrdersSet = nullptr;
  std::array<QLineEdit*, 4> coefficients{};
  QPushButton* coefficientsSet = nullptr;
  QPushButton* channelTest = nullptr;
};

// How the gateway reads a custom meter: its two read commands and where
// each variable lies in the reply. Shown for a custom meter only.
struct ParsingControls {
  QGroupBox* group = nullptr;
  struct ReadCommand {
    QComboBox* enable = nullptr;
    QLineEdit* bytes = nullptr;
    QPushButton* set = nullptr;
  };
  std::array<ReadCommand, 2> readCommands;
  QGroupBox* formatGroup = nullptr;
  QComboBox* addressBits = nullptr;
  struct Row {
    QComboBox* command = nullptr;  // which read command carries the variable
    QLineEdit* start = nullptr;
    QComboBox* length = nullptr;
  };
  std::array<Row, 4> rows;
  QPushButton* formatSet = nullptr;
};

// A MODBUS read through the gateway: RTU on the serial line, MODBUS TCP.
struct ModbusTestControls {
  QGroupBox* group = nullptr;
  QLineEdit* slaveAddress = nullptr;
  QLineEdit* startAddress = nullptr;
  QLineEdit* length = nullptr;
  QPushButton* send = nullptr;
};

// Four bytes to the value they carry.
struct CalculatorControls {
  QGroupBox* group = nullptr;
  QLineEdit* hexInput = nullptr;
  QPushButton* calculate = nullptr;
  QLineEdit* value = nullptr;
};

// The title line, the tabs and the wiring picture.
struct FrameControls {
  QLabel* logo = nullptr;
  QLabel* title = nullptr;
  std::array<QLabel*, 3> contactLines{};
  // Captionless areas: a double-click sends a service command.
  ClickLabel* serviceArea0 = nullptr;
  ClickLabel* serviceArea1 = nullptr;
  QTabWidget* pages = nullptr;
  QWidget* systemPage = nullptr;
  QWidget* transparentPage = nullptr;
  QWidget* modbusPage = nullptr;
  QWidget* wiringPage = nullptr;
  QWidget* livePage = nullptr;
};

// "Live Values": the gateway's values polled at an interval, as a chart and
// as a table of the latest ones (ui/live_tab.cpp).
struct LiveControls {
  QPushButton* startStop = nullptr;    // "Start" / "Stop"
  QSpinBox* interval = nullptr;        // from the start of one poll to the next, ms
  std::array<QCheckBox*, 8> meters{};  // meters (or HART channels) 1..8 to watch
  QCheckBox* pause = nullptr;          // the chart stops scrolling; values keep coming
  QPushButton* resetZoom = nullptr;
  QPushButton* saveCsv = nullptr;
  QLabel* status = nullptr;  // phase, poll count, what went wrong
  QChartView* chart = nullptr;
  QTableWidget* table = nullptr;  // one row per meter and quantity: the latest value
};

// The send and receive buffers below the tabs, shared by every request.
struct SharedControls {
  QLabel* sendLabel = nullptr;
  QLineEdit* sendBuffer = nullptr;
  QLabel* receiveLabel = nullptr;
  QPlainTextEdit* receiveBuffer = nullptr;
  QPushButton* clearReceive = nullptr;
};

}  // namespace kv770::ui
