#include "documents/DocumentWindows.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QStyle>
#include <QTimer>

#include "components/Pictures.h"
#include "documents/DocumentHost.h"
#include "documents/MDIChild.h"
#include "documents/WorkingCopies.h"
#include "profile/AtomicFile.h"
#include "profile/TessaryError.h"

DocumentWindows::DocumentWindows(DocumentHost& host, Prompts& prompts, const AppPaths& paths, QWidget* parent)
    : QObject(parent),
      m_host(host),
      m_prompts(prompts),
      m_paths(paths),
      m_workingCopies(std::make_unique<WorkingCopies>(paths.temp())),
      m_area(new QMdiArea(parent)) {
  m_area->setObjectName(QStringLiteral("DocumentArea"));
  m_area->setBackground(parent->palette().color(QPalette::Dark));
  // Document windows have a fixed size: where the area is smaller (a large scale, a small
  // screen) it scrolls, so no part of a document is ever out of reach.
  m_area->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  m_area->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  m_watcher = new QFileSystemWatcher(this);
  m_diskCheck = new QTimer(this);
  m_diskCheck->setSingleShot(true);
  m_diskCheck->setInterval(250);
  connect(m_diskCheck, &QTimer::timeout, this, &DocumentWindows::checkDisk);
  connect(m_watcher, &QFileSystemWatcher::fileChanged, this, [this] {
    // In the background the check waits until the program comes to the front.
    if (QGuiApplication::applicationState() == Qt::ApplicationActive) m_diskCheck->start();
  });
  connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
    if (state == Qt::ApplicationActive) m_diskCheck->start();
  });
}

DocumentWindows::~DocumentWindows() { destroyAll(); }

TMDIChild* DocumentWindows::active() const {
  QMdiSubWindow* sub = m_area->currentSubWindow();
  return sub ? qobject_cast<TMDIChild*>(sub->widget()) : nullptr;
}

QList<TMDIChild*> DocumentWindows::documents() const {
  QList<TMDIChild*> out;
  for (QMdiSubWindow* sub : m_area->subWindowList())
    if (auto* c = qobject_cast<TMDIChild*>(sub->widget())) out.append(c);
  return out;
}

bool DocumentWindows::isEmpty() const { return m_area->subWindowList().isEmpty(); }

QPoint DocumentWindows::nextPlace(QMdiSubWindow* sub) const {
  // New windows cascade from the top left, and start again at the top once the area is full.
  const int step = sub->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, sub) + 4;
  const QSize room = m_area->viewport()->size() - sub->size();
  const int span = std::min(room.width(), room.height());
  // An area smaller than a window still gets a short cascade, so no window hides another's title.
  const int fit = span < step ? 8 : span / step + 1;
  const int n = m_placed % fit;
  return QPoint(n * step, n * step);
}

