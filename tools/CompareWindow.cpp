#include "tools/CompareWindow.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "components/Prompts.h"
#include "documents/ConfigDiff.h"
#include "profile/AtomicFile.h"
#include "profile/ProfileFile.h"
#include "profile/TessaryError.h"
#include "profile/TextCodec.h"

namespace {
constexpr int kSectionRole = Qt::UserRole + 1;
constexpr int kKeyRole = Qt::UserRole + 2;
constexpr int kOtherRole = Qt::UserRole + 3;  // the other file's value; invalid when it lacks the key

QString shown(const std::optional<QByteArray>& v) {
  return v ? TextCodec::decode(*v) : QString::fromLatin1(ConfigDiff::kMissing);
}
}  // namespace

TCompareWindow::TCompareWindow(Prompts& prompts, Host host, QWidget* parent)
    : QWidget(parent, Qt::Window), m_prompts(prompts), m_host(std::move(host)) {
  setObjectName(QStringLiteral("CompareWindow"));
  setWindowTitle(QStringLiteral("Compare With"));
  resize(640, 480);
  auto* layout = new QVBoxLayout(this);
  m_summary = new QLabel(this);
  m_summary->setObjectName(QStringLiteral("CompareSummary"));
  m_summary->setTextFormat(Qt::PlainText);
  layout->addWidget(m_summary);
  m_filter = new QLineEdit(this);
  m_filter->setObjectName(QStringLiteral("CompareFilter"));
  m_filter->setPlaceholderText(QStringLiteral("Find a setting or section"));
  m_filter->setClearButtonEnabled(true);
  connect(m_filter, &QLineEdit::textChanged, this, &TCompareWindow::applyFilter);
  layout->addWidget(m_filter);
  m_list = new QTreeWidget(this);
  m_list->setObjectName(QStringLiteral("CompareList"));
  m_list->setColumnCount(3);
  m_list->setHeaderLabels(
      {QStringLiteral("Setting"), QStringLiteral("Document"), QStringLiteral("Other File")});
  m_list->setColumnWidth(0, 260);
  m_list->setColumnWidth(1, 160);
  m_list->setUniformRowHeights(true);
  m_list->setSelectionMode(QAbstractItemView::SingleSelection);
  connect(m_list, &QTreeWidget::itemSelectionChanged, this, &TCompareWindow::selectionChanged);
  layout->addWidget(m_list, 1);
  auto* buttons = new QHBoxLayout();
  m_copy = new QPushButton(QStringLiteral("Copy Into Document"), this);
  m_copy->setObjectName(QStringLiteral("CopyIntoDocument"));
  m_copy->setToolTip(QStringLiteral("Sets the selected setting of the document to the other file's value"));
  m_copy->setEnabled(false);
  connect(m_copy, &QPushButton::clicked, this, &TCompareWindow::copyIntoDocument);
  auto* close = new QPushButton(QStringLiteral("&Close"), this);
  connect(close, &QPushButton::clicked, this, &QWidget::close);
  buttons->addWidget(m_copy);
  buttons->addStretch(1);
  buttons->addWidget(close);
  layout->addLayout(buttons);
}

void TCompareWindow::compareWith() {
  if (m_host.documentWorkingCopy().isEmpty()) {
    m_prompts.message(this, QMessageBox::Information, applicationTitle(),
                      QStringLiteral("Open the arena to compare first."), QMessageBox::Ok);
    return;
  }
  // The dialog opens beside the document's own file: last season's arena is likely there.
  const QString start = m_host.documentPath ? m_host.documentPath() : QString();
  const std::optional<QString> other = m_prompts.openFile(
      this, QStringLiteral("Compare With"), QStringLiteral("CFG Files (*.cfg);;All Files (*)"), start);
  if (!other) return;
  compare(*other);
}

void TCompareWindow::compare(const QString& otherFile) {
  m_other = otherFile;
  try {
    refill();
  } catch (...) {
    m_host.reportError();
    return;
  }
  show();
  raise();
  activateWindow();
}

