// Opening and closing the serial port, and what arrives on it.
#include "ui/form1.h"

namespace kv770::ui {

void TForm1::ConnectSerialHandlers() {}
void TForm1::Button1Click() {}
void TForm1::Timer4Timer() {}
void TForm1::Comm1ReceiveData(const char*, std::uint16_t) {}

}  // namespace kv770::ui
