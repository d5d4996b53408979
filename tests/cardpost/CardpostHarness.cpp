// Runs Cardpost.exe in a folder of its own and reads back its log and the reader journal.
#include "CardpostHarness.h"

#include <algorithm>

namespace qx::test {
namespace {

const wchar_t kConsoleKey[] = L"Software\\Drelmoor\\QuorixConsole";
const wchar_t kExePathValue[] = L"ExePath";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// "HH:MM:SS MM/DD/YY" shape: digits where the digits go, separators where they go.
bool LooksLikeStamp(const std::string& s) {
  static const char kShape[] = "dd:dd:dd dd/dd/dd";
  if (s.size() != sizeof kShape - 1) return false;
  for (size_t i = 0; i < s.size(); ++i) {
    if (kShape[i] == 'd' ? !IsDigit(s[i]) : s[i] != kShape[i]) return false;
  }
  return true;
}

BOOL CALLBACK CountTitle(HWND h, LPARAM lp) {
  auto* ctx = reinterpret_cast<std::pair<const char*, size_t>*>(lp);
  char title[256] = {};
  ::GetWindowTextA(h, title, sizeof title);
  if (std::string(title) == ctx->first) ++ctx->second;
  return TRUE;
}

}  // namespace

std::vector<std::string> Tail(const std::vector<std::string>& lines, size_t n) {
  return std::vector<std::string>(lines.end() - std::min(n, lines.size()), lines.end());
}

std::string Last(const std::vector<std::string>& lines) {
  return lines.empty() ? std::string() : lines.back();
}

size_t CountWindows(const char* title) {
  std::pair<const char*, size_t> ctx{title, 0};
  ::EnumWindows(&CountTitle, reinterpret_cast<LPARAM>(&ctx));
  return ctx.second;
}

HWND FindCardpostDialog() { return ::FindWindowA("#32770", "Cardpost"); }

std::optional<LogLine> SplitStamp(const std::string& raw) {
  const size_t tab = raw.find('\t');
  if (tab == std::string::npos || !LooksLikeStamp(raw.substr(0, tab))) return std::nullopt;
  return LogLine{raw.substr(0, tab), raw.substr(tab + 1)};
}

// A new folder under the temporary folder, by its full path (Cardpost resolves every path
// against folders of its own, so nothing here may be relative).
static std::wstring MakeRoot() {
  wchar_t tmp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, tmp);
  static LONG counter = 0;
  for (;;) {
    std::wstring path = std::wstring(tmp) + L"cardpost-" + std::to_wstring(::GetCurrentProcessId()) +
                        L"-" + std::to_wstring(::GetTickCount()) + L"-" +
                        std::to_wstring(::InterlockedIncrement(&counter));
    if (::CreateDirectoryW(path.c_str(), nullptr)) return path;
    if (::GetLastError() != ERROR_ALREADY_EXISTS) return path;
  }
}

CardpostHarness::CardpostHarness(CardpostOptions options)
    : options_(std::move(options)), root_(MakeRoot()) {
  programDir_ = root_ + L"\\" + options_.programFolder;
  consoleDir_ = root_ + L"\\" + options_.consoleFolder;
  ::CreateDirectoryW(programDir_.c_str(), nullptr);
  ::CreateDirectoryW(consoleDir_.c_str(), nullptr);
  if (options_.programLogs) ::CreateDirectoryW((programDir_ + L"\\Logs").c_str(), nullptr);
  if (options_.consoleLogs) ::CreateDirectoryW((consoleDir_ + L"\\Logs").c_str(), nullptr);
  if (options_.consolePhotos) {
    ::CreateDirectoryW((consoleDir_ + L"\\Photos").c_str(), nullptr);
    ::CreateDirectoryW((consoleDir_ + L"\\Photos\\TempUser").c_str(), nullptr);
  }
  for (const wchar_t* f : {L"Cardpost.exe", L"Encode.dll", L"sdtapi.dll", L"WltRS.dll"})
    CopyFromBin(f, f);
  if (options_.hdIni) WriteHdIni(*options_.hdIni);
  if (options_.scenario) WriteScenario(*options_.scenario);

  // Whatever the key holds now is put back at the end.
  savedKey_ = RegistryKeyCopy::Take(HKEY_LOCAL_MACHINE, kConsoleKey);
  WriteRegistry();
}

CardpostHarness::~CardpostHarness() {
  Kill();
  // A killed copy's windows vanish with its process; wait so the next test starts clean.
  WaitForWindowGone(kCardpostBridgeTitle, 5000);
  WaitForWindowGone(kCardpostReaderTitle, 5000);
  RemoveTree(root_);
  savedKey_.Restore();
}

void CardpostHarness::WriteRegistry() {
  switch (options_.registry) {
    case CardpostOptions::Registry::kConsoleMainExe:
      SetExePath(consoleDir_ + L"\\Main.exe");
      break;
    case CardpostOptions::Registry::kNone:
      SetExePath(std::nullopt);
      break;
    case CardpostOptions::Registry::kCustom:
      SetExePath(options_.customExePath);
      break;
  }
}

void CardpostHarness::SetExePath(const std::optional<std::wstring>& value) {
  if (!value) {
    // With whatever it holds; the end of the harness puts it all back.
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kConsoleKey);
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kConsoleKey);
    return;
  }
  HKEY key = nullptr;
  if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kConsoleKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
    return;
  ::RegSetValueExW(key, kExePathValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(value->c_str()),
                   static_cast<DWORD>((value->size() + 1) * sizeof(wchar_t)));
  ::RegCloseKey(key);
}

