#include "documents/ReportList.h"

#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>

#include "components/Readable.h"

namespace {

class GridDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  // Room for the whole text and the grid line under it: the tails of g, y and p
  // reach below the base line, and the line must not cut them.
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(std::max(size.height(), option.fontMetrics.height() + 4));
    return size;
  }
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyledItemDelegate::paint(painter, option, index);
    painter->save();
    painter->setPen(gridLineOn(option.palette));
    const QRect r = option.rect;
    painter->drawLine(r.bottomLeft(), r.bottomRight());
    painter->drawLine(r.topRight(), r.bottomRight());
    painter->restore();
  }
};
}  // namespace

ReportList::ReportList(const QString& objectName, const QString& first, const QString& second,
                       QWidget* parent)
    : QTreeWidget(parent) {
  setObjectName(objectName);
  setColumnCount(2);
  setHeaderLabels({first, second});
  setColumnWidth(0, 300);
  setColumnWidth(1, 112);
  setRootIsDecorated(false);
  setUniformRowHeights(true);
  setItemsExpandable(false);
  setAllColumnsShowFocus(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSortingEnabled(false);
  setItemDelegate(new GridDelegate(this));
  header()->setSectionsClickable(false);
  header()->setStretchLastSection(true);
}

void ReportList::setRows(const QStringList& names, const QStringList& values, const std::vector<int>& order) {
  clearRows();
  QList<QTreeWidgetItem*> items;
  items.reserve(static_cast<qsizetype>(order.size()));
  for (int i : order) {
    auto* item = new QTreeWidgetItem();
    item->setText(0, names[i]);
    item->setText(1, i < values.size() ? values[i] : QString());
    items.append(item);
  }
  addTopLevelItems(items);
  if (!m_filter.isEmpty()) setFilter(m_filter);  // a row can only be hidden once it is in the list
}

void ReportList::setFilter(const QString& text) {
  m_filter = text;
  for (int i = 0; i < topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = topLevelItem(i);
    item->setHidden(!text.isEmpty() && !item->text(0).contains(text, Qt::CaseInsensitive));
  }
  viewport()->update();  // the hint of an empty list comes and goes with the rows
}

QString ReportList::emptyHint() const {
  if (m_filter.isEmpty() || topLevelItemCount() == 0 || shownCount() > 0) return {};
  return QStringLiteral("No setting here has \"%1\" in its name.\nEscape clears the Find box.").arg(m_filter);
}

void ReportList::paintEvent(QPaintEvent* event) {
  QTreeWidget::paintEvent(event);
  const QString hint = emptyHint();
  if (hint.isEmpty()) return;
  // An empty list would look like a broken file: it says why it is empty.
  QPainter painter(viewport());
  painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
  painter.drawText(viewport()->rect().adjusted(8, 8, -8, -8),
                   Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, hint);
}

int ReportList::shownCount() const {
  int n = 0;
  for (int i = 0; i < topLevelItemCount(); ++i) n += topLevelItem(i)->isHidden() ? 0 : 1;
  return n;
}

void ReportList::clearRows() { clear(); }

int ReportList::selectedRow() const {
  const QList<QTreeWidgetItem*> sel = selectedItems();
  return sel.isEmpty() ? -1 : indexOfTopLevelItem(sel.constFirst());
}

QString ReportList::name(int row) const {
  const QTreeWidgetItem* item = topLevelItem(row);
  return item ? item->text(0) : QString();
}

QString ReportList::value(int row) const {
  const QTreeWidgetItem* item = topLevelItem(row);
  return item ? item->text(1) : QString();
}

void ReportList::setValue(int row, const QString& value) {
  if (QTreeWidgetItem* item = topLevelItem(row)) item->setText(1, value);
}

int ReportList::rowOf(const QString& name) const {
  for (int i = 0; i < topLevelItemCount(); ++i)
    if (topLevelItem(i)->text(0) == name) return i;
  return -1;
}

void ReportList::selectRow(int row) {
  if (QTreeWidgetItem* item = topLevelItem(row)) {
    setCurrentItem(item);
    item->setSelected(true);
  }
}
