#include "tools/CompareWindow.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeWidget>
#include <QUndoStack>
#include <QVBoxLayout>

#include "components/Prompts.h"
#include "documents/ConfigDiff.h"
#include "documents/MDIChild.h"
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
  m_watcher = new QFileSystemWatcher(this);
  connect(m_watcher, &QFileSystemWatcher::fileChanged, this, [this] {
    // A file replaced by a rename is watched anew.
    if (!m_other.isEmpty() && !m_watcher->files().contains(m_other)) m_watcher->addPath(m_other);
    refreshQuietly();
  });
}

void TCompareWindow::compareWith() {
  TMDIChild* doc = m_host.activeDocument ? m_host.activeDocument() : nullptr;
  QWidget* owner = parentWidget() ? parentWidget() : this;
  if (!doc) {
    m_prompts.message(owner, QMessageBox::Information, applicationTitle(),
                      QStringLiteral("Open the arena to compare first."), QMessageBox::Ok);
    return;
  }
  // The dialog opens beside the document's own file: last season's arena is likely there.
  const QString start = doc->isNewDocument() ? QString() : doc->filePath();
  const QPointer<TMDIChild> guard(doc);
  const std::optional<QString> other = m_prompts.openFile(
      owner, QStringLiteral("Compare With"), QStringLiteral("CFG Files (*.cfg);;All Files (*)"), start);
  if (!other || !guard) return;
  compare(guard, *other);
}

void TCompareWindow::compare(TMDIChild* document, const QString& otherFile) {
  bind(document);
  if (!m_watcher->files().isEmpty()) m_watcher->removePaths(m_watcher->files());
  m_other = otherFile;
  if (AtomicFile::exists(m_other)) m_watcher->addPath(m_other);
  try {
    refill();
  } catch (...) {
    m_host.reportError();
    return;
  }
  placeOnMainWindow();
  show();
  raise();
  activateWindow();
}

void TCompareWindow::placeOnMainWindow() {
  QWidget* main = parentWidget();
  if (m_placed || !main) return;
  m_placed = true;
  move(main->geometry().center() - QPoint(width() / 2, height() / 2));
}

void TCompareWindow::bind(TMDIChild* window) {
  if (m_doc == window) return;
  if (m_document) {
    m_document->disconnect(this);
    m_document->undoStack()->disconnect(this);
  }
  m_doc = window;
  m_document = window ? window->document() : nullptr;
  if (!m_document) return;
  // Every edit, undo and redo of the document (and a reload from disk) changes what differs.
  connect(m_document->undoStack(), &QUndoStack::indexChanged, this, &TCompareWindow::refreshQuietly);
  connect(m_document, &Document::saved, this, &TCompareWindow::refreshQuietly);
  // The comparison was of this document: it goes with it.
  connect(m_document, &QObject::destroyed, this, [this] {
    m_list->clear();
    m_summary->setText(QStringLiteral("The compared document was closed."));
    m_copy->setEnabled(false);
    close();
  });
}

void TCompareWindow::refreshQuietly() {
  if (!m_document || m_other.isEmpty()) return;
  try {
    refill();
  } catch (...) {
    m_host.reportError();
  }
}

void TCompareWindow::refill() {
  if (!m_document) throw TessaryError(QStringLiteral("No document is open to compare"));
  // Both read whole: a missing other file is an error, not an empty arena.
  const std::optional<QByteArray> other = AtomicFile::read(m_other);
  if (!other) throw ProfileReadError(QStringLiteral("Unable to read %1").arg(m_other));
  const QList<ConfigDiff::Difference> differences =
      ConfigDiff::compare(m_document->content(), ProfileFile(*other, ProfileFile::FromMemory{}));
  setWindowTitle(
      QStringLiteral("Compare %1 With %2").arg(m_document->caption(), QFileInfo(m_other).fileName()));
  // The selection and the scroll position survive a refresh where the row still differs.
  const QList<QTreeWidgetItem*> before = m_list->selectedItems();
  const QString selectedSection =
      before.isEmpty() ? QString() : before.first()->data(0, kSectionRole).toString();
  const QString selectedKey = before.isEmpty() ? QString() : before.first()->data(0, kKeyRole).toString();
  const int scrolled = m_list->verticalScrollBar() ? m_list->verticalScrollBar()->value() : 0;
  const QSignalBlocker quiet(m_list);
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
  QTreeWidgetItem* reselect = nullptr;
  if (!selectedKey.isEmpty())
    for (int i = 0; i < m_list->topLevelItemCount() && !reselect; ++i)
      for (int c = 0; c < m_list->topLevelItem(i)->childCount(); ++c) {
        QTreeWidgetItem* row = m_list->topLevelItem(i)->child(c);
        if (row->data(0, kSectionRole).toString() == selectedSection &&
            row->data(0, kKeyRole).toString() == selectedKey) {
          reselect = row;
          break;
        }
      }
  if (reselect) reselect->setSelected(true);
  m_copy->setEnabled(reselect && reselect->data(0, kOtherRole).isValid());
  if (m_list->verticalScrollBar()) m_list->verticalScrollBar()->setValue(scrolled);
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
  if (isSetting && m_doc) {
    // The compared document comes to the front, whichever was active.
    if (auto* sub = qobject_cast<QMdiSubWindow*>(m_doc->parentWidget()); sub && sub->mdiArea())
      sub->mdiArea()->setActiveSubWindow(sub);
    m_doc->selectSetting(row->data(0, kSectionRole).toString(), row->data(0, kKeyRole).toString());
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
  const QString value = row->data(0, kOtherRole).toString();
  if (!m_document) return;
  try {
    // Only a value the other file still holds: it may have changed since the list was made.
    const std::optional<QByteArray> other = AtomicFile::read(m_other);
    const ProfileFile now(other.value_or(QByteArray()), ProfileFile::FromMemory{});
    const ProfileFile::Encoded e = now.encode(section, key, QString());
    if (!other || !now.hasKey(e.section, e.key) || TextCodec::decode(now.value(e.section, e.key)) != value) {
      refill();
      m_prompts.message(
          this, QMessageBox::Information, applicationTitle(),
          QStringLiteral("%1 has changed on disk since the list was made, so nothing was copied. "
                         "The list now shows it as it is.")
              .arg(m_other),
          QMessageBox::Ok);
      return;
    }
    m_document->editValue(section, key, value);
    refill();
  } catch (...) {
    m_host.reportError();
  }
}
