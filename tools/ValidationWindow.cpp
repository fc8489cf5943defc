#include "tools/ValidationWindow.h"

TForm3::TForm3(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("TForm3"));
  setWindowTitle(QStringLiteral("CFG Validation"));
  resize(420, 300);
}
