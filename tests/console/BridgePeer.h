// A stand-in for the card bridge's dispatch window, on its own thread, for the console simulator's tests.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct PeerMessage {
  UINT msg = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  ULONG_PTR dwData = 0;
  DWORD cbData = 0;
  bool nullData = false;
  std::vector<uint8_t> bytes;
};

struct Delivery {
  std::string title;
  ULONG_PTR dwData;
  std::vector<uint8_t> bytes;
};

class BridgePeer {
 public:
  BridgePeer();
  ~BridgePeer();
  BridgePeer(const BridgePeer&) = delete;
  BridgePeer& operator=(const BridgePeer&) = delete;

  HWND hwnd() const { return hwnd_; }
  bool Alive() const { return IsWindow(hwnd_) != FALSE; }

  void SetAnswers(LRESULT status, LRESULT scan, LRESULT copyData);
  void SetCloseDestroys(bool destroys);
  // Sent, in order, after each handshake has been answered (as the bridge does it: posted).
  void SetHandshakeDeliveries(std::vector<Delivery> deliveries);

  std::vector<PeerMessage> Messages() const;
  bool WaitForMessages(size_t n, unsigned timeoutMs) const;

  // WM_COPYDATA from the peer's thread to the window of that title (wParam: the peer's window).
  std::optional<LRESULT> SendTo(const std::string& title, ULONG_PTR dwData, const void* data, DWORD size);

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT Handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  std::optional<LRESULT> DoSendTo(const Delivery& d, const void* data, DWORD size);
  void Push(PeerMessage m);

  std::thread thread_;
  DWORD threadId_ = 0;
  HWND hwnd_ = nullptr;
  mutable std::mutex mu_;
  mutable std::condition_variable arrived_;
  std::vector<PeerMessage> messages_;
  LRESULT statusAnswer_ = 0, scanAnswer_ = 0, copyDataAnswer_ = 0;
  bool closeDestroys_ = true;
  std::vector<Delivery> deliveries_;
};
