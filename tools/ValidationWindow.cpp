#include "tools/ValidationWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWindow>

#include "components/Labels.h"
#include "components/MainWindowLock.h"
#include "components/Pictures.h"
#include "components/Prompts.h"
#include "components/ScreenRoom.h"
#include "documents/ConfigModel.h"
#include "documents/RangeCheck.h"
#include "profile/ProfileFile.h"
#include "profile/TessaryError.h"

namespace {
constexpr int kSectionRole = Qt::UserRole;
constexpr int kKeyRole = Qt::UserRole + 1;
}  // namespace

TForm3::TForm3(const AppPaths& paths, Prompts& prompts, Host host)
    // No parent widget: the main window is disabled while this shows, and a child would be disabled with it.
    // A dialog for the window manager (only those can be transient for the main window),
    // with the buttons of a window: it is sizable and can be minimised.
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      m_paths(paths),
      m_prompts(prompts),
      m_host(std::move(host)) {
  setObjectName(QStringLiteral("TForm3"));
  m_lock = new MainWindowLock(this, m_host.mainWindow);
  setWindowTitle(QStringLiteral("CFG Validation (Error Checks)"));
  resize(995, 405);
  auto* layout = new QHBoxLayout(this);
  auto* left = new QVBoxLayout();
  auto* details = new QGroupBox(QStringLiteral("[ Validation Details ]"), this);
  QFont bold = details->font();
  bold.setBold(true);
  details->setFont(bold);
  auto* grid = new QGridLayout(details);
  auto caption = [&](const QString& text, int row) {
    auto* l = new QLabel(text, details);
    QFont f = l->font();
    f.setBold(false);
    l->setFont(f);
    grid->addWidget(l, row, 0);
  };
  caption(QStringLiteral("File:"), 0);
  m_fileLabel =
      boldLabel(QStringLiteral("No File Loaded..."), Qt::blue, details, QStringLiteral("FileLabel"));
  grid->addWidget(m_fileLabel, 0, 1);
  caption(QStringLiteral("Total Known Errors:"), 1);
  grid->addWidget(boldLabel(QStringLiteral("72"), Qt::red, details, QStringLiteral("TotalKnownErrors")), 1,
                  1);
  caption(QStringLiteral("Revised:"), 2);
  grid->addWidget(boldLabel(QStringLiteral("31/12/2008"), Qt::blue, details, QStringLiteral("Revised")), 2,
                  1);
  caption(QStringLiteral("Errors Found:"), 3);
  m_errorsFound = boldLabel(QStringLiteral("0"), Qt::red, details, QStringLiteral("ErrorsFound"));
  grid->addWidget(m_errorsFound, 3, 1);
  caption(QStringLiteral("Status:"), 4);
  m_status = boldLabel(QStringLiteral("Ready..."), Qt::blue, details, QStringLiteral("StatusLabel"));
  grid->addWidget(m_status, 4, 1);
  grid->setColumnStretch(1, 1);
  left->addWidget(details);
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setRange(0, 944);
  ProgressBar1->setTextVisible(false);
  left->addWidget(ProgressBar1);
  ListView1 = new QTreeWidget(this);
  ListView1->setObjectName(QStringLiteral("ListView1"));
  ListView1->setColumnCount(2);
  ListView1->setHeaderHidden(true);
  ListView1->setRootIsDecorated(false);
  ListView1->setColumnWidth(0, 72);
  ListView1->setColumnWidth(1, 405);
  ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
  ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ListView1->setIconSize(QSize(16, 16));
  ListView1->setStyleSheet(QStringLiteral(
      "QTreeView::item { border-right: 1px solid palette(mid); border-bottom: 1px solid palette(mid); }"));
  connect(ListView1, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
    const QString section = item->data(0, kSectionRole).toString();
    if (!section.isEmpty() && m_host.selectSetting) {
      BitBtn2Click();  // back to the document, which takes input again
      guarded([&] { m_host.selectSetting(section, item->data(0, kKeyRole).toString()); });
    }
  });
  left->addWidget(ListView1, 1);
  auto* buttons = new QHBoxLayout();
  BitBtn1 = new QPushButton(QStringLiteral("Scan Now"), this);
  BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
  BitBtn2 = new QPushButton(QStringLiteral("Exit"), this);
  BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
  auto* load = new QPushButton(QStringLiteral("Load Error File"), this);
  load->setObjectName(QStringLiteral("Button1"));
  auto* checkDoc = new QPushButton(QStringLiteral("Check Open Document"), this);
  checkDoc->setObjectName(QStringLiteral("CheckDocumentButton"));
  buttons->addWidget(BitBtn1);
  buttons->addWidget(BitBtn2);  // at the same place: one of the two shows
  buttons->addWidget(checkDoc);
  buttons->addStretch(1);
  buttons->addWidget(load);
  left->addLayout(buttons);
  // The findings are what the user reads: they get most of the room.
  layout->addLayout(left, 3);
  auto* right = new QHBoxLayout();
  for (int i = 0; i < 6; ++i) {
    m_lists[i] = new QListWidget(this);
    m_lists[i]->setObjectName(QStringLiteral("ListBox%1").arg(i + 1));
    right->addWidget(m_lists[i]);
  }
  m_lists[1]->setSortingEnabled(true);  // list 2 keeps the keys sorted
  layout->addLayout(right, 2);
  connect(BitBtn1, &QPushButton::clicked, this, &TForm3::BitBtn1Click);
  connect(BitBtn2, &QPushButton::clicked, this, &TForm3::BitBtn2Click);
  connect(load, &QPushButton::clicked, this, &TForm3::Button1Click);
  connect(checkDoc, &QPushButton::clicked, this, &TForm3::checkOpenDocument);
  FormCreate();
}

