// The association of .cfg files in the registry of the user, under a key of
// the test's own instead of Software\Classes, read back with the system's calls.
#include <windows.h>
// After windows.h:
#include <gtest/gtest.h>

#include <QRandomGenerator>
#include <optional>

#include "prefs/FileAssociation.h"
#include "tests/TestSupport.h"

namespace {
std::optional<QString> value(const QString& key, const QString& name = QString()) {
  wchar_t data[2048];
  DWORD bytes = sizeof data;
  if (RegGetValueW(HKEY_CURRENT_USER, key.toStdWString().c_str(),
                   name.isEmpty() ? nullptr : name.toStdWString().c_str(), RRF_RT_REG_SZ, nullptr, data,
                   &bytes) != ERROR_SUCCESS)
    return std::nullopt;
  return QString::fromWCharArray(data);
}

void setValue(const QString& key, const QString& data) {
  HKEY h = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key.toStdWString().c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &h, nullptr),
            ERROR_SUCCESS);
  const std::wstring text = data.toStdWString();
  RegSetValueExW(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(h);
}

class RegistryAssociation : public ::testing::Test {
 protected:
  QString root = QStringLiteral("Software\\TessaryTest-%1").arg(QRandomGenerator::global()->generate());
  FileAssociation::Locations at{root + QStringLiteral("\\Classes")};
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, root.toStdWString().c_str()); }
};
}  // namespace

TEST_F(RegistryAssociation, WritesTheTypeTheIconAndTheQuotedCommandAndReadsThemBack) {
  EXPECT_EQ(FileAssociation::ReadOpenCommand(QStringLiteral("cfg"), at), QString());
  const QString exe = QStringLiteral("C:/Program Files/Tessary/tessary.exe");
  FileAssociation::AssociateExtension(QStringLiteral("cfg"), exe, at);
  EXPECT_EQ(value(at.classes + QStringLiteral("\\.cfg")), QStringLiteral("cfgfile"));
  EXPECT_EQ(value(at.classes + QStringLiteral("\\cfgfile\\DefaultIcon")),
            QStringLiteral("C:\\Program Files\\Tessary\\tessary.exe,0"));
  // The path in quotes: the blank of "Program Files" does not split it.
  EXPECT_EQ(value(at.classes + QStringLiteral("\\cfgfile\\shell\\open\\command")),
            QStringLiteral("\"C:\\Program Files\\Tessary\\tessary.exe\" \"%1\""));
  EXPECT_EQ(FileAssociation::ReadOpenCommand(QStringLiteral("cfg"), at),
            QStringLiteral("C:\\Program Files\\Tessary\\tessary.exe"));
  // The check box: the opener's file name, letter case included.
  EXPECT_TRUE(FileAssociation::isAssociatedWith(QStringLiteral("D:/other/tessary.exe"), at));
  EXPECT_FALSE(FileAssociation::isAssociatedWith(QStringLiteral("D:/other/Tessary.exe"), at));
  EXPECT_FALSE(FileAssociation::isAssociatedWith(QStringLiteral("D:/other/editor.exe"), at));
  // Written again for another copy of the program: it now opens that one.
  FileAssociation::AssociateExtension(QStringLiteral("cfg"), QStringLiteral("D:/games/tessary.exe"), at);
  EXPECT_EQ(FileAssociation::ReadOpenCommand(QStringLiteral("cfg"), at),
            QStringLiteral("D:\\games\\tessary.exe"));
}

TEST_F(RegistryAssociation, AnotherProgramsKeysStayAsTheyWere) {
  // "cfgfile" opens files with another program already: its key is not ours to change.
  setValue(at.classes + QStringLiteral("\\cfgfile\\shell\\open\\command"),
           QStringLiteral("\"C:\\Windows\\notepad.exe\" \"%1\""));
  FileAssociation::AssociateExtension(QStringLiteral("cfg"), QStringLiteral("C:/Tessary/tessary.exe"), at);
  EXPECT_EQ(value(at.classes + QStringLiteral("\\cfgfile\\shell\\open\\command")),
            QStringLiteral("\"C:\\Windows\\notepad.exe\" \"%1\""));
  EXPECT_EQ(value(at.classes + QStringLiteral("\\.cfg")), QStringLiteral("Tessary.cfgfile"));
  EXPECT_EQ(FileAssociation::ReadOpenCommand(QStringLiteral("cfg"), at),
            QStringLiteral("C:\\Tessary\\tessary.exe"));
  EXPECT_TRUE(FileAssociation::isAssociatedWith(QStringLiteral("C:/Tessary/tessary.exe"), at));
}
