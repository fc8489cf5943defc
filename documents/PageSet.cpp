#include "documents/PageSet.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

PageSet::PageSet(int tabsPerRow, QWidget* parent) : QWidget(parent), m_tabsPerRow(tabsPerRow) {
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);
  m_rows = new QVBoxLayout();
  m_rows->setSpacing(0);
  outer->addLayout(m_rows);
  m_stack = new QStackedWidget(this);
  m_stack->setFrameShape(QFrame::StyledPanel);
  outer->addWidget(m_stack, 1);
  m_group = new QButtonGroup(this);
  m_group->setExclusive(true);
  connect(m_group, &QButtonGroup::idClicked, this, [this](int id) {
    if (m_stack->currentIndex() == id) return;
    m_stack->setCurrentIndex(id);
    Q_EMIT currentChanged(id);
  });
  // The palette's own colours, so the captions read on a light and a dark desktop alike.
  setStyleSheet(QStringLiteral(
      "QToolButton[pageTab=\"true\"] { border: 1px solid palette(mid); border-bottom: none; padding: 2px 3px;"
      " background: palette(button); color: palette(button-text); border-top-left-radius: 3px;"
      " border-top-right-radius: 3px; margin-right: 1px; }"
      "QToolButton[pageTab=\"true\"]:checked { background: palette(base); color: palette(text);"
      " border-color: palette(dark); }"));
}

int PageSet::addPage(QWidget* page, const QIcon& icon, const QString& caption) {
  const int index = static_cast<int>(m_tabs.size());
  if (index % m_tabsPerRow == 0) {
    auto* row = new QHBoxLayout();
    row->setSpacing(0);
    row->addStretch(1);
    m_rows->addLayout(row);
    m_rowLayouts.append(row);
  }
  auto* tab = new QToolButton(this);
  tab->setObjectName(QStringLiteral("Tab") + caption);
  tab->setProperty("pageTab", true);
  tab->setText(caption);
  tab->setIcon(icon);
  tab->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  tab->setCheckable(true);
  tab->setAutoRaise(false);
  tab->setFocusPolicy(Qt::NoFocus);
  QHBoxLayout* row = m_rowLayouts.constLast();
  row->insertWidget(row->count() - 1, tab);
  m_group->addButton(tab, index);
  m_tabs.append(tab);
  m_stack->addWidget(page);
  if (index == 0) tab->setChecked(true);
  return index;
}

int PageSet::count() const { return static_cast<int>(m_tabs.size()); }
int PageSet::currentIndex() const { return m_stack->currentIndex(); }

void PageSet::setCurrentIndex(int index) {
  if (index < 0 || index >= count() || index == currentIndex()) return;
  m_tabs[index]->setChecked(true);
  m_stack->setCurrentIndex(index);
  Q_EMIT currentChanged(index);
}

QWidget* PageSet::widget(int index) const { return m_stack->widget(index); }
QToolButton* PageSet::tab(int index) const { return m_tabs.value(index); }
QString PageSet::tabText(int index) const {
  return index >= 0 && index < count() ? m_tabs[index]->text() : QString();
}
