#pragma once
#include <QDialog>

#include "update/VersionInfo.h"

class QLabel;
class TCRPanel;

// "About": the program's name, its build number read from the executable's own
// version block at each activation, and the scrolling credits.
class TAboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit TAboutBox(QWidget* parent = nullptr);
  static QStringList creditLines();
  void FormActivate();
  void showAbout();  // modal, centred on the screen
  TVersionInfo& versionInfo() { return m_version; }

 protected:
  bool event(QEvent* event) override;

 private:
  TVersionInfo m_version;
  QLabel* m_build = nullptr;
  TCRPanel* m_credits = nullptr;
};
