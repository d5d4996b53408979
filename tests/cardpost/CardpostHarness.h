// Runs Cardpost.exe in a folder of its own, with a console folder, a registry entry and the
// reader simulators' scenario and journal, and reads back what it logged.
#pragma once
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"

namespace qx::test {

constexpr char kCardpostBridgeTitle[] = "HardwareCtrlWnd_Morvid2Reader";
constexpr char kCardpostReaderTitle[] = "HD_DispatchWnd__Morvid2_Tesmo_RK60";

struct CardpostOptions {
  // Folder names under the harness's temporary root; the names may hold any characters.
  std::wstring programFolder = L"prog";
  std::wstring consoleFolder = L"console";
  bool consoleLogs = true;    // console\Logs
  bool consolePhotos = true;  // console\Photos\TempUser
  bool programLogs = true;    // prog\Logs (where the log goes without a registry value)
  // ExePath: the console folder's "Main.exe" by default; kNone deletes the key.
  enum class Registry { kConsoleMainExe, kNone, kCustom } registry = Registry::kConsoleMainExe;
  std::wstring customExePath;  // used with kCustom, written as it is
  std::optional<std::string> hdIni;     // text of HD.ini beside Cardpost.exe; none by default
  std::optional<std::string> scenario;  // UTF-8 scenario text; none: the simulators' defaults
};

// One log line as read back: stamp and message split, text converted from GBK to UTF-8.
struct LogLine {
  std::string stamp;    // "HH:MM:SS MM/DD/YY" (empty when the line has none)
  std::string message;  // UTF-8
};

// Width and height from a JPEG's frame header.
std::optional<std::pair<int, int>> JpegSize(const std::vector<uint8_t>& jpeg);

class CardpostHarness {
 public:
  explicit CardpostHarness(CardpostOptions options = {});
  // Kills a Cardpost still running, waits for its windows to go, puts the console's registry
  // key back as it was, values and subkeys.
  ~CardpostHarness();
  CardpostHarness(const CardpostHarness&) = delete;
  CardpostHarness& operator=(const CardpostHarness&) = delete;

  const std::wstring& ProgramDir() const { return programDir_; }
  const std::wstring& ConsoleDir() const { return consoleDir_; }
  const std::wstring& Root() const { return root_; }
  std::wstring ScenarioPath() const { return root_ + L"\\scenario.ini"; }
  std::wstring JournalPath() const { return root_ + L"\\journal.txt"; }
  // Where the log is expected: console folder with the default registry value, else the
  // program folder.
  std::wstring LogBase() const;

  // Program folder files: replace one with a copy of another file from the bin folder
  // (e.g. a DLL of the wrong kind), or remove it.
  bool CopyFromBin(const std::wstring& binName, const std::wstring& targetName);
  bool RemoveProgramFile(const std::wstring& name);
  void WriteScenario(const std::string& utf8);
  void WriteHdIni(const std::string& text);
  // Rewrites ExePath (nullopt: delete the key) while a test runs.
  void SetExePath(const std::optional<std::wstring>& value);

  // Starts Cardpost.exe with the program folder as working folder; args follow the program.
  bool Start(const std::wstring& args = L"");
  // Starts one more copy from the same folder into a process of the caller's.
  bool StartExtra(Process& process, const std::wstring& args = L"") const;
  // Start, then wait for the dispatch window.
  HWND StartAndWaitForBridge(const std::wstring& args = L"", DWORD timeoutMs = 10000);
  std::optional<DWORD> WaitForExit(DWORD ms);
  bool Running() const { return process_.Running(); }
  void Kill();
  DWORD Pid() const { return process_.pid(); }

  // Every log file under base\Logs\*\, in order of folder and file name.
  std::vector<std::wstring> LogFiles(const std::wstring& base) const;
  std::vector<std::wstring> LogFiles() const { return LogFiles(LogBase()); }
  std::vector<LogLine> LogLines(const std::wstring& base) const;
  std::vector<LogLine> LogLines() const { return LogLines(LogBase()); }
  // Messages only (stamp removed), UTF-8.
  std::vector<std::string> Messages(const std::wstring& base) const;
  std::vector<std::string> Messages() const { return Messages(LogBase()); }
  // How many messages equal (or, with prefix, begin with) text.
  size_t CountMessage(const std::string& text, bool prefix = false) const;
  // Waits until the log holds `count` messages equal to (or beginning with) text.
  bool WaitForMessage(const std::string& text, DWORD timeoutMs, size_t count = 1,
                      bool prefix = false) const;
  // True when every line end of every log file under base is CR LF.
  bool LogIsCrLf(const std::wstring& base) const;

  // Journal of the reader simulators, one call a line.
  std::vector<std::string> JournalLines() const;
  bool WaitForJournal(const std::string& line, DWORD timeoutMs) const;

 private:
  void WriteRegistry();
  std::wstring CommandLine(const std::wstring& args) const;
  std::vector<std::pair<std::wstring, std::wstring>> ChildEnvironment() const;

  CardpostOptions options_;
  std::wstring root_;  // full path of a fresh temporary folder, removed at the end
  std::wstring programDir_;
  std::wstring consoleDir_;
  Process process_;
  // The console's key as the machine had it, put back at the end.
  RegistryKeyCopy savedKey_;
};

// The last n lines (all of them when there are fewer), and the last line or "".
std::vector<std::string> Tail(const std::vector<std::string>& lines, size_t n);
std::string Last(const std::vector<std::string>& lines);

// Top-level windows with this exact title, of any process.
size_t CountWindows(const char* title);
// Cardpost's main dialog (hidden or shown), or null.
HWND FindCardpostDialog();

// "HH:MM:SS MM/DD/YY\t" at the start of a raw line: splits it. nullopt without such a stamp.
std::optional<LogLine> SplitStamp(const std::string& rawUtf8);

}  // namespace qx::test
