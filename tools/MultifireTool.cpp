#include "tools/MultifireTool.h"

#include <QLabel>
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
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 2);
  m_view = new MultifireView(this);
  m_view->setShipPicture(Pictures::shipImage(0));
  m_view->DrawMultifireLines();  // the lines show from the start, not only once the slider moves
  layout->addWidget(m_view);
  // A label, not an edit box: its lines show whole, without a scroll bar.
  auto* help = new QLabel(multifireHelpText(), this);
  help->setObjectName(QStringLiteral("Memo"));
  help->setTextFormat(Qt::PlainText);
  help->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  help->setContentsMargins(4, 2, 4, 2);
  layout->addWidget(help, 1);
  // 202 x 336 where the font allows; wider or taller where its lines need it.
  const int width = std::max({202, m_view->sizeHint().width(), help->sizeHint().width()});
  const int height = m_view->sizeHint().height() + help->sizeHint().height() + 2;
  setFixedSize(width, std::max(336, height));
}
