#include "app/SidePanel.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "components/Pictures.h"
#include "components/Prompts.h"
#include "components/Readable.h"
#include "components/ShipBars.h"
#include "documents/ConfigModel.h"
#include "documents/MDIChild.h"
#include "profile/ProfileFile.h"
#include "profile/TessaryError.h"
#include "tools/BulletCalculator.h"
#include "tools/IntParse.h"
#include "tools/MultifirePreview.h"
#include "tools/MultifireTool.h"

namespace {
const QString kNA = QStringLiteral("N/A");

QFont bold(QFont f) {
  f.setBold(true);
  return f;
}
}  // namespace

SidePanel::SidePanel(const AppPaths& paths, Prompts& prompts, std::function<TMDIChild*()> activeDocument,
                     QWidget* parent)
    : QWidget(parent), m_paths(paths), m_prompts(prompts), m_activeDocument(std::move(activeDocument)) {
  setObjectName(QStringLiteral("SidePanel"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  m_pages = new QTabWidget(this);
  m_pages->setObjectName(QStringLiteral("SidePages"));
  // No style sheet on the tabs: one would switch the whole bar to style-sheet
  // drawing, and the unselected tabs would lose their frames.
  m_pages->setUsesScrollButtons(false);
  m_pages->setIconSize(QSize(14, 14));
  m_pages->tabBar()->setExpanding(false);
  m_pages->tabBar()->setElideMode(Qt::ElideNone);
  layout->addWidget(m_pages);

  m_pages->addTab(scrollable(buildGeneralPage()), Pictures::main(Picture::Information),
                  QStringLiteral("General "));
  auto* calculators = new QWidget();
  calculators->setObjectName(QStringLiteral("CalculatorsPage"));
  auto* calcLayout = new QVBoxLayout(calculators);
  m_calculator = new BulletCalculator(calculators);
  calcLayout->addWidget(m_calculator);
  calcLayout->addStretch(1);
  m_pages->addTab(scrollable(calculators), Pictures::main(Picture::Calculators),
                  QStringLiteral("Calculators"));
  QWidget* tools = scrollable(buildToolsPage());
  m_pages->addTab(tools, Pictures::main(Picture::Tools), QStringLiteral("Tools"));
  connect(m_pages, &QTabWidget::currentChanged, this, [this, tools](int index) {
    if (m_pages->widget(index) == tools) TabSheet6Show();
  });
}

QWidget* SidePanel::scrollable(QWidget* page) {
  // A page keeps its controls at their sizes and scrolls where the window is too
  // small for it (a large scale on a small screen), rather than piling them up.
  auto* scroll = new QScrollArea();
  scroll->setObjectName(page->objectName() + QStringLiteral("Scroll"));
  scroll->setWidget(page);
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  return scroll;
}

int SidePanel::openWidth(int minimumWidth) const {
  // The tab captions and every page's contents must fit; the given pixels are a minimum.
  int needed = m_pages->tabBar()->sizeHint().width();
  for (int i = 0; i < m_pages->count(); ++i) {
    const auto* scroll = qobject_cast<const QScrollArea*>(m_pages->widget(i));
    const QWidget* page = scroll && scroll->widget() ? scroll->widget() : m_pages->widget(i);
    needed = std::max(needed, page->minimumSizeHint().width());
  }
  const QMargins m = layout()->contentsMargins();
  return std::max(minimumWidth, needed + m.left() + m.right() + 4);
}

QWidget* SidePanel::buildGeneralPage() {
  auto* general = new QWidget();
  general->setObjectName(QStringLiteral("GeneralPage"));
  auto* gl = new QVBoxLayout(general);
  auto* compareBox = new QGroupBox(QStringLiteral(" Ship Comparisons "), general);
  compareBox->setObjectName(QStringLiteral("ShipComparisonsGroup"));
  auto* cl = new QVBoxLayout(compareBox);
  m_comparisons = new QTreeWidget(compareBox);
  m_comparisons->setObjectName(QStringLiteral("ShipComparisons"));
  m_comparisons->setColumnCount(2);
  m_comparisons->setHeaderLabels({QStringLiteral("Ship"), QStringLiteral("Value")});
  m_comparisons->setRootIsDecorated(false);
  m_comparisons->setSelectionMode(QAbstractItemView::NoSelection);
  m_comparisons->setFocusPolicy(Qt::NoFocus);
  m_comparisons->header()->setSectionsClickable(false);
  m_comparisons->setUniformRowHeights(true);
  m_comparisons->setIconSize(QSize(14, 14));
  m_comparisons->setIndentation(0);
  m_comparisons->setTextElideMode(Qt::ElideNone);
  m_comparisons->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_comparisons->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // Grid lines between the cells, as in a report list with grid lines.
  m_comparisons->setStyleSheet(QStringLiteral(
      "QTreeView::item { border-right: 1px solid palette(mid); border-bottom: 1px solid palette(mid); }"));
  for (int i = 0; i < Ships::kCount; ++i) {
    auto* row = new QTreeWidgetItem(m_comparisons);
    row->setIcon(0, Pictures::ship(i));
    row->setText(0, Ships::names()[static_cast<size_t>(i)]);
    row->setText(1, QStringLiteral("0"));
  }
  // The ship column as wide as its longest name ("Leviathan", "Lancaster") with the icon.
  m_comparisons->resizeColumnToContents(0);
  m_comparisons->setColumnWidth(0, m_comparisons->columnWidth(0) + 6);
  m_comparisons->setColumnWidth(
      1, std::max(98, m_comparisons->fontMetrics().horizontalAdvance(QStringLiteral("0000000000"))));
  m_comparisons->setMinimumWidth(m_comparisons->columnWidth(0) + m_comparisons->columnWidth(1) +
                                 2 * m_comparisons->frameWidth());
  m_comparisons->setFixedHeight(m_comparisons->header()->sizeHint().height() +
                                8 * m_comparisons->sizeHintForRow(0) + 2 * m_comparisons->frameWidth() + 2);
  cl->addWidget(m_comparisons);
  auto* settingRow = new QHBoxLayout();
  auto* settingCaption = new QLabel(QStringLiteral("Setting:"), compareBox);
  settingCaption->setObjectName(QStringLiteral("SettingCaption"));
  settingCaption->setFont(bold(settingCaption->font()));
  m_settingValue = new QLabel(kNA, compareBox);
  m_settingValue->setObjectName(QStringLiteral("SettingValue"));
  settingRow->addWidget(settingCaption);
  settingRow->addWidget(m_settingValue, 1);
  cl->addLayout(settingRow);
  // The same values as bars: which ship stands out, at a glance.
  QList<QIcon> icons;
  for (int i = 0; i < Ships::kCount; ++i) icons.append(Pictures::ship(i));
  m_bars = new ShipBars(icons, compareBox);
  m_bars->setToolTip(
      QStringLiteral("The selected setting across the eight ships; bars that differ from "
                     "the most common value are drawn in orange"));
  cl->addWidget(m_bars);
  gl->addWidget(compareBox);
  auto* details = new QGroupBox(QStringLiteral(" File Details "), general);
  details->setObjectName(QStringLiteral("FileDetailsGroup"));
  auto* dl = new QVBoxLayout(details);
  m_lastModified = new QLabel(QStringLiteral("Last Modified: N/A"), details);
  m_lastModified->setObjectName(QStringLiteral("LastModified"));
  m_owner = new QLabel(QStringLiteral("Owner: N/A"), details);
  m_owner->setObjectName(QStringLiteral("Owner"));
  dl->addWidget(m_lastModified);
  dl->addWidget(m_owner);
  gl->addWidget(details);
  gl->addStretch(1);
  return general;
}

QWidget* SidePanel::buildToolsPage() {
  auto* page = new QWidget();
  page->setObjectName(QStringLiteral("TabSheet6"));
  auto* layout = new QVBoxLayout(page);
  auto* group = new QGroupBox(page);
  group->setObjectName(QStringLiteral("MultifireGroup"));
  auto* gl = new QVBoxLayout(group);
  m_multifire = new MultifireView(group);
  m_multifire->setBackgroundLoader([this] { return loadPicture(m_paths.multifirePicture()); });
  gl->addWidget(m_multifire);
  CheckBox1 = new QCheckBox(QStringLiteral("View Current Ship"), group);
  CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
  CheckBox1->setChecked(true);
  CheckBox1->setStyleSheet(QStringLiteral("QCheckBox { color: %1; font-weight: bold; }")
                               .arg(readableOn(QColor(0, 0, 255), CheckBox1->palette()).name()));
  connect(CheckBox1, &QCheckBox::clicked, this, &SidePanel::CheckBox1Click);
  gl->addWidget(CheckBox1);
  auto* setButton = new QPushButton(QStringLiteral("Set To Current Ship"), group);
  setButton->setObjectName(QStringLiteral("SetToCurrentShip"));
  setButton->setFont(bold(setButton->font()));
  connect(setButton, &QPushButton::clicked, this, &SidePanel::setToCurrentShip);
  gl->addWidget(setButton);
  auto* helpGroup = new QGroupBox(QStringLiteral(" Help/Intructions "), group);
  auto* hl = new QVBoxLayout(helpGroup);
  // A label, not an edit box: its four lines always show whole, without a scroll bar.
  auto* help = new QLabel(multifireHelpText(), helpGroup);
  help->setObjectName(QStringLiteral("MultifireHelp"));
  help->setTextInteractionFlags(Qt::TextSelectableByMouse);
  hl->addWidget(help);
  gl->addWidget(helpGroup);
  layout->addWidget(group);
  layout->addStretch(1);
  return page;
}

QImage SidePanel::loadPicture(const QString& path) const {
  QImage image(path);
  if (image.isNull()) throw TessaryError(QStringLiteral("Cannot load the picture %1").arg(path));
  return image;
}

void SidePanel::showComparison(const QStringList& values, const QString& setting) {
  for (int i = 0; i < Ships::kCount && i < values.size(); ++i)
    m_comparisons->topLevelItem(i)->setText(1, values[i]);
  m_bars->setValues(values.mid(0, Ships::kCount));
  m_settingValue->setText(setting);
}

void SidePanel::resetComparisonValues() {
  for (int i = 0; i < Ships::kCount; ++i) m_comparisons->topLevelItem(i)->setText(1, QStringLiteral("0"));
  m_bars->setValues(QStringList(Ships::kCount, QStringLiteral("0")));
}

void SidePanel::showFileDetails(const QString& lastModified, const QString& owner) {
  m_lastModified->setText(lastModified);
  m_owner->setText(owner);
}

void SidePanel::showLastModified(const QString& lastModified) { m_lastModified->setText(lastModified); }

void SidePanel::reset() {
  m_settingValue->setText(kNA);
  m_multifire->setAngle(0);
  showFileDetails(QStringLiteral("Last Modified: N/A"), QStringLiteral("Owner: N/A"));
  resetComparisonValues();
}

void SidePanel::loadStartPicture() {
  m_multifire->setShipPicture(loadPicture(m_paths.shipPicture(QStringLiteral("Warbird"))));
}

std::optional<std::int32_t> SidePanel::storedAngle(const TMDIChild* child, const QString& ship) const {
  // Empty or missing: none. Not a whole number: a conversion error for the exception log.
  const Document* doc = child->document();
  if (doc->workingCopy().isEmpty()) return std::nullopt;
  const QString value = doc->content().text(ship, QStringLiteral("MultiFireAngle"));
  if (value.isEmpty()) return std::nullopt;
  return toInt32(value);
}

void SidePanel::RefreshMultifirePreview(const QString& ship, bool loadPictureToo) {
  if (!CheckBox1->isChecked() || ship.isEmpty()) return;
  TMDIChild* child = m_activeDocument();
  if (!child) return;
  // Read everything first, so that a failure leaves the preview as it was.
  const QImage picture = loadPictureToo ? loadPicture(m_paths.shipPicture(ship)) : QImage();
  const std::optional<std::int32_t> angle = storedAngle(child, ship);
  if (loadPictureToo) m_multifire->setShipPicture(picture);
  if (angle) m_multifire->setAngle(*angle);
  m_multifire->edit()->setText(QString::number(m_multifire->angle()));
  m_multifire->DrawMultifireLines();
}

void SidePanel::CheckBox1Click() {
  if (!CheckBox1->isChecked()) {
    loadStartPicture();
    return;
  }
  TMDIChild* child = m_activeDocument();
  const QString ship = child ? child->currentShip() : QString();
  if (ship.isEmpty()) return;
  const QImage picture = loadPicture(m_paths.shipPicture(ship));
  const std::optional<std::int32_t> angle = storedAngle(child, ship);
  m_multifire->setShipPicture(picture);
  if (angle) m_multifire->setAngle(*angle);
  m_multifire->edit()->setText(QString::number(m_multifire->angle()));
  m_multifire->reloadBackground();
  m_multifire->DrawMultifireLines();
}

void SidePanel::TabSheet6Show() {
  m_multifire->edit()->setText(QString::number(m_multifire->angle()));
  m_multifire->DrawMultifireLines();
}

void SidePanel::setToCurrentShip() {
  TMDIChild* child = m_activeDocument();
  const QString ship = child ? child->currentShip() : QString();
  if (ship.isEmpty()) {
    m_prompts.message(this, QMessageBox::Information, applicationTitle(),
                      QStringLiteral("Show a ship page of a document first."));
    return;
  }
  child->setShipValue(ship, QStringLiteral("MultiFireAngle"), QString::number(m_multifire->angle()));
}
