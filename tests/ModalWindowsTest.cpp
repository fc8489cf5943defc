// Windows that take the main window's input away while they show: however they
// go away, the main window takes input again, and while they show they belong
// above it.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <QWindow>

#include "app/MainForm.h"
#include "components/MainWindowLock.h"
#include "documents/MDIChild.h"
#include "prefs/OptionsDialog.h"
#include "tests/TestSupport.h"
#include "tools/ValidationWindow.h"

namespace {
struct Opener {
  const char* objectName;
  Qt::Key key;
  Qt::KeyboardModifiers modifiers;
};

// Each way a window can go away.
enum class Away { Escape, CloseBox, ExitButton, HiddenByCode };

class LockedWindows : public ::testing::TestWithParam<std::tuple<Opener, Away>> {
 protected:
  MainWindowFixture fx;
  QWidget* window() {
    return fx.form->adopted<QWidget>(QString::fromLatin1(std::get<0>(GetParam()).objectName));
  }
  void open() {
    const Opener o = std::get<0>(GetParam());
    // The user's way in: the key of the main window's command.
    QTest::keyClick(fx.form.get(), o.key, o.modifiers);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window()->isVisible(); }, 5000));
  }
};
}  // namespace

TEST_P(LockedWindows, TheMainWindowComesBackHoweverTheWindowGoes) {
  open();
  EXPECT_FALSE(fx.form->isEnabled());
  // The window manager keeps it above the main window, which cannot take it.
  ASSERT_NE(window()->windowHandle(), nullptr);
  EXPECT_EQ(window()->windowHandle()->transientParent(), fx.form->windowHandle());
  auto* lock = window()->findChild<MainWindowLock*>();
  ASSERT_NE(lock, nullptr);
  EXPECT_TRUE(lock->isTransientForMain());
  switch (std::get<1>(GetParam())) {
    case Away::Escape:
      QTest::keyClick(window(), Qt::Key_Escape);
      break;
    case Away::CloseBox:
      window()->close();  // what the close box and Alt+F4 ask for
      break;
    case Away::ExitButton:
      if (auto* exit = window()->findChild<QPushButton*>(QStringLiteral("BitBtn2"))) {
        exit->click();  // "Exit" of the validation window, shown or not
      } else {
        window()->findChild<QPushButton*>(QStringLiteral("CloseButton"))->click();
      }
      break;
    case Away::HiddenByCode:
      window()->hide();
      break;
  }
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window()->isVisible(); }, 5000));
  EXPECT_TRUE(fx.form->isEnabled());
  // Shown again, it takes the input away again.
  open();
  EXPECT_FALSE(fx.form->isEnabled());
  window()->close();
  EXPECT_TRUE(fx.form->isEnabled());
}

std::string caseName(const ::testing::TestParamInfo<std::tuple<Opener, Away>>& info) {
  static const char* const ways[] = {"Escape", "CloseBox", "ExitButton", "HiddenByCode"};
  return std::string(std::get<0>(info.param).objectName) + "_" +
         ways[static_cast<int>(std::get<1>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(
    OptionsAndValidation, LockedWindows,
    ::testing::Combine(::testing::Values(Opener{"TForm1", Qt::Key_P, Qt::ControlModifier},
                                         Opener{"TForm3", Qt::Key_F9, Qt::NoModifier}),
                       ::testing::Values(Away::Escape, Away::CloseBox, Away::ExitButton, Away::HiddenByCode)),
    caseName);

namespace {
class ValidationActivation : public ::testing::Test {
 protected:
  MainWindowFixture fx;
  TForm3* window() { return fx.form->adopted<TForm3>(QStringLiteral("TForm3")); }
  int rows() { return window()->findChild<QTreeWidget*>(QStringLiteral("ListView1"))->topLevelItemCount(); }
  QString label(const char* name) { return window()->findChild<QLabel*>(QString::fromLatin1(name))->text(); }
  void activate(QWidget* w) {
    QEvent e(QEvent::WindowActivate);
    QApplication::sendEvent(w, &e);
  }
};
}  // namespace

TEST_F(ValidationActivation, ResultsStayOverATripToAnotherApplicationAndGoAfterAnotherOwnWindow) {
  fx.form->OpenDocument(fx.app.file(QStringLiteral("mine.cfg"), "[Warbird]\nGravity=99999\n"));
  QTest::keyClick(fx.form.get(), Qt::Key_F9);
  ASSERT_TRUE(window()->isVisible());
  QTest::mouseClick(window()->findChild<QPushButton*>(QStringLiteral("CheckDocumentButton")), Qt::LeftButton);
  ASSERT_EQ(rows(), 1);
  EXPECT_EQ(label("FileLabel"), QStringLiteral("mine.cfg"));
  // Another application takes the focus (no window of this program has it), then gives it back.
  Q_EMIT qApp->focusWindowChanged(nullptr);
  activate(window());
  EXPECT_EQ(rows(), 1);
  EXPECT_EQ(label("FileLabel"), QStringLiteral("mine.cfg"));
  // Another window of this program, then back: a new activation starts afresh.
  QWidget other;
  other.show();
  (void)other.winId();
  Q_EMIT qApp->focusWindowChanged(other.windowHandle());
  activate(window());
  EXPECT_EQ(rows(), 0);
  EXPECT_EQ(label("FileLabel"), QStringLiteral("crappy2.cfg"));
}

TEST_F(ValidationActivation, WithoutItsRulesFileTheCheckSaysSoAndFindsNothing) {
  QFile::remove(fx.app.path(QStringLiteral("base/cfgcheck.cdu")));
  fx.form->OpenDocument(fx.app.file(QStringLiteral("a.cfg"), "[Warbird]\nGravity=99999\n"));
  QTest::keyClick(fx.form.get(), Qt::Key_F9);
  window()->findChild<QPushButton*>(QStringLiteral("CheckDocumentButton"))->click();
  ASSERT_FALSE(fx.prompts.messages().isEmpty());
  EXPECT_EQ(fx.prompts.messages().back(),
            QStringLiteral("Unable to read ") + fx.app.path(QStringLiteral("base/cfgcheck.cdu")));
  EXPECT_NE(label("StatusLabel"), QStringLiteral("No errors found."));
  EXPECT_EQ(rows(), 0);
}
