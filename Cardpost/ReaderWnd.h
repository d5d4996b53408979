// Cardpost's reader window: binds the reader libraries, polls the reader, answers the
// console's state query and takes its scan requests.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "card/Packets.h"
#include "reader/ReaderApi.h"
#include "win/Window.h"

constexpr char kReaderWndTitle[] = "HD_DispatchWnd__Morvid2_Tesmo_RK60";

extern bool g_DeviceReady;         // the reader is started
extern bool g_ReadBusy;            // a card read is running
extern std::string g_DeviceNumber; // security-module number, for the log

class Cbiz_CardpostHD : public qx::win::Window {
 public:
  static constexpr char kRuntimeClassName[] = "Cbiz_CardpostHD";

  Cbiz_CardpostHD();
  ~Cbiz_CardpostHD() override;

  bool InitDevice();
  bool LoadDevice();
  void FreeDeviceLibraries();
  void UnloadDevice();
  // Behind the dialog's scan button: logs, answers false.
  bool ScanRecognise(uint8_t* record);

  // One poll of the reader into a zero-filled record of CardInfoRecord::kSize bytes; true
  // when a card was read and its photo decoded.
  bool ReadCard(uint8_t* record);

 protected:
  bool OnTimer(UINT_PTR id) override;
  std::optional<LRESULT> OnCopyData(HWND sender, const COPYDATASTRUCT& data) override;
  qx::win::MessageTable Messages() const override;

 private:
  LRESULT OnQueryStatus(WPARAM wp, LPARAM lp);
  LRESULT OnScanRequest(WPARAM wp, LPARAM lp);

  uint8_t m_ScanRequest[qx::card::ScanRequestBlock::kSize];
  HMODULE m_hSdtApi = nullptr;
  SDT_OpenPort_t m_pfnOpenPort = nullptr;
  SDT_ClosePort_t m_pfnClosePort = nullptr;
  SDT_StartFindMorvid_t m_pfnStartFind = nullptr;
  SDT_SelectMorvid_t m_pfnSelect = nullptr;
  SDT_ReadBaseMsg_t m_pfnReadBaseMsg = nullptr;
  SDT_GetSAMIDToStr_t m_pfnGetSAMIDToStr = nullptr;
  HMODULE m_hWltRS = nullptr;
  GetBmp_t m_pfnGetBmp = nullptr;
  int m_Port = 0;
};
