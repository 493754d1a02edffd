// The gateway's own settings: system parameters, the MODBUS mapping of each
// meter, and the two reports that read them back.
#include "ui/form1.h"

namespace kv770::ui {

void TForm1::ConnectGatewayHandlers() {}
bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  return QWidget::eventFilter(watched, event);
}
void TForm1::Button9Click() {}
void TForm1::Button24Click() {}
void TForm1::Button29Click() {}
void TForm1::Edit14Change() {}
void TForm1::Button27Click() {}
void TForm1::Button30Click() {}
void TForm1::Label8DblClick() {}
void TForm1::Label16DblClick() {}
void TForm1::Button60Click() {}
void TForm1::Button14Click() {}
void TForm1::Button23Click() {}
void TForm1::DecodeSystemReport() {}
void TForm1::Button10Click() {}
void TForm1::Button21Click() {}
void TForm1::Button15Click() {}
void TForm1::ComboBox41Change() {}
void TForm1::Button31Click() {}
void TForm1::DecodeModbusReport() {}

}  // namespace kv770::ui
