#include <QCloseEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <cstdio>

#include "components/Prompts.h"

std::optional<QString> QtPrompts::openFile(QWidget* parent, const QString& title, const QString& filter,
                                           const QString& start) {
  // Name filters match without regard to letter case (continuum.exe is Continuum.exe under Wine).
  const QString name = QFileDialog::getOpenFileName(parent, title, start, filter);
  if (name.isEmpty()) return std::nullopt;
  return name;
}

std::optional<QString> QtPrompts::saveFile(QWidget* parent, const QString& title, const QString& filter,
                                           const QString& proposed) {
  QFileDialog dialog(parent, title, proposed, filter);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setDefaultSuffix(QStringLiteral("cfg"));
  dialog.selectFile(proposed);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().constFirst();
}

std::optional<QString> QtPrompts::pickFolder(QWidget* parent, const QString& title, const QString& start) {
  QFileDialog dialog(parent, title, start);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  // Centred on the work area, keeping its size.
  dialog.adjustSize();
  if (QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    dialog.move(area.width() / 2 - dialog.width() / 2, area.height() / 2 - dialog.height() / 2);
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().constFirst();
}

std::optional<QString> QtPrompts::askText(QWidget* parent, const QString& title, const QString& label,
                                          const QString& value) {
  bool ok = false;
  const QString text = QInputDialog::getText(parent, title, label, QLineEdit::Normal, value, &ok);
  if (!ok) return std::nullopt;
  return text;
}

QMessageBox::StandardButton QtPrompts::message(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                               const QString& text, QMessageBox::StandardButtons buttons) {
  // A box with OK alone answers OK only when OK is pressed: closed by its close
  // box or Escape it answers NoButton, so "OK to go on" is never assumed.
  class Box : public QMessageBox {
   public:
    using QMessageBox::QMessageBox;
    bool dismissed = false;

   protected:
    void closeEvent(QCloseEvent* e) override {
      dismissed = true;
      QMessageBox::closeEvent(e);
    }
    void keyPressEvent(QKeyEvent* e) override {
      if (e->key() == Qt::Key_Escape) dismissed = true;
      QMessageBox::keyPressEvent(e);
    }
  };
  Box box(icon, title, text, buttons, parent);
  // Every answer can be given from the keyboard: Alt and the underlined letter.
  for (const auto& [button, caption] :
       {std::pair{QMessageBox::Save, "&Save"}, std::pair{QMessageBox::Discard, "&Discard"},
        std::pair{QMessageBox::Cancel, "&Cancel"}, std::pair{QMessageBox::Ok, "&OK"}})
    if (QAbstractButton* b = box.button(button)) b->setText(QString::fromLatin1(caption));
  // Texts carry file names and the server's words: never markup, never pictures loaded from disk.
  box.setTextFormat(Qt::PlainText);
  const auto answer = static_cast<QMessageBox::StandardButton>(box.exec());
  if (buttons == QMessageBox::Ok && box.dismissed) return QMessageBox::NoButton;
  return answer;
}

QMessageBox::StandardButton QtPrompts::choose(
    QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
    const QList<QPair<QMessageBox::StandardButton, QString>>& buttons) {
  QMessageBox box(icon, title, text, QMessageBox::NoButton, parent);
  box.setTextFormat(Qt::PlainText);
  for (const auto& [button, caption] : buttons) box.addButton(button)->setText(caption);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

namespace {
void tell(const QString& what, const QString& text) {
  std::fprintf(stderr, "tessary: %s: %s\n", what.toLocal8Bit().constData(), text.toLocal8Bit().constData());
}
}  // namespace

std::optional<QString> ConsolePrompts::openFile(QWidget*, const QString& title, const QString&,
                                                const QString&) {
  tell(title, QStringLiteral("no file chosen (nobody to answer)"));
  return std::nullopt;
}

std::optional<QString> ConsolePrompts::saveFile(QWidget*, const QString& title, const QString&,
                                                const QString&) {
  tell(title, QStringLiteral("no file chosen (nobody to answer)"));
  return std::nullopt;
}

std::optional<QString> ConsolePrompts::pickFolder(QWidget*, const QString& title, const QString&) {
  tell(title, QStringLiteral("no folder chosen (nobody to answer)"));
  return std::nullopt;
}

std::optional<QString> ConsolePrompts::askText(QWidget*, const QString& title, const QString&,
                                               const QString&) {
  tell(title, QStringLiteral("nothing typed (nobody to answer)"));
  return std::nullopt;
}

QMessageBox::StandardButton ConsolePrompts::message(QWidget*, QMessageBox::Icon, const QString& title,
                                                    const QString& text,
                                                    QMessageBox::StandardButtons buttons) {
  tell(title, text);
  for (QMessageBox::StandardButton way :
       {QMessageBox::Cancel, QMessageBox::No, QMessageBox::Ignore, QMessageBox::NoToAll, QMessageBox::Ok})
    if (buttons.testFlag(way)) return way;
  return QMessageBox::NoButton;
}
