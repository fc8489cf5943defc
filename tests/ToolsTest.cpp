#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include "app/MainForm.h"
#include "documents/MDIChild.h"
#include "documents/PageSet.h"
#include "documents/ReportList.h"
#include "profile/TessaryError.h"
#include "tests/TestSupport.h"
#include "tools/BulletCalculator.h"
#include "tools/BulletDamage.h"
#include "tools/IntParse.h"
#include "tools/MultifireGeometry.h"
#include "tools/MultifirePreview.h"

namespace {
bool isBlue(QColor c) { return c.blue() > 200 && c.red() < 60; }
bool isRed(QColor c) { return c.red() > 200 && c.blue() < 60; }
}  // namespace

TEST(Multifire, LineEndsAndPixels) {
  struct Case {
    int angle;
    QPoint right, left;
  };
  const Case cases[] = {{0, {100, -9900}, {100, -9900}},
                        {5000, {7171, -6971}, {-6971, -6971}},
                        {10000, {10100, 100}, {-9900, 100}},
                        {20000, {100, 10100}, {100, 10100}},
                        {40000, {100, -9900}, {100, -9900}}};
  for (const Case& c : cases) {
    const MultifireLines l = multifireLines(c.angle);
    EXPECT_EQ(l.right, c.right) << c.angle;
    EXPECT_EQ(l.left, c.left) << c.angle;
  }
  MultifireView view;
  view.setAngle(10000);  // right bullet to the right, left bullet to the left
  EXPECT_TRUE(isBlue(view.picture().pixelColor(180, 100)));
  EXPECT_TRUE(isRed(view.picture().pixelColor(20, 100)));
  EXPECT_FALSE(isRed(view.picture().pixelColor(100, 20)) || isBlue(view.picture().pixelColor(100, 20)));
  view.setAngle(5000);
  EXPECT_TRUE(isBlue(view.picture().pixelColor(150, 50)));
  EXPECT_TRUE(isRed(view.picture().pixelColor(50, 50)));
  EXPECT_FALSE(isBlue(view.picture().pixelColor(180, 100)));  // the old lines are gone
  view.setAngle(0);
  EXPECT_TRUE(isRed(view.picture().pixelColor(100, 20)));  // red drawn over blue
  view.setAngle(20000);
  EXPECT_TRUE(isRed(view.picture().pixelColor(100, 180)));
}

TEST(Multifire, EditBoxParsing) {
  MultifireView view;
  view.show();
  QLineEdit* edit = view.edit();
  struct Case {
    QString typed, shown;
    int slider;
  };
  const Case cases[] = {{QStringLiteral("$FF"), QStringLiteral("255"), 255},
                        {QStringLiteral("007"), QStringLiteral("7"), 7},
                        {QStringLiteral("0x10"), QStringLiteral("16"), 16},
                        {QStringLiteral("abc"), QStringLiteral("0"), 0},
                        {QStringLiteral("50000"), QStringLiteral("40000"), 40000},
                        {QStringLiteral("-5"), QStringLiteral("0"), 0},
                        {QStringLiteral("99999999999"), QStringLiteral("0"), 0},
                        {QString(), QStringLiteral("0"), 0}};  // empty: slider to 0, which writes the box
  for (const Case& c : cases) {
    view.setAngle(123);
    edit->setText(c.typed);
    EXPECT_EQ(edit->text(), c.shown) << c.typed.toStdString();
    EXPECT_EQ(view.angle(), c.slider) << c.typed.toStdString();
  }
  // Out of range while the slider is already at that end: the typed value stays.
  view.setAngle(40000);
  edit->setText(QStringLiteral("45000"));
  EXPECT_EQ(edit->text(), QStringLiteral("45000"));
}

TEST(IntParse, FollowsTheUsualRules) {
  EXPECT_EQ(parseInt32(QStringLiteral("  -12")), -12);
  EXPECT_EQ(parseInt32(QStringLiteral("X1f")), 31);
  EXPECT_EQ(parseInt32(QStringLiteral("2147483647")), 2147483647);
  EXPECT_EQ(parseInt32(QStringLiteral("-2147483648")), INT32_MIN);
  EXPECT_FALSE(parseInt32(QStringLiteral("2147483648")));
  EXPECT_FALSE(parseInt32(QStringLiteral("12 ")));
  EXPECT_FALSE(parseInt32(QStringLiteral("$")));
  EXPECT_FALSE(parseInt32(QStringLiteral("1.5")));
}

