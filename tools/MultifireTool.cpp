#include "tools/MultifireTool.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "components/Pictures.h"
#include "tools/MultifirePreview.h"

QString multifireHelpText() {
  return QStringLiteral(
      "Blue Line = Right Bullet\nRed Line = Left Bullet\nScrollbar jumps, fine tune it by \nediting value in "
      "box below.");
}

TForm2::TForm2(QWidget* parent) : QDialog(parent, Qt::Tool | Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName(QStringLiteral("TForm2"));
  setWindowTitle(QStringLiteral("Multifire Tool"));
  setFixedSize(202, 336);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 2);
  m_view = new MultifireView(this);
  m_view->setShipPicture(Pictures::shipImage(0));
  m_view->DrawMultifireLines();  // the lines show from the start, not only once the slider moves
  layout->addWidget(m_view);
  auto* help = new QPlainTextEdit(multifireHelpText(), this);
  help->setObjectName(QStringLiteral("Memo"));
  help->setReadOnly(true);
  help->setFrameShape(QFrame::NoFrame);
  layout->addWidget(help, 1);
}