template <typename F>
void TForm3::guarded(F&& work) {
  try {
    work();
  } catch (...) {
    if (m_host.reportError) m_host.reportError();
  }
}

void TForm3::FormCreate() { BitBtn1->setIcon(Pictures::main(Picture::Scan)); }

void TForm3::fitScreen() {
  // On a small screen or at a large scale the working lists give up their room
  // for long names first; the window never reaches past the screen.
  const QSize room = roomOnScreen(this, m_host.mainWindow);
  if (room.isEmpty()) return;
  auto listsAt = [this](int width) {
    for (QListWidget* list : m_lists) list->setMinimumWidth(width);
    layout()->invalidate();
    layout()->activate();
  };
  // Working lists only: wide enough for a common setting name, the findings get the rest.
  listsAt(m_lists[0]->fontMetrics().horizontalAdvance(QStringLiteral("Gravity")) +
          m_lists[0]->frameWidth() * 2 + 8);
  if (minimumSizeHint().width() > room.width()) listsAt(20);
  resize(QSize(995, 405).expandedTo(minimumSizeHint()).boundedTo(room));
}

void TForm3::showValidation() {
  fitScreen();
  if (m_host.mainWindow) {
    const QRect main = m_host.mainWindow->frameGeometry();
    move(main.center() - QPoint(width() / 2, height() / 2));
  }
  show();
  raise();
  activateWindow();
  FormActivate();
}

bool TForm3::event(QEvent* e) {
  // Only coming back from another window of this program starts afresh; a trip
  // to another application (or to a message box of this window) keeps the
  // results on screen.
  if (e->type() == QEvent::WindowActivate && isVisible() && !m_activating && m_lock->takeActivation())
    FormActivate();
  return QDialog::event(e);
}

void TForm3::FormActivate() {
  if (m_activating) return;
  m_activating = true;
  const auto done = qScopeGuard([this] { m_activating = false; });
  (void)m_lock->takeActivation();  // this is the activation
  ListView1->clear();
  ProgressBar1->setValue(0);
  for (int i = 0; i < 4; ++i) m_lists[i]->clear();
  setStatus(QStringLiteral("Ready..."));
  BitBtn1->show();
  BitBtn2->setIcon(Pictures::main(Picture::CloseAll));
  BitBtn2->hide();
  m_fileLabel->setText(QStringLiteral("crappy2.cfg"));
  m_lock->lock();
}

void TForm3::setStatus(const QString& text) {
  m_status->setText(text);
  m_status->repaint();
}

void TForm3::addResult(const QString& text, const QString& section, const QString& key) {
  auto* row = new QTreeWidgetItem(ListView1);
  row->setIcon(0, Pictures::main(Picture::ErrorItem));
  row->setText(0, QStringLiteral("Error"));
  QFont bold = row->font(0);
  bold.setBold(true);
  row->setFont(0, bold);
  row->setText(1, text);
  row->setToolTip(1, text);  // whole, however narrow the column
  row->setToolTip(0, text);
  row->setData(0, kSectionRole, section);
  row->setData(0, kKeyRole, key);
  ProgressBar1->setValue(std::min(ListView1->topLevelItemCount(), ProgressBar1->maximum()));
}

