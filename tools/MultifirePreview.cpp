#include "tools/MultifirePreview.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>

#include "components/Pictures.h"
#include "tools/IntParse.h"
#include "tools/MultifireGeometry.h"

MultifireView::MultifireView(QWidget* parent)
    : QWidget(parent), m_loadBackground(&Pictures::multifireBackground) {
  setObjectName(QStringLiteral("MultifireView"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* frame = new QFrame(this);
  frame->setObjectName(QStringLiteral("PreviewFrame"));
  frame->setFrameShape(QFrame::Panel);
  frame->setFrameShadow(QFrame::Raised);
  frame->setLineWidth(2);
  frame->setFixedSize(205, 205);
  m_preview = new QLabel(frame);
  m_preview->setObjectName(QStringLiteral("Preview"));
  m_preview->setGeometry(2, 2, 200, 200);
  m_ship = new QLabel(m_preview);
  m_ship->setObjectName(QStringLiteral("ShipPicture"));
  m_ship->setGeometry(82, 83, 36, 36);
  m_ship->setAlignment(Qt::AlignCenter);
  m_ship->setAttribute(Qt::WA_TranslucentBackground);
  layout->addWidget(frame, 0, Qt::AlignHCenter);
  TrackBar1 = new QSlider(Qt::Horizontal, this);
  TrackBar1->setObjectName(QStringLiteral("TrackBar1"));
  TrackBar1->setRange(0, 40000);
  TrackBar1->setPageStep(1);
  layout->addWidget(TrackBar1);
  Edit1 = new QLineEdit(QStringLiteral("0"), this);
  Edit1->setObjectName(QStringLiteral("Edit1"));
  layout->addWidget(Edit1);
  connect(TrackBar1, &QSlider::valueChanged, this, &MultifireView::TrackBar1Change);
  connect(Edit1, &QLineEdit::textChanged, this, &MultifireView::Edit1Change);
  m_picture = Pictures::multifireBackground();  // the built-in copy until the first redraw
  m_ship->raise();
  showPicture();
}

void MultifireView::setShipPicture(const QImage& picture) {
  m_shipImage = picture;
  m_ship->setPixmap(QPixmap::fromImage(picture));
  m_ship->raise();
}

int MultifireView::angle() const { return TrackBar1->value(); }
void MultifireView::setAngle(int value) { TrackBar1->setValue(std::clamp(value, 0, 40000)); }

void MultifireView::reloadBackground() { m_picture = m_loadBackground(); }

void MultifireView::TrackBar1Change() {
  Edit1->setText(QString::number(TrackBar1->value()));
  reloadBackground();  // removes the previous lines
  DrawMultifireLines();
}

void MultifireView::Edit1Change() {
  const QString text = Edit1->text();
  if (text.isEmpty()) {
    TrackBar1->setValue(0);
    return;
  }
  const std::optional<std::int32_t> value = parseInt32(text);
  if (!value) {
    Edit1->setText(QStringLiteral("0"));
    Edit1->setFocus();
    return;
  }
  const QString plain = QString::number(*value);
  if (plain != text) {
    Edit1->setText(plain);  // 007 reads 7, $10 reads 16; the change comes back here
    return;
  }
  TrackBar1->setValue(std::clamp<std::int32_t>(*value, 0, 40000));
}

void MultifireView::DrawMultifireLines() {
  const MultifireLines lines = multifireLines(TrackBar1->value());
  QPainter p(&m_picture);
  p.setClipRect(0, 0, 200, 200);
  p.setPen(QPen(QColor(0, 0, 255), 1));
  p.drawLine(lines.centre, lines.right);
  p.setPen(QPen(QColor(255, 0, 0), 1));  // drawn last: on top where both coincide
  p.drawLine(lines.centre, lines.left);
  p.end();
  showPicture();
}

void MultifireView::showPicture() { m_preview->setPixmap(QPixmap::fromImage(m_picture)); }