void TCompareWindow::refill() {
  const QString working = m_host.documentWorkingCopy();
  if (working.isEmpty()) throw TessaryError(QStringLiteral("No document is open to compare"));
  // Both read whole: a missing other file is an error, not an empty arena.
  const std::optional<QByteArray> other = AtomicFile::read(m_other);
  if (!other) throw ProfileReadError(QStringLiteral("Unable to read %1").arg(m_other));
  const QList<ConfigDiff::Difference> differences =
      ConfigDiff::compare(ProfileFile(working), ProfileFile(*other, ProfileFile::FromMemory{}));
  setWindowTitle(
      QStringLiteral("Compare %1 With %2").arg(m_host.documentName(), QFileInfo(m_other).fileName()));
  m_list->clear();
  QTreeWidgetItem* section = nullptr;
  QByteArray current;
  int sections = 0;
  for (const ConfigDiff::Difference& d : differences) {
    if (!section || !ProfileFile::sameName(d.section, current)) {
      section = new QTreeWidgetItem(m_list);
      section->setData(0, kSectionRole, TextCodec::decode(d.section));
      current = d.section;
      ++sections;
    }
    auto* row = new QTreeWidgetItem(section);
    const QString key = d.key.isEmpty() ? QStringLiteral("[section]") : TextCodec::decode(d.key);
    row->setText(0, key);
    row->setText(1, shown(d.a));
    row->setText(2, shown(d.b));
    row->setData(0, kSectionRole, TextCodec::decode(d.section));
    row->setData(0, kKeyRole, d.key.isEmpty() ? QString() : key);
    if (d.b && !d.key.isEmpty()) row->setData(0, kOtherRole, TextCodec::decode(*d.b));
  }
  for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
    QTreeWidgetItem* s = m_list->topLevelItem(i);
    s->setText(0, QStringLiteral("%1 (%2)").arg(s->data(0, kSectionRole).toString()).arg(s->childCount()));
    QFont bold = s->font(0);
    bold.setBold(true);
    s->setFont(0, bold);
  }
  m_list->expandAll();
  m_summary->setText(
      differences.isEmpty()
          ? QStringLiteral("The two arenas hold the same settings.")
          : QStringLiteral("%1 setting(s) differ in %2 section(s).").arg(differences.size()).arg(sections));
  applyFilter();
}

void TCompareWindow::applyFilter() {
  const QString text = m_filter->text();
  for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
    QTreeWidgetItem* s = m_list->topLevelItem(i);
    const bool sectionMatches = s->data(0, kSectionRole).toString().contains(text, Qt::CaseInsensitive);
    int shownRows = 0;
    for (int c = 0; c < s->childCount(); ++c) {
      QTreeWidgetItem* row = s->child(c);
      const bool show = text.isEmpty() || sectionMatches || row->text(0).contains(text, Qt::CaseInsensitive);
      row->setHidden(!show);
      shownRows += show ? 1 : 0;
    }
    s->setHidden(shownRows == 0);
  }
}

void TCompareWindow::selectionChanged() {
  const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
  QTreeWidgetItem* row = selected.isEmpty() ? nullptr : selected.first();
  const bool isSetting = row && row->parent() && !row->data(0, kKeyRole).toString().isEmpty();
  m_copy->setEnabled(isSetting && row->data(0, kOtherRole).isValid());
  if (isSetting && m_host.selectSetting) {
    m_host.selectSetting(row->data(0, kSectionRole).toString(), row->data(0, kKeyRole).toString());
    // The document took the focus to show the row; the list keeps it for the next key.
    activateWindow();
    m_list->setFocus();
  }
}

void TCompareWindow::copyIntoDocument() {
  const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
  if (selected.isEmpty() || !selected.first()->data(0, kOtherRole).isValid()) return;
  QTreeWidgetItem* row = selected.first();
  const QString section = row->data(0, kSectionRole).toString();
  const QString key = row->data(0, kKeyRole).toString();
  try {
    m_host.setValue(section, key, row->data(0, kOtherRole).toString());
    refill();
  } catch (...) {
    m_host.reportError();
  }
}
