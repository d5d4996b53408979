// The bridge stand-in of the console simulator's tests.
#include "BridgePeer.h"

#include <future>

namespace {

constexpr char kPeerClass[] = "QxConsoleTestBridge";
constexpr UINT kMsgSendTo = WM_APP + 10;
constexpr UINT kMsgDeliver = WM_APP + 11;
constexpr UINT kMsgShutdown = WM_APP + 12;

PeerMessage Plain(UINT msg, WPARAM wp, LPARAM lp) {
  PeerMessage m;
  m.msg = msg;
  m.wParam = wp;
  m.lParam = lp;
  return m;
}

struct SendRequest {
  const Delivery* d;
  const void* data;
  DWORD size;
  std::optional<LRESULT> result;
};

}  // namespace

BridgePeer::BridgePeer() {
  std::promise<HWND> made;
  std::future<HWND> ready = made.get_future();
  thread_ = std::thread([this, &made] {
    HINSTANCE inst = GetModuleHandleA(nullptr);
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &BridgePeer::Proc;
    wc.hInstance = inst;
    wc.lpszClassName = kPeerClass;
    RegisterClassExA(&wc);  // already there from an earlier peer is fine
    threadId_ = GetCurrentThreadId();
    HWND h = CreateWindowExA(WS_EX_TOOLWINDOW, kPeerClass, "HardwareCtrlWnd_Morvid2Reader", WS_POPUP, 0, 0, 0, 0,
                             nullptr, nullptr, inst, this);
    made.set_value(h);
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0) {
      TranslateMessage(&m);
      DispatchMessageA(&m);
    }
    if (IsWindow(h)) DestroyWindow(h);
  });
  hwnd_ = ready.get();
}

BridgePeer::~BridgePeer() {
  PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
  if (thread_.joinable()) thread_.join();
}

LRESULT CALLBACK BridgePeer::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  try {
    if (msg == WM_NCCREATE) {
      auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* self = reinterpret_cast<BridgePeer*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcA(hwnd, msg, wp, lp);
    return self->Handle(hwnd, msg, wp, lp);
  } catch (...) {
    return 0;
  }
}

LRESULT BridgePeer::Handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COPYDATA: {
      PeerMessage m = Plain(msg, wp, lp);
      if (const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lp)) {
        m.dwData = cds->dwData;
        m.cbData = cds->cbData;
        m.nullData = cds->lpData == nullptr;
        if (cds->lpData && cds->cbData)
          m.bytes.assign(static_cast<const uint8_t*>(cds->lpData),
                         static_cast<const uint8_t*>(cds->lpData) + cds->cbData);
      }
      const bool handshake = m.dwData == 999;
      Push(std::move(m));
      if (handshake) PostMessageA(hwnd, kMsgDeliver, 0, 0);
      std::lock_guard<std::mutex> lock(mu_);
      return copyDataAnswer_;
    }
    case 6446:
    case 6448: {
      Push(Plain(msg, wp, lp));
      std::lock_guard<std::mutex> lock(mu_);
      return msg == 6446 ? statusAnswer_ : scanAnswer_;
    }
    case WM_CLOSE: {
      Push(Plain(msg, wp, lp));
      bool destroy;
      {
        std::lock_guard<std::mutex> lock(mu_);
        destroy = closeDestroys_;
      }
      if (destroy) DestroyWindow(hwnd);
      return 0;
    }
    case kMsgSendTo: {
      auto* req = reinterpret_cast<SendRequest*>(lp);
      req->result = DoSendTo(*req->d, req->data, req->size);
      return 0;
    }
    case kMsgDeliver: {
      std::vector<Delivery> list;
      {
        std::lock_guard<std::mutex> lock(mu_);
        list = deliveries_;
      }
      for (const Delivery& d : list) DoSendTo(d, d.bytes.empty() ? nullptr : d.bytes.data(), d.bytes.size());
      return 0;
    }
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

std::optional<LRESULT> BridgePeer::DoSendTo(const Delivery& d, const void* data, DWORD size) {
  HWND target = FindWindowA(nullptr, d.title.c_str());
  if (!target) return std::nullopt;
  COPYDATASTRUCT cds = {d.dwData, size, const_cast<void*>(data)};
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(target, WM_COPYDATA, reinterpret_cast<WPARAM>(hwnd_), reinterpret_cast<LPARAM>(&cds),
                           SMTO_NORMAL, 10000, &result))
    return std::nullopt;
  return static_cast<LRESULT>(result);
}

void BridgePeer::Push(PeerMessage m) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    messages_.push_back(std::move(m));
  }
  arrived_.notify_all();
}

void BridgePeer::SetAnswers(LRESULT status, LRESULT scan, LRESULT copyData) {
  std::lock_guard<std::mutex> lock(mu_);
  statusAnswer_ = status;
  scanAnswer_ = scan;
  copyDataAnswer_ = copyData;
}

void BridgePeer::SetCloseDestroys(bool destroys) {
  std::lock_guard<std::mutex> lock(mu_);
  closeDestroys_ = destroys;
}

void BridgePeer::SetHandshakeDeliveries(std::vector<Delivery> deliveries) {
  std::lock_guard<std::mutex> lock(mu_);
  deliveries_ = std::move(deliveries);
}

std::vector<PeerMessage> BridgePeer::Messages() const {
  std::lock_guard<std::mutex> lock(mu_);
  return messages_;
}

bool BridgePeer::WaitForMessages(size_t n, unsigned timeoutMs) const {
  std::unique_lock<std::mutex> lock(mu_);
  return arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return messages_.size() >= n; });
}

std::optional<LRESULT> BridgePeer::SendTo(const std::string& title, ULONG_PTR dwData, const void* data, DWORD size) {
  Delivery d{title, dwData, {}};
  SendRequest req{&d, data, size, std::nullopt};
  // The peer window may be gone after a close; nothing is sent then.
  if (!IsWindow(hwnd_)) return std::nullopt;
  SendMessageA(hwnd_, kMsgSendTo, 0, reinterpret_cast<LPARAM>(&req));
  return req.result;
}