TEST(MultifirePreviewFollowsDocuments, CurrentShipActivationAndTheCheckBox) {
  MainWindowFixture fx;
  const QByteArray arena =
      "[Warbird]\nMultiFireAngle=500\n[Javelin]\nMultiFireAngle=1200\n[Spider]\nX=1\n"
      "[Shark]\nMultiFireAngle=abc\n[Misc]\nA=1\n";
  TMDIChild* doc = fx.form->OpenDocument(fx.app.file(QStringLiteral("a.cfg"), arena));
  MultifireView* view =
      fx.form->findChild<QWidget*>(QStringLiteral("SidePanel"))->findChild<MultifireView*>();
  EXPECT_EQ(view->angle(), 500);
  doc->pages()->setCurrentIndex(1);
  EXPECT_EQ(view->angle(), 1200);
  EXPECT_EQ(view->edit()->text(), QStringLiteral("1200"));
  doc->pages()->setCurrentIndex(2);  // no MultiFireAngle: the slider stays
  EXPECT_EQ(view->angle(), 1200);
  doc->pages()->setCurrentIndex(8);  // "Other" changes nothing
  EXPECT_EQ(view->angle(), 1200);
  // Not ticked: page changes leave the preview alone and the picture is the Warbird's.
  fx.form->findChild<QCheckBox*>(QStringLiteral("CheckBox1"))->click();
  doc->pages()->setCurrentIndex(0);
  EXPECT_EQ(view->angle(), 1200);
  fx.form->findChild<QCheckBox*>(QStringLiteral("CheckBox1"))
      ->click();  // ticked again: reads the current ship
  EXPECT_EQ(view->angle(), 500);
  // A value that is no integer reaches the exception log; the preview keeps its angle.
  QTest::mouseClick(doc->pages()->tab(7), Qt::LeftButton);
  EXPECT_EQ(doc->currentShip(), QStringLiteral("Shark"));
  EXPECT_EQ(view->angle(), 500);
  EXPECT_TRUE(QString::fromUtf8(readBytes(fx.form->exceptionLogPath())).contains(QStringLiteral("'abc'")));
  doc->pages()->setCurrentIndex(0);
  // A second window with another angle: activation follows it.
  TMDIChild* other =
      fx.form->OpenDocument(fx.app.file(QStringLiteral("b.cfg"), "[Warbird]\nMultiFireAngle=9000\n"));
  EXPECT_EQ(view->angle(), 9000);
  fx.form->mdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(doc->parentWidget()));
  EXPECT_EQ(view->angle(), 500);
  Q_UNUSED(other);
  fx.form->CloseAll1Execute();
  EXPECT_EQ(view->angle(), 0);
}

TEST(MultifirePreviewFollowsDocuments, SetToCurrentShipIsAnEdit) {
  MainWindowFixture fx;
  TMDIChild* doc = fx.form->OpenDocument(fx.app.file(
      QStringLiteral("a.cfg"), "[Warbird]\nMultiFireAngle=500\n[Javelin]\nMultiFireAngle=1200\n"));
  doc->pages()->setCurrentIndex(1);
  fx.form->findChild<QWidget*>(QStringLiteral("SidePanel"))->findChild<MultifireView*>()->setAngle(3333);
  QTest::mouseClick(fx.form->findChild<QWidget*>(QStringLiteral("SetToCurrentShip")), Qt::LeftButton);
  EXPECT_EQ(readBytes(doc->workingCopy()),
            QByteArray("[Warbird]\nMultiFireAngle=500\n[Javelin]\nMultiFireAngle=3333\n"));
  EXPECT_EQ(doc->shipList(1)->value(0), QStringLiteral("3333"));
  EXPECT_TRUE(doc->isModified());
}

TEST(BulletDamage, LevelsAndErrors) {
  EXPECT_EQ(bulletDamage(0), 1);
  EXPECT_EQ(bulletDamage(-5), 5);
  EXPECT_EQ(bulletDamage(INT32_MAX), INT32_MAX);
  EXPECT_EQ(bulletDamage(INT32_MIN), -static_cast<std::int64_t>(INT32_MIN));
  EXPECT_EQ(bulletLevels(100, 20), (std::array<std::int64_t, 3>{100, 120, 140}));
  EXPECT_EQ(bulletLevels(0, 0), (std::array<std::int64_t, 3>{1, 1, 1}));
  EXPECT_THROW(bulletLevels(INT32_MAX, 1), TessaryError);
  EXPECT_THROW(bulletLevels(2000000000, 100000000), TessaryError);  // level 3 only
  EXPECT_NO_THROW(bulletLevels(-5, 0));
}

TEST(BulletCalculatorWindow, CalculateAndBadInputKeepsResults) {
  MainWindowFixture fx;
  BulletCalculator* calc = fx.form->findChild<BulletCalculator*>();
  calc->damageEdit()->setText(QStringLiteral("100"));
  calc->upgradeEdit()->setText(QStringLiteral("$14"));
  QTest::mouseClick(calc->findChild<QWidget*>(QStringLiteral("Button1")), Qt::LeftButton);
  EXPECT_EQ(calc->result(1), QStringLiteral("100"));
  EXPECT_EQ(calc->result(2), QStringLiteral("120"));
  EXPECT_EQ(calc->result(3), QStringLiteral("140"));
  calc->damageEdit()->setText(QStringLiteral("abc"));
  QTest::mouseClick(calc->findChild<QWidget*>(QStringLiteral("Button1")), Qt::LeftButton);
  EXPECT_EQ(calc->result(1), QStringLiteral("100"));
  EXPECT_EQ(fx.prompts.messages(), QStringList{QStringLiteral("'abc' is not a valid integer value.")});
  calc->damageEdit()->setText(QString());
  calc->upgradeEdit()->setText(QStringLiteral("0"));
  QTest::mouseClick(calc->findChild<QWidget*>(QStringLiteral("Button1")), Qt::LeftButton);
  EXPECT_EQ(calc->result(3), QStringLiteral("140"));
  EXPECT_EQ(fx.prompts.messages().size(), 2);
}