void TForm3::BitBtn1Click() {
  guarded([&] {
    m_lists[0]->clear();
    m_fileLabel->setText(QStringLiteral("crappy2.cfg"));
    const ProfileFile scan(m_paths.data() + QStringLiteral("/crappy2.cfg"));
    const QStringList sections = scan.sections();
    m_lists[0]->addItems(sections);
    if (sections.isEmpty()) return;
    for (const QString& section : sections) {
      m_lists[1]->clear();
      m_lists[1]->addItems(scan.keys(section));
      setStatus(QStringLiteral("Scanning -") + QString(49, QLatin1Char(' ')));
      setStatus(QStringLiteral("Scanning - ") + section + QStringLiteral("..."));
      for (int i = 0; i < m_lists[1]->count(); ++i) {
        const QString key = m_lists[1]->item(i)->text();
        addResult(section + QStringLiteral(" - ") + key, QString(), QString());
      }
    }
    setStatus(QStringLiteral("Finished!") + QString(40, QLatin1Char(' ')));
    BitBtn1->hide();
    BitBtn2->setIcon(Pictures::main(Picture::CloseAll));
    BitBtn2->show();
    m_errorsFound->setText(QString::number(ListView1->topLevelItemCount()));
  });
}

void TForm3::BitBtn2Click() {
  m_lock->release();
  hide();
}

void TForm3::FormClose() { m_lock->release(); }

void TForm3::closeEvent(QCloseEvent* e) {
  FormClose();
  QDialog::closeEvent(e);
}

void TForm3::Button1Click() {
  guarded([&] {
    const QString path = m_paths.rulesFile();
    const ProfileFile rules(path);
    m_lists[2]->clear();
    const QStringList sections = rules.sections();
    m_lists[2]->addItems(sections);
    for (qsizetype s = 0; s + 5 < sections.size(); ++s) {
      const QString& section = sections[s];
      m_prompts.message(this, QMessageBox::Information, applicationTitle(), section);
      m_lists[3]->clear();
      const QStringList keys = rules.keys(section);
      m_lists[3]->addItems(keys);
      for (const QString& key : keys) {
        const QStringList fields = RangeCheck::splitFields(rules.text(section, key));
        // A rule without the fields it needs is named, not reported as a bare index error.
        if (fields.isEmpty())
          throw TessaryError(QStringLiteral("The rule %1 - %2 in %3 is empty").arg(section, key, path));
        if (fields[0] == QStringLiteral("1")) {
          m_lists[4]->clear();
          m_lists[4]->addItems(rules.keys(QStringLiteral("ShipSections")));
          if (fields.size() < 2 && m_lists[4]->count() > 0)
            throw TessaryError(QStringLiteral("The rule %1 - %2 in %3 names no key").arg(section, key, path));
        }
      }
    }
  });
}

void TForm3::checkOpenDocument() {
  guarded([&] {
    const QString working = m_host.documentWorkingCopy ? m_host.documentWorkingCopy() : QString();
    if (working.isEmpty()) {
      m_prompts.message(this, QMessageBox::Information, applicationTitle(),
                        QStringLiteral("No document is open."));
      return;
    }
    ListView1->clear();
    ProgressBar1->setValue(0);
    m_errorsFound->setText(QStringLiteral("0"));
    const QString name = m_host.documentName ? m_host.documentName() : QString();
    m_fileLabel->setText(name.isEmpty() ? QFileInfo(working).fileName() : name);
    const QString rulesPath = m_paths.rulesFile();
    RangeCheck::Rules rules;
    try {
      rules = RangeCheck::loadRules(rulesPath);
    } catch (const ProfileReadError& e) {
      // No rules, no check: saying "No errors found." here would be a lie.
      setStatus(QStringLiteral("No rules to check against."));
      m_prompts.message(this, QMessageBox::Warning, applicationTitle(), QString::fromUtf8(e.what()));
      return;
    }
    const QList<RangeCheck::Finding> findings = RangeCheck::check(ProfileFile(working), rules);
    for (const RangeCheck::Finding& f : findings) addResult(f.text(), f.section, f.key);
    m_errorsFound->setText(QString::number(findings.size()));
    setStatus(findings.isEmpty() ? QStringLiteral("No errors found.") : QStringLiteral("Finished!"));
  });
}
