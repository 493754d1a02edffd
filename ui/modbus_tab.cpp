#include "ui/form1.h"
namespace kv770::ui {
void TForm1::BuildModbusTab(QWidget* page) { (void)page; }
}  // namespace kv770::ui
