// Stacks, module offsets and fatal signals on Linux: backtrace(), dladdr()
// and a signal handler that writes the record with async-signal-safe calls only.
#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <link.h>
#include <signal.h>
#include <unistd.h>

#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ctime>

#include "app/ExceptionLog.h"

namespace ExceptionLog {

__attribute__((noinline)) std::vector<std::uintptr_t> captureStack() {
  void* frames[kMaxStackLines + 2];
  const int n = backtrace(frames, kMaxStackLines + 2);
  std::vector<std::uintptr_t> out;
  // Frame 0 is this function, frame 1 the return into the capturing handler itself.
  for (int i = 2; i < n && static_cast<int>(out.size()) < kMaxStackLines; ++i)
    out.push_back(reinterpret_cast<std::uintptr_t>(frames[i]) - 1);  // inside the call instruction
  return out;
}

QString formatAddress(std::uintptr_t address) {
  Dl_info dl{};
  if (address != 0 && dladdr(reinterpret_cast<void*>(address), &dl) != 0 && dl.dli_fbase)
    return hex8(address - reinterpret_cast<std::uintptr_t>(dl.dli_fbase));
  return hex8(address);
}

namespace {
// Everything the fatal-signal handler needs is prepared here beforehand: once a
// signal arrives only async-signal-safe calls may run (no allocation, no
// locale, no Qt), so the record is assembled from these plain buffers.
struct SignalLogSetup {
  char logPath[4096];
  char exeName[256];
  char dateFormat[64];  // the locale's short date pattern
  char timeFormat[64];  // the locale's long time pattern
  char timeZone[32];    // its abbreviation, for the pattern letter t
  char amText[16];
  char pmText[16];
  char monthNames[12][32];
  char dayNames[7][32];
  long utcOffset;  // seconds east of UTC when the handlers were installed
  struct FatalSignal {
    int number;
    char name[64];
  } fatalSignals[5];
  struct Module {
    std::uintptr_t start;
    std::uintptr_t end;
    std::uintptr_t base;
  } modules[256];
  int moduleCount;
};
SignalLogSetup g_setup;

// A fixed buffer with append helpers; text past its end is dropped.
struct RecordBuffer {
  char data[16384];
  size_t size = 0;
  void add(const char* s) {
    while (*s && size < sizeof data) data[size++] = *s++;
  }
  void add(const char* s, size_t n) {
    for (size_t i = 0; i < n && size < sizeof data; ++i) data[size++] = s[i];
  }
  void number(unsigned long long v, int minDigits = 1) {
    char digits[24];
    int n = 0;
    do {
      digits[n++] = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v > 0);
    while (n < minDigits) digits[n++] = '0';
    while (n > 0) add(&digits[--n], 1);
  }
  void hex8(unsigned long long v) {
    static const char kHex[] = "0123456789ABCDEF";
    char digits[20];
    int n = 0;
    do {
      digits[n++] = kHex[v & 0xF];
      v >>= 4;
    } while (v > 0);
    while (n < 8) digits[n++] = '0';
    while (n > 0) add(&digits[--n], 1);
  }
};

void copyText(char* to, size_t size, const QByteArray& from) {
  const size_t n = std::min(size - 1, static_cast<size_t>(from.size()));
  std::memcpy(to, from.constData(), n);
  to[n] = '\0';
}

int collectModule(dl_phdr_info* info, size_t, void*) {
  // The module's base is where its lowest segment is mapped, as dladdr() reports it.
  std::uintptr_t lowest = UINTPTR_MAX;
  for (int i = 0; i < info->dlpi_phnum; ++i)
    if (info->dlpi_phdr[i].p_type == PT_LOAD)
      lowest = std::min<std::uintptr_t>(lowest, info->dlpi_phdr[i].p_vaddr);
  if (lowest == UINTPTR_MAX) return 0;
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const std::uintptr_t base = info->dlpi_addr + (lowest & ~(page - 1));
  for (int i = 0; i < info->dlpi_phnum && g_setup.moduleCount < 256; ++i) {
    const ElfW(Phdr)& ph = info->dlpi_phdr[i];
    if (ph.p_type != PT_LOAD) continue;
    auto& m = g_setup.modules[g_setup.moduleCount++];
    m.start = info->dlpi_addr + ph.p_vaddr;
    m.end = m.start + ph.p_memsz;
    m.base = base;
  }
  return 0;
}

// The address as an offset inside its module, as formatAddress writes it.
void addAddress(RecordBuffer& out, std::uintptr_t address) {
  for (int i = 0; address != 0 && i < g_setup.moduleCount; ++i) {
    const auto& m = g_setup.modules[i];
    if (address >= m.start && address < m.end) {
      out.hex8(address - m.base);
      return;
    }
  }
  out.hex8(address);
}

struct CivilTime {
  long long year;
  unsigned month, day, weekday, hour, minute, second, millisecond;
};

CivilTime civilFromEpoch(long long secs, unsigned ms) {
  long long days = secs / 86400;
  long long rem = secs % 86400;
  if (rem < 0) {
    rem += 86400;
    --days;
  }
  CivilTime t{};
  t.hour = static_cast<unsigned>(rem / 3600);
  t.minute = static_cast<unsigned>(rem % 3600 / 60);
  t.second = static_cast<unsigned>(rem % 60);
  t.millisecond = ms;
  t.weekday = static_cast<unsigned>(((days % 7) + 10) % 7);  // 1970-01-01 was a Thursday; 0 = Monday
  // Days to civil date (H. Hinnant's algorithm).
  const long long z = days + 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  t.day = doy - (153 * mp + 2) / 5 + 1;
  t.month = mp < 10 ? mp + 3 : mp - 9;
  t.year = static_cast<long long>(yoe) + era * 400 + (t.month <= 2 ? 1 : 0);
  return t;
}

// One field of a date or time pattern: the letter c repeated run times.
// Returns how many letters of the pattern it used.
int addField(RecordBuffer& out, const char* p, int run, const CivilTime& t, bool twelveHour) {
  const char c = *p;
  switch (c) {
    case 'd':
      if (run >= 3)
        out.add(g_setup.dayNames[t.weekday]);
      else
        out.number(t.day, run);
      break;
    case 'M':
      if (run >= 3)
        out.add(g_setup.monthNames[t.month - 1]);
      else
        out.number(t.month, run);
      break;
    case 'y':
      if (run == 2)
        out.number(static_cast<unsigned long long>(t.year % 100), 2);
      else
        out.number(static_cast<unsigned long long>(t.year), 4);
      break;
    case 'h':
    case 'H': {
      unsigned h = t.hour;
      if (c == 'h' && twelveHour) h = h % 12 == 0 ? 12 : h % 12;
      out.number(h, run >= 2 ? 2 : 1);
      break;
    }
    case 'm':
      out.number(t.minute, run >= 2 ? 2 : 1);
      break;
    case 's':
      out.number(t.second, run >= 2 ? 2 : 1);
      break;
    case 'z':
      out.number(t.millisecond, run >= 3 ? 3 : 1);
      break;
    case 'A':
    case 'a':
      out.add(t.hour < 12 ? g_setup.amText : g_setup.pmText);
      if (p[1] == 'P' || p[1] == 'p') return 2;
      break;
    case 't':
      out.add(g_setup.timeZone);
      break;
    default:
      out.add(p, static_cast<size_t>(run));
      break;
  }
  return run;
}

// The subset of Qt's date and time patterns that locales use.
void addFormatted(RecordBuffer& out, const char* pattern, const CivilTime& t) {
  bool twelveHour = false;
  for (const char* p = pattern; *p; ++p)
    if (*p == 'A' || *p == 'a') twelveHour = true;
  for (const char* p = pattern; *p;) {
    if (*p == '\'') {
      ++p;
      while (*p && *p != '\'') out.add(p++, 1);
      if (*p) ++p;
      continue;
    }
    int run = 1;
    while (p[run] == *p) ++run;
    p += addField(out, p, run, t, twelveHour);
  }
}

void writeAll(int fd, const char* s, size_t len) {
  while (len > 0) {
    const ssize_t w = ::write(fd, s, len);
    if (w <= 0) return;
    s += w;
    len -= static_cast<size_t>(w);
  }
}

void onFatalSignal(int sig, siginfo_t* si, void*) {
  RecordBuffer r;
  const char* name = "Unknown signal";
  for (const auto& s : g_setup.fatalSignals)
    if (s.number == sig) name = s.name;
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  const CivilTime t = civilFromEpoch(static_cast<long long>(now.tv_sec) + g_setup.utcOffset,
                                     static_cast<unsigned>(now.tv_nsec / 1000000));
  r.add(g_setup.exeName);
  r.add(" ");
  addFormatted(r, g_setup.dateFormat, t);
  r.add(" ");
  addFormatted(r, g_setup.timeFormat, t);
  r.add("\r\nType Signal ");
  r.add(name);
  r.add("\r\nMessage: ");
  r.add(name);
  r.add("\r\nException @ address: $");
  addAddress(r, 0);
  r.add("\r\n\r\nRoutines Stack:\r\nException code: ");
  r.number(static_cast<unsigned>(sig));
  r.add("\r\nException flags: ");
  r.number(static_cast<std::uint32_t>(si ? si->si_code : 0));
  r.add("\r\nNumber of parameters: 0\r\n(no debug info) Find error: ");
  addAddress(r, si ? reinterpret_cast<std::uintptr_t>(si->si_addr) : 0);
  r.add("\r\n");
  void* frames[kMaxStackLines + 1];
  const int n = backtrace(frames, kMaxStackLines + 1);
  // Frame 0 is this handler; the rest lead back from the faulting code.
  for (int i = 1; i < n; ++i) {
    r.add("call stack - ");
    r.number(static_cast<unsigned>(i - 1));
    r.add(" : (no debug info) Find error: ");
    addAddress(r, reinterpret_cast<std::uintptr_t>(frames[i]) - 1);
    r.add("\r\n");
  }
  r.add("\r\n\r\n");
  writeAll(2, r.data, r.size);
  const int fd = ::open(g_setup.logPath, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd >= 0) {
    writeAll(fd, r.data, r.size);
    ::close(fd);
  }
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}
}  // namespace

void installSignalHandlers(const QString& logPath, const QString& executableName) {
  copyText(g_setup.logPath, sizeof g_setup.logPath, QFile::encodeName(logPath));
  copyText(g_setup.exeName, sizeof g_setup.exeName, executableName.toUtf8());
  const QLocale locale = QLocale::system();
  copyText(g_setup.dateFormat, sizeof g_setup.dateFormat, locale.dateFormat(QLocale::ShortFormat).toUtf8());
  copyText(g_setup.timeFormat, sizeof g_setup.timeFormat, longTimeWithoutZone(locale).toUtf8());
  const QDateTime now = QDateTime::currentDateTime();
  copyText(g_setup.timeZone, sizeof g_setup.timeZone, now.timeZoneAbbreviation().toUtf8());
  copyText(g_setup.amText, sizeof g_setup.amText, locale.amText().toUtf8());
  copyText(g_setup.pmText, sizeof g_setup.pmText, locale.pmText().toUtf8());
  for (int m = 0; m < 12; ++m)
    copyText(g_setup.monthNames[m], sizeof g_setup.monthNames[m],
             locale.monthName(m + 1, QLocale::ShortFormat).toUtf8());
  for (int d = 0; d < 7; ++d)
    copyText(g_setup.dayNames[d], sizeof g_setup.dayNames[d],
             locale.dayName(d + 1, QLocale::ShortFormat).toUtf8());
  g_setup.utcOffset = now.offsetFromUtc();
  const int numbers[5] = {SIGSEGV, SIGFPE, SIGILL, SIGBUS, SIGABRT};
  for (int i = 0; i < 5; ++i) {
    g_setup.fatalSignals[i].number = numbers[i];
    copyText(g_setup.fatalSignals[i].name, sizeof g_setup.fatalSignals[i].name,
             QByteArray(strsignal(numbers[i])));
  }
  g_setup.moduleCount = 0;
  dl_iterate_phdr(collectModule, nullptr);
  // The first backtrace() loads its unwinder; do that now, not inside the handler.
  void* warm[2];
  (void)backtrace(warm, 2);
  struct sigaction sa {};
  sa.sa_sigaction = onFatalSignal;
  sa.sa_flags = SA_SIGINFO | SA_RESETHAND;
  for (int sig : numbers) sigaction(sig, &sa, nullptr);
}

}  // namespace ExceptionLog
