#pragma once
#include <QMessageBox>
#include <QString>
#include <optional>

class QWidget;

// Every dialog the program shows goes through this interface: the program uses
// the real Qt dialogs (QtPrompts), tests a scripted fake that answers and
// records what was asked, so nothing modal blocks a headless run.
class Prompts {
 public:
  virtual ~Prompts() = default;
  // File-open dialog; nullopt when cancelled.
  // start: the file name the dialog offers first (its folder is where it opens).
  virtual std::optional<QString> openFile(QWidget* parent, const QString& title, const QString& filter,
                                          const QString& start = {}) = 0;
  // File-save dialog prefilled with proposed; the program asks its own overwrite question.
  virtual std::optional<QString> saveFile(QWidget* parent, const QString& title, const QString& filter,
                                          const QString& proposed) = 0;
  // Folder picker starting at start; nullopt when cancelled.
  virtual std::optional<QString> pickFolder(QWidget* parent, const QString& title, const QString& start) = 0;
  // One-line input box; nullopt when cancelled or closed.
  virtual std::optional<QString> askText(QWidget* parent, const QString& title, const QString& label,
                                         const QString& value) = 0;
  // Message box; returns the button pressed (the escape button when closed).
  virtual QMessageBox::StandardButton message(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                              const QString& text,
                                              QMessageBox::StandardButtons buttons = QMessageBox::Ok) = 0;
  // A message box whose buttons carry captions of their own ("Recover", "Later"):
  // each standard button with the text it shows. By default a plain message box.
  virtual QMessageBox::StandardButton choose(
      QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
      const QList<QPair<QMessageBox::StandardButton, QString>>& buttons) {
    QMessageBox::StandardButtons all;
    for (const auto& b : buttons) all |= b.first;
    return message(parent, icon, title, text, all);
  }
};

class QtPrompts : public Prompts {
 public:
  std::optional<QString> openFile(QWidget* parent, const QString& title, const QString& filter,
                                  const QString& start = {}) override;
  std::optional<QString> saveFile(QWidget* parent, const QString& title, const QString& filter,
                                  const QString& proposed) override;
  std::optional<QString> pickFolder(QWidget* parent, const QString& title, const QString& start) override;
  std::optional<QString> askText(QWidget* parent, const QString& title, const QString& label,
                                 const QString& value) override;
  QMessageBox::StandardButton message(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                      const QString& text, QMessageBox::StandardButtons buttons) override;
  QMessageBox::StandardButton choose(
      QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
      const QList<QPair<QMessageBox::StandardButton, QString>>& buttons) override;
};

// For runs without anyone to answer (a scripted screenshot): every question is
// written to standard error and answered with its way out (Cancel, No, Later);
// no dialog ever waits for a user.
class ConsolePrompts : public Prompts {
 public:
  std::optional<QString> openFile(QWidget*, const QString& title, const QString&,
                                  const QString& = {}) override;
  std::optional<QString> saveFile(QWidget*, const QString& title, const QString&, const QString&) override;
  std::optional<QString> pickFolder(QWidget*, const QString& title, const QString&) override;
  std::optional<QString> askText(QWidget*, const QString& title, const QString&, const QString&) override;
  QMessageBox::StandardButton message(QWidget*, QMessageBox::Icon, const QString& title, const QString& text,
                                      QMessageBox::StandardButtons buttons) override;
};

// The application title: main window caption and the caption of message boxes.
inline QString applicationTitle() { return QStringLiteral("Tessary - SubSpace (Continuum) Config Editor"); }
