// HART through the gateway: its HART settings, the identity and
// dynamic-variable queries, typed commands and the custom-meter parsing.
#include "ui/form1.h"

namespace kv770::ui {

void TForm1::ConnectHartHandlers() {}
void TForm1::Button3Click() {}
void TForm1::ComboBox30Change() {}
void TForm1::Button7Click() {}
void TForm1::DecodeHartIdentity() {}
void TForm1::Button16Click() {}
void TForm1::DecodeHartVariables() {}
void TForm1::Button20Click() {}
void TForm1::Button17Click() {}
void TForm1::Button18Click() {}
void TForm1::Button12Click() {}
void TForm1::Button5Click() {}
void TForm1::ComboBox17Change() {}

}  // namespace kv770::ui
