#include "documents/MDIChild.h"

#include <QComboBox>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QStringListModel>
#include <QToolBar>
#include <QVBoxLayout>
#include <memory>
#include <utility>

#include "components/Prompts.h"
#include "documents/DocumentHost.h"
#include "documents/MDIChildTexts.h"
#include "documents/PageSet.h"
#include "documents/ReportList.h"
#include "profile/ProfileFile.h"
#include "profile/TextCodec.h"

using namespace MDIChildTexts;

namespace {
// Shows "Error?" and lets the failure go on to the exception log.
template <typename F>
void guarded(Prompts& prompts, QWidget* parent, F&& work) {
  try {
    work();
  } catch (...) {
    prompts.message(parent, QMessageBox::Information, applicationTitle(), QStringLiteral("Error?"),
                    QMessageBox::Ok);
    throw;
  }
}
}  // namespace

TMDIChild::TMDIChild(DocumentHost* main, Prompts& prompts, const AppPaths& paths,
                     WorkingCopies& workingCopies)
    : m_main(main), m_workingCopies(workingCopies), m_prompts(prompts), m_paths(paths) {
  setObjectName(QStringLiteral("TMDIChild"));
  setFixedSize(441, 374);
  m_doc = new Document(workingCopies, this);
  connect(m_doc, &Document::modifiedChanged, this, &TMDIChild::updateCaption);
  connect(m_doc, &Document::identityChanged, this, [this] {
    updateCaption();
    m_statusFile->setText(m_doc->filePath());
    m_statusFile->setToolTip(m_doc->filePath());
    m_statusType->setText(QStringLiteral(" Type: ") + m_doc->type());
  });
  connect(m_doc, &Document::valuesChanged, this, &TMDIChild::showChanges);
  connect(m_doc, &Document::contentReplaced, this, &TMDIChild::contentReplaced);
  connect(m_doc, &Document::historyFailed, this, [this] { m_main->reportException(); });
  connect(m_doc, &Document::saved, this, &TMDIChild::saved);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  buildToolBar();
  layout->addWidget(m_toolBar);
  buildPages();
  layout->addWidget(PageControl1, 1);
  layout->addWidget(m_serverPages, 1);
  auto* status = new QStatusBar(this);
  status->setObjectName(QStringLiteral("StatusBar"));
  status->setSizeGripEnabled(false);
  m_statusFile = new QLabel(QStringLiteral("File:"), status);
  m_statusFile->setObjectName(QStringLiteral("StatusFile"));
  m_statusType = new QLabel(QStringLiteral("Type:"), status);
  m_statusType->setObjectName(QStringLiteral("StatusType"));
  // 70 pixels, or what " Type: Server" needs in the font at hand; the path takes the rest.
  m_statusType->setFixedWidth(
      std::max(70, m_statusType->fontMetrics().horizontalAdvance(QStringLiteral(" Type: Server")) + 8));
  m_statusFile->setMinimumWidth(1);
  status->addWidget(m_statusFile, 1);
  status->addWidget(m_statusType);
  layout->addWidget(status);
  PageControl1->hide();
  m_serverPages->hide();
  updateCaption();
}

TMDIChild::~TMDIChild() {
  // The document goes first, and silently: its end is no change to show.
  m_doc->disconnect(this);
  delete std::exchange(m_doc, nullptr);
  // FormDestroy: the comparison shows nothing of a window that is gone.
  if (m_main) m_main->resetComparisonValues();
}

