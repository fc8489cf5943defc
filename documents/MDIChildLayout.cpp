// The document window's controls: its tool bar with the copy and swap menu and
// the find box, the eight ship pages, the "Other" page and the server pages.
#include <QAction>
#include <QComboBox>
#include <QFrame>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QStringListModel>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "components/Pictures.h"
#include "documents/MDIChild.h"
#include "documents/MDIChildTexts.h"
#include "documents/PageSet.h"
#include "documents/ReportList.h"

using namespace MDIChildTexts;

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
    connect(list, &ReportList::rowSelectionChanged, this, &TMDIChild::SelectItem);
    connect(list, &ReportList::rowDoubleClicked, this, &TMDIChild::editvalue);
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
  connect(m_otherList, &ReportList::rowSelectionChanged, this, &TMDIChild::SelectItem);
  connect(m_otherList, &ReportList::rowDoubleClicked, this, &TMDIChild::editvalue);
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
