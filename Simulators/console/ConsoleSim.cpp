// The console simulator: a window thread holding the console's windows, a record of what they receive.
#include "ConsoleSim.h"

#include <cstdio>
#include <cstring>

#include "PacketViews.h"
#include "SimText.h"
#include "card/Gbk.h"
#include "card/Packets.h"

namespace qx::consolesim {
namespace {

constexpr char kClassName[] = "QxConsoleSimWindow";
constexpr UINT kMsgCreate = WM_APP + 1;
constexpr UINT kMsgDestroy = WM_APP + 2;
constexpr UINT kMsgShutdown = WM_APP + 3;

struct WindowName {
  unsigned flag;
  const char* shortName;
  const char* title;
};
constexpr WindowName kWindowNames[] = {
    {kCheckCard, "CheckCard", "DispatchWnd_Quorix_2010__CheckCard"},
    {kNewMember, "NewMember", "DispatchWnd_NewMember"},
    {kRegister, "Register", "WndTitle_Register_dll"},
    {kVirtualReader, "VirtualReader", "VirtualReader"},
};


std::string Stray(size_t offset) {
  return offset == card::kStrayNone ? "stray=none" : "stray@" + std::to_string(offset);
}

std::string Number(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.10g", v);
  return buf;
}

std::string DescribeCardInfo(const uint8_t* b) {
  const card::CardInfoView v = card::DecodeCardInfo(b);
  return "CardInfoRecord CardNo=" + QuoteGbk(v.CardNo) + " CertID=" + QuoteGbk(v.CertID) +
         " Name=" + QuoteGbk(v.Name) + " Sex=" + QuoteGbk(v.Sex) + " Country=" + QuoteGbk(v.Country) +
         " Nation=" + QuoteGbk(v.Nation) + " Birthday=" + QuoteGbk(v.Birthday) +
         " Address=" + QuoteGbk(v.Address) + " SignDepart=" + QuoteGbk(v.SignDepart) +
         " DeviceType=" + QuoteGbk(v.DeviceType) + " " + Stray(card::FirstStrayCardInfo(b));
}

std::string DescribeVirtualReader(const uint8_t* b) {
  const card::VirtualReaderView v = card::DecodeVirtualReader(b);
  return "VirtualReaderPacket @4=" + std::to_string(v.value4) + " CardNo@29=" + QuoteGbk(v.cardNo29) +
         " CardNo@944=" + QuoteGbk(v.cardNo944) + " CardNo@738=" + QuoteGbk(v.cardNo738) +
         " Name@704=" + QuoteGbk(v.name) + " @735=" + QuoteGbk(v.text11) +
         " SignDepart@769=" + QuoteGbk(v.signDepart) + " CountryNation@831=" + QuoteGbk(v.countryNation) +
         " BirthDate@864=" + Number(v.birthDate) + " SexFlag@872=" + std::to_string(v.sexFlag) +
         " @940=" + std::to_string(v.value40000) + " DeviceType@965=" + QuoteGbk(v.deviceType) +
         " @1187=" + QuoteGbk(v.text1) + " VerifyCode@1255=" + QuoteGbk(v.verifyCode) + " " +
         Stray(card::FirstStrayVirtualReader(b));
}

}  // namespace

const char* WindowTitle(unsigned flag) {
  for (const WindowName& w : kWindowNames)
    if (w.flag == flag) return w.title;
  return "";
}

const char* WindowShortName(unsigned flag) {
  for (const WindowName& w : kWindowNames)
    if (w.flag == flag) return w.shortName;
  return "";
}

std::optional<unsigned> ParseWindowList(std::string_view list) {
  unsigned mask = 0;
  while (!list.empty()) {
    const size_t comma = list.find(',');
    const std::string_view name = list.substr(0, comma);
    list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    if (name.empty()) continue;
    if (card::AsciiEqualNoCase(name, "all")) {
      mask |= kAllWindows;
      continue;
    }
    bool known = false;
    for (const WindowName& w : kWindowNames) {
      if (card::AsciiEqualNoCase(name, w.shortName) || name == w.title) {
        mask |= w.flag;
        known = true;
      }
    }
    if (!known) return std::nullopt;
  }
  return mask;
}

std::string WindowListText(unsigned mask) {
  std::string out;
  for (const WindowName& w : kWindowNames) {
    if (!(mask & w.flag)) continue;
    if (!out.empty()) out += ',';
    out += w.shortName;
  }
  return out.empty() ? "none" : out;
}

std::string Describe(const Record& r) {
  const uint8_t* b = r.bytes.data();
  const size_t n = r.bytes.size();
  if (r.dwData == card::CDS_CARD_DATA && n == card::CardInfoRecord::kSize) return DescribeCardInfo(b);
  if (r.dwData == card::CDS_CARD_DATA && n == card::VirtualReaderPacket::kSize)
    return DescribeVirtualReader(b);
  if (r.dwData == card::CDS_MODULE_READY && n == card::ModuleReadyPacket::kSize) {
    return "ModuleReadyPacket DeviceType=" + QuoteGbk(card::DecodeModuleReady(b).deviceType) + " " +
           Stray(card::FirstStrayModuleReady(b));
  }
  std::string out;
  if (r.dwData == card::CDS_CARD_DATA) out = "card data of unexpected size " + std::to_string(n);
  else if (r.dwData == card::CDS_MODULE_READY) out = "ready packet of unexpected size " + std::to_string(n);
  else out = "data " + std::to_string(r.dwData) + " of " + std::to_string(n) + " bytes";
  if (r.nullData) out += " (no payload pointer)";
  else if (n > 0) out += " text=" + QuoteGbk(card::FieldText(b, n));
  return out;
}

ConsoleSim::ConsoleSim(unsigned windows) {
  std::promise<HWND> ready;
  std::future<HWND> made = ready.get_future();
  thread_ = std::thread(&ConsoleSim::ThreadMain, this, &ready);
  control_ = made.get();
  if (control_ && windows) CreateWindows(windows);
}

ConsoleSim::~ConsoleSim() {
  if (control_) SendMessageA(control_, kMsgShutdown, 0, 0);
  // Also ends the loop when the control window is already gone.
  if (threadId_) PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
  if (thread_.joinable()) thread_.join();
}

void ConsoleSim::ThreadMain(std::promise<HWND>* ready) {
  HINSTANCE inst = GetModuleHandleA(nullptr);
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &ConsoleSim::Proc;
  wc.hInstance = inst;
  wc.lpszClassName = kClassName;
  // A second simulator in the same process finds the class already there.
  if (!RegisterClassExA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    ready->set_value(nullptr);
    return;
  }
  threadId_ = GetCurrentThreadId();
  HWND control = CreateWindowExA(0, kClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, inst, this);
  ready->set_value(control);
  if (!control) return;
  MSG m;
  while (GetMessageA(&m, nullptr, 0, 0) > 0) {
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
}

LRESULT CALLBACK ConsoleSim::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  try {
    if (msg == WM_NCCREATE) {
      auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* self = reinterpret_cast<ConsoleSim*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcA(hwnd, msg, wp, lp);
    if (msg == WM_NCDESTROY) SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    return self->Handle(hwnd, msg, wp, lp);
  } catch (...) {
    return 0;
  }
}

LRESULT ConsoleSim::Handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COPYDATA:
      OnCopyData(hwnd, reinterpret_cast<HWND>(wp), reinterpret_cast<const COPYDATASTRUCT*>(lp));
      {
        std::lock_guard<std::mutex> lock(mu_);
        return copyDataAnswer_;
      }
    case kMsgCreate:
      return static_cast<LRESULT>(DoCreate(static_cast<unsigned>(wp)));
    case kMsgDestroy:
      return static_cast<LRESULT>(DoDestroy(static_cast<unsigned>(wp)));
    case kMsgShutdown:
      DoDestroy(kAllWindows);
      DestroyWindow(hwnd);
      PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY: {
      // Also reached when someone else closes a console window.
      std::lock_guard<std::mutex> lock(mu_);
      for (auto it = windows_.begin(); it != windows_.end(); ++it) {
        if (it->second == hwnd) {
          windows_.erase(it);
          break;
        }
      }
      break;
    }
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

void ConsoleSim::OnCopyData(HWND hwnd, HWND sender, const COPYDATASTRUCT* cds) {
  Record r;
  r.ms = ElapsedMs();
  r.hwnd = hwnd;
  r.sender = sender;
  char title[256] = {};
  GetWindowTextA(hwnd, title, sizeof title);
  r.window = hwnd == control_ ? "(sender)" : title;
  if (cds) {
    r.dwData = cds->dwData;
    r.cbData = cds->cbData;
    r.nullData = cds->lpData == nullptr;
    // The payload is copied within cbData, and only when there is one.
    if (cds->lpData && cds->cbData > 0) {
      const auto* p = static_cast<const uint8_t*>(cds->lpData);
      r.bytes.assign(p, p + cds->cbData);
    }
  } else {
    r.nullData = true;
  }
  {
    std::lock_guard<std::mutex> lock(mu_);
    records_.push_back(std::move(r));
  }
  arrived_.notify_all();
}

unsigned ConsoleSim::DoCreate(unsigned mask) {
  HINSTANCE inst = GetModuleHandleA(nullptr);
  for (const WindowName& w : kWindowNames) {
    if (!(mask & w.flag) || Window(w.flag)) continue;
    // Plain hidden top-level windows: FindWindowA finds hidden ones too.
    HWND h = CreateWindowExA(0, kClassName, w.title, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, inst, this);
    if (h) {
      std::lock_guard<std::mutex> lock(mu_);
      windows_[w.flag] = h;
    }
  }
  return Windows();
}

unsigned ConsoleSim::DoDestroy(unsigned mask) {
  for (const WindowName& w : kWindowNames) {
    if (!(mask & w.flag)) continue;
    if (HWND h = Window(w.flag)) DestroyWindow(h);  // WM_NCDESTROY drops it from the map
  }
  return Windows();
}

unsigned ConsoleSim::CreateWindows(unsigned mask) {
  if (!control_) return 0;
  return static_cast<unsigned>(SendMessageA(control_, kMsgCreate, mask, 0));
}

unsigned ConsoleSim::DestroyWindows(unsigned mask) {
  if (!control_) return 0;
  return static_cast<unsigned>(SendMessageA(control_, kMsgDestroy, mask, 0));
}

unsigned ConsoleSim::Windows() const {
  std::lock_guard<std::mutex> lock(mu_);
  unsigned mask = 0;
  for (const auto& w : windows_) mask |= w.first;
  return mask;
}

HWND ConsoleSim::Window(unsigned flag) const {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = windows_.find(flag);
  return it == windows_.end() ? nullptr : it->second;
}

void ConsoleSim::SetCopyDataAnswer(LRESULT answer) {
  std::lock_guard<std::mutex> lock(mu_);
  copyDataAnswer_ = answer;
}

std::vector<Record> ConsoleSim::Records() const {
  std::lock_guard<std::mutex> lock(mu_);
  return records_;
}

size_t ConsoleSim::RecordCount() const {
  std::lock_guard<std::mutex> lock(mu_);
  return records_.size();
}

bool ConsoleSim::WaitForRecords(size_t n, unsigned timeoutMs) const {
  std::unique_lock<std::mutex> lock(mu_);
  return arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return records_.size() >= n; });
}

