#pragma once
#include <QColor>
#include <QLabel>

#include "components/Readable.h"

// A bold label in a colour of its own, as the detail and build labels are.
inline QLabel* boldLabel(const QString& text, const QColor& colour, QWidget* parent,
                         const QString& objectName = {}) {
  auto* label = new QLabel(text, parent);
  if (!objectName.isEmpty()) label->setObjectName(objectName);
  QFont f = label->font();
  f.setBold(true);
  label->setFont(f);
  QPalette p = label->palette();
  p.setColor(QPalette::WindowText, readableOn(colour, p));
  label->setPalette(p);
  return label;
}
