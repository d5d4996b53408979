// Cardpost.exe's hourly log: where it goes, its file and line format, and when it is lost.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "CardpostHarness.h"
#include "ConsoleSim.h"

using qx::consolesim::ConsoleSim;
using namespace qx::test;

namespace {

const std::vector<std::string> kCloseBeforeHandshake = {
    std::string(86, '*'), "模块编译时间(v2.1):2010-12-17 17:50:00", std::string(60, '*'),
    "BGN 卸载设备", "END 卸载设备  完成", "清除运行标志"};

std::wstring HourNow() {
  SYSTEMTIME t{};
  ::GetLocalTime(&t);
  wchar_t buf[32];
  swprintf(buf, 32, L"%04u-%02u-%02u_%02u", t.wYear, t.wMonth, t.wDay, t.wHour);
  return buf;
}

// Hidden start, then the console's close: the shortest whole run.
void RunAndClose(CardpostHarness& h) {
  ASSERT_TRUE(h.StartAndWaitForBridge());
  ConsoleSim console;
  ASSERT_TRUE(console.Close());
  ASSERT_TRUE(h.WaitForExit(10000));
}

std::wstring NameOf(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

}  // namespace

// The hour names the folder and the file; each line starts with the time and the date.
TEST(CardpostLog, HourFolderFileAndLineFormat) {
  CardpostHarness h;
  const std::wstring hourBefore = HourNow();
  RunAndClose(h);
  const std::wstring hourAfter = HourNow();

  const auto files = h.LogFiles(h.ConsoleDir());
  ASSERT_FALSE(files.empty());
  ASSERT_LE(files.size(), 2u);  // the run may straddle an hour
  for (const auto& f : files) {
    const std::wstring folder = f.substr(0, f.find_last_of(L'\\'));
    const std::wstring hour = NameOf(folder);
    EXPECT_TRUE(hour == hourBefore || hour == hourAfter) << Utf8(hour);
    EXPECT_EQ(folder, h.ConsoleDir() + L"\\Logs\\" + hour);
    EXPECT_EQ(NameOf(f), L"{Cardpost}_{Tesmo_RK60}_{" + hour + L"}.log");
    // "HH:MM:SS MM/DD/YY": the date and hour agree with the folder's name.
    const std::string h8 = Utf8(hour);  // YYYY-MM-DD_HH
    const std::string date = h8.substr(5, 2) + "/" + h8.substr(8, 2) + "/" + h8.substr(2, 2);
    for (const auto& raw : SplitLines(ReadText(f))) {
      auto line = SplitStamp(raw);
      ASSERT_TRUE(line) << raw;
      EXPECT_EQ(line->stamp.substr(0, 2), h8.substr(11, 2));
      EXPECT_EQ(line->stamp.substr(9), date);
    }
  }
  EXPECT_EQ(h.Messages(h.ConsoleDir()), kCloseBeforeHandshake);
  EXPECT_TRUE(h.LogIsCrLf(h.ConsoleDir()));
  EXPECT_TRUE(h.LogFiles(h.ProgramDir()).empty());
}

struct BaseCase {
  const char* name;
  CardpostOptions::Registry registry;
  // ExePath for kCustom; "<console>" stands for the console folder.
  std::wstring exePath;
  bool underConsole;
};

class CardpostLogBase : public ::testing::TestWithParam<BaseCase> {};

TEST_P(CardpostLogBase, LogGoesToItsFolder) {
  const BaseCase& c = GetParam();
  CardpostOptions o;
  o.registry = CardpostOptions::Registry::kNone;
  CardpostHarness h(o);
  if (c.registry == CardpostOptions::Registry::kCustom) {
    std::wstring exePath = c.exePath;
    const size_t at = exePath.find(L"<console>");
    if (at != std::wstring::npos) exePath.replace(at, 9, h.ConsoleDir());
    h.SetExePath(exePath);
  }
  RunAndClose(h);
  const std::wstring expected = c.underConsole ? h.ConsoleDir() : h.ProgramDir();
  const std::wstring other = c.underConsole ? h.ProgramDir() : h.ConsoleDir();
  EXPECT_EQ(h.Messages(expected), kCloseBeforeHandshake);
  EXPECT_TRUE(h.LogFiles(other).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CardpostLogBase,
    ::testing::Values(
        BaseCase{"NoKey", CardpostOptions::Registry::kNone, L"", false},
        BaseCase{"NoBackslash", CardpostOptions::Registry::kCustom, L"Main.exe", false},
        BaseCase{"LeadingBlanks", CardpostOptions::Registry::kCustom, L"   <console>\\Main.exe",
                 true},
        BaseCase{"TrailingBlanks", CardpostOptions::Registry::kCustom, L"<console> \t \\Main.exe",
                 true}),
    [](const auto& info) { return std::string(info.param.name); });

// Without the Logs folder under the base nothing is written, and Logs is not made.
TEST(CardpostLog, NoLogsFolderNoLog) {
  CardpostOptions o;
  o.consoleLogs = false;
  CardpostHarness h(o);
  RunAndClose(h);
  EXPECT_FALSE(FileExists(h.ConsoleDir() + L"\\Logs"));
  EXPECT_TRUE(h.LogFiles(h.ProgramDir()).empty());
}

// The registry is read again while it names no console, and kept once it did.
TEST(CardpostLog, ConsoleFolderLookedUpUntilFound) {
  CardpostOptions o;
  o.registry = CardpostOptions::Registry::kNone;
  CardpostHarness h(o);
  ASSERT_TRUE(h.StartAndWaitForBridge());
  ConsoleSim console;
  ASSERT_TRUE(console.CopyData(5, {}));
  EXPECT_EQ(Last(h.Messages(h.ProgramDir())), "Cwnd_Dispatch::OnCopyData 5");

  h.SetExePath(h.ConsoleDir() + L"\\Main.exe");
  ASSERT_TRUE(console.CopyData(6, {}));
  EXPECT_EQ(h.Messages(h.ConsoleDir()), std::vector<std::string>{"Cwnd_Dispatch::OnCopyData 6"});

  // Found once, the folder stays for the rest of the run.
  const std::wstring elsewhere = h.Root() + L"\\elsewhere";
  ::CreateDirectoryW(elsewhere.c_str(), nullptr);
  ::CreateDirectoryW((elsewhere + L"\\Logs").c_str(), nullptr);
  h.SetExePath(elsewhere + L"\\Main.exe");
  ASSERT_TRUE(console.CopyData(7, {}));
  EXPECT_EQ(Last(h.Messages(h.ConsoleDir())), "Cwnd_Dispatch::OnCopyData 7");
  EXPECT_TRUE(h.LogFiles(elsewhere).empty());
  ASSERT_TRUE(console.Close());
  ASSERT_TRUE(h.WaitForExit(10000));
}

// A program folder whose name holds a double-byte character with a trail byte 0x5C: the
// log and the reader libraries are still found in it.
TEST(CardpostLog, ProgramFolderWithTrailBackslash) {
  CardpostOptions o;
  o.programFolder = L"读卡\x4FD3";  // 俓 is 0x82 0x5C in code page 936
  o.registry = CardpostOptions::Registry::kNone;
  CardpostHarness h(o);
  ASSERT_TRUE(h.StartAndWaitForBridge(L"-SHOW"));
  ASSERT_TRUE(h.WaitForMessage("END 初始化设备  完成", 10000));
  EXPECT_EQ(h.JournalLines().at(0), "SDT_OpenPort(1001) = 0x90");
  ConsoleSim console;
  ASSERT_TRUE(console.Close());
  ASSERT_TRUE(h.WaitForExit(10000));
  EXPECT_EQ(Last(h.Messages(h.ProgramDir())), "清除运行标志");
}

// A message holding a line end makes two lines, both with CR LF on disk.
TEST(CardpostLog, LineEndInsideMessage) {
  CardpostHarness h;
  ASSERT_TRUE(h.StartAndWaitForBridge());
  ConsoleSim console;
  ASSERT_TRUE(console.SendHandshake(std::string("bad\nline")));
  ASSERT_TRUE(h.WaitForExit(10000));
  const auto lines = h.LogLines();
  auto it = std::find_if(lines.begin(), lines.end(), [](const LogLine& l) {
    return l.message == "收到消息，检测硬件编号（非法），程序即将自动关闭:bad";
  });
  ASSERT_NE(it, lines.end());
  ASSERT_NE(it + 1, lines.end());
  EXPECT_EQ((it + 1)->stamp, "");
  EXPECT_EQ((it + 1)->message, "line");
  EXPECT_TRUE(h.LogIsCrLf(h.LogBase()));
}