void ConsoleSim::ClearRecords() {
  std::lock_guard<std::mutex> lock(mu_);
  records_.clear();
}

uint32_t ConsoleSim::ElapsedMs() const {
  return static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count());
}

HWND ConsoleSim::FindBridge(unsigned timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (HWND h = FindWindowA(nullptr, kBridgeTitle)) return h;
    if (std::chrono::steady_clock::now() >= end) return nullptr;
    Sleep(20);
  }
}

bool ConsoleSim::WaitBridgeGone(unsigned timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (!FindWindowA(nullptr, kBridgeTitle)) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    Sleep(20);
  }
}

std::optional<LRESULT> ConsoleSim::Send(UINT msg, WPARAM wp, LPARAM lp) {
  HWND target = FindWindowA(nullptr, kBridgeTitle);
  if (!target) {
    lastError_ = ERROR_INVALID_WINDOW_HANDLE;
    return std::nullopt;
  }
  DWORD_PTR result = 0;
  SetLastError(0);
  if (!SendMessageTimeoutA(target, msg, wp, lp, SMTO_NORMAL, sendTimeoutMs_, &result)) {
    lastError_ = GetLastError();
    if (lastError_ == 0) lastError_ = ERROR_TIMEOUT;
    return std::nullopt;
  }
  lastError_ = 0;
  return static_cast<LRESULT>(result);
}

