// The MODBUS read test and the IEEE 754 calculator.
#include "ui/form1.h"

namespace kv770::ui {

void TForm1::ConnectModbusToolHandlers() {}
void TForm1::Button4Click() {}
void TForm1::Button13Click() {}

}  // namespace kv770::ui
