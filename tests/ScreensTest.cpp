// What the windows show a user on screens that are not the developer's: a
// large scale, a dark desktop, keyboard answers, a search that finds nothing,
// and the comparison that stays put while another page is edited.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include "app/MainForm.h"
#include "components/Labels.h"
#include "components/Prompts.h"
#include "components/Readable.h"
#include "documents/MDIChild.h"
#include "documents/PageSet.h"
#include "documents/ReportList.h"
#include "profile/ProfileFile.h"
#include "tests/TestSupport.h"

namespace {
const QByteArray kArena =
    "[Warbird]\nAfterburnerEnergy=1\nBulletSpeed=2000\nGravity=3\n[Javelin]\nAfterburnerEnergy="
    "2\nBulletSpeed=2100\n"
    "Gravity=4\n[Misc]\nTeamMaxSize=0\n";

QPalette darkPalette() {
  QPalette p;
  p.setColor(QPalette::Window, QColor(53, 53, 53));
  p.setColor(QPalette::WindowText, Qt::white);
  p.setColor(QPalette::Base, QColor(35, 35, 35));
  p.setColor(QPalette::Text, Qt::white);
  p.setColor(QPalette::Button, QColor(53, 53, 53));
  p.setColor(QPalette::ButtonText, Qt::white);
  p.setColor(QPalette::Mid, QColor(90, 90, 90));
  p.setColor(QPalette::Dark, QColor(30, 30, 30));
  return p;
}

int contrast(const QColor& a, const QColor& b) { return std::abs(a.lightness() - b.lightness()); }
}  // namespace

TEST(Screens, AnEditOnTheOtherPageLeavesTheShipComparisonAsItWas) {
  MainWindowFixture fx;
  TMDIChild* doc = fx.form->OpenDocument(fx.app.file(QStringLiteral("zone/arena.cfg"), kArena));
  ReportList* javelin = doc->shipList(1);
  doc->pages()->setCurrentIndex(1);
  fx.focusAndSelect(javelin, javelin->rowOf(QStringLiteral("Gravity")));
  auto* setting = fx.form->findChild<QLabel*>(QStringLiteral("SettingValue"));
  auto values = [&] {
    auto* list = fx.form->findChild<QTreeWidget*>(QStringLiteral("ShipComparisons"));
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i) out.append(list->topLevelItem(i)->text(1));
    return out;
  };
  const QString shownSetting = setting->text();
  const QStringList shownValues = values();
  ASSERT_TRUE(shownValues.contains(QStringLiteral("4")));
  // On "Other", a value of Misc is edited.
  doc->selectSetting(QStringLiteral("Misc"), QStringLiteral("TeamMaxSize"));
  fx.prompts.textAnswers = {QStringLiteral("12")};
  doc->editValueIn(doc->otherList());
  ASSERT_EQ(ProfileFile(doc->workingCopy()).value("Misc", "TeamMaxSize"), QByteArray("12"));
  EXPECT_EQ(setting->text(), shownSetting);
  EXPECT_EQ(values(), shownValues);
}

TEST(Screens, ADocumentLargerThanItsAreaCanBeScrolledIntoView) {
  MainWindowFixture fx;
  fx.form->setFixedSize(520, 420);  // as at 200 % on a small screen
  TMDIChild* doc = fx.form->OpenDocument(fx.app.file(QStringLiteral("zone/arena.cfg"), kArena));
  QMdiArea* area = fx.form->mdiArea();
  ASSERT_TRUE(QTest::qWaitFor([&] { return area->viewport()->width() < doc->width(); }, 5000));
  auto* sub = qobject_cast<QMdiSubWindow*>(doc->parentWidget());
  ASSERT_TRUE(QTest::qWaitFor([&] { return area->horizontalScrollBar()->maximum() > 0; }, 5000));
  area->horizontalScrollBar()->setValue(area->horizontalScrollBar()->maximum());
  area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
  // The right and bottom edges of the document (Value column, status bar) are inside the area now.
  const QPoint bottomRight = sub->mapTo(area->viewport(), QPoint(sub->width() - 1, sub->height() - 1));
  EXPECT_LE(bottomRight.x(), area->viewport()->width());
  EXPECT_LE(bottomRight.y(), area->viewport()->height());
}