TMDIChild* DocumentWindows::create(const QString& displayName, const QString& type, const QString& statusPath,
                                   bool isNew, const QString& workingCopy) {
  auto* child = new TMDIChild(&m_host, m_prompts, m_paths, *m_workingCopies);
  child->setCaption(displayName);
  child->setWorkingCopy(workingCopy);
  auto* sub = m_area->addSubWindow(child, Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                              Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  sub->setAttribute(Qt::WA_DeleteOnClose);
  sub->setWindowIcon(Pictures::main(Picture::Properties));
  child->FormCreate();
  sub->adjustSize();
  sub->move(nextPlace(sub));
  ++m_placed;
  sub->show();
  m_area->setActiveSubWindow(sub);
  child->setFilePath(statusPath.isEmpty() ? QStringLiteral(" Unsaved Config...") : statusPath);
  child->setNewDocument(isNew);
  connect(child, &TMDIChild::saved, this, [this, child] { watch(child); });
  if (isNew) {
    child->setDocType(type);
    child->showPageSet(type);
  }
  return child;
}

TMDIChild* DocumentWindows::open(const QString& path) {
  // The working copy first: a source that cannot be read, or a full disk, opens nothing.
  DiskStamp stamp;
  const QString working = m_workingCopies->create(QFileInfo(path).fileName(), path, &stamp);
  const bool missing = !stamp.exists;
  TMDIChild* child = create(QFileInfo(path).fileName(), QStringLiteral("Arena"), path, false, working);
  child->setDiskStamp(stamp);
  watch(child);
  child->prepareOtherPage();
  child->LoadDocument(working);
  child->showPageSet(QStringLiteral("Arena"));
  child->setDocType(QStringLiteral("Arena"));
  child->setSelectText();
  // Activation ran before the window knew its file; show this file's details now.
  child->showFileDetails();
  if (missing) m_host.showStatus(QStringLiteral("%1 does not exist, so the document is empty.").arg(path));
  Q_EMIT opened(child, path);
  return child;
}

TMDIChild* DocumentWindows::recover(const Recovery::Record& record) {
  // Checked again here: the folder is the user's, but the record was checked a question ago.
  if (!AtomicFile::isPlainFileName(record.caption))
    throw TessaryError(QStringLiteral("The recovery record %1 names no plain file").arg(record.recordPath));
  unsigned mode = 0600;
  const std::optional<QByteArray> content = Recovery::readWorkingCopy(record, &mode);
  if (!content)
    throw ProfileReadError(
        QStringLiteral("Unable to read %1: it is not a regular file of your own").arg(record.workingCopy));
  // Who may read the copy is who may read the file it belongs to.
  if (const std::optional<unsigned> sourceMode = AtomicFile::modeOf(record.source); sourceMode)
    mode = *sourceMode;
  // Taken over into a working copy of this copy's own, which ends with it like any other.
  const QString working = m_workingCopies->createWith(record.caption, *content, (mode & 0777) | 0600);
  const bool isNew = record.source.isEmpty();
  TMDIChild* child = create(record.caption, record.type, isNew ? working : record.source, isNew, working);
  child->prepareOtherPage();
  child->LoadDocument(working);
  child->showPageSet(record.type);
  child->setDocType(record.type);
  child->setSelectText();
  child->showFileDetails();
  // What the file held when the lost copy read it; unknown (an older record): any file counts as changed.
  DiskStamp unknown;
  unknown.exists = true;
  unknown.size = -1;
  child->setDiskStamp(DiskStamp::fromText(record.disk).value_or(unknown));
  child->markRecovered();
  watch(child);
  discard(record);
  return child;
}

void DocumentWindows::discard(const Recovery::Record& record) {
  AtomicFile::remove(record.workingCopy);
  AtomicFile::remove(record.recordPath);
}

TMDIChild* DocumentWindows::newDocument(const QString& templatePath) {
  const QList<TMDIChild*> docs = documents();
  auto taken = [&](const QString& name) {
    for (TMDIChild* c : docs)
      if (c->fileName() == name || c->workingCopy() == m_paths.tempFile(name)) return true;
    return false;
  };
  // A new document never takes over the name, and so the working copy, of an open one.
  int number = static_cast<int>(docs.size()) + 1;
  QString name = QStringLiteral("New%1.cfg").arg(number);
  while (taken(name)) name = QStringLiteral("New%1.cfg").arg(++number);
  const QString working = m_workingCopies->create(name, templatePath);
  TMDIChild* child = create(name, QStringLiteral("Arena"), working, true, working);
  child->prepareOtherPage();
  child->LoadDocument(working);
  child->setSelectText();
  child->showFileDetails();
  if (templatePath == QStringLiteral("N/A"))
    m_host.showStatus(QStringLiteral("%1 is empty: no template for new documents is set (DefaultSettings in "
                                     "section Paths of base/config.ini, or Options/Preferences).")
                          .arg(name));
  else if (!AtomicFile::exists(templatePath))
    m_host.showStatus(QStringLiteral("%1 is empty: its template %2 does not exist.").arg(name, templatePath));
  return child;
}

bool DocumentWindows::confirm(const QList<TMDIChild*>& docs) {
  QList<QPointer<TMDIChild>> guarded;
  for (TMDIChild* doc : docs) guarded.append(doc);
  return confirmClosing(guarded, [this] { m_host.reportException(); });
}

bool DocumentWindows::closeActive() {
  // The window asked about is the one closed, whatever became current meanwhile (a hand-over).
  const QPointer<QMdiSubWindow> sub = m_area->currentSubWindow();
  TMDIChild* child = active();
  if (!child || !confirm({child}) || !sub) return false;
  delete sub;
  return true;
}

bool DocumentWindows::closeAll() {
  const QList<QMdiSubWindow*> subs = m_area->subWindowList();
  const QList<QPointer<QMdiSubWindow>> asked(subs.begin(), subs.end());
  if (!confirm(documents())) return false;
  for (const QPointer<QMdiSubWindow>& sub : asked) {
    if (!sub) continue;
    if (auto* doc = qobject_cast<TMDIChild*>(sub->widget())) doc->setCloseConfirmed(true);
    sub->close();
  }
  return true;
}

bool DocumentWindows::confirmExit() {
  const QList<TMDIChild*> docs = documents();
  if (!confirm(docs)) return false;
  for (TMDIChild* doc : docs) doc->setCloseConfirmed(true);
  return true;
}

void DocumentWindows::destroyAll() {
  // Also windows closed but not yet deleted: none may outlive the program's end.
  for (QMdiSubWindow* sub : m_area->findChildren<QMdiSubWindow*>()) delete sub;
  // Only this copy's own working copies: another running copy keeps its own there.
  m_workingCopies->removeAll();
}

void DocumentWindows::keepUnsavedWorkingCopies() {
  for (TMDIChild* doc : documents())
    if (doc->isModified()) {
      m_workingCopies->keep(doc->workingCopy());
      doc->keepRecoveryRecord();
    }
}

void DocumentWindows::watch(TMDIChild* doc) {
  const QString path = doc->filePath();
  if (doc->isNewDocument() || !QDir::isAbsolutePath(path) || !AtomicFile::exists(path)) return;
  if (!m_watcher->files().contains(path)) m_watcher->addPath(path);
}

void DocumentWindows::checkDisk() {
  for (TMDIChild* doc : documents()) {
    try {
      checkDocument(doc);
    } catch (...) {
      m_host.reportException();
    }
  }
}

void DocumentWindows::checkDocument(TMDIChild* doc) {
  if (doc->isNewDocument() || !QDir::isAbsolutePath(doc->filePath())) return;
  const QString path = doc->filePath();
  // A file replaced by a rename is no longer watched: watch its successor.
  watch(doc);
  const DiskStamp look = DiskStamp::look(path);
  if (doc->diskStamp().known() && !doc->diskStamp().looksDifferent(look)) return;
  DiskStamp now;
  TMDIChild::DiskState state = TMDIChild::DiskState::Same;
  try {
    state = doc->diskState(&now);
  } catch (const TessaryError& e) {
    // Something that is no longer a readable file (a folder, no permission): told once, not at every
    // activation.
    if (doc->property("diskChangeTold").toString() == e.message()) return;
    doc->setProperty("diskChangeTold", e.message());
    m_host.showStatus(e.message() + QStringLiteral("; Save asks before writing it."));
    return;
  }
  if (state == TMDIChild::DiskState::Same) {
    doc->setDiskStamp(now);  // touched, not changed
    return;
  }
  // Each change is told once; the save asks in any case.
  const QString seen = now.toText();
  if (doc->property("diskChangeTold").toString() == seen) return;
  doc->setProperty("diskChangeTold", seen);
  if (state == TMDIChild::DiskState::Deleted) {
    m_host.showStatus(
        QStringLiteral("%1 has been deleted or moved; Save asks before writing it again.").arg(path));
  } else if (!doc->isModified()) {
    doc->reloadFromDisk();
    m_host.showStatus(QStringLiteral("%1 changed on disk and was read again.").arg(path));
  } else {
    m_host.showStatus(
        QStringLiteral(
            "%1 changed on disk; Save asks before replacing it (this document has unsaved changes).")
            .arg(path));
  }
}

void DocumentWindows::cascade() { m_area->cascadeSubWindows(); }

void DocumentWindows::tile() {
  // The windows have a fixed size: a grid where they fit, overlapping evenly where they do not.
  const QList<QMdiSubWindow*> subs = m_area->subWindowList();
  if (subs.isEmpty()) return;
  for (QMdiSubWindow* sub : subs)
    if (sub->isMinimized() || sub->isMaximized()) sub->showNormal();
  const QSize area = m_area->viewport()->size();
  const QSize size = subs.first()->size();
  const int n = static_cast<int>(subs.size());
  const int cols = std::clamp(area.width() / std::max(1, size.width()), 1, n);
  const int rows = (n + cols - 1) / cols;
  const int dx = cols > 1 ? std::min(size.width(), (area.width() - size.width()) / (cols - 1)) : 0;
  const int dy =
      rows > 1 ? std::min(size.height(), std::max(0, area.height() - size.height()) / (rows - 1)) : 0;
  for (int i = 0; i < n; ++i) subs[i]->move((i % cols) * dx, (i / cols) * std::max(dy, 24));
}

void DocumentWindows::minimizeAll() {
  for (QMdiSubWindow* sub : m_area->subWindowList()) sub->showMinimized();
}

void DocumentWindows::restoreAll() {
  for (QMdiSubWindow* sub : m_area->subWindowList()) sub->showNormal();
}
