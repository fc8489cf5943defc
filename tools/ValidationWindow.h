#pragma once
#include <QDialog>

// "CFG Validation": the window of the range checks. Its contents come with the
// validation work; today it is the empty frame the F9 key and the menu open.
class TForm3 : public QDialog {
  Q_OBJECT
 public:
  explicit TForm3(QWidget* parent = nullptr);
};
