// LogWrite, GetConsoleDir and GetModuleDir in process. Their folder caches live as long as
// the process, so the checks run in a fresh copy of this test program.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "CardpostHarness.h"
#include "Log.h"
#include "win/Text.h"

using namespace qx::test;

namespace {

const wchar_t kChildVar[] = L"QX_CARDPOST_LOG_CHILD";

std::wstring ChildConsoleDir() {
  wchar_t buf[1024] = {};
  const DWORD n = ::GetEnvironmentVariableW(kChildVar, buf, 1024);
  return n > 0 && n < 1024 ? std::wstring(buf, n) : std::wstring();
}

std::string Ansi(const std::wstring& w) { return qx::win::WideToMulti(w); }

void SetExePathA(const std::string* value) {
  const char key[] = "Software\\Drelmoor\\QuorixConsole";
  if (!value) {
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, key);
    return;
  }
  HKEY k = nullptr;
  ASSERT_EQ(::RegCreateKeyA(HKEY_LOCAL_MACHINE, key, &k), ERROR_SUCCESS);
  ::RegSetValueExA(k, "ExePath", 0, REG_SZ, reinterpret_cast<const BYTE*>(value->c_str()),
                   static_cast<DWORD>(value->size() + 1));
  ::RegCloseKey(k);
}

// Raw lines (GBK) of every log file under base.
std::vector<std::string> RawLines(const std::wstring& base) {
  std::vector<std::string> out;
  for (const auto& hour : ListFiles(base + L"\\Logs"))
    for (const auto& f : ListFiles(base + L"\\Logs\\" + hour, L"*.log"))
      for (auto& l : SplitLines(ReadText(base + L"\\Logs\\" + hour + L"\\" + f)))
        out.push_back(l);
  return out;
}

std::string MessageOf(const std::string& raw) {
  const size_t tab = raw.find('\t');
  return tab == std::string::npos ? raw : raw.substr(tab + 1);
}

}  // namespace

// Runs the CardpostLogChild tests in a new process of this program; they check a process
// whose caches are still empty.
TEST(CardpostLogUnit, FreshProcessChecks) {
  CardpostOptions o;
  o.registry = CardpostOptions::Registry::kNone;  // restored by the harness afterwards
  CardpostHarness h(o);
  wchar_t self[MAX_PATH * 2] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH * 2);
  Process child;
  const std::wstring out = h.Root() + L"\\child.txt";
  ASSERT_TRUE(child.Start(L"\"" + std::wstring(self) + L"\" --gtest_filter=CardpostLogChild.*",
                          L"", {{kChildVar, h.ConsoleDir()}}, out));
  const auto code = child.Wait(60000);
  ASSERT_TRUE(code);
  EXPECT_EQ(*code, 0u) << ReadText(out);
  EXPECT_NE(ReadText(out).find("[  PASSED  ] 1 test"), std::string::npos) << ReadText(out);
}

TEST(CardpostLogChild, CachesFormatAndFolders) {
  const std::wstring consoleW = ChildConsoleDir();
  if (consoleW.empty()) GTEST_SKIP() << "runs in the child process only";
  const std::string console = Ansi(consoleW);

  // The executable's folder, without the trailing backslash.
  std::string exe(MAX_PATH, '\0');
  exe.resize(::GetModuleFileNameA(nullptr, exe.data(), MAX_PATH));
  EXPECT_EQ(GetModuleDir(), exe.substr(0, exe.find_last_of('\\')));

  // Not found: empty, looked up again next time.
  SetExePathA(nullptr);
  EXPECT_EQ(GetConsoleDir(), "");
  const std::string noBackslash = "Main.exe";
  SetExePathA(&noBackslash);
  EXPECT_EQ(GetConsoleDir(), "");
  const std::string mainExe = console + "\\Main.exe";
  SetExePathA(&mainExe);
  EXPECT_EQ(GetConsoleDir(), console);
  // Found once: kept for the process's life.
  const std::string other = "C:\\Elsewhere\\Main.exe";
  SetExePathA(&other);
  EXPECT_EQ(GetConsoleDir(), console);

  // printf-style formatting, and a message far longer than any fixed buffer.
  LogWrite("%s|%d|%05.1f|%X", "abc", -42, 3.14159, 0x9F);
  const std::string longText(100000, 'L');
  LogWrite("%s", longText.c_str());
  LogWrite(Gbk("中文 %s").c_str(), Gbk("读卡").c_str());
  LogWrite("%s", "");
  const auto lines = RawLines(consoleW);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(MessageOf(lines[0]), "abc|-42|003.1|9F");
  EXPECT_EQ(MessageOf(lines[1]), longText);
  EXPECT_EQ(MessageOf(lines[2]), Gbk("中文 读卡"));
  EXPECT_EQ(MessageOf(lines[3]), "");

  // Only the hour's folder is made: without Logs the line is lost, and it comes back
  // with the folder.
  RemoveTree(consoleW + L"\\Logs");
  LogWrite("lost");
  EXPECT_FALSE(FileExists(consoleW + L"\\Logs"));
  ::CreateDirectoryW((consoleW + L"\\Logs").c_str(), nullptr);
  LogWrite("back");
  const auto after = RawLines(consoleW);
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(MessageOf(after[0]), "back");
}

TEST(CardpostLogUnit, GbkMatchesTheCodePage) {
  EXPECT_EQ(qx::win::Utf8ToGbk("关于 Cardpost"), "\xB9\xD8\xD3\xDA Cardpost");
  EXPECT_EQ(qx::win::Utf8ToGbk(""), "");
}
