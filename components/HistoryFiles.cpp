#include "components/HistoryFiles.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <algorithm>

#include "components/Prompts.h"
#include "profile/AtomicFile.h"
#include "profile/ProfileFile.h"

namespace {
// Paths are kept as the bytes that name the file, whatever their encoding.
QString pathAt(const ProfileFile& file, const QString& section, int slot) {
  return AtomicFile::decodePath(file.value(section.toUtf8(), QByteArray::number(slot)));
}
void setPathAt(ProfileFile& file, const QString& section, int slot, const QString& path) {
  file.setValue(section.toUtf8(), QByteArray::number(slot), AtomicFile::nativePath(path));
}
}  // namespace

THistoryFiles::THistoryFiles(Prompts* prompts, QObject* parent) : QObject(parent), m_prompts(prompts) {
  setObjectName(QStringLiteral("HistoryFiles"));
}

QString THistoryFiles::folded(const QString& s) {
  QString out = s;
  for (QChar& c : out)
    if (c >= QLatin1Char('a') && c <= QLatin1Char('z')) c = QChar(c.unicode() - 'a' + 'A');
  return out;
}

void THistoryFiles::setParentMenu(QMenu* menu) {
  m_parentMenu = menu;
  if (menu && m_position > menu->actions().size()) m_position = static_cast<int>(menu->actions().size());
}

void THistoryFiles::setPosition(int position) {
  if (m_parentMenu && (position < 0 || position > m_parentMenu->actions().size())) {
    if (m_prompts)
      m_prompts->message(nullptr, QMessageBox::Critical, applicationTitle(),
                         QStringLiteral("Position out of range"));
    return;
  }
  m_position = position;
}

void THistoryFiles::AddFile(const QString& name) {
  ProfileFile file(IniFile);
  const QString added = name.contains(QLatin1Char('/')) ? name : LocalPath + name;
  QStringList list{added};
  const QString key = folded(added);
  for (int k = 1; k <= MaxItems; ++k) {
    const QString value = pathAt(file, IniKey, k);
    if (folded(value) == key) continue;
    const bool blank = std::all_of(value.begin(), value.end(), [](QChar c) { return c.unicode() <= ' '; });
    if (blank) continue;
    list.append(value);
  }
  if (Sorted)
    std::sort(list.begin(), list.end(),
              [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
  while (list.size() < MaxItems) list.append(QString());
  for (int i = 0; i < list.size(); ++i) setPathAt(file, IniKey, i + 1, list[i]);
  file.commit();
  RebuildMenu();
}

void THistoryFiles::insertItem(QAction* item) {
  const QList<QAction*> actions = m_parentMenu->actions();
  const qsizetype at = m_position + m_inserted.size();
  m_parentMenu->insertAction(at < actions.size() ? actions[at] : nullptr, item);
  m_inserted.append(item);
}

void THistoryFiles::RebuildMenu() {
  if (!m_parentMenu) {
    if (m_prompts)
      m_prompts->message(nullptr, QMessageBox::Critical, applicationTitle(),
                         QStringLiteral("ParentMenu not assigned"));
    return;
  }
  ProfileFile file(IniFile);
  for (QAction* item : std::as_const(m_inserted)) {
    m_parentMenu->removeAction(item);
    item->deleteLater();
  }
  m_inserted.clear();
  m_files.clear();
  bool separatorDone = false;
  int fileItems = 0;
  for (int id = 1; id <= MaxItems; ++id) {
    QString s = pathAt(file, IniKey, id);
    // A file that is gone leaves the list for good; the entries after it move up.
    // So does an entry of blanks only: it names no file.
    auto gone = [&] {
      if (s.isEmpty()) return file.hasBlankValue(IniKey.toUtf8(), QByteArray::number(id));
      return FileMustExist && !AtomicFile::exists(s);
    };
    while (gone()) {
      for (int n = id; n <= MaxItems; ++n) setPathAt(file, IniKey, n, pathAt(file, IniKey, n + 1));
      setPathAt(file, IniKey, MaxItems + 1, QString());
      s = pathAt(file, IniKey, id);
    }
    if (s.isEmpty()) continue;  // slot numbers are not reused
    if ((Separator == TSeparatorStyle::sepTop || Separator == TSeparatorStyle::sepBoth) && !separatorDone) {
      auto* sep = new QAction(m_parentMenu);
      sep->setSeparator(true);
      insertItem(sep);
      separatorDone = true;
    }
    const QFileInfo info(s);
    QString caption = info.fileName();
    if (ShowFullPath && folded(info.path() + QLatin1Char('/')) != folded(LocalPath)) caption = s;
    caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
    if (ShowNumber) caption = QStringLiteral("&%1 %2").arg(id).arg(caption);
    auto* item = new QAction(caption, m_parentMenu);
    item->setData(s);
    connect(item, &QAction::triggered, this, [this, item] {
      const QString name = item->data().toString();
      if (OnClickHistoryItem && !name.isEmpty()) OnClickHistoryItem(this, item, name);
    });
    m_files.append(s);
    insertItem(item);
    ++fileItems;
    if (OnCreateItem) OnCreateItem(this, item, s);
  }
  if ((Separator == TSeparatorStyle::sepBottom || Separator == TSeparatorStyle::sepBoth) && fileItems > 0) {
    auto* sep = new QAction(m_parentMenu);
    sep->setSeparator(true);
    insertItem(sep);
  }
  file.commit();
}
