// Cardpost's main dialog, which owns the reader and dispatch windows, and its about box.
#pragma once
#include <windows.h>

#include "DispatchWnd.h"
#include "ReaderWnd.h"
#include "win/Dialog.h"

constexpr char kCheckCardWndTitle[] = "DispatchWnd_Quorix_2010__CheckCard";

class CBridgeDlg : public qx::win::Dialog {
 public:
  CBridgeDlg();
  ~CBridgeDlg() override;

  bool m_ShowAtStart = false;

 protected:
  bool OnCreate(const CREATESTRUCTW& cs) override;
  BOOL OnInitDialog() override;
  bool OnTimer(UINT_PTR id) override;
  bool OnSysCommand(UINT command, LPARAM lp) override;
  bool OnPaint() override;
  HICON OnQueryDragIcon() override;
  void OnDestroy() override;
  qx::win::CommandTable Commands() const override;
  qx::win::MessageTable Messages() const override;

 private:
  LRESULT OnStartDevice(WPARAM wp, LPARAM lp);
  // The one-shot ready timer: tells the console's check window that the reader is up.
  void AnnounceReady(UINT_PTR id);
  void OnScanRecognise();

  // Destroyed in reverse: the dispatch window first, then the reader window.
  Cbiz_CardpostHD m_ReaderWnd;
  Cwnd_Dispatch m_DispatchWnd;
  HICON m_Icon = nullptr;
};

class CAboutDlg : public qx::win::Dialog {
 public:
  CAboutDlg();
};
