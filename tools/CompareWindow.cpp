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
#include <QTreeView>
#include <QUndoStack>
#include <QVBoxLayout>

#include "components/Prompts.h"
#include "documents/ConfigDiff.h"
#include "documents/DifferenceModel.h"
#include "documents/MDIChild.h"
#include "profile/AtomicFile.h"
#include "profile/ProfileFile.h"
#include "profile/TessaryError.h"
#include "profile/TextCodec.h"

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
  layout->addWidget(m_filter);
  m_model = new DifferenceModel(this);
  m_filtered = new DifferenceFilter(this);
  m_filtered->setSourceModel(m_model);
  connect(m_filter, &QLineEdit::textChanged, this, [this](const QString& text) {
    m_filtered->setText(text);
    m_list->expandAll();
  });
  m_list = new QTreeView(this);
  m_list->setObjectName(QStringLiteral("CompareList"));
  m_list->setModel(m_filtered);
  m_list->setColumnWidth(0, 260);
  m_list->setColumnWidth(1, 160);
  m_list->setUniformRowHeights(true);
  m_list->setSelectionMode(QAbstractItemView::SingleSelection);
  m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
  connect(m_list->selectionModel(), &QItemSelectionModel::currentChanged, this,
          &TCompareWindow::selectionChanged);
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
    m_model->setDifferences({});
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
  const QModelIndex before = m_list->currentIndex();
  const QString selectedSection = before.data(DifferenceModel::SectionRole).toString();
  const QString selectedKey = before.data(DifferenceModel::KeyRole).toString();
  const int scrolled = m_list->verticalScrollBar() ? m_list->verticalScrollBar()->value() : 0;
  {
    const QSignalBlocker quiet(m_list->selectionModel());
    m_model->setDifferences(differences);
    m_list->expandAll();
    const QModelIndex again = m_filtered->mapFromSource(m_model->indexOf(selectedSection, selectedKey));
    if (again.isValid())
      m_list->selectionModel()->setCurrentIndex(
          again, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  }
  m_copy->setEnabled(m_list->currentIndex().data(DifferenceModel::OtherValueRole).isValid());
  if (m_list->verticalScrollBar()) m_list->verticalScrollBar()->setValue(scrolled);
  m_summary->setText(differences.isEmpty() ? QStringLiteral("The two arenas hold the same settings.")
                                           : QStringLiteral("%1 setting(s) differ in %2 section(s).")
                                                 .arg(differences.size())
                                                 .arg(m_model->sectionCount()));
}

void TCompareWindow::selectionChanged() {
  const QModelIndex row = m_list->currentIndex();
  const bool isSetting =
      row.isValid() && row.parent().isValid() && !row.data(DifferenceModel::KeyRole).toString().isEmpty();
  m_copy->setEnabled(isSetting && row.data(DifferenceModel::OtherValueRole).isValid());
  if (isSetting && m_doc) {
    // The compared document comes to the front, whichever was active.
    if (auto* sub = qobject_cast<QMdiSubWindow*>(m_doc->parentWidget()); sub && sub->mdiArea())
      sub->mdiArea()->setActiveSubWindow(sub);
    m_doc->selectSetting(row.data(DifferenceModel::SectionRole).toString(),
                         row.data(DifferenceModel::KeyRole).toString());
    // The document took the focus to show the row; the list keeps it for the next key.
    activateWindow();
    m_list->setFocus();
  }
}

void TCompareWindow::copyIntoDocument() {
  const QModelIndex row = m_list->currentIndex();
  if (!row.data(DifferenceModel::OtherValueRole).isValid()) return;
  const QString section = row.data(DifferenceModel::SectionRole).toString();
  const QString key = row.data(DifferenceModel::KeyRole).toString();
  const QString value = row.data(DifferenceModel::OtherValueRole).toString();
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
