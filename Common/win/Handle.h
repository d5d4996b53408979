// Move-only owners for Win32 handles: one template, a closer per handle kind.
#pragma once
#include <windows.h>
#include <utility>

namespace qx::win {

// The "no handle" value of a kind: zero, or INVALID_HANDLE_VALUE for files and finds (a
// pointer made from -1 cannot be a template argument itself).
template <typename T>
struct ZeroNull {
  static T value() { return T{}; }
};
struct InvalidHandleNull {
  static HANDLE value() { return INVALID_HANDLE_VALUE; }
};

template <typename T, typename Closer, typename NullOf = ZeroNull<T>>
class Unique {
  static T Null() { return NullOf::value(); }

 public:
  Unique() = default;
  explicit Unique(T h) : h_(h) {}
  ~Unique() { reset(); }
  Unique(const Unique&) = delete;
  Unique& operator=(const Unique&) = delete;
  Unique(Unique&& o) noexcept : h_(std::exchange(o.h_, Null())) {}
  Unique& operator=(Unique&& o) noexcept {
    if (this != &o) reset(std::exchange(o.h_, Null()));
    return *this;
  }
  T get() const { return h_; }
  explicit operator bool() const { return h_ != Null(); }
  T release() { return std::exchange(h_, Null()); }
  void reset() { reset(Null()); }
  void reset(T h) {
    if (h_ != Null()) Closer{}(h_);
    h_ = h;
  }

 private:
  T h_ = Null();
};

struct CloseKernel { void operator()(HANDLE h) const { ::CloseHandle(h); } };
struct FreeModule { void operator()(HMODULE h) const { ::FreeLibrary(h); } };
struct UnhookHook { void operator()(HHOOK h) const { ::UnhookWindowsHookEx(h); } };
struct DeleteGdi { void operator()(HGDIOBJ h) const { ::DeleteObject(h); } };
struct DeleteMemDc { void operator()(HDC h) const { ::DeleteDC(h); } };
struct DestroyIconH { void operator()(HICON h) const { ::DestroyIcon(h); } };
struct DestroyMenuH { void operator()(HMENU h) const { ::DestroyMenu(h); } };
struct CloseFind { void operator()(HANDLE h) const { ::FindClose(h); } };
struct CloseRegKey { void operator()(HKEY h) const { ::RegCloseKey(h); } };

using UniqueHandle = Unique<HANDLE, CloseKernel>;
using UniqueFile = Unique<HANDLE, CloseKernel, InvalidHandleNull>;
using UniqueModule = Unique<HMODULE, FreeModule>;
using UniqueHook = Unique<HHOOK, UnhookHook>;
using UniqueGdi = Unique<HGDIOBJ, DeleteGdi>;
using UniqueBitmap = Unique<HBITMAP, DeleteGdi>;
using UniqueFont = Unique<HFONT, DeleteGdi>;
using UniqueBrush = Unique<HBRUSH, DeleteGdi>;
using UniqueMemDc = Unique<HDC, DeleteMemDc>;
using UniqueIcon = Unique<HICON, DestroyIconH>;
using UniqueMenu = Unique<HMENU, DestroyMenuH>;
using UniqueFind = Unique<HANDLE, CloseFind, InvalidHandleNull>;
using UniqueRegKey = Unique<HKEY, CloseRegKey>;

// Selects an object into a DC and puts the previous one back.
class SelectGuard {
 public:
  SelectGuard(HDC dc, HGDIOBJ obj) : dc_(dc), old_(::SelectObject(dc, obj)) {}
  ~SelectGuard() { if (old_) ::SelectObject(dc_, old_); }
  SelectGuard(const SelectGuard&) = delete;
  SelectGuard& operator=(const SelectGuard&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// Borrowed window DC, released on scope exit.
class WindowDc {
 public:
  explicit WindowDc(HWND w) : w_(w), dc_(::GetDC(w)) {}
  ~WindowDc() { if (dc_) ::ReleaseDC(w_, dc_); }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND w_;
  HDC dc_;
};

// BeginPaint/EndPaint pair.
class PaintDc {
 public:
  explicit PaintDc(HWND w) : w_(w) { dc_ = ::BeginPaint(w, &ps_); }
  ~PaintDc() { ::EndPaint(w_, &ps_); }
  PaintDc(const PaintDc&) = delete;
  PaintDc& operator=(const PaintDc&) = delete;
  HDC get() const { return dc_; }
  const PAINTSTRUCT& ps() const { return ps_; }

 private:
  HWND w_;
  PAINTSTRUCT ps_{};
  HDC dc_ = nullptr;
};

}  // namespace qx::win
