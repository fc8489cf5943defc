// The updater's download against a small HTTP server on this machine.
#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QHostAddress>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>

#include "app/MainForm.h"
#include "prefs/OptionsDialog.h"
#include "prefs/Preferences.h"
#include "prefs/UpdatesPage.h"
#include "tests/TestSupport.h"
#include "tests/TinyServer.h"
#include "update/HttpDownload.h"
#include "update/UpdateCheck.h"

TEST(Download, HeadThenGetWithTheFixedRequestLinesAndTheSizes) {
  TempApp app;
  TinyServer server;
  const QByteArray body(1536, 'x');
  server.answers["/velkor/Tessaryv2/update/update.cdu"] = {"200 OK", "Content-Length: 1536\r\n", body};
  HttpDownloader http;
  QSignalSpy totals(&http, &HttpDownloader::totalSize);
  QSignalSpy statuses(&http, &HttpDownloader::status);
  QSignalSpy got(&http, &HttpDownloader::received);
  const QString folder = app.paths().updates();
  app.file(QStringLiteral("base/updates/update.cdu"), "old");
  ASSERT_TRUE(http.DownloadUpdateFile(server.base(), QStringLiteral("update.cdu"), folder));
  EXPECT_EQ(readBytes(folder + QStringLiteral("/update.cdu")), body);
  ASSERT_EQ(server.requests.size(), 2);
  const QByteArray expected =
      " /velkor/Tessaryv2/update/update.cdu HTTP/1.0\r\n"
      "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"
      "User-Agent: Mozilla/4.0 (compatible; ICS)\r\n"
      "Host: 127.0.0.1:" +
      QByteArray::number(server.port()) +
      "\r\n"
      "Pragma: no-cache\r\n\r\n";
  EXPECT_EQ(server.requests[0], "HEAD" + expected);
  EXPECT_EQ(server.requests[1], "GET" + expected);
  ASSERT_EQ(totals.size(), 1);
  EXPECT_EQ(totals[0][0].toLongLong(), 1536);
  ASSERT_FALSE(got.isEmpty());
  EXPECT_EQ(got.last()[0].toLongLong(), 1536);
  ASSERT_EQ(statuses.size(), 2);
  EXPECT_EQ(statuses[0][0].toString(), QStringLiteral("Status: Downloading update.cdu... "));
  EXPECT_EQ(statuses[1][0].toString(), QStringLiteral("Status: Downloading Completed..."));
}

TEST(Download, AMissingFileFailsAfterHeadAndLeavesNoFile) {
  TempApp app;
  TinyServer server;
  HttpDownloader http;
  QSignalSpy failures(&http, &HttpDownloader::failed);
  const QString folder = app.paths().updates();
  EXPECT_FALSE(http.DownloadUpdateFile(server.base(), QStringLiteral("update.cdu"), folder));
  ASSERT_EQ(failures.size(), 1);
  EXPECT_EQ(failures[0][0].toString(), QStringLiteral("Update Failed: update.cdu Not Found..."));
  EXPECT_EQ(server.requests.size(), 1);  // no GET
  EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/update.cdu")));
}

TEST(Download, RedirectionsAreFollowedAndAnUnknownHostIsNamed) {
  TempApp app;
  TinyServer server;
  const QByteArray root = "/velkor/Tessaryv2/update/";
  const QByteArray here = "http://127.0.0.1:" + QByteArray::number(server.port());
  server.answers[root + "a.txt"] = {"302 Found", "Location: " + here + root + "b.txt\r\n", {}};
  server.answers[root + "b.txt"] = {"302 Found", "Location: " + here + root + "c.txt\r\n", {}};
  server.answers[root + "c.txt"] = {"200 OK", {}, "final"};
  HttpDownloader http;
  ASSERT_TRUE(http.DownloadUpdateFile(server.base(), QStringLiteral("a.txt"), app.paths().updates()));
  EXPECT_EQ(readBytes(app.paths().updates() + QStringLiteral("/a.txt")), QByteArray("final"));
  // 401 counts as an answer: its body becomes the file.
  server.answers[root + "locked.txt"] = {"401 Unauthorized", {}, "who are you"};
  EXPECT_TRUE(http.DownloadUpdateFile(server.base(), QStringLiteral("locked.txt"), app.paths().updates()));
  QSignalSpy failures(&http, &HttpDownloader::failed);
  EXPECT_FALSE(http.DownloadUpdateFile(QStringLiteral("http://no-such-host.invalid/"), QStringLiteral("x"),
                                       app.paths().updates()));
  ASSERT_EQ(failures.size(), 1);
  EXPECT_EQ(failures[0][0].toString(),
            QStringLiteral("Update Failed: x can't resolve hostname to IP address..."));
}

