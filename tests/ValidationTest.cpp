// The validation window and the range check before a save.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "app/MainForm.h"
#include "documents/MDIChild.h"
#include "documents/PageSet.h"
#include "documents/ReportList.h"
#include "prefs/Preferences.h"
#include "tests/TestSupport.h"
#include "tools/ValidationWindow.h"

namespace {
class ValidationTest : public ::testing::Test {
 protected:
  MainWindowFixture fx;
  TForm3* window() { return fx.form->adopted<TForm3>(QStringLiteral("TForm3")); }
  QString label(const char* name) { return window()->findChild<QLabel*>(QString::fromLatin1(name))->text(); }
  QTreeWidget* results() { return window()->findChild<QTreeWidget*>(QStringLiteral("ListView1")); }
  QStringList rows() {
    QStringList out;
    for (int i = 0; i < results()->topLevelItemCount(); ++i)
      out.append(results()->topLevelItem(i)->text(0) + QLatin1Char('|') +
                 results()->topLevelItem(i)->text(1));
    return out;
  }
  void open() {
    QTest::keyClick(fx.form.get(), Qt::Key_F9);
    ASSERT_TRUE(window()->isVisible());
  }
};
}  // namespace

TEST_F(ValidationTest, ScanListsEveryKeyOfTheScanFileSectionsInOrderKeysSorted) {
  fx.app.file(QStringLiteral("base/crappy2.cfg"), "[A]\ny=1\nx=2\n[B]\nz=3\n");
  open();
  EXPECT_FALSE(fx.form->isEnabled());
  EXPECT_EQ(label("FileLabel"), QStringLiteral("crappy2.cfg"));
  window()->findChild<QPushButton*>(QStringLiteral("BitBtn1"))->click();
  EXPECT_EQ(rows(), (QStringList{QStringLiteral("Error|A - x"), QStringLiteral("Error|A - y"),
                                 QStringLiteral("Error|B - z")}));
  EXPECT_TRUE(results()->topLevelItem(0)->font(0).bold());
  EXPECT_EQ(window()->findChild<QProgressBar*>(QStringLiteral("ProgressBar1"))->value(), 3);
  EXPECT_EQ(label("ErrorsFound"), QStringLiteral("3"));
  EXPECT_EQ(label("StatusLabel"), QStringLiteral("Finished!") + QString(40, QLatin1Char(' ')));
  EXPECT_EQ(label("TotalKnownErrors"), QStringLiteral("72"));
  EXPECT_TRUE(window()->findChild<QPushButton*>(QStringLiteral("BitBtn1"))->isHidden());
  auto* exit = window()->findChild<QPushButton*>(QStringLiteral("BitBtn2"));
  EXPECT_FALSE(exit->isHidden());
  exit->click();
  EXPECT_FALSE(window()->isVisible());
  EXPECT_TRUE(fx.form->isEnabled());
}

TEST_F(ValidationTest, LoadErrorFileWalksAllButTheLastFiveSectionsAndNamesABadRule) {
  fx.app.file(QStringLiteral("base/cfgcheck.cdu"),
              "[S1]\nk=1:Gravity:0:1\n[S2]\nk=2:Misc:A:0:1\n[ShipSections]\nWarbird=1\n[R]\n[F]\n[N]\n[E]\n");
  open();
  window()->findChild<QPushButton*>(QStringLiteral("Button1"))->click();
  EXPECT_EQ(fx.prompts.messages(), (QStringList{QStringLiteral("S1"), QStringLiteral("S2")}));
  EXPECT_EQ(window()->findChild<QListWidget*>(QStringLiteral("ListBox5"))->count(), 1);
  EXPECT_EQ(rows(), QStringList());
  fx.app.file(QStringLiteral("base/cfgcheck.cdu"), "[S1]\nk=\n[A]\n[B]\n[C]\n[D]\n[E]\n");
  window()->findChild<QPushButton*>(QStringLiteral("Button1"))->click();
  EXPECT_TRUE(fx.prompts.messages().back().contains(QStringLiteral("The rule S1 - k in ")))
      << fx.prompts.messages().back().toStdString();
}

