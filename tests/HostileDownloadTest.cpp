// The updater's download against servers that lie, stall, never stop or break off.
#include <gtest/gtest.h>
#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <functional>
#include <thread>

#include "app/MainForm.h"
#include "prefs/OptionsDialog.h"
#include "prefs/UpdatesPage.h"
#include "tests/TestSupport.h"
#include "update/HttpDownload.h"

namespace {
using namespace std::chrono_literals;

// The few socket calls the server needs, on either system.
#ifdef _WIN32
using Sock = SOCKET;
constexpr Sock kNoSocket = INVALID_SOCKET;
constexpr int kCloseOnExec = 0;
constexpr int kNoSignal = 0;
void closeSocket(Sock s) { ::closesocket(s); }
Sock acceptSocket(Sock s) { return ::accept(s, nullptr, nullptr); }
int pollSockets(WSAPOLLFD* fds, ULONG n, int ms) { return ::WSAPoll(fds, n, ms); }
using PollFd = WSAPOLLFD;
using Length = int;
#else
using Sock = int;
constexpr Sock kNoSocket = -1;
constexpr int kCloseOnExec = SOCK_CLOEXEC;
constexpr int kNoSignal = MSG_NOSIGNAL;
void closeSocket(Sock s) { ::close(s); }
Sock acceptSocket(Sock s) { return ::accept4(s, nullptr, nullptr, SOCK_CLOEXEC); }
int pollSockets(pollfd* fds, nfds_t n, int ms) { return ::poll(fds, n, ms); }
using PollFd = pollfd;
using Length = socklen_t;
#endif

// A server on a thread of its own that answers every request with a script:
// script(fd, request, server) writes what it likes and returns; the connection
// is then closed (or reset, when the script asks). It looks for the end of the
// test at least every 50 ms.
class HostileServer {
 public:
  using Script = std::function<void(Sock fd, const QByteArray& request, HostileServer& self)>;