TEST(Download, ASecondDownloadWhileOneRunsFailsAtOnce) {
  TempApp app;
  TinyServer server;
  server.answers["/velkor/Tessaryv2/update/big.bin"] = {"200 OK", {}, QByteArray(200000, 'b')};
  HttpDownloader http;
  bool secondResult = true;
  QString secondFailure;
  bool tried = false;
  // While the first one waits for its body, the windows keep running: a second one is asked for.
  QObject::connect(&http, &HttpDownloader::received, &http, [&](qint64 bytes) {
    if (tried || bytes == 0) return;
    tried = true;
    QObject::connect(&http, &HttpDownloader::failed, &http,
                     [&](const QString& text) { secondFailure = text; });
    secondResult = http.DownloadUpdateFile(server.base(), QStringLiteral("other.bin"), app.paths().updates());
  });
  ASSERT_TRUE(http.DownloadUpdateFile(server.base(), QStringLiteral("big.bin"), app.paths().updates()));
  ASSERT_TRUE(tried);
  EXPECT_FALSE(secondResult);
  EXPECT_EQ(secondFailure, QStringLiteral("Update Failed: other.bin another download is running..."));
  EXPECT_EQ(readBytes(app.paths().updates() + QStringLiteral("/big.bin")).size(), 200000);
  EXPECT_FALSE(QFileInfo::exists(app.paths().updates() + QStringLiteral("/other.bin")));
}