TEST(Screens, OnADarkPaletteTheTabsAndTheFixedColoursStillRead) {
  const QPalette before = QApplication::palette();
  QApplication::setPalette(darkPalette());
  {
    PageSet pages(5);
    pages.addPage(new QWidget, QIcon(), QStringLiteral("Warbird"));
    pages.addPage(new QWidget, QIcon(), QStringLiteral("Javelin"));
    pages.resize(400, 200);
    pages.show();
    auto* tab = pages.findChild<QToolButton*>(QStringLiteral("TabJavelin"));
    ASSERT_NE(tab, nullptr);
    const QImage picture = tab->grab().toImage();
    // The tab's face is dark, as the palette's buttons are, so its light caption reads.
    EXPECT_LT(picture.pixelColor(picture.width() / 2, 3).lightness(), 128);
    QWidget parent;
    for (const QColor wanted :
         {QColor(Qt::blue), QColor(Qt::darkGreen), QColor(Qt::black), QColor(0, 0, 128)}) {
      QLabel* label = boldLabel(QStringLiteral("2.2.0.2"), wanted, &parent);
      const QColor shown = label->palette().color(QPalette::WindowText);
      EXPECT_GE(contrast(shown, darkPalette().color(QPalette::Window)), 100) << wanted.name().toStdString();
      if (wanted.hslSaturation() > 40)
        EXPECT_EQ(shown.hslHue(), wanted.toHsl().hslHue());  // still blue, still green
    }
    EXPECT_GE(contrast(gridLineOn(darkPalette()), darkPalette().color(QPalette::Base)), 30);
  }
  QApplication::setPalette(before);
  // On a light palette the fixed colours stay exactly as they were.
  EXPECT_EQ(readableOn(QColor(Qt::blue), QPalette(Qt::white)), QColor(Qt::blue));
}

TEST(Screens, EveryAnswerOfAQuestionHasItsKey) {
  QtPrompts prompts;
  QStringList captions;
  QTimer poll;  // once the box is up
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    poll.stop();
    for (QAbstractButton* b : box->buttons()) captions.append(b->text());
    box->activateWindow();
    QApplication::setActiveWindow(box);
    (void)QTest::qWaitForWindowActive(box, 2000);
    QTest::keyClick(box->windowHandle(), Qt::Key_D,
                    Qt::AltModifier);  // Alt+D: Discard, as the window system sends it
    (void)QTest::qWaitFor([box] { return !box->isVisible(); }, 2000);
    if (box->isVisible()) box->reject();  // never left waiting
  });
  poll.start(10);
  const auto answer = prompts.message(nullptr, QMessageBox::Question, applicationTitle(),
                                      QStringLiteral("Save changes to a.cfg?"),
                                      QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
  EXPECT_EQ(answer, QMessageBox::Discard);
  captions.sort();
  EXPECT_EQ(captions, (QStringList{"&Cancel", "&Discard", "&Save"}));
}

TEST(Screens, AFindThatMatchesNothingSaysSo) {
  MainWindowFixture fx;
  TMDIChild* doc = fx.form->OpenDocument(fx.app.file(QStringLiteral("zone/arena.cfg"), kArena));
  ReportList* warbird = doc->shipList(0);
  EXPECT_EQ(warbird->emptyHint(), QString());
  doc->filterBox()->setText(QStringLiteral("zzzz"));
  EXPECT_EQ(warbird->shownCount(), 0);
  EXPECT_TRUE(warbird->emptyHint().contains(QStringLiteral("\"zzzz\"")))
      << warbird->emptyHint().toStdString();
  // And it is drawn: the list is no longer a blank field.
  const QImage picture = warbird->viewport()->grab().toImage();
  const QColor blank = picture.pixelColor(picture.width() - 2, picture.height() - 2);
  int marked = 0;
  for (int y = 0; y < std::min(picture.height(), 40); ++y)
    for (int x = 0; x < picture.width(); ++x) marked += picture.pixelColor(x, y) != blank;
  EXPECT_GT(marked, 20);
  doc->filterBox()->clear();
  EXPECT_EQ(warbird->emptyHint(), QString());
}
