#include "documents/MDIChild.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QStatusBar>
#include <QStringListModel>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUndoStack>
#include <QVBoxLayout>
#include <memory>
#include <utility>

#include "components/Pictures.h"
#include "components/Prompts.h"
#include "documents/DocumentHost.h"
#include "documents/DocumentSaver.h"
#include "documents/PageSet.h"
#include "documents/RangeCheck.h"
#include "documents/Recovery.h"
#include "documents/ReportList.h"
#include "documents/WorkingCopies.h"
#include "prefs/Preferences.h"
#include "profile/AtomicFile.h"
#include "profile/ProfileFile.h"
#include "profile/TessaryError.h"
#include "profile/TextCodec.h"

namespace {
const QString kSection = QStringLiteral("[Section]");
const QString kSelect = QStringLiteral("[Select]");
const QString kPromptItem = QStringLiteral("[ Dropdown & Select Setting/Type Setting In Here ]");
const QString kListHint = QStringLiteral("Select to View Ship Comparisons/Help. Double Click to Edit.");
const QString kComboHint = QStringLiteral("Dropdown & Select Setting/Type To Search  For Setting In Here");

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

QMenu* TMDIChild::buildCopySwapMenu() {
  auto* menu = new QMenu(this);
  menu->setObjectName(QStringLiteral("CopySwapMenu"));
  // Each item names its target ship (-1: all the others); the source is the ship page shown.
  auto shipsMenu = [&](const QString& title, const QString& name, bool icons, bool all, bool swap,
                       bool setting, const QIcon& icon = {}) {
    QMenu* sub = menu->addMenu(icon, title);
    sub->setObjectName(name);
    auto add = [&](const QIcon& picture, const QString& caption, int target) {
      QAction* a = sub->addAction(picture, caption);
      a->setData(target);
      connect(a, &QAction::triggered, this, [this, target, swap, setting] {
        const int from = PageControl1->currentIndex();
        if (from < 0 || from >= Ships::kCount) return;
        if (swap)
          swapSettings(from, target, setting);
        else
          copySettings(from, target, setting);
      });
    };
    for (int i = 0; i < Ships::kCount; ++i)
      add(icons ? Pictures::ship(i) : QIcon(), Ships::names()[static_cast<size_t>(i)], i);
    if (all) {
      sub->addSeparator();
      add(QIcon(), QStringLiteral("All"), -1);
    }
  };
  shipsMenu(QStringLiteral("Copy Setting: To"), QStringLiteral("CopySettingTo"), true, true, false, true,
            Pictures::main(Picture::Import));
  shipsMenu(QStringLiteral("Copy Ship: To"), QStringLiteral("CopyShipTo"), false, true, false, false);
  menu->addSeparator();
  shipsMenu(QStringLiteral("Swap Setting: With"), QStringLiteral("SwapSettingWith"), false, false, true,
            true);
  shipsMenu(QStringLiteral("Swap Ship: With"), QStringLiteral("SwapShipWith"), false, false, true, false);
  connect(menu, &QMenu::aboutToShow, this, &TMDIChild::updateCopySwapMenu);
  m_copySwapMenu = menu;
  return menu;
}

void TMDIChild::updateCopySwapMenu() {
  // Only from a ship page; a ship is never its own target; a setting needs a selected row.
  const int from = PageControl1->currentIndex();
  const bool onShip = from >= 0 && from < Ships::kCount && docType() != QStringLiteral("Server");
  const bool hasSetting = onShip && !selectedKeyOf(from).isEmpty();
  for (QMenu* sub : m_copySwapMenu->findChildren<QMenu*>(QString(), Qt::FindDirectChildrenOnly)) {
    const bool setting = sub->objectName().contains(QStringLiteral("Setting"));
    sub->menuAction()->setEnabled(onShip && (!setting || hasSetting));
    for (QAction* a : sub->actions())
      if (!a->isSeparator()) a->setEnabled(a->data().toInt() != from);
  }
}

void TMDIChild::showShipContextMenu(ReportList* list, const QPoint& pos) {
  const int from = shipOf(list);
  QMenu menu(this);
  QMenu* copyTo = menu.addMenu(QStringLiteral("Copy To"));
  copyTo->setObjectName(QStringLiteral("CopyTo"));
  int target = 0;
  for (const QString& name :
       {QStringLiteral("Warbrid"), QStringLiteral("Javelin"), QStringLiteral("Spider"),
        QStringLiteral("Leviathan"), QStringLiteral("Terrier"), QStringLiteral("Weasel"),
        QStringLiteral("Lancaster"), QStringLiteral("Shark")}) {
    QAction* a = copyTo->addAction(name);
    a->setEnabled(target != from);
    connect(a, &QAction::triggered, this, [this, from, target] { copySettings(from, target, false); });
    ++target;
  }
  copyTo->addSeparator();
  connect(copyTo->addAction(QStringLiteral("All")), &QAction::triggered, this,
          [this, from] { copySettings(from, -1, false); });
  QMenu* swap = menu.addMenu(QStringLiteral("Swap With"));
  swap->setObjectName(QStringLiteral("SwapWith"));
  for (int i = 0; i < Ships::kCount; ++i) {
    QAction* a = swap->addAction(Ships::names()[static_cast<size_t>(i)]);
    a->setEnabled(i != from);
    connect(a, &QAction::triggered, this, [this, from, i] { swapSettings(from, i, false); });
  }
  menu.addAction(QStringLiteral("Tools"))->setVisible(false);
  menu.exec(list->viewport()->mapToGlobal(pos));
}

void TMDIChild::buildToolBar() {
  m_toolBar = new QToolBar(this);
  m_toolBar->setObjectName(QStringLiteral("ToolBar"));
  m_toolBar->setIconSize(QSize(16, 16));
  m_toolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  QMenu* menu = buildCopySwapMenu();
  auto* copySwap = new QToolButton(m_toolBar);
  copySwap->setObjectName(QStringLiteral("CopySwapButton"));
  copySwap->setText(QStringLiteral("Copy/Swap Settings"));
  copySwap->setIcon(Pictures::main(Picture::ReRead));
  copySwap->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  copySwap->setPopupMode(QToolButton::InstantPopup);
  copySwap->setMenu(menu);
  copySwap->setAutoRaise(true);
  m_toolBar->addWidget(copySwap);
  auto* misc = new QToolButton(m_toolBar);
  misc->setObjectName(QStringLiteral("MiscToolsButton"));
  misc->setText(QStringLiteral("Misc Tools"));
  misc->setIcon(Pictures::main(Picture::Tools));
  misc->setPopupMode(QToolButton::InstantPopup);
  misc->setMenu(menu);
  m_toolBar->addWidget(misc)->setVisible(false);
  // Find a setting by a part of its name, on every page of the document.
  m_filter = new QLineEdit(m_toolBar);
  m_filter->setObjectName(QStringLiteral("FilterBox"));
  m_filter->setPlaceholderText(QStringLiteral("Find (Ctrl+F)"));
  m_filter->setToolTip(
      QStringLiteral("Shows only the settings whose name holds this text; Escape clears it"));
  m_filter->setClearButtonEnabled(true);
  m_filter->installEventFilter(this);
  connect(m_filter, &QLineEdit::textChanged, this, [this](const QString& text) {
    for (ReportList* list : m_shipLists) list->setFilter(text);
    m_otherList->setFilter(text);
  });
  auto* spacer = new QWidget(m_toolBar);
  spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  m_toolBar->addWidget(spacer);
  m_toolBar->addWidget(m_filter);
  auto* find = new QAction(this);
  find->setObjectName(QStringLiteral("FindSetting"));
  find->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
  find->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  connect(find, &QAction::triggered, this, [this] {
    m_filter->setFocus(Qt::ShortcutFocusReason);
    m_filter->selectAll();
  });
  addAction(find);
}

void TMDIChild::buildPages() {
  PageControl1 = new PageSet(5, this);
  PageControl1->setObjectName(QStringLiteral("PageControl1"));
  for (int i = 0; i < Ships::kCount; ++i) {
    const QString& ship = Ships::names()[static_cast<size_t>(i)];
    auto* list = new ReportList(ship + QStringLiteral("List"),
                                i == 5 ? QStringLiteral("Settings") : QStringLiteral("Setting"),
                                i == 0 ? QStringLiteral("Vaule") : QStringLiteral("Value"));
    if (i != 3) list->setToolTip(kListHint);
    list->setStatusTip(kListHint);
    list->installEventFilter(this);
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list, &QWidget::customContextMenuRequested, this,
            [this, list](const QPoint& pos) { showShipContextMenu(list, pos); });
    connect(list, &QTreeWidget::itemSelectionChanged, this, &TMDIChild::SelectItem);
    connect(list, &QTreeWidget::itemDoubleClicked, this, &TMDIChild::editvalue);
    m_shipLists[static_cast<size_t>(i)] = list;
    PageControl1->addPage(list, Pictures::ship(i), ship);
  }
  auto* other = new QWidget();
  other->setObjectName(QStringLiteral("OtherPage"));
  auto* otherLayout = new QVBoxLayout(other);
  otherLayout->setContentsMargins(2, 2, 2, 2);
  ComboBox1 = new QComboBox(other);
  // A file may have a million sections: the list is a plain string model, its
  // width does not depend on every name, and its rows are all of one height.
  ComboBox1->setModel(new QStringListModel(ComboBox1));
  ComboBox1->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  ComboBox1->setMinimumContentsLength(20);
  if (auto* view = qobject_cast<QListView*>(ComboBox1->view())) view->setUniformItemSizes(true);
  ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
  ComboBox1->setEditable(true);
  ComboBox1->setInsertPolicy(QComboBox::NoInsert);
  ComboBox1->setCompleter(nullptr);  // completion below, so that it counts as a choice
  ComboBox1->setToolTip(kComboHint);
  ComboBox1->addItem(kPromptItem);
  ComboBox1->setEnabled(false);
  ComboBox1->setMaxVisibleItems(20);
  connect(ComboBox1, &QComboBox::activated, this, &TMDIChild::chooseSection);
  connect(ComboBox1->lineEdit(), &QLineEdit::textEdited, this, &TMDIChild::onComboTextEdited);
  otherLayout->addWidget(ComboBox1);
  auto* frame = new QFrame(other);
  frame->setFrameShape(QFrame::Panel);
  frame->setFrameShadow(QFrame::Sunken);
  auto* frameLayout = new QVBoxLayout(frame);
  frameLayout->setContentsMargins(1, 1, 1, 1);
  m_otherList =
      new ReportList(QStringLiteral("OtherList"), QStringLiteral("Setting"), QStringLiteral("Value"), frame);
  m_otherList->installEventFilter(this);
  connect(m_otherList, &QTreeWidget::itemSelectionChanged, this, &TMDIChild::SelectItem);
  connect(m_otherList, &QTreeWidget::itemDoubleClicked, this, &TMDIChild::editvalue);
  frameLayout->addWidget(m_otherList);
  otherLayout->addWidget(frame, 1);
  PageControl1->addPage(other, Pictures::ship(8), QStringLiteral("Other"));
  connect(PageControl1, &PageSet::currentChanged, this, &TMDIChild::PageControl1Change);