TEST(UpdateRules, VersionsCompareByTheirNumbersAndTheCacheByFullTime) {
  EXPECT_TRUE(UpdateCheck::isNewer(QStringLiteral("2.2.0.3"), QStringLiteral("2.2.0.2")));
  EXPECT_FALSE(UpdateCheck::isNewer(QStringLiteral("2.2.0.2"), QStringLiteral("2.2.0.2")));
  EXPECT_TRUE(UpdateCheck::isNewer(QStringLiteral("2.2.0.10"), QStringLiteral("2.2.0.2")));
  EXPECT_TRUE(UpdateCheck::isNewer(QStringLiteral("2.3"), QStringLiteral("2.2.0.2")));
  EXPECT_FALSE(UpdateCheck::isNewer(QStringLiteral("2.2"), QStringLiteral("2.2.0.2")));
  EXPECT_FALSE(UpdateCheck::isNewer(QStringLiteral("2.2.0.1"), QStringLiteral("2.2.0.2")));
  EXPECT_FALSE(UpdateCheck::isNewer(QString(), QStringLiteral("2.2.0.2")));
  EXPECT_FALSE(UpdateCheck::isNewer(QStringLiteral("3.0-beta"), QStringLiteral("2.2.0.2")));
  // More parts, the same start: newer; fewer: not.
  EXPECT_TRUE(UpdateCheck::isNewer(QStringLiteral("2.2.0.2.1"), QStringLiteral("2.2.0.2")));
  EXPECT_FALSE(UpdateCheck::isNewer(QStringLiteral("2.2.0.2"), QStringLiteral("2.2.0.2.1")));
  EXPECT_FALSE(UpdateCheck::isNewer(QStringLiteral("2.2.0.2.0"), QStringLiteral("2.2.0.2")));
  const QLocale english(QLocale::English, QLocale::UnitedStates);
  const QDateTime at(QDate(2026, 12, 8), QTime(13, 5, 7));
  EXPECT_EQ(UpdateCheck::formatChecked(at, english), QStringLiteral("12/08/26 13:05:07"));
  EXPECT_EQ(UpdateCheck::parseChecked(QStringLiteral("12/08/26 13:05:07"), english), at);
  EXPECT_FALSE(UpdateCheck::parseChecked(QStringLiteral("garbage"), english).isValid());
  EXPECT_FALSE(UpdateCheck::cacheIsStale(at, at.addSecs(340)));
  EXPECT_TRUE(UpdateCheck::cacheIsStale(at, at.addSecs(341)));
  // Across midnight: a check of yesterday evening is stale this morning.
  EXPECT_TRUE(UpdateCheck::cacheIsStale(QDateTime(QDate(2026, 12, 8), QTime(23, 0)),
                                        QDateTime(QDate(2026, 12, 9), QTime(10, 0))));
  EXPECT_FALSE(UpdateCheck::cacheIsStale(QDateTime(QDate(2026, 12, 8), QTime(23, 59, 0)),
                                         QDateTime(QDate(2026, 12, 9), QTime(0, 1))));
  EXPECT_TRUE(UpdateCheck::cacheIsStale(QDateTime(), at));
  // A check time in the future (a clock set back since) proves nothing: stale.
  EXPECT_TRUE(UpdateCheck::cacheIsStale(at.addSecs(60), at));
  EXPECT_TRUE(UpdateCheck::cacheIsStale(at.addDays(1), at));
  EXPECT_EQ(UpdateCheck::dayFirst(at, english).left(9), QStringLiteral("08/12/26 "));
  EXPECT_EQ(UpdateCheck::monthFirst(at, english).left(9), QStringLiteral("12/08/26 "));
}

TEST(UpdateCheckPage, AnActivationRemovesAStaleManifestAndChangeLogButKeepsFreshOnes) {
  MainWindowFixture fx;
  auto* options = fx.form->adopted<TForm1>(QStringLiteral("TForm1"));
  const QString manifest =
      fx.app.file(QStringLiteral("base/updates/update.cdu"), "[Info]\r\nLatestVersion=2.2.0.1\r\n");
  const QString log = fx.app.file(QStringLiteral("base/updates/ChangeLog.txt"), "old news");
  // Checked a few minutes ago: kept.
  Preferences(fx.app.paths())
      .setUpdatesChecked(UpdateCheck::formatChecked(QDateTime::currentDateTime().addSecs(-60)));
  options->updatesPage()->refresh();
  EXPECT_TRUE(QFileInfo::exists(manifest));
  EXPECT_TRUE(QFileInfo::exists(log));
  // Checked an hour ago: both go, and what they said still shows until the next check.
  Preferences(fx.app.paths())
      .setUpdatesChecked(UpdateCheck::formatChecked(QDateTime::currentDateTime().addSecs(-3600)));
  fx.form->action(QStringLiteral("Options1"))->trigger();
  EXPECT_FALSE(QFileInfo::exists(manifest));
  EXPECT_FALSE(QFileInfo::exists(log));
  EXPECT_EQ(options->updatesPage()->findChild<QPlainTextEdit*>(QStringLiteral("Memo1"))->toPlainText(),
            QStringLiteral("old news"));
  options->close();
}

TEST(Download, AFailedGetLeavesTheOldFileAndNeverTheErrorPage) {
  TempApp app;
  TinyServer server;
  HttpDownloader http;
  const QString old = app.file(QStringLiteral("base/updates/update.cdu"), "old manifest");
  // HEAD finds it; the GET is refused with an error page.
  int requests = 0;
  server.answers["/velkor/Tessaryv2/update/update.cdu"] = {"200 OK", {}, "never the body"};
  QObject::connect(&http, &HttpDownloader::status, &http, [&](const QString& text) {
    if (text.startsWith(QStringLiteral("Status: Downloading update.cdu")) && ++requests == 1)
      server.answers["/velkor/Tessaryv2/update/update.cdu"] = {
          "500 Internal Server Error", {}, "<h1>error page</h1>"};
  });
  EXPECT_FALSE(http.DownloadUpdateFile(server.base(), QStringLiteral("update.cdu"), app.paths().updates()));
  EXPECT_EQ(readBytes(old), QByteArray("old manifest"));
  EXPECT_EQ(QDir(app.paths().updates()).entryList(QDir::Files | QDir::Hidden),
            QStringList{QStringLiteral("update.cdu")});
}

