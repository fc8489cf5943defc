#include "components/Pictures.h"

#include <array>

// The pictures live in a static library: its resources need an explicit start.
static void loadPictureResources() {
  static const bool loaded = [] {
    Q_INIT_RESOURCE(pictures);
    return true;
  }();
  (void)loaded;
}

namespace {
// Positions of the main picture list and the names of their files.
const std::array<const char*, Pictures::kMainCount> kMainNames = {"new",
                                                                  "recent-files",
                                                                  "open",
                                                                  "cascade",
                                                                  "maximize-all",
                                                                  "minimize-all",
                                                                  "tile",
                                                                  "print",
                                                                  "find",
                                                                  "calculators",
                                                                  "properties",
                                                                  "close-all",
                                                                  "close",
                                                                  "exit",
                                                                  "undo",
                                                                  "redo",
                                                                  "information",
                                                                  "import",
                                                                  "copy",
                                                                  "save",
                                                                  "save-as",
                                                                  "paste",
                                                                  "export",
                                                                  "reread",
                                                                  "new-server",
                                                                  "show-side-panel",
                                                                  "hide-side-panel",
                                                                  "tools",
                                                                  "compare",
                                                                  "notes",
                                                                  "help",
                                                                  "scan",
                                                                  "validation",
                                                                  nullptr,
                                                                  "error-item",
                                                                  nullptr,
                                                                  nullptr,
                                                                  nullptr,
                                                                  nullptr,
                                                                  nullptr,
                                                                  nullptr,
                                                                  nullptr,
                                                                  "check-for-updates",
                                                                  nullptr,
                                                                  "download-updates"};

QIcon fromFiles(const QString& stem, std::initializer_list<int> sizes) {
  loadPictureResources();
  QIcon icon;
  for (int size : sizes)
    icon.addFile(QStringLiteral(":/pictures/%1-%2.png").arg(stem).arg(size), QSize(size, size));
  return icon;
}

}  // namespace

namespace Pictures {

QString mainName(int index) {
  if (index < 0 || index >= kMainCount || !kMainNames[static_cast<size_t>(index)]) return {};
  return QString::fromLatin1(kMainNames[static_cast<size_t>(index)]);
}

QIcon main(Picture picture) {
  const int index = static_cast<int>(picture);
  static QIcon cache[kMainCount];
  const QString name = mainName(index);
  if (name.isEmpty()) return {};
  if (cache[index].isNull()) {
    // Always the program's own: a few pictures from the desktop's theme beside the
    // rest would make a tool bar of two styles.
    cache[index] = fromFiles(name, {16, 24, 32});
  }
  return cache[index];
}

QIcon ship(int index) {
  static QIcon cache[kShipIconCount];
  if (index < 0 || index >= kShipIconCount) return {};
  if (cache[index].isNull())
    cache[index] = fromFiles(QStringLiteral("ship-%1").arg(index == 9 ? 8 : index), {16, 24, 32});
  return cache[index];
}

QImage shipImage(int ship) {
  loadPictureResources();
  return QImage(QStringLiteral(":/pictures/ship-%1-36.png").arg(ship));
}

QImage multifireBackground() {
  loadPictureResources();
  return QImage(QStringLiteral(":/pictures/multifire-background.png"));
}

}  // namespace Pictures