void TMDIChild::setCaption(const QString& caption) { m_doc->setCaption(caption); }
QString TMDIChild::fileName() const { return m_doc->caption(); }
QString TMDIChild::filePath() const { return m_doc->filePath(); }
void TMDIChild::setFilePath(const QString& path) { m_doc->setFilePath(path); }
QString TMDIChild::docType() const { return m_doc->type(); }
void TMDIChild::setDocType(const QString& type) { m_doc->setType(type); }
QString TMDIChild::workingCopy() const { return m_doc->workingCopy(); }
void TMDIChild::setWorkingCopy(const QString& path) { m_doc->setWorkingCopy(path); }
bool TMDIChild::isModified() const { return m_doc->isModified(); }
void TMDIChild::setModified(bool modified) { m_doc->setModified(modified); }
bool TMDIChild::isNewDocument() const { return m_doc->isNew(); }
void TMDIChild::setNewDocument(bool isNew) { m_doc->setNew(isNew); }
QUndoStack* TMDIChild::undoStack() const { return m_doc->undoStack(); }
void TMDIChild::setHistoryLimits(int steps, qint64 bytes) { m_doc->setHistoryLimits(steps, bytes); }
void TMDIChild::keepRecoveryRecord() { m_doc->keepRecoveryRecord(); }
void TMDIChild::markRecovered() { m_doc->markRecovered(); }
const DiskStamp& TMDIChild::diskStamp() const { return m_doc->diskStamp(); }
void TMDIChild::setDiskStamp(const DiskStamp& stamp) { m_doc->setDiskStamp(stamp); }
TMDIChild::DiskState TMDIChild::diskState(DiskStamp* now) const { return m_doc->diskState(now); }

void TMDIChild::updateCaption() {
  // "[*]" shows the unsaved mark while the window is modified.
  setWindowTitle(m_doc->caption() + QStringLiteral("[*]"));
  setWindowModified(m_doc->isModified());
}

QString TMDIChild::currentShip() const {
  if (docType() == QStringLiteral("Server")) return {};
  const int index = PageControl1->currentIndex();
  return index >= 0 && index < Ships::kCount ? Ships::names()[static_cast<size_t>(index)] : QString();
}

ReportList* TMDIChild::focusedList() const {
  for (ReportList* list : m_shipLists)
    if (list->hasFocus()) return list;
  return m_otherList->hasFocus() ? m_otherList : nullptr;
}

int TMDIChild::comparedRow() const {
  // The ship list in use, else the one used last: an edit on "Other" leaves the comparison as it was.
  ReportList* list = focusedList();
  if (!list || shipOf(list) < 0) list = m_lastShipList;
  if (!list || shipOf(list) < 0) return 0;
  return std::max(list->selectedRow(), 0);
}

void TMDIChild::setSelectText() { ComboBox1->setEditText(kSelect); }

void TMDIChild::selectSetting(const QString& section, const QString& key) {
  const int ship = Ships::indexOf(section);
  ReportList* list = nullptr;
  if (ship >= 0) {
    PageControl1->setCurrentIndex(ship);
    list = m_shipLists[static_cast<size_t>(ship)];
  } else {
    const int item = ComboBox1->findText(section, Qt::MatchFixedString);
    if (item < 0) return;
    PageControl1->setCurrentIndex(Ships::kCount);
    ComboBox1->setCurrentIndex(item);
    chooseSection(item);
    list = m_otherList;
  }
  const int row = list->rowOf(key);
  list->setFocus(Qt::OtherFocusReason);
  if (row >= 0) {
    list->clearSelection();
    list->selectRow(row);
  }
}