TEST(UpdateCheckPage, ACheckFetchesTheManifestAndOffersANewerBuild) {
  TinyServer server;
  const QByteArray root = "/velkor/Tessaryv2/update/";
  server.answers[root + "ChangeLog.txt"] = {"200 OK", {}, "Fixed things.\nMade others."};
  qputenv("TESSARY_UPDATE_URL", server.base().toUtf8());
  MainWindowFixture fx;
  auto* options = fx.form->adopted<TForm1>(QStringLiteral("TForm1"));
  UpdatesPage* page = options->updatesPage();
  auto label = [&](const char* name) { return page->findChild<QLabel*>(QString::fromLatin1(name))->text(); };
  auto button = [&](const char* name) { return page->findChild<QPushButton*>(QString::fromLatin1(name)); };
  struct Case {
    QByteArray latest;
    bool offered;
    const char* status;
  };
  // Equal and older: no offer; then newer by its numbers.
  for (const Case& c : {Case{"2.2.0.2", false, "Status: No Updates Available..."},
                        Case{"2.2.0.1", false, "Status: No Updates Available..."},
                        Case{"2.2.0.10", true, "Status: Updates Available..."}}) {
    server.answers[root + "update.cdu"] = {"200 OK", {}, "[Info]\r\nLatestVersion=" + c.latest + "\r\n"};
    page->BitBtn5Click();
    EXPECT_EQ(label("Label4"), QStringLiteral(TESSARY_VERSION));
    EXPECT_EQ(label("Label5"), QString::fromLatin1(c.latest));
    EXPECT_EQ(label("Label1"), QString::fromLatin1(c.status)) << c.latest.toStdString();
    EXPECT_EQ(!button("BitBtn6")->isHidden(), c.offered) << c.latest.toStdString();
  }
  EXPECT_EQ(button("BitBtn6")->text(), QStringLiteral("Download Updates?"));
  EXPECT_FALSE(button("BitBtn6")->icon().isNull());  // it has a picture of its own
  EXPECT_TRUE(button("BitBtn5")->isHidden());
  EXPECT_EQ(page->findChild<QPlainTextEdit*>(QStringLiteral("Memo1"))->toPlainText(),
            QStringLiteral("Fixed things.\nMade others."));
  EXPECT_FALSE(Preferences(fx.app.paths()).updatesChecked().isEmpty());
  EXPECT_EQ(label("Label8"), QStringLiteral("0 KB"));
  // A manifest the server does not have: the failure text, and the time of the check still shows.
  server.answers.remove(root + "update.cdu");
  page->BitBtn5Click();
  EXPECT_EQ(label("Label1"), QStringLiteral("Update Failed: update.cdu Not Found..."));
  EXPECT_FALSE(QFileInfo::exists(fx.app.paths().updates() + QStringLiteral("/update.cdu")));
  EXPECT_NE(label("Label7"), QStringLiteral("N/A"));
  // The menu command: the dialog on its updates page, the main window waiting.
  server.answers[root + "update.cdu"] = {"200 OK", {}, "[Info]\r\nLatestVersion=2.3\r\n"};
  fx.form->action(QStringLiteral("CheckForUpdates1"))->trigger();
  EXPECT_TRUE(options->isVisible());
  EXPECT_FALSE(fx.form->isEnabled());
  EXPECT_EQ(label("Label5"), QStringLiteral("2.3"));
  options->close();
  qunsetenv("TESSARY_UPDATE_URL");
}

