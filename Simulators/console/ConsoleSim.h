// The Quorix console's side of the card bridge protocol: its windows, what they receive, what it sends.
#pragma once

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace qx::consolesim {

// The console windows, as bit flags.
enum ConsoleWindow : unsigned {
  kCheckCard = 1u << 0,
  kNewMember = 1u << 1,
  kRegister = 1u << 2,
  kVirtualReader = 1u << 3,
  kAllWindows = kCheckCard | kNewMember | kRegister | kVirtualReader,
};

constexpr const char* kBridgeTitle = "HardwareCtrlWnd_Morvid2Reader";

// Title of one window flag ("" for anything else).
const char* WindowTitle(unsigned flag);
// Short name of one window flag: CheckCard, NewMember, Register, VirtualReader.
const char* WindowShortName(unsigned flag);
// "CheckCard,NewMember", full titles or "all"; nullopt on an unknown name.
std::optional<unsigned> ParseWindowList(std::string_view list);
std::string WindowListText(unsigned mask);

// One WM_COPYDATA that reached a console window.
struct Record {
  uint32_t ms = 0;  // since the simulator started
  std::string window;
  HWND hwnd = nullptr;
  HWND sender = nullptr;
  ULONG_PTR dwData = 0;
  DWORD cbData = 0;
  bool nullData = false;
  std::vector<uint8_t> bytes;
};

// UTF-8 one-line view of a record's payload (card record, virtual-reader packet, ready packet).
std::string Describe(const Record& r);

class ConsoleSim {
 public:
  // Starts the window thread and creates the windows of the mask.
  explicit ConsoleSim(unsigned windows = 0);
  ~ConsoleSim();
  ConsoleSim(const ConsoleSim&) = delete;
  ConsoleSim& operator=(const ConsoleSim&) = delete;

  bool Running() const { return control_ != nullptr; }

  // Both run on the window thread and return the mask of windows that exist afterwards.
  unsigned CreateWindows(unsigned mask);
  unsigned DestroyWindows(unsigned mask);
  unsigned Windows() const;
  HWND Window(unsigned flag) const;

  // What a console window answers to WM_COPYDATA (TRUE unless set).
  void SetCopyDataAnswer(LRESULT answer);

  std::vector<Record> Records() const;
  size_t RecordCount() const;
  bool WaitForRecords(size_t n, unsigned timeoutMs) const;
  void ClearRecords();
  uint32_t ElapsedMs() const;

  static HWND FindBridge(unsigned timeoutMs);
  static bool WaitBridgeGone(unsigned timeoutMs);

  // Sends go to the bridge found by title at the time of the call, synchronously, with a
  // generous time-out so that a test never hangs for good. nullopt: no bridge or no answer.
  void SetSendTimeout(unsigned ms) { sendTimeoutMs_ = ms; }
  DWORD LastSendError() const { return lastError_; }
  HWND SenderWindow() const { return control_; }

  std::optional<LRESULT> SendHandshake(const std::optional<std::string>& text);
  std::optional<LRESULT> QueryStatus();
  std::optional<LRESULT> ScanRequest();
  std::optional<LRESULT> ScanRequestData(const std::vector<uint8_t>& bytes);
  // An empty payload goes as lpData null, cbData 0.
  std::optional<LRESULT> CopyData(ULONG_PTR dwData, const std::vector<uint8_t>& bytes);
  std::optional<LRESULT> CopyDataRaw(ULONG_PTR dwData, const void* data, DWORD size);
  std::optional<LRESULT> Close();

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT Handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  void OnCopyData(HWND hwnd, HWND sender, const COPYDATASTRUCT* cds);
  unsigned DoCreate(unsigned mask);
  unsigned DoDestroy(unsigned mask);
  void ThreadMain(std::promise<HWND>* ready);
  std::optional<LRESULT> Send(UINT msg, WPARAM wp, LPARAM lp);

  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::thread thread_;
  DWORD threadId_ = 0;
  HWND control_ = nullptr;  // message-only; runs requests on the window thread, sender of sends

  mutable std::mutex mu_;
  mutable std::condition_variable arrived_;
  std::vector<Record> records_;
  std::map<unsigned, HWND> windows_;
  LRESULT copyDataAnswer_ = TRUE;

  unsigned sendTimeoutMs_ = 30000;
  DWORD lastError_ = 0;
};

}  // namespace qx::consolesim
