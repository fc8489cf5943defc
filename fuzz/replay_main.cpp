// Runs the fuzz target over the files and folders given, without libFuzzer, so
// the committed corpus is checked in every ordinary (sanitizer) test run.
#include <QByteArray>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  int inputs = 0;
  auto run = [&](const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return;
    const QByteArray bytes = f.readAll();
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                           static_cast<std::size_t>(bytes.size()));
    ++inputs;
  };
  for (int i = 1; i < argc; ++i) {
    const QString arg = QString::fromLocal8Bit(argv[i]);
    if (QFileInfo(arg).isDir()) {
      QDirIterator it(arg, QDir::Files, QDirIterator::Subdirectories);
      while (it.hasNext()) run(it.next());
    } else {
      run(arg);
    }
  }
  std::printf("replayed %d inputs\n", inputs);
  return inputs > 0 ? 0 : 1;
}