TEST(Download, SixRedirectionsNoLengthABigBodyAndARefusedConnection) {
  TempApp app;
  TinyServer server;
  const QByteArray root = "/velkor/Tessaryv2/update/";
  const QByteArray here = "http://127.0.0.1:" + QByteArray::number(server.port());
  // r0 -> r1 -> ... -> r6: after the fifth change of location the sixth answer is the result.
  for (int i = 0; i < 6; ++i)
    server.answers[root + "r" + QByteArray::number(i)] = {
        "302 Found", "Location: " + here + root + "r" + QByteArray::number(i + 1) + "\r\n",
        "redirect " + QByteArray::number(i)};
  server.answers[root + "r6"] = {"200 OK", {}, "never reached"};
  HttpDownloader http;
  ASSERT_TRUE(http.DownloadUpdateFile(server.base(), QStringLiteral("r0"), app.paths().updates()));
  EXPECT_EQ(readBytes(app.paths().updates() + QStringLiteral("/r0")), QByteArray("redirect 5"));
  // No Content-Length: the total is not announced, the file still comes.
  server.answers[root + "plain.txt"] = {"200 OK", "X-No-Length: 1\r\n", "body without a length"};
  QSignalSpy totals(&http, &HttpDownloader::totalSize);
  ASSERT_TRUE(http.DownloadUpdateFile(server.base(), QStringLiteral("plain.txt"), app.paths().updates()));
  EXPECT_TRUE(totals.isEmpty());
  EXPECT_EQ(readBytes(app.paths().updates() + QStringLiteral("/plain.txt")),
            QByteArray("body without a length"));
  // 5 MB: progress arrives in pieces while the window thread goes on.
  const QByteArray big(5 * 1024 * 1024, 'z');
  server.answers[root + "big.bin"] = {"200 OK", {}, big};
  QSignalSpy got(&http, &HttpDownloader::received);
  ASSERT_TRUE(http.DownloadUpdateFile(server.base(), QStringLiteral("big.bin"), app.paths().updates()));
  EXPECT_GT(got.size(), 2);
  EXPECT_EQ(got.last()[0].toLongLong(), big.size());
  EXPECT_EQ(readBytes(app.paths().updates() + QStringLiteral("/big.bin")).size(), big.size());
  // Nobody listening: the socket's error, named.
  QTcpServer closed;
  closed.listen(QHostAddress::LocalHost);
  const quint16 port = closed.serverPort();
  closed.close();
  QSignalSpy failures(&http, &HttpDownloader::failed);
  EXPECT_FALSE(http.DownloadUpdateFile(QStringLiteral("http://127.0.0.1:%1/").arg(port), QStringLiteral("x"),
                                       app.paths().updates()));
  ASSERT_EQ(failures.size(), 1);
  EXPECT_TRUE(failures[0][0].toString().contains(QStringLiteral("(Error #7)")))
      << failures[0][0].toString().toStdString();
  // A missing folder is made.
  EXPECT_TRUE(http.DownloadUpdateFile(server.base(), QStringLiteral("plain.txt"),
                                      app.path(QStringLiteral("new/updates"))));
}

TEST(Download, OnPort80TheHostLineCarriesNoPort) {
  TempApp app;
  TinyServer server(80);
  if (!server.listening()) GTEST_SKIP() << "port 80 is taken or not allowed here";
  server.answers["/velkor/Tessaryv2/update/a.txt"] = {"200 OK", {}, "a"};
  HttpDownloader http;
  ASSERT_TRUE(http.DownloadUpdateFile(QStringLiteral("http://127.0.0.1/velkor/Tessaryv2/update/"),
                                      QStringLiteral("a.txt"), app.paths().updates()));
  ASSERT_EQ(server.requests.size(), 2);
  EXPECT_TRUE(server.requests[1].contains("\r\nHost: 127.0.0.1\r\nPragma: no-cache\r\n\r\n"))
      << server.requests[1].toStdString();
}
