#include <gtest/gtest.h>

#include "update/TransferSize.h"

TEST(TransferSize, SizesReadAsTheDownloadPageShowsThem) {
  const QLocale english(QLocale::English, QLocale::UnitedStates);
  const std::vector<std::pair<qint32, const char*>> cases = {
      {0, " bytes"},           {512, "512 bytes"},   {1024, "1024 bytes"}, {1025, "1 KB"},
      {1536, "1.5 KB"},        {1048576, "1024 KB"}, {1048577, "1 MB"},    {1572864, "1.5 MB"},
      {1073741824, "1024 MB"}, {2147483647, "2 GB"}, {1100, "1.07 KB"},    {1029, "1 KB"}};
  for (const auto& [n, expected] : cases)
    EXPECT_EQ(FormatTransferSize(n, english), QString::fromLatin1(expected)) << n;
  // The locale's separator.
  EXPECT_EQ(FormatTransferSize(1536, QLocale(QLocale::German, QLocale::Germany)), QStringLiteral("1,5 KB"));
}