std::wstring CardpostHarness::LogBase() const {
  return options_.registry == CardpostOptions::Registry::kConsoleMainExe ? consoleDir_
                                                                         : programDir_;
}

bool CardpostHarness::CopyFromBin(const std::wstring& binName, const std::wstring& targetName) {
  return CopyFileTo(BinDir() + L"\\" + binName, programDir_ + L"\\" + targetName);
}

bool CardpostHarness::RemoveProgramFile(const std::wstring& name) {
  return ::DeleteFileW((programDir_ + L"\\" + name).c_str()) != FALSE;
}

void CardpostHarness::WriteScenario(const std::string& utf8) { WriteText(ScenarioPath(), utf8); }

void CardpostHarness::WriteHdIni(const std::string& text) {
  WriteText(programDir_ + L"\\HD.ini", text);
}

std::wstring CardpostHarness::CommandLine(const std::wstring& args) const {
  std::wstring cmd = L"\"" + programDir_ + L"\\Cardpost.exe\"";
  if (!args.empty()) cmd += L" " + args;
  return cmd;
}

std::vector<std::pair<std::wstring, std::wstring>> CardpostHarness::ChildEnvironment() const {
  return {{L"QX_READER_SCENARIO", ScenarioPath()}, {L"QX_READER_JOURNAL", JournalPath()}};
}

bool CardpostHarness::Start(const std::wstring& args) {
  return process_.Start(CommandLine(args), programDir_, ChildEnvironment());
}

bool CardpostHarness::StartExtra(Process& process, const std::wstring& args) const {
  return process.Start(CommandLine(args), programDir_, ChildEnvironment());
}

HWND CardpostHarness::StartAndWaitForBridge(const std::wstring& args, DWORD timeoutMs) {
  if (!Start(args)) return nullptr;
  return WaitForWindow(kCardpostBridgeTitle, timeoutMs);
}

std::optional<DWORD> CardpostHarness::WaitForExit(DWORD ms) { return process_.Wait(ms); }

void CardpostHarness::Kill() {
  if (process_.Running()) process_.Kill();
}

std::vector<std::wstring> CardpostHarness::LogFiles(const std::wstring& base) const {
  std::vector<std::wstring> out;
  const std::wstring logs = base + L"\\Logs";
  std::vector<std::wstring> hours = ListFiles(logs);
  std::sort(hours.begin(), hours.end());
  for (const auto& hour : hours) {
    std::vector<std::wstring> files = ListFiles(logs + L"\\" + hour, L"*.log");
    std::sort(files.begin(), files.end());
    for (const auto& f : files) out.push_back(logs + L"\\" + hour + L"\\" + f);
  }
  return out;
}

std::vector<LogLine> CardpostHarness::LogLines(const std::wstring& base) const {
  std::vector<LogLine> out;
  for (const auto& file : LogFiles(base)) {
    for (const auto& raw : SplitLines(ReadText(file))) {
      const std::string utf8 = GbkToUtf8(raw);
      if (auto line = SplitStamp(utf8))
        out.push_back(*line);
      else
        out.push_back(LogLine{"", utf8});
    }
  }
  return out;
}

std::vector<std::string> CardpostHarness::Messages(const std::wstring& base) const {
  std::vector<std::string> out;
  for (auto& line : LogLines(base)) out.push_back(std::move(line.message));
  return out;
}

size_t CardpostHarness::CountMessage(const std::string& text, bool prefix) const {
  size_t n = 0;
  for (const auto& m : Messages())
    if (prefix ? m.compare(0, text.size(), text) == 0 : m == text) ++n;
  return n;
}

bool CardpostHarness::WaitForMessage(const std::string& text, DWORD timeoutMs, size_t count,
                                     bool prefix) const {
  return WaitUntil([&] { return CountMessage(text, prefix) >= count; }, timeoutMs, 50);
}

bool CardpostHarness::LogIsCrLf(const std::wstring& base) const {
  for (const auto& file : LogFiles(base)) {
    const std::string bytes = ReadText(file);
    for (size_t i = 0; i < bytes.size(); ++i) {
      if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) return false;
      if (bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n')) return false;
    }
  }
  return true;
}

std::vector<std::string> CardpostHarness::JournalLines() const {
  return SplitLines(ReadText(JournalPath()));
}

bool CardpostHarness::WaitForJournal(const std::string& line, DWORD timeoutMs) const {
  return WaitUntil(
      [&] {
        auto lines = JournalLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
      },
      timeoutMs, 50);
}

std::optional<std::pair<int, int>> JpegSize(const std::vector<uint8_t>& j) {
  size_t i = 2;
  while (i + 9 < j.size()) {
    if (j[i] != 0xFF) return std::nullopt;
    const uint8_t m = j[i + 1];
    const size_t len = (j[i + 2] << 8) | j[i + 3];
    // Start-of-frame markers, not the Huffman, arithmetic or JPEG-extension ones.
    if (m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC)
      return std::make_pair((j[i + 7] << 8) | j[i + 8], (j[i + 5] << 8) | j[i + 6]);
    i += 2 + len;
  }
  return std::nullopt;
}

}  // namespace qx::test