bool TMDIChild::eventFilter(QObject* watched, QEvent* event) {
  // Escape in the filter box clears it, and the lists show every row again.
  if (watched == m_filter &&
      (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && !m_filter->text().isEmpty()) {
    if (event->type() == QEvent::KeyPress) m_filter->clear();
    event->accept();
    return event->type() == QEvent::KeyPress;
  }
  // Enter on a selected row opens the edit box, as a double click does.
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    auto* list = qobject_cast<ReportList*>(watched);
    if (list && (key == Qt::Key_Return || key == Qt::Key_Enter) && list->selectedRow() >= 0) {
      editValueIn(list);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

int TMDIChild::shipOf(const ReportList* list) const {
  for (int i = 0; i < Ships::kCount; ++i)
    if (m_shipLists[static_cast<size_t>(i)] == list) return i;
  return -1;
}

void TMDIChild::showPageSet(const QString& type) {
  if (type == QStringLiteral("Server")) {
    PageControl1->hide();
    m_serverPages->show();
  } else {
    m_serverPages->hide();
    PageControl1->show();
  }
}

void TMDIChild::prepareOtherPage() {
  ComboBox1->setEnabled(true);
  ComboBox1->setEditText(kSection);
  if (m_otherList->rowCount() > 0) m_otherList->clearRows();
}

void TMDIChild::LoadDocument(const QString& sourcePath) {
  for (ReportList* list : m_shipLists) list->clearRows();
  m_otherList->clearRows();
  ComboBox1->clear();
  ComboBox1->setEditText(QString());
  m_keys.clear();
  m_otherSection.clear();
  m_chosenIndex = -1;
  guarded(m_prompts, this, [&] {
    const ConfigData data = sourcePath == m_doc->workingCopy() ? m_doc->read() : loadConfigData(sourcePath);
    QStringList others = data.otherSections;
    // Sorted by keys made once per name, not a locale comparison per pair.
    QStringList sorted;
    sorted.reserve(others.size());
    for (const int i : settingOrder(others)) sorted.append(others[i]);
    static_cast<QStringListModel*>(ComboBox1->model())->setStringList(sorted);
    ComboBox1->setEnabled(true);
    ComboBox1->setToolTip(kComboHint);
    if (!data.repeatedSections.isEmpty()) {
      // The user would otherwise wonder why an edit lands in one copy and not the other.
      const QString note =
          QStringLiteral(
              "These sections appear more than once in the file: %1. Each is listed once with the keys "
              "of all its copies; where a key repeats, the first one is shown and edited.")
              .arg(data.repeatedSections.join(QStringLiteral(", ")));
      ComboBox1->setToolTip(kComboHint + QStringLiteral("\n\n") + note);
      ComboBox1->setStatusTip(note);
    }
    m_keys = data.keys;
    const std::vector<int> order = settingOrder(m_keys);
    for (int ship = 0; ship < Ships::kCount; ++ship)
      m_shipLists[static_cast<size_t>(ship)]->setRows(m_keys, data.values[static_cast<size_t>(ship)], order);
  });
}

void TMDIChild::FillOtherPage(const QString& workingCopy, const QString& section) {
  m_otherList->clearRows();
  m_otherSection.clear();
  if (section.isEmpty()) return;
  guarded(m_prompts, this, [&] {
    const ProfileFile::TextEntries rows = workingCopy == m_doc->workingCopy()
                                              ? m_doc->sectionRows(section)
                                              : ProfileFile(workingCopy).textEntries(section);
    m_otherList->setRows(rows.keys, rows.values, settingOrder(rows.keys));
    m_otherSection = section;
  });
}

void TMDIChild::FormCreate() { m_main->enableWindowButtons(); }

void TMDIChild::FormActivate() {
  showFileDetails();
  m_main->RefreshMultifirePreview(currentShip(), false);
}

void TMDIChild::showFileDetails() {
  const QString file = filePath().isEmpty() ? m_main->openDialogFileName() : filePath();
  if (file.isEmpty()) {
    m_main->showFileDetails(QStringLiteral("Last Modified: N/A"), QStringLiteral("Owner: N/A"));
    return;
  }
  // The document's own file, unchanged since it was read, is what the working copy holds: no second read.
  const bool asRead = file == filePath() && !isNewDocument() && !isModified() &&
                      !m_doc->diskStamp().looksDifferent(DiskStamp::look(file));
  const QString owner =
      asRead ? m_doc->content().text(QStringLiteral("Owner"), QStringLiteral("Name"), QStringLiteral("N/A"))
             : ProfileFile::readText(file, QStringLiteral("Owner"), QStringLiteral("Name"),
                                     QStringLiteral("N/A"));
  m_main->showFileDetails(QStringLiteral("Last Modified: ") + formatDetailsTime(fileModifiedTime(file)),
                          QStringLiteral("Owner: ") + owner);
}

void TMDIChild::SelectItem() { selectItemIn(focusedList()); }

void TMDIChild::selectItemIn(ReportList* list) {
  if (!list) return;
  const int row = list->selectedRow();
  if (row < 0) return;
  m_lastList = list;
  if (shipOf(list) >= 0) m_lastShipList = list;
  const QString name = list->name(row);
  if (shipOf(list) >= 0) {
    m_main->RefreshShipComparison();
    m_main->ShowSettingHelp(QStringLiteral("Help"), name);
    return;
  }
  const QString text = ComboBox1->currentText();
  const QString section =
      text == QStringLiteral("PrizeWeight") || text == QStringLiteral("Cost") ? text : QStringLiteral("Help");
  m_main->ShowSettingHelp(section, name);
}

void TMDIChild::editvalue() { editValueIn(focusedList()); }

void TMDIChild::editValueIn(ReportList* list) {
  if (!list) return;
  const int row = list->selectedRow();
  if (row < 0) return;
  m_lastList = list;
  if (shipOf(list) >= 0) m_lastShipList = list;
  const QString current = list->value(row);
  const std::optional<QString> answer =
      m_prompts.askText(this, QStringLiteral("Edit Setting"), QStringLiteral("Value: "),
                        current.isEmpty() ? QStringLiteral("0") : current);
  if (!answer) return;  // Cancel changes nothing and writes nothing
  const int ship = shipOf(list);
  QString value = *answer;
  if (ship >= 0) {
    if (value.isEmpty()) {
      if (ship == 0) return;  // Warbird defines the rows: an empty answer keeps the value
      value = QStringLiteral("0");
    }
  }
  // The "Other" list belongs to the section whose rows it shows, whatever was typed since.
  const QString section = ship >= 0 ? Ships::names()[static_cast<size_t>(ship)] : m_otherSection;
  if (section.isEmpty()) return;
  if (value != current) editValue(section, list->name(row), value);
  if (ship >= 0) m_main->RefreshShipComparison();
}

void TMDIChild::editValue(const QString& section, const QString& key, const QString& value) {
  m_doc->editValue(section, key, value);
}

void TMDIChild::setShipValue(const QString& ship, const QString& key, const QString& value) {
  editValue(ship, key, value);
}

QString TMDIChild::selectedKeyOf(int ship) const {
  if (ship < 0 || ship >= Ships::kCount) return {};
  const ReportList* list = m_shipLists[static_cast<size_t>(ship)];
  const int row = list->selectedRow();
  return row < 0 ? QString() : list->name(row);
}

void TMDIChild::copySettings(int fromShip, int toShip, bool onlySelected) {
  if (fromShip < 0 || fromShip >= Ships::kCount || toShip == fromShip || toShip >= Ships::kCount) return;
  const QString key = onlySelected ? selectedKeyOf(fromShip) : QString();
  if (onlySelected && key.isEmpty()) return;
  guarded(m_prompts, this, [&] { askAndApply(m_doc->planCopy(fromShip, toShip, key)); });
}

void TMDIChild::swapSettings(int shipA, int shipB, bool onlySelected) {
  if (shipA < 0 || shipA >= Ships::kCount || shipB < 0 || shipB >= Ships::kCount || shipA == shipB) return;
  const QString key = onlySelected ? selectedKeyOf(shipA) : QString();
  if (onlySelected && key.isEmpty()) return;
  guarded(m_prompts, this, [&] { askAndApply(m_doc->planSwap(shipA, shipB, key)); });
}

void TMDIChild::askAndApply(Document::ShipPlan plan) {
  if (m_prompts.message(this, QMessageBox::Question, applicationTitle(), plan.question,
                        QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
    return;
  m_doc->apply(std::move(plan));
}

void TMDIChild::contentReplaced() {
  try {
    reloadKeepingView();
  } catch (...) {
    m_main->reportException();
  }
  m_main->RefreshShipComparison();
}

void TMDIChild::showChanges(const std::vector<ValueChange>& changes, bool after) {
  // A few values change in place; many, or new rows, mean the pages are read again.
  constexpr std::size_t kInPlace = 256;
  bool reload = changes.size() > kInPlace;
  bool refillOther = false;
  QHash<QString, int> otherRows;
  auto inOther = [this](const QByteArray& section) {
    return !m_otherSection.isEmpty() &&
           (ProfileFile::sameName(section, m_otherSection.toUtf8()) ||
            ProfileFile::sameName(section, TextCodec::encode(m_otherSection, true)));
  };
  for (const ValueChange& c : changes) {
    // A key new to Warbird is a new row on every ship page.
    if (!c.existed && Ships::indexOf(TextCodec::decode(c.section)) == 0) reload = true;
    if (!inOther(c.section)) continue;
    if (otherRows.isEmpty())
      for (int r = 0; r < m_otherList->rowCount(); ++r) otherRows.insert(m_otherList->name(r).toLower(), r);
    const int row = otherRows.value(TextCodec::decode(c.key).toLower(), -1);
    if (row < 0 || !c.existed)
      refillOther = true;  // a row comes or goes
    else
      m_otherList->setValue(row, TextCodec::decode(after ? c.after : c.before));
  }
  if (reload) {
    reloadKeepingView();
    m_main->RefreshShipComparison();
    return;
  }
  std::array<QHash<QString, int>, Ships::kCount> rows;
  for (const ValueChange& c : changes) {
    const int ship = Ships::indexOf(TextCodec::decode(c.section));
    if (ship < 0) continue;
    ReportList* list = m_shipLists[static_cast<size_t>(ship)];
    QHash<QString, int>& index = rows[static_cast<size_t>(ship)];
    if (index.isEmpty())
      for (int r = 0; r < list->rowCount(); ++r) index.insert(list->name(r).toLower(), r);
    const int row = index.value(TextCodec::decode(c.key).toLower(), -1);
    if (row >= 0)
      list->setValue(row, TextCodec::decode(after ? c.after : (c.existed ? c.before : QByteArray())));
  }
  if (refillOther) {
    const int selected = m_otherList->selectedRow();
    const QString name = selected >= 0 ? m_otherList->name(selected) : QString();
    FillOtherPage(workingCopy(), m_otherSection);
    if (const int row = name.isEmpty() ? -1 : m_otherList->rowOf(name); row >= 0) m_otherList->selectRow(row);
  }
  m_main->RefreshShipComparison();
}

void TMDIChild::reloadKeepingView() {
  const int page = PageControl1->currentIndex();
  std::array<QString, Ships::kCount> selected;
  for (int i = 0; i < Ships::kCount; ++i) selected[static_cast<size_t>(i)] = selectedKeyOf(i);
  const QString other = m_otherSection;
  const int otherRow = m_otherList->selectedRow();
  const QString otherSelected = otherRow >= 0 ? m_otherList->name(otherRow) : QString();
  const QString comboText = ComboBox1->currentText();
  LoadDocument(workingCopy());
  for (int i = 0; i < Ships::kCount; ++i) {
    ReportList* list = m_shipLists[static_cast<size_t>(i)];
    if (const int row = list->rowOf(selected[static_cast<size_t>(i)]); row >= 0) list->selectRow(row);
  }
  if (!other.isEmpty()) {
    if (const int item = ComboBox1->findText(other, Qt::MatchFixedString); item >= 0) {
      ComboBox1->setCurrentIndex(item);
      m_chosenIndex = item;
      m_lastTyped = other;
      FillOtherPage(workingCopy(), other);
      if (const int row = m_otherList->rowOf(otherSelected); row >= 0) m_otherList->selectRow(row);
    }
  } else {
    ComboBox1->setEditText(comboText);
  }
  PageControl1->setCurrentIndex(page);
}

void TMDIChild::chooseSection(int index) {
  m_chosenIndex = index;
  m_lastTyped = ComboBox1->itemText(index);
  ComboBox1Select();
}

void TMDIChild::onComboTextEdited(const QString& text) {
  const bool deleting = text.size() <= m_lastTyped.size() && m_lastTyped.startsWith(text);
  m_lastTyped = text;
  if (text.isEmpty() || deleting) return;
  int found = -1;
  for (int i = 0; i < ComboBox1->count(); ++i)
    if (ComboBox1->itemText(i).startsWith(text, Qt::CaseInsensitive)) {
      found = i;
      break;
    }
  if (found < 0) return;  // typed text that begins no section chooses nothing
  const QString item = ComboBox1->itemText(found);
  QLineEdit* edit = ComboBox1->lineEdit();
  {
    const QSignalBlocker block(ComboBox1);
    ComboBox1->setCurrentIndex(found);
  }
  edit->setText(item);
  edit->setSelection(static_cast<int>(text.size()), static_cast<int>(item.size() - text.size()));
  if (found != m_chosenIndex) {
    m_chosenIndex = found;
    ComboBox1Select();
  }
}

void TMDIChild::ComboBox1Select() { FillOtherPage(workingCopy(), ComboBox1->currentText()); }

void TMDIChild::PageControl1Change() { m_main->RefreshMultifirePreview(currentShip(), true); }
