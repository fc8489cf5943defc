#include "documents/ReportList.h"

#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>

#include "components/Readable.h"
#include "documents/SettingRows.h"

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
    : QTreeView(parent), m_rows(new SettingRows(first, second, this)), m_filter(new SettingRowsFilter(this)) {
  setObjectName(objectName);
  m_filter->setSourceModel(m_rows);
  setModel(m_filter);
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
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &ReportList::rowSelectionChanged);
  connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
    if (index.isValid()) emit rowDoubleClicked();
  });
}

void ReportList::setRows(const QStringList& names, const QStringList& values, const std::vector<int>& order) {
  m_rows->setRows(names, values, order);
}

void ReportList::clearRows() { m_rows->clear(); }

int ReportList::rowCount() const { return m_rows->rowCount(); }

QString ReportList::name(int row) const { return m_rows->name(row); }

QString ReportList::value(int row) const { return m_rows->value(row); }

void ReportList::setValue(int row, const QString& value) { m_rows->setValue(row, value); }

int ReportList::rowOf(const QString& name) const { return m_rows->rowOf(name); }

void ReportList::setFilter(const QString& text) {
  m_filter->setText(text);
  viewport()->update();  // the hint of an empty list comes and goes with the rows
}

QString ReportList::filter() const { return m_filter->text(); }

bool ReportList::shows(int row) const { return m_filter->shows(row); }

int ReportList::shownCount() const { return m_filter->rowCount(); }

QString ReportList::emptyHint() const { return m_filter->emptyHint(); }

void ReportList::paintEvent(QPaintEvent* event) {
  QTreeView::paintEvent(event);
  const QString hint = emptyHint();
  if (hint.isEmpty()) return;
  // An empty list would look like a broken file: it says why it is empty.
  QPainter painter(viewport());
  painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
  painter.drawText(viewport()->rect().adjusted(8, 8, -8, -8),
                   Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, hint);
}

int ReportList::selectedRow() const {
  const QModelIndexList rows = selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : m_filter->mapToSource(rows.constFirst()).row();
}

void ReportList::selectRow(int row) {
  const QModelIndex at = m_filter->mapFromSource(m_rows->index(row, 0));
  if (!at.isValid()) return;
  selectionModel()->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

QRect ReportList::rowRect(int row) const {
  const QModelIndex at = m_filter->mapFromSource(m_rows->index(row, 0));
  if (!at.isValid()) return {};
  const QRect first = visualRect(at);
  return first.united(visualRect(at.siblingAtColumn(SettingRows::ValueColumn)));
}