  explicit HostileServer(Script script) : m_script(std::move(script)) {
#ifdef _WIN32
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
#endif
    m_listen = ::socket(AF_INET, SOCK_STREAM | kCloseOnExec, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(m_listen, 16);
    Length len = sizeof addr;
    ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    m_thread = std::thread([this] { serve(); });
  }
  ~HostileServer() {
    m_stop = true;
    m_thread.join();
    closeSocket(m_listen);
#ifdef _WIN32
    WSACleanup();
#endif
  }
  QString base() const { return QStringLiteral("http://127.0.0.1:%1/u/").arg(m_port); }
  int requests() const { return m_requests; }
  bool stopping() const { return m_stop; }
  // Blocks the script until the test ends (a server that says nothing more).
  void waitForStop() {
    while (!m_stop) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  // Writes all of data; false once the peer is gone or the test ends.
  bool send(Sock fd, const QByteArray& data) {
    qsizetype done = 0;
    while (done < data.size() && !m_stop) {
      // A peer that reads nothing blocks the write: wait for room, looking for the end now and then.
      PollFd w{fd, POLLOUT, 0};
      if (pollSockets(&w, 1, 50) <= 0) continue;
      const auto n = ::send(fd, data.constData() + done,
                            static_cast<int>(std::min<qsizetype>(data.size() - done, 1 << 20)), kNoSignal);
      if (n <= 0) return false;
      done += n;
    }
    return !m_stop;
  }
  bool resetOnClose = false;

 private:
  void serve() {
    while (!m_stop) {
      PollFd p{m_listen, POLLIN, 0};
      if (pollSockets(&p, 1, 50) <= 0 || !(p.revents & POLLIN)) continue;
      const Sock fd = acceptSocket(m_listen);
      if (fd == kNoSocket) continue;
      QByteArray request;
      char buf[4096];
      for (int waited = 0; !request.contains("\r\n\r\n") && waited < 5000 && !m_stop;) {
        PollFd c{fd, POLLIN, 0};
        if (pollSockets(&c, 1, 50) <= 0) {
          waited += 50;
          continue;
        }
        const auto n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        request.append(buf, static_cast<qsizetype>(n));
      }
      ++m_requests;
      resetOnClose = false;
      m_script(fd, request, *this);
      if (resetOnClose) {
        linger l{1, 0};  // RST instead of FIN
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
      }
      closeSocket(fd);
    }
  }

  Script m_script;
  Sock m_listen = kNoSocket;
  quint16 m_port = 0;
  std::atomic<bool> m_stop{false};
  std::atomic<int> m_requests{0};
  std::thread m_thread;
};

bool isHead(const QByteArray& request) { return request.startsWith("HEAD "); }

// Files in the folder, hidden ones included: a failed download leaves none of its own.
QStringList filesIn(const QString& folder) {
  return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

class HostileDownload : public ::testing::Test {
 protected:
  TempApp app;
  HttpDownloader http;
  QSignalSpy failures{&http, &HttpDownloader::failed};
  QString folder() const { return app.paths().updates(); }
  QString lastFailure() const { return failures.isEmpty() ? QString() : failures.last()[0].toString(); }
};
}  // namespace

TEST_F(HostileDownload, AnAnswerCutShortOrResetFailsAndTheOldFileStays) {
  app.file(QStringLiteral("base/updates/update.cdu"), "old");
  std::atomic<bool> reset{false};
  HostileServer server([&](Sock fd, const QByteArray& request, HostileServer& self) {
    if (isHead(request)) {
      self.send(fd, "HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\n");
      return;
    }
    self.send(fd, "HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\n" + QByteArray(500, 'x'));
    self.resetOnClose = reset;
  });
  for (bool r : {false, true}) {
    reset = r;
    EXPECT_FALSE(http.DownloadUpdateFile(server.base(), QStringLiteral("update.cdu"), folder())) << r;
    EXPECT_EQ(readBytes(folder() + QStringLiteral("/update.cdu")), QByteArray("old"));
    EXPECT_EQ(filesIn(folder()), QStringList{QStringLiteral("update.cdu")});
  }
  EXPECT_TRUE(lastFailure().startsWith(QStringLiteral("Update Failed: update.cdu ")))
      << lastFailure().toStdString();
  EXPECT_EQ(failures.size(), 2);
}

TEST_F(HostileDownload, AStatusCodeWithoutReasonCountsAndNoStatusLineFails) {
  // The server's thread reads which answer to give; the test only moves the index.
  const QByteArray answers[] = {"HTTP/1.0 404\r\nContent-Length: 9\r\n\r\nerror pag",
                                "<html>hello</html>\r\n\r\n", "HTTP/1.0 OK\r\n\r\nbody", ""};
  std::atomic<int> which{0};
  HostileServer server(
      [&](Sock fd, const QByteArray&, HostileServer& self) { self.send(fd, answers[which]); });
  // 404 with no reason phrase: a failure, and no error page as the file.
  EXPECT_FALSE(http.DownloadUpdateFile(server.base(), QStringLiteral("a.cdu"), folder()));
  EXPECT_EQ(lastFailure(), QStringLiteral("Update Failed: a.cdu HTTP 404..."));
  EXPECT_EQ(server.requests(), 1);  // no GET after a failed HEAD
  // No status line at all: nothing that can be trusted as an answer.
  for (int junk = 1; junk < 4; ++junk) {
    which = junk;
    EXPECT_FALSE(http.DownloadUpdateFile(server.base(), QStringLiteral("a.cdu"), folder())) << junk;
  }
  EXPECT_TRUE(filesIn(folder()).isEmpty());
}

TEST_F(HostileDownload, EndlessBodiesAndHeadersStopAtTheirLimits) {
  http.setLimits({.maxBytes = 256 * 1024});
  enum Kind { EndlessBody, StatedTooBig, EndlessHeader };
  std::atomic<Kind> kind{EndlessBody};
  HostileServer server([&](Sock fd, const QByteArray& request, HostileServer& self) {
    if (kind == EndlessHeader) {
      self.send(fd, "HTTP/1.0 200 OK\r\n");
      while (self.send(fd, "X-Filler: " + QByteArray(1000, 'f') + "\r\n")) {
      }
      return;
    }
    if (isHead(request)) {
      self.send(fd, "HTTP/1.0 200 OK\r\n\r\n");
      return;
    }
    if (kind == StatedTooBig) {
      self.send(fd, "HTTP/1.0 200 OK\r\nContent-Length: 300000\r\n\r\n" + QByteArray(300000, 's'));
      return;
    }
    self.send(fd, "HTTP/1.0 200 OK\r\n\r\n");
    while (self.send(fd, QByteArray(65536, 'e'))) {
    }
  });
  EXPECT_FALSE(http.DownloadUpdateFile(server.base(), QStringLiteral("big.bin"), folder()));
  EXPECT_EQ(lastFailure(), QStringLiteral("Update Failed: big.bin larger than the limit of 262144 bytes..."));
  kind = StatedTooBig;
  EXPECT_FALSE(http.DownloadUpdateFile(server.base(), QStringLiteral("big.bin"), folder()));
  EXPECT_EQ(lastFailure(), QStringLiteral("Update Failed: big.bin larger than the limit of 262144 bytes..."));
  kind = EndlessHeader;
  EXPECT_FALSE(http.DownloadUpdateFile(server.base(), QStringLiteral("big.bin"), folder()));
  EXPECT_EQ(lastFailure(),
            QStringLiteral("Update Failed: big.bin the server's header is longer than 64 KiB..."));
  EXPECT_TRUE(filesIn(folder()).isEmpty());
  // The real limit is named in MiB.
  http.setLimits({});
  kind = StatedTooBig;
  EXPECT_TRUE(http.DownloadUpdateFile(server.base(), QStringLiteral("big.bin"), folder()));
  EXPECT_EQ(readBytes(folder() + QStringLiteral("/big.bin")).size(), 300000);
  EXPECT_EQ(HttpDownloader::kMaxBytes, 64 * 1024 * 1024);
}

TEST_F(HostileDownload, ASilentServerTimesOutAndAStopIsHeard) {
  http.setLimits({.idle = 400ms});
  HostileServer server([&](Sock fd, const QByteArray& request, HostileServer& self) {
    if (isHead(request)) {
      self.send(fd, "HTTP/1.0 200 OK\r\n\r\n");
      return;
    }
    self.send(fd, "HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nabc");
    self.waitForStop();  // and never another byte
  });
  EXPECT_FALSE(http.DownloadUpdateFile(server.base(), QStringLiteral("slow.bin"), folder()));
  EXPECT_EQ(lastFailure(), QStringLiteral("Update Failed: slow.bin nothing received for 0.4 seconds..."));
  // The user stops it: long before any time-out.
  http.setLimits({.idle = 60000ms});
  QTimer::singleShot(200, &http, [&] { http.cancel(); });
  QElapsedTimer clock;
  clock.start();
  EXPECT_FALSE(http.DownloadUpdateFile(server.base(), QStringLiteral("slow.bin"), folder()));
  EXPECT_LT(clock.elapsed(), 5000);
  EXPECT_EQ(lastFailure(), QStringLiteral("Update Failed: slow.bin stopped..."));
  EXPECT_TRUE(filesIn(folder()).isEmpty());
}

TEST_F(HostileDownload, AConnectionThatNeverCompletesTimesOutAndAnEndingProgramDoesNotWaitForIt) {
  SKIP_ON_WINDOWS(
      "fills a listen queue so that the handshake hangs, as on Linux; Windows refuses such a connection");
#ifndef _WIN32
  // A listening socket whose queue is full and that never accepts: the handshake hangs.
  const int full = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(full, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(::listen(full, 0), 0);
  socklen_t len = sizeof addr;
  ::getsockname(full, reinterpret_cast<sockaddr*>(&addr), &len);
  // Fillers until a new connection really hangs: the queue is full, whatever the load.
  std::vector<int> fillers;
  auto hangs = [](int c) {
    pollfd p{c, POLLOUT, 0};
    return ::poll(&p, 1, 200) == 0;
  };
  for (int i = 0; i < 16; ++i) {
    const int c = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    (void)::connect(c, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    fillers.push_back(c);
    if (i >= 1 && hangs(c)) break;
  }
  ASSERT_TRUE(hangs(fillers.back())) << "the listening queue never filled";
  const QString base = QStringLiteral("http://127.0.0.1:%1/u/").arg(ntohs(addr.sin_port));
  http.setLimits({.connect = 500ms});
  QElapsedTimer clock;
  clock.start();
  EXPECT_FALSE(http.DownloadUpdateFile(base, QStringLiteral("a.cdu"), folder()));
  EXPECT_EQ(lastFailure(), QStringLiteral("Update Failed: a.cdu no connection within 0.5 seconds..."));
  EXPECT_LT(clock.elapsed(), 5000);

  // The program ends while the download is still connecting: it is abandoned at once.
  http.setLimits({.connect = 60000ms});
  bool result = true;
  qint64 endedAfter = -1;
  QTimer::singleShot(0, &http,
                     [&] { result = http.DownloadUpdateFile(base, QStringLiteral("a.cdu"), folder()); });
  QTimer::singleShot(300, &http, [&] {
    clock.restart();
    QCoreApplication::exit(0);
  });
  QCoreApplication::exec();
  endedAfter = clock.elapsed();
  EXPECT_FALSE(result);
  EXPECT_LT(endedAfter, 1000);
  for (int c : fillers) ::close(c);
  ::close(full);
#endif
}

TEST_F(HostileDownload, NamesThatLeaveTheFolderAreRefusedBeforeAnyRequest) {
  HostileServer server(
      [&](Sock fd, const QByteArray&, HostileServer& self) { self.send(fd, "HTTP/1.0 200 OK\r\n\r\nx"); });
  for (const QString& name :
       {QStringLiteral("../evil"), QStringLiteral("a/b"), QStringLiteral("a\\b"), QStringLiteral(""),
        QStringLiteral(".."), QStringLiteral("."), QStringLiteral("a\nb"), QStringLiteral("/etc/passwd"),
        QStringLiteral("x\x7f")}) {
    EXPECT_FALSE(http.DownloadUpdateFile(server.base(), name, folder())) << name.toStdString();
    EXPECT_TRUE(lastFailure().endsWith(QStringLiteral("not a plain file name...")))
        << lastFailure().toStdString();
  }
  EXPECT_EQ(server.requests(), 0);
  EXPECT_TRUE(HttpDownloader::isPlainFileName(QStringLiteral("Tessary.exe")));
  EXPECT_TRUE(HttpDownloader::isPlainFileName(QStringLiteral("help.hlp")));
  EXPECT_TRUE(filesIn(folder()).isEmpty());
  EXPECT_TRUE(filesIn(app.path(QStringLiteral("base"))).contains(QStringLiteral("svs.cfg")));
}

namespace {
// Pixels of a clear green: what the markup below would paint if it were read as rich text.
int greenPixels(QLabel* label) {
  label->resize(label->sizeHint());
  const QImage picture = label->grab().toImage();
  int green = 0;
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x) {
      const QColor c = picture.pixelColor(x, y);
      if (c.green() > 100 && c.red() < 80 && c.blue() < 80) ++green;
    }
  return green;
}
}  // namespace

TEST(HostileUpdatePage, TheServersWordsArePlainTextAndOneCheckRunsAtATime) {
  // Markup in the reason phrase and in the manifest, that would paint a green success.
  std::atomic<bool> manifestThere{false};
  HostileServer server([&](Sock fd, const QByteArray& request, HostileServer& self) {
    if (request.contains("slow.cdu")) {
      self.waitForStop();
    } else if (request.contains("ChangeLog")) {
      self.send(fd, "HTTP/1.0 200 OK\r\n\r\n<b>log</b>");
    } else if (manifestThere) {
      self.send(fd, "HTTP/1.0 200 OK\r\n\r\n[Info]\r\nLatestVersion=<font color=green>2.2.0.1</font>\r\n");
    } else {
      self.send(fd, "HTTP/1.0 404 <font color=green>Status: Updated to 2.3.0.0, all done</font>\r\n\r\n");
    }
  });
  qputenv("TESSARY_UPDATE_URL", server.base().toUtf8());
  MainWindowFixture fx;
  UpdatesPage* page = fx.form->adopted<TForm1>(QStringLiteral("TForm1"))->updatesPage();
  auto* status = page->findChild<QLabel*>(QStringLiteral("Label1"));
  auto* latest = page->findChild<QLabel*>(QStringLiteral("Label5"));
  QTest::mouseClick(page->findChild<QPushButton*>(QStringLiteral("BitBtn5")), Qt::LeftButton);
  EXPECT_EQ(
      status->text(),
      QStringLiteral(
          "Update Failed: update.cdu <font color=green>Status: Updated to 2.3.0.0, all done</font>..."));
  EXPECT_EQ(greenPixels(status), 0);

  // A whole check, with its pause between the two files: the window thread keeps turning.
  manifestThere = true;
  QElapsedTimer gap;
  qint64 longestGap = 0;
  int ticks = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    ++ticks;
    if (gap.isValid()) longestGap = std::max(longestGap, gap.elapsed());
    gap.restart();
  });
  ticker.start(20);
  QElapsedTimer whole;
  whole.start();
  page->BitBtn5Click();
  ticker.stop();
  EXPECT_GE(whole.elapsed(), 900);  // the pause is still there ...
  EXPECT_GT(ticks, 10);             // ... but the windows are not asleep during it:
  // a pause that slept would leave one gap of its whole 900 ms; a loaded machine may
  // delay a tick now and then, but never by the whole pause.
  EXPECT_LT(longestGap, 850);
  EXPECT_EQ(latest->text(), QStringLiteral("<font color=green>2.2.0.1</font>"));
  EXPECT_EQ(greenPixels(latest), 0);
  qunsetenv("TESSARY_UPDATE_URL");

  // While a check runs, "Check For Updates" takes no second click and a stop is offered.
  qputenv("TESSARY_UPDATE_URL", (server.base() + QStringLiteral("slow.cdu?")).toUtf8());
  auto* check = page->findChild<QPushButton*>(QStringLiteral("BitBtn5"));
  auto* stop = page->findChild<QPushButton*>(QStringLiteral("StopButton"));
  bool sawDuring = false;
  QTimer::singleShot(300, page, [&] {
    sawDuring = true;
    EXPECT_FALSE(check->isEnabled());
    EXPECT_FALSE(stop->isHidden());
    const int before = server.requests();
    page->BitBtn5Click();  // as a second click would
    EXPECT_EQ(server.requests(), before);
    QTest::mouseClick(stop, Qt::LeftButton);
  });
  page->BitBtn5Click();
  EXPECT_TRUE(sawDuring);
  EXPECT_TRUE(check->isEnabled());
  EXPECT_TRUE(stop->isHidden());
  EXPECT_TRUE(status->text().endsWith(QStringLiteral("stopped..."))) << status->text().toStdString();
  qunsetenv("TESSARY_UPDATE_URL");
}
