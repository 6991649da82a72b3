// Quorlane.ini rules and the trace's path and line format, natively.
#include <string>

#include <gtest/gtest.h>

#include "reply_frame.h"
#include "session_settings.h"

namespace {

using quorlane::InstallationMode;

TEST(ProductsSection, ModesHostsAndTheFallbackEntry) {
  using namespace std::string_literals;
  const auto products = quorlane::ParseProductsSection(
      "Sales=networked, srv-01 \0pos=standalone\0odd=sometimes\0*=networked,192.168.1.20\0noequals\0"s);
  const auto* sales = quorlane::FindProduct(products, "SALES");
  ASSERT_NE(sales, nullptr);
  EXPECT_EQ(sales->mode, InstallationMode::Networked);
  EXPECT_EQ(sales->host, "srv-01");
  EXPECT_EQ(quorlane::FindProduct(products, "pos")->mode, InstallationMode::Standalone);
  EXPECT_EQ(quorlane::FindProduct(products, "odd")->mode, InstallationMode::Undetermined);
  const auto* other = quorlane::FindProduct(products, "unknown");
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(other->host, "192.168.1.20");
  EXPECT_EQ(quorlane::FindProduct(quorlane::ParseProductsSection("a=standalone"s), "b"), nullptr)
      << "no entry and no * is undetermined";
}

TEST(SessionValues, FlagsAndPorts) {
  EXPECT_EQ(quorlane::ParseFlag(" Yes "), true);
  EXPECT_EQ(quorlane::ParseFlag("0"), false);
  EXPECT_EQ(quorlane::ParseFlag("maybe"), std::nullopt);
  EXPECT_EQ(quorlane::ParsePort("4000"), 4000u);
  EXPECT_EQ(quorlane::ParsePort("65536"), std::nullopt);
  EXPECT_EQ(quorlane::ParsePort("0"), std::nullopt);
  EXPECT_EQ(quorlane::ParsePort("40a0"), std::nullopt);
}

TEST(Paths, DataDirectoryAndTraceFile) {
  EXPECT_EQ(quorlane::FolderOf("C:\\Program Files\\App\\Quorlane.dll"), "C:\\Program Files\\App\\");
  EXPECT_EQ(quorlane::SettleDataDirectory("", "C:\\App\\"), "C:\\App\\");
  EXPECT_EQ(quorlane::SettleDataDirectory("D:\\Data", "C:\\App\\"), "D:\\Data\\");
  EXPECT_EQ(quorlane::SettleDataDirectory("data", "C:\\App\\"), "C:\\App\\data\\");
  EXPECT_EQ(quorlane::SettleDataDirectory("\\\\srv\\share\\", "C:\\App\\"), "\\\\srv\\share\\");
  EXPECT_EQ(quorlane::DebugLogPathFor("C:\\Data\\", "D:\\App\\Sales.exe"), "C:\\Data\\Sales_DebugInfo.txt");
  EXPECT_EQ(quorlane::DebugLogPathFor("C:\\Data\\", "D:\\App.v2\\Sales.v1.exe"), "C:\\Data\\Sales.v1_DebugInfo.txt");
}

TEST(TraceLine, MonthAndDayWithoutLeadingZerosTimeWithTwoDigits) {
  EXPECT_EQ(quorlane::FormatTraceLine({1, 2, 3, 4, 5}, "/", ":", "text"), "1/2 03:04:05 text\r\n");
  EXPECT_EQ(quorlane::FormatTraceLine({12, 31, 23, 59, 9}, "-", ".", ""), "12-31 23.59.09 \r\n");
}

TEST(ServerText, BlankAndDotted) {
  EXPECT_TRUE(quorlane::IsBlankText(" \t\r\n "));
  EXPECT_FALSE(quorlane::IsBlankText(" a "));
  EXPECT_TRUE(quorlane::IsDottedAddressText("192.168.1.20"));
  EXPECT_FALSE(quorlane::IsDottedAddressText("srv-01"));
  EXPECT_FALSE(quorlane::IsDottedAddressText("localhost"));
  EXPECT_EQ(quorlane::RequestBody("[LOCKDB]", {"K", "U", "C"}), "[LOCKDB]K;U;C;");
  EXPECT_EQ(quorlane::FrameRequest("[GetVATList]"), "[BEGIN][GetVATList][END]");
}

}  // namespace