std::optional<LRESULT> ConsoleSim::SendHandshake(const std::optional<std::string>& text) {
  if (!text) return CopyDataRaw(card::CDS_HARDWARE_CHECK, nullptr, 0);
  std::vector<uint8_t> bytes(text->begin(), text->end());
  bytes.push_back(0);
  return CopyData(card::CDS_HARDWARE_CHECK, bytes);
}

std::optional<LRESULT> ConsoleSim::QueryStatus() { return Send(card::WM_HD_QUERYSTATUS, 0, 0); }

std::optional<LRESULT> ConsoleSim::ScanRequest() { return Send(card::WM_HD_SCANREQUEST, 0, 0); }

std::optional<LRESULT> ConsoleSim::ScanRequestData(const std::vector<uint8_t>& bytes) {
  return CopyData(card::WM_HD_SCANREQUEST, bytes);
}

std::optional<LRESULT> ConsoleSim::CopyData(ULONG_PTR dwData, const std::vector<uint8_t>& bytes) {
  return CopyDataRaw(dwData, bytes.empty() ? nullptr : bytes.data(), static_cast<DWORD>(bytes.size()));
}

std::optional<LRESULT> ConsoleSim::CopyDataRaw(ULONG_PTR dwData, const void* data, DWORD size) {
  COPYDATASTRUCT cds = {};
  cds.dwData = dwData;
  cds.cbData = size;
  cds.lpData = const_cast<void*>(data);
  return Send(WM_COPYDATA, reinterpret_cast<WPARAM>(control_), reinterpret_cast<LPARAM>(&cds));
}

std::optional<LRESULT> ConsoleSim::Close() { return Send(WM_CLOSE, 0, 0); }

}  // namespace qx::consolesim
