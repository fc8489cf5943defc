// Speed and memory of reading configuration files and opening documents.
// Run: build/bench/tessary_bench (offscreen by default).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTemporaryDir>
#include <QUndoStack>
#include <chrono>
#include <cstring>
#include <vector>

#include "app/MainForm.h"
#include "components/Prompts.h"
#include "components/SegmentedProgressBar.h"
#include "documents/ConfigDiff.h"
#include "documents/ConfigModel.h"
#include "documents/EditCommands.h"
#include "documents/MDIChild.h"
#include "documents/ReportList.h"
#include "profile/ProfileFile.h"

// --smoke: every benchmark once on small files, so a broken benchmark shows in the test run.
bool g_smoke = false;

namespace {
QString g_svs;
QString g_stress;
QString g_sections;   // a million small sections
QString g_bigArena;   // the standard arena a thousand times over
QString g_differing;  // the stress file's size, every ship's values its own
QTemporaryDir* g_dir = nullptr;

void writeFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
    qFatal("cannot write %s", qPrintable(path));
}

void makeStressFile(const QString& path) {
  QByteArray out;
  out.reserve(40 * 1024 * 1024);
  for (const QString& ship : Ships::names()) {
    out += '[' + ship.toLatin1() + "]\r\n";
    for (int k = 0; k < (g_smoke ? 200 : 20000); ++k)
      out += "Setting" + QByteArray::number(k * 7919 % 20000) + "Key=" + QByteArray::number(k) + "\r\n";
    out += "\r\n";
  }
  writeFile(path, out);
}

void makeManySectionsFile(const QString& path) {
  QByteArray out;
  out.reserve(24 * 1000 * 1000);
  for (int i = 0; i < (g_smoke ? 1000 : 1000000); ++i)
    out += "[S" + QByteArray::number(i) + "]\nKey=" + QByteArray::number(i % 97) + "\n";
  writeFile(path, out);
}

void makeBigArena(const QString& path) {
  QFile in(g_svs);
  in.open(QIODevice::ReadOnly);
  const QByteArray one = in.readAll();
  QByteArray out;
  out.reserve(one.size() * 1000);
  for (int i = 0; i < (g_smoke ? 3 : 1000); ++i) out += one;
  writeFile(path, out);
}

QByteArray readFile(const QString& path) {
  QFile f(path);
  f.open(QIODevice::ReadOnly);
  return f.readAll();
}

std::size_t heapInUse() { return mallinfo2().uordblks; }

// The floor: one pass over the bytes that finds every line end (LF, CR LF, CR).
std::size_t countLines(const QByteArray& data) {
  const char* p = data.constData();
  const char* end = p + data.size();
  std::size_t lines = 0;
  while (p < end) {
    const char* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    const char* stop = lf ? lf : end;
    // A CR inside the line ends it too.
    const char* cr = static_cast<const char*>(std::memchr(p, '\r', static_cast<std::size_t>(stop - p)));
    if (cr && cr + 1 < stop) {
      p = cr + 1;
    } else {
      p = stop + 1;
    }
    ++lines;
  }
  return lines;
}

void BM_LineScan(benchmark::State& state, const QString* path) {
  const QByteArray data = readFile(*path);
  for (auto _ : state) benchmark::DoNotOptimize(countLines(data));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * data.size());
}