  // A server document would show this page set instead; nothing creates one yet.
  m_serverPages = new PageSet(5, this);
  m_serverPages->setObjectName(QStringLiteral("ServerPageControl"));
  auto* server = new QWidget();
  auto* serverLayout = new QVBoxLayout(server);
  auto* serverCombo = new QComboBox(server);
  serverCombo->setObjectName(QStringLiteral("ServerComboBox"));
  serverCombo->setEnabled(false);
  serverLayout->addWidget(serverCombo);
  m_serverList = new ReportList(QStringLiteral("ServerList"), QStringLiteral("Setting"),
                                QStringLiteral("Value"), server);
  serverLayout->addWidget(m_serverList, 1);
  m_serverPages->addPage(server, Pictures::main(Picture::NewServer), QStringLiteral("Server Settings"));
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
  m_sections.clear();
  m_keys.clear();
  m_otherSection.clear();
  m_chosenIndex = -1;
  guarded(m_prompts, this, [&] {
    const ConfigData data = sourcePath == m_doc->workingCopy() ? m_doc->read() : loadConfigData(sourcePath);
    m_sections = data.sections;
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
  m_main->showFileDetails(
      QStringLiteral("Last Modified: ") + formatDetailsTime(fileModifiedTime(file)),
      QStringLiteral("Owner: ") + ProfileFile::readText(file, QStringLiteral("Owner"), QStringLiteral("Name"),
                                                        QStringLiteral("N/A")));
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

bool TMDIChild::confirmClose() {
  if (!isModified()) return true;
  const auto answer = m_prompts.message(this, QMessageBox::Question, applicationTitle(),
                                        QStringLiteral("Save changes to %1?").arg(fileName()),
                                        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
  if (answer == QMessageBox::Save) return saveWithDialog();
  return answer == QMessageBox::Discard;
}

void TMDIChild::closeEvent(QCloseEvent* event) {
  if (!m_closeConfirmed &&
      !confirmClosing({QPointer<TMDIChild>(this)}, [this] { m_main->reportException(); })) {
    event->ignore();
    return;
  }
  event->accept();
  Q_EMIT formClosed();
}

bool TMDIChild::saveWithDialog() {
  // A document never saved offers its name in the user's folder, not in the
  // program's current folder (base/temp/, the working copies).
  const QString path = filePath();
  const QString proposed = QDir::isAbsolutePath(path) && !m_workingCopies.isInsideFolder(path)
                               ? path
                               : Preferences(m_paths).dialogFolder() + QLatin1Char('/') + fileName();
  for (;;) {
    const std::optional<QString> chosen = m_prompts.saveFile(this, QStringLiteral("File Save/Save As"),
                                                             QStringLiteral("Config File(*.cfg)"), proposed);
    if (!chosen || chosen->isEmpty()) return false;
    const QString target = *chosen;
    if (const QString refused = DocumentSaver::refusal(m_workingCopies, target); !refused.isEmpty()) {
      m_prompts.message(this, QMessageBox::Warning, applicationTitle(), refused);
      continue;
    }
    for (;;) {
      std::optional<DiskStamp> expected;
      const ReplaceAnswer answer = confirmReplace(target, expected);
      if (answer == ReplaceAnswer::Stop) return false;
      if (answer == ReplaceAnswer::ChooseAgain) break;
      if (!passesRangeCheck()) return false;
      try {
        saveTo(target, expected);
        return true;
      } catch (const FileChangedError&) {
        // Written by someone else between the question and the replace: ask again.
      }
    }
  }
}

TMDIChild::ReplaceAnswer TMDIChild::confirmReplace(const QString& target,
                                                   std::optional<DiskStamp>& expected) {
  if (m_doc->isOwnFile(target)) {
    DiskStamp now;
    const DiskState state = diskState(&now);
    if (state == DiskState::Changed) {
      const auto answer = m_prompts.choose(
          this, QMessageBox::Warning, applicationTitle(),
          QStringLiteral(
              "%1 has changed on disk since this document read it (another program or another copy of "
              "Tessary wrote it).\n\nOverwrite it with this document, and lose what was written there; "
              "reload it from disk, and lose this document's unsaved changes; or cancel? Compare shows what "
              "differs first.")
              .arg(target),
          {{QMessageBox::Save, QStringLiteral("&Overwrite")},
           {QMessageBox::Reset, QStringLiteral("&Reload")},
           {QMessageBox::Open, QStringLiteral("Co&mpare")},
           {QMessageBox::Cancel, QStringLiteral("&Cancel")}});
      if (answer == QMessageBox::Open) {
        // Nothing is saved; the list shows this document against the file as it is now.
        m_main->compareWithFile(this, target);
        return ReplaceAnswer::Stop;
      }
      if (answer == QMessageBox::Save) {
        expected = now;
        return ReplaceAnswer::Replace;
      }
      if (answer == QMessageBox::Reset &&
          (!isModified() ||
           m_prompts.message(this, QMessageBox::Warning, applicationTitle(),
                             QStringLiteral("Discard the unsaved changes to %1 and read the file "
                                            "again from disk?\n\nYou Cannot Undo This Operation!")
                                 .arg(fileName()),
                             QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes))
        reloadFromDisk();
      return ReplaceAnswer::Stop;
    }
    if (state == DiskState::Deleted) {
      const auto answer = m_prompts.choose(
          this, QMessageBox::Warning, applicationTitle(),
          QStringLiteral("%1 has been deleted or moved since this document read it.\n\nSave it there again?")
              .arg(target),
          {{QMessageBox::Save, QStringLiteral("&Save")}, {QMessageBox::Cancel, QStringLiteral("&Cancel")}});
      if (answer != QMessageBox::Save) return ReplaceAnswer::Stop;
      expected = DiskStamp{};  // still missing when it is written
      return ReplaceAnswer::Replace;
    }
    expected = now;
  } else {
    expected = DiskStamp::of(target);
  }
  // Asked only for a file that is there: a new name replaces nothing.
  if (expected->exists) {
    const auto answer = m_prompts.message(
        this, QMessageBox::Warning, QStringLiteral("Warning"),
        QStringLiteral("Are You Sure You Want To Overwrite \n%1 ???\n\nYou Cannot Undo This Operation!")
            .arg(target),
        QMessageBox::Ok | QMessageBox::Cancel);
    if (answer != QMessageBox::Ok) return ReplaceAnswer::ChooseAgain;
  }
  return ReplaceAnswer::Replace;
}

bool TMDIChild::passesRangeCheck() {
  if (!Preferences(m_paths).checkOnSave()) return true;
  // The range check first; findings are the user's call, not a refusal.
  const QList<RangeCheck::Finding> findings =
      RangeCheck::check(m_doc->content(), RangeCheck::loadRules(m_paths.rulesFile()));
  if (findings.isEmpty()) return true;
  QStringList lines;
  for (qsizetype i = 0; i < findings.size() && i < 10; ++i) lines.append(findings[i].text());
  if (findings.size() > 10) lines.append(QStringLiteral("..."));
  return m_prompts.message(
             this, QMessageBox::Warning, applicationTitle(),
             QStringLiteral("%1 setting(s) of %2 lie outside their known ranges:\n%3\n\nSave anyway?")
                 .arg(findings.size())
                 .arg(fileName(), lines.join(QLatin1Char('\n'))),
             QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void TMDIChild::saveTo(const QString& target, const std::optional<DiskStamp>& expected) {
  const Preferences prefs(m_paths);
  m_doc->saveTo(target, prefs.createBackups() ? prefs.backupPathFor(target) : QString(), expected);
  m_main->showLastModified(QStringLiteral("Last Modified: ") + formatDetailsTime(fileModifiedTime(target)));
}

void TMDIChild::reloadFromDisk() {
  m_doc->reloadFromDisk();
  showFileDetails();
}

bool confirmClosing(const QList<QPointer<TMDIChild>>& docs, const std::function<void()>& reportError) {
  try {
    for (const QPointer<TMDIChild>& doc : docs)
      if (doc && !doc->confirmClose()) return false;
    return true;
  } catch (...) {
    reportError();
    return false;
  }
}
