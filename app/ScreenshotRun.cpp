#include "app/ScreenshotRun.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>

#include "app/AboutBox.h"
#include "app/MainForm.h"
#include "documents/MDIChild.h"
#include "documents/PageSet.h"
#include "prefs/OptionsDialog.h"
#include "prefs/UpdatesPage.h"
#include "tools/ValidationWindow.h"

ScreenshotRun::ScreenshotRun(TMainForm& form, CommandLine line, QString configPath,
                             std::function<void(const QString&)> report)
    : QObject(&form),
      m_form(form),
      m_line(std::move(line)),
      m_configPath(std::move(configPath)),
      m_report(std::move(report)),
      m_pictured(&form) {}

void ScreenshotRun::start() {
  if (!m_configPath.isEmpty()) {
    try {
      m_form.OpenDocument(m_configPath);
    } catch (const std::exception& e) {
      fail(QString::fromUtf8(e.what()), 2);
      return;
    }
  }
  showWhatWasAskedFor();
  m_started = QDateTime::currentMSecsSinceEpoch();
  auto* poll = m_poll = new QTimer(this);
  connect(poll, &QTimer::timeout, this, [this, poll] {
    // Once the named arena shows and what was asked for has happened; after 15 s
    // the picture is taken as things are.
    TMDIChild* child = m_form.activeChild();
    const bool documentShown = m_configPath.isEmpty() || (child && child->pages()->isVisible());
    if ((!documentShown || !m_ready) && QDateTime::currentMSecsSinceEpoch() - m_started < 15000) return;
    poll->stop();
    takeWhenReady();
  });
  poll->start(m_configPath.isEmpty() ? 300 : 50);
}

// The side page, the Options page and the windows the command line named;
// m_ready turns true once what they do has been done.
void ScreenshotRun::showWhatWasAskedFor() {
  if (!m_line.sidePage.isEmpty())
    if (auto* pages = m_form.findChild<QTabWidget*>(QStringLiteral("SidePages")))
      for (int i = 0; i < pages->count(); ++i)
        if (pages->tabText(i).trimmed() == m_line.sidePage) pages->setCurrentIndex(i);

  if (!m_line.optionsPage.isEmpty()) {
    if (auto* options = m_form.adopted<TForm1>(QStringLiteral("TForm1"))) {
      options->showOptions();
      if (auto* pages = options->findChild<QTabWidget*>())
        for (int i = 0; i < pages->count(); ++i)
          if (pages->tabText(i) == m_line.optionsPage) pages->setCurrentIndex(i);
      m_pictured = options;
    }
  }
  m_ready = !m_line.checkDocument && !m_line.aboutBox && !m_line.checkUpdates;
  if (m_line.checkUpdates) {
    if (auto* options = m_form.adopted<TForm1>(QStringLiteral("TForm1"))) {
      QTimer::singleShot(500, options, [this, options] {
        options->updatesPage()->BitBtn5Click();
        m_ready = true;
      });
    }
  }
  if (m_line.aboutBox) {
    if (auto* about = m_form.findChild<TAboutBox*>(QStringLiteral("TAboutBox"))) {
      about->showAbout();
      m_pictured = about;
      // Time for the credits to scroll into view.
      QTimer::singleShot(3500, about, [this] { m_ready = true; });
    }
  }
  if (m_line.checkDocument) {
    if (auto* validation = m_form.adopted<TForm3>(QStringLiteral("TForm3"))) {
      validation->showValidation();
      // After the window has settled: its activation empties the results.
      QTimer::singleShot(1000, validation, [this, validation] {
        validation->checkOpenDocument();
        m_ready = true;
      });
      m_pictured = validation;
    }
  }
}

void ScreenshotRun::takeWhenReady() {
  const bool saved = m_pictured->grab().save(m_line.screenshot);
  if (!saved) {
    fail(QStringLiteral("Could not save the screenshot %1").arg(m_line.screenshot), 1);
    return;
  }
  std::fprintf(stderr, "Screenshot saved to %s\n", m_line.screenshot.toLocal8Bit().constData());
  if (m_pictured != &m_form) m_pictured->close();
  m_form.close();
}

void ScreenshotRun::fail(const QString& why, int code) {
  std::fprintf(stderr, "tessary: %s\n", why.toLocal8Bit().constData());
  m_exitCode = code;
  if (m_poll) m_poll->stop();
  // Also when the event loop has not begun yet: the end waits for it.
  QTimer::singleShot(0, qApp, [code] { QCoreApplication::exit(code); });
}