TEST_F(ValidationTest, TheOpenDocumentsValuesOutOfRangeAreListedAndLeadToTheSetting) {
  TMDIChild* doc = fx.form->OpenDocument(
      fx.app.file(QStringLiteral("a.cfg"), "[Warbird]\nBulletSpeed=2000\nGravity=99999\n[Misc]\nA=1\n"));
  open();
  window()->findChild<QPushButton*>(QStringLiteral("CheckDocumentButton"))->click();
  EXPECT_EQ(rows(), QStringList{QStringLiteral("Error|Warbird - Gravity: 99999 is above the maximum 20000")});
  EXPECT_EQ(label("ErrorsFound"), QStringLiteral("1"));
  QTreeWidgetItem* row = results()->topLevelItem(0);
  emit results()->itemDoubleClicked(row, 1);
  EXPECT_FALSE(window()->isVisible());
  EXPECT_TRUE(fx.form->isEnabled());
  EXPECT_EQ(doc->pages()->currentIndex(), 0);
  EXPECT_EQ(doc->shipList(0)->name(doc->shipList(0)->selectedRow()), QStringLiteral("Gravity"));
}

TEST_F(ValidationTest, WithTheOptionTickedASaveAsksFirstWhenValuesAreOutOfRange) {
  const QString source = fx.app.file(QStringLiteral("a.cfg"), "[Warbird]\nGravity=1\n");
  TMDIChild* doc = fx.form->OpenDocument(source);
  fx.focusAndSelect(doc->shipList(0), 0);
  fx.prompts.textAnswers = {QStringLiteral("99999")};
  doc->editValueIn(doc->shipList(0));
  Preferences(fx.app.paths()).setCheckOnSave(true);
  fx.prompts.saveAnswers = {source};
  fx.prompts.messageAnswers = {QMessageBox::Ok, QMessageBox::No};
  fx.form->SaveDocument();
  EXPECT_TRUE(fx.prompts.messages().back().endsWith(QStringLiteral("Save anyway?")));
  EXPECT_TRUE(fx.prompts.messages().back().contains(
      QStringLiteral("Warbird - Gravity: 99999 is above the maximum 20000")));
  EXPECT_EQ(readBytes(source), QByteArray("[Warbird]\nGravity=1\n"));
  EXPECT_TRUE(doc->isModified());
  fx.prompts.saveAnswers = {source};
  fx.prompts.messageAnswers = {QMessageBox::Ok, QMessageBox::Yes};
  fx.form->SaveDocument();
  EXPECT_EQ(readBytes(source), QByteArray("[Warbird]\nGravity=99999\n"));
  // Not ticked: no question.
  Preferences(fx.app.paths()).setCheckOnSave(false);
  const auto asked = fx.prompts.messages().size();
  fx.prompts.saveAnswers = {source};
  fx.prompts.messageAnswers = {QMessageBox::Ok};
  fx.form->SaveDocument();
  EXPECT_EQ(fx.prompts.messages().size(), asked + 1);  // only the overwrite question
}

TEST_F(ValidationTest, TheWindowFitsTheScreenItShowsOn) {
  open();
  const QRect screen = window()->screen()->availableGeometry();
  EXPECT_LE(window()->width(), screen.width());
  EXPECT_LE(window()->height(), screen.height());
  for (const char* button : {"BitBtn1", "CheckDocumentButton", "Button1"}) {
    QWidget* b = window()->findChild<QWidget*>(QString::fromLatin1(button));
    EXPECT_TRUE(window()->rect().contains(QRect(b->mapTo(window(), QPoint(0, 0)), b->size()))) << button;
  }
}

TEST_F(ValidationTest, TheFindingsGetTheRoomAndEachReadsWholeInItsToolTip) {
  fx.form->OpenDocument(fx.app.file(QStringLiteral("a.cfg"), "[Warbird]\nGravity=99999\n"));
  open();
  window()->findChild<QPushButton*>(QStringLiteral("CheckDocumentButton"))->click();
  ASSERT_EQ(results()->topLevelItemCount(), 1);
  // At the window's own size (on a screen with room for it) the findings take more room than
  // the six working lists together.
  window()->resize(995, 405);
  QApplication::processEvents();
  ASSERT_EQ(window()->width(), 995);
  int lists = 0;
  for (int i = 1; i <= 6; ++i)
    lists += window()->findChild<QListWidget*>(QStringLiteral("ListBox%1").arg(i))->width();
  EXPECT_GT(results()->width(), lists);
  const QTreeWidgetItem* row = results()->topLevelItem(0);
  EXPECT_EQ(row->toolTip(1), row->text(1));
  // The finding fits its column.
  EXPECT_GE(results()->columnWidth(1) + results()->columnWidth(0),
            results()->fontMetrics().horizontalAdvance(row->text(1)));
}