// Seconds of the quickest of several line scans of a file, to state another
// benchmark's time as a multiple of it.
double lineScanSeconds(const QString& path) {
  const QByteArray data = readFile(path);
  double best = 1e9;
  for (int i = 0; i < 30; ++i) {
    const auto start = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(countLines(data));
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

// The whole file as the program reads it: every section, the keys of each, every value.
std::size_t readAll(const ProfileFile& p) {
  std::size_t bytes = 0;
  p.forEachSection([&](QByteArrayView name, const std::vector<ProfileFile::Entry>& entries) {
    bytes += static_cast<std::size_t>(name.size());
    for (const ProfileFile::Entry& e : entries)
      bytes += static_cast<std::size_t>(e.key.size() + e.value.size());
  });
  return bytes;
}

// The same through a lookup by name for every value, as a copy.
std::size_t lookUpAll(const ProfileFile& p) {
  std::size_t bytes = 0;
  for (const QByteArray& s : p.sectionNames())
    for (const QByteArray& k : p.keyNames(s)) bytes += static_cast<std::size_t>(p.value(s, k).size());
  return bytes;
}

void BM_ProfileLookUpAll(benchmark::State& state, const QString* path) {
  for (auto _ : state) {
    ProfileFile p(*path);
    benchmark::DoNotOptimize(lookUpAll(p));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * QFileInfo(*path).size());
}

void BM_ProfileReadAll(benchmark::State& state, const QString* path) {
  std::size_t heap = 0;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    const std::size_t before = heapInUse();
    ProfileFile p(*path);
    benchmark::DoNotOptimize(readAll(p));
    heap = std::max(heap, heapInUse() - before);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  state.counters["heap_MB"] = static_cast<double>(heap) / (1024.0 * 1024.0);
  const double size = static_cast<double>(QFileInfo(*path).size());
  state.counters["heap_per_file_byte"] = static_cast<double>(heap) / size;
  // The time per read as a multiple of one line scan of the same file, measured
  // here as well so that the figure does not depend on the machine.
  state.counters["x_line_scan"] = seconds / static_cast<double>(state.iterations()) / lineScanSeconds(*path);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(size));
}

// Parsing alone, from bytes already in memory.
void BM_ProfileParse(benchmark::State& state, const QString* path) {
  const QByteArray data = readFile(*path);
  for (auto _ : state) {
    ProfileFile p(data, ProfileFile::FromMemory{});
    benchmark::DoNotOptimize(p.hasDuplicateSections());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * data.size());
}

// The progress bar's tables for the Options dialog's 347x16 bar, and one paint.
void optionsBar(TQProgressBar& bar) {
  bar.resize(347, 16);
  bar.setBarKind(TQProgressBar::BarKind::bkCylinder);
  bar.setBlockSize(10);
  bar.setSpaceSize(1);
  bar.setShowFullBlock(true);
}

// Eight ships of n keys each whose values all differ from ship to ship.
QByteArray differingShips(int n) {
  QByteArray out;
  for (int ship = 0; ship < Ships::kCount; ++ship) {
    out += '[' + Ships::names()[static_cast<size_t>(ship)].toLatin1() + "]\r\n";
    for (int k = 0; k < n; ++k)
      out += "Setting" + QByteArray::number(k * 7919 % n) + "Key=" + QByteArray::number(k + ship * 1000000) +
             "\r\n";
    out += "\r\n";
  }
  return out;
}

// "Copy To" "All": every Warbird value into the seven other ships, worked out
// and written into the parsed file, and the file's new bytes made.
void BM_CopyToAll(benchmark::State& state) {
  const QByteArray content = differingShips(static_cast<int>(state.range(0)));
  QList<QByteArray> others;
  for (int ship = 1; ship < Ships::kCount; ++ship)
    others.append(Ships::names()[static_cast<size_t>(ship)].toLatin1());
  for (auto _ : state) {
    ProfileFile file(content, ProfileFile::FromMemory{});
    const std::vector<ValueChange> changes = ShipEdits::copy(file, "Warbird", others);
    ShipEdits::apply(file, changes, true);
    benchmark::DoNotOptimize(file.content());
    if (changes.size() != static_cast<std::size_t>(7 * state.range(0)))
      state.SkipWithError("a value was missed");
  }
  state.SetComplexityN(state.range(0));
  state.counters["keys"] = static_cast<double>(8 * state.range(0));
}

// tessary-cfg diff's work: the stress file against a copy with 1,000 values changed.
void BM_DiffStress(benchmark::State& state, const QString* path) {
  QFile f(*path);
  if (!f.open(QIODevice::ReadOnly)) qFatal("cannot read %s", qPrintable(*path));
  const QByteArray ours = f.readAll();
  QByteArray theirs = ours;
  // Spread over the whole file: a step that leaves room for all of them before its end
  // (1,000; 100 in the smoke run's small file).
  const int wanted = g_smoke ? 100 : 1000;
  const qsizetype step = theirs.size() / (wanted + wanted / 10);
  int changed = 0;
  for (qsizetype at = theirs.indexOf("Key="); at >= 0 && changed < wanted;
       at = theirs.indexOf("Key=", at + step)) {
    theirs.insert(at + 4, '9');
    ++changed;
  }
  if (changed != wanted) state.SkipWithError("the stress file holds too few keys for the changes");
  for (auto _ : state) {
    const QList<ConfigDiff::Difference> d = ConfigDiff::compare(
        ProfileFile(ours, ProfileFile::FromMemory{}), ProfileFile(theirs, ProfileFile::FromMemory{}));
    if (d.size() != changed) state.SkipWithError("a difference was missed");
    benchmark::DoNotOptimize(d);
  }
  state.counters["differences"] = changed;
}

void BM_ProgressBarRebuild(benchmark::State& state) {
  TQProgressBar bar;
  optionsBar(bar);
  int colour = 0;
  for (auto _ : state)
    bar.setFinalColor(QColor(0, 0, 100 + (++colour % 100)));  // every change rebuilds the tables
}

void BM_ProgressBarPaint(benchmark::State& state) {
  TQProgressBar bar;
  optionsBar(bar);
  int position = 0;
  for (auto _ : state) {
    bar.setPosition(++position % 101);
    benchmark::DoNotOptimize(bar.picture());
  }
}

// What "tessary-cfg sections" does on a file.
void BM_SectionNames(benchmark::State& state, const QString* path) {
  std::size_t heap = 0;
  for (auto _ : state) {
    const std::size_t before = heapInUse();
    // As `tessary-cfg sections` reads them: views into the file, no copy per name.
    ProfileFile p(*path);
    qsizetype count = 0;
    p.forEachSectionName([&](QByteArrayView name) { count += name.size() > 0; });
    heap = std::max(heap, heapInUse() - before);
    benchmark::DoNotOptimize(count);
  }
  state.counters["heap_MB"] = static_cast<double>(heap) / (1024.0 * 1024.0);
  state.counters["heap_per_file_byte"] =
      static_cast<double>(heap) / static_cast<double>(QFileInfo(*path).size());
}

void BM_PerValueReparse(benchmark::State& state, const QString* path) {
  for (auto _ : state) {
    std::size_t bytes = 0;
    for (const QByteArray& s : ProfileFile(*path).sectionNames())
      for (const QByteArray& k : ProfileFile(*path).keyNames(s))
        bytes += static_cast<std::size_t>(ProfileFile(*path).value(s, k).size());
    benchmark::DoNotOptimize(bytes);
  }
}

class SilentPrompts : public Prompts {
 public:
  std::optional<QString> openFile(QWidget*, const QString&, const QString&, const QString&) override {
    return std::nullopt;
  }
  std::optional<QString> saveFile(QWidget*, const QString&, const QString&, const QString&) override {
    return std::nullopt;
  }
  std::optional<QString> pickFolder(QWidget*, const QString&, const QString&) override {
    return std::nullopt;
  }
  std::optional<QString> askText(QWidget*, const QString&, const QString&, const QString&) override {
    return std::nullopt;
  }
  QMessageBox::StandardButton message(QWidget*, QMessageBox::Icon, const QString&, const QString&,
                                      QMessageBox::StandardButtons) override {
    return QMessageBox::Ok;
  }
};

// Says yes to every question (copy and swap ask once each).
class YesPrompts : public SilentPrompts {
 public:
  QMessageBox::StandardButton message(QWidget*, QMessageBox::Icon, const QString&, const QString&,
                                      QMessageBox::StandardButtons buttons) override {
    return buttons.testFlag(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok;
  }
};

void copyTree(const QString& from, const QString& to) {
  QDir().mkpath(to);
  for (const QFileInfo& e : QDir(from).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
    if (e.isDir())
      copyTree(e.filePath(), to + QLatin1Char('/') + e.fileName());
    else
      QFile::copy(e.filePath(), to + QLatin1Char('/') + e.fileName());
  }
}

// A throw-away application folder with the program's base/ in it.
AppPaths appFolder(const QString& name) {
  const QString folder = g_dir->path() + QLatin1Char('/') + name;
  copyTree(QStringLiteral(TESSARY_SOURCE_DIR) + QStringLiteral("/base"), folder + QStringLiteral("/base"));
  QDir().mkpath(folder + QStringLiteral("/base/temp"));
  return AppPaths(folder);
}

// The start without a document: the main window made and shown (what opening is measured against).
void BM_EmptyStart(benchmark::State& state) {
  const AppPaths paths = appFolder(QStringLiteral("empty"));
  SilentPrompts prompts;
  for (auto _ : state) {
    TMainForm form(paths, prompts);
    form.show();
    QCoreApplication::processEvents();
  }
}

void BM_OpenDocument(benchmark::State& state, const QString* path) {
  const AppPaths paths = appFolder(QStringLiteral("app"));
  SilentPrompts prompts;
  TMainForm form(paths, prompts);
  form.show();
  int keys = 0;
  for (auto _ : state) {
    TMDIChild* doc = form.OpenDocument(*path);
    keys = 0;
    for (int i = 0; i < Ships::kCount; ++i) keys += doc->shipList(i)->rowCount();
    state.PauseTiming();
    delete form.mdiArea()->currentSubWindow();
    state.ResumeTiming();
  }
  state.counters["keys"] = keys;
  state.counters["us_per_key"] = benchmark::Counter(
      static_cast<double>(keys), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
// What the user waits for on a big document: one value typed in on a ship page,
// a whole-ship swap, and the undo of that swap (each with the window brought up
// to date, as the user sees it).
enum class EditKind { Value, Swap, UndoSwap };
void BM_EditDocument(benchmark::State& state, const QString* path, EditKind kind) {
  const AppPaths paths = appFolder(QStringLiteral("edit"));
  YesPrompts prompts;
  TMainForm form(paths, prompts);
  form.show();
  TMDIChild* doc = form.OpenDocument(*path);
  const QString key = doc->shipList(0)->name(doc->shipList(0)->rowCount() / 2);
  int round = 0;
  for (auto _ : state) {
    ++round;
    switch (kind) {
      case EditKind::Value:
        doc->editValue(QStringLiteral("Warbird"), key, QString::number(round));
        break;
      case EditKind::Swap:
        doc->swapSettings(0, 1, false);
        break;
      case EditKind::UndoSwap:
        state.PauseTiming();
        doc->swapSettings(0, 1, false);
        state.ResumeTiming();
        doc->undoStack()->undo();
        break;
    }
  }
  if (doc->undoStack()->count() == 0) state.SkipWithError("no edit was made");
  doc->undoStack()->setClean();
  delete form.mdiArea()->currentSubWindow();
}
}  // namespace

std::vector<benchmark::internal::Benchmark*> g_registered;
benchmark::internal::Benchmark* reg(benchmark::internal::Benchmark* b) {
  g_registered.push_back(b);
  return b;
}

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--smoke") == 0) {
      g_smoke = true;
      for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
      --argc;
      break;
    }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QTemporaryDir dir;
  g_dir = &dir;
  qputenv("XDG_CONFIG_HOME", (dir.path() + QStringLiteral("/xdg")).toLocal8Bit());
  g_svs = QStringLiteral(TESSARY_SOURCE_DIR) + QStringLiteral("/base/svs.cfg");
  g_stress = dir.path() + QStringLiteral("/stress.cfg");
  makeStressFile(g_stress);
  g_sections = dir.path() + QStringLiteral("/sections.cfg");
  makeManySectionsFile(g_sections);
  g_bigArena = dir.path() + QStringLiteral("/svs1000.cfg");
  makeBigArena(g_bigArena);
  g_differing = dir.path() + QStringLiteral("/differing.cfg");
  writeFile(g_differing, differingShips(g_smoke ? 200 : 20000));
  reg(benchmark::RegisterBenchmark("BM_LineScan/stress", BM_LineScan, &g_stress)
          ->Unit(benchmark::kMillisecond));
  reg(benchmark::RegisterBenchmark("BM_ProfileParse/stress", BM_ProfileParse, &g_stress)
          ->Unit(benchmark::kMillisecond));
  reg(benchmark::RegisterBenchmark("BM_ProfileReadAll/svs", BM_ProfileReadAll, &g_svs)
          ->Unit(benchmark::kMicrosecond));
  reg(benchmark::RegisterBenchmark("BM_ProfileReadAll/stress", BM_ProfileReadAll, &g_stress)
          ->Unit(benchmark::kMillisecond));
  reg(benchmark::RegisterBenchmark("BM_ProfileLookUpAll/stress", BM_ProfileLookUpAll, &g_stress)
          ->Unit(benchmark::kMillisecond));
  reg(benchmark::RegisterBenchmark("BM_LineScan/sections", BM_LineScan, &g_sections)
          ->Unit(benchmark::kMillisecond));
  reg(benchmark::RegisterBenchmark("BM_ProfileReadAll/sections", BM_ProfileReadAll, &g_sections)
          ->Unit(benchmark::kMillisecond));
  reg(benchmark::RegisterBenchmark("BM_SectionNames/sections", BM_SectionNames, &g_sections)
          ->Unit(benchmark::kMillisecond));
  reg(benchmark::RegisterBenchmark("BM_PerValueReparse/svs", BM_PerValueReparse, &g_svs)
          ->Unit(benchmark::kMicrosecond));
  reg(benchmark::RegisterBenchmark("BM_EmptyStart", BM_EmptyStart)->Unit(benchmark::kMillisecond));
  reg(benchmark::RegisterBenchmark("BM_OpenDocument/svs", BM_OpenDocument, &g_svs)
          ->Unit(benchmark::kMillisecond));
  reg(benchmark::RegisterBenchmark("BM_OpenDocument/stress", BM_OpenDocument, &g_stress)
          ->Unit(benchmark::kMillisecond)
          ->Iterations(5));
  reg(benchmark::RegisterBenchmark("BM_OpenDocument/svs1000", BM_OpenDocument, &g_bigArena)
          ->Unit(benchmark::kMillisecond)
          ->Iterations(3));
  reg(benchmark::RegisterBenchmark("BM_OpenDocument/sections", BM_OpenDocument, &g_sections)
          ->Unit(benchmark::kMillisecond)
          ->Iterations(1));
  reg(benchmark::RegisterBenchmark("BM_EditDocument/value/stress", BM_EditDocument, &g_differing,
                                   EditKind::Value)
          ->Unit(benchmark::kMillisecond));
  reg(benchmark::RegisterBenchmark("BM_EditDocument/swap/stress", BM_EditDocument, &g_differing,
                                   EditKind::Swap)
          ->Unit(benchmark::kMillisecond));
  reg(benchmark::RegisterBenchmark("BM_EditDocument/undoswap/stress", BM_EditDocument, &g_differing,
                                   EditKind::UndoSwap)
          ->Unit(benchmark::kMillisecond));
  reg(benchmark::RegisterBenchmark("BM_DiffStress", BM_DiffStress, &g_stress)->Unit(benchmark::kMillisecond));
  {
    benchmark::internal::Benchmark* copy = benchmark::RegisterBenchmark("BM_CopyToAll", BM_CopyToAll);
    if (g_smoke)
      copy->Arg(200);
    else
      copy->Arg(2500)->Arg(5000)->Arg(10000)->Arg(20000)->Complexity(benchmark::oN);
    reg(copy->Unit(benchmark::kMillisecond));
  }
  reg(benchmark::RegisterBenchmark("BM_ProgressBarRebuild", BM_ProgressBarRebuild)
          ->Unit(benchmark::kMicrosecond));
  reg(benchmark::RegisterBenchmark("BM_ProgressBarPaint", BM_ProgressBarPaint)
          ->Unit(benchmark::kMicrosecond));
  if (g_smoke)
    for (benchmark::internal::Benchmark* b : g_registered) b->Iterations(1);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
