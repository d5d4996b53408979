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

  uint8_t scanRequest_[qx::card::ScanRequestBlock::kSize];
  HMODULE sdtApi_ = nullptr;
  SDT_OpenPort_t openPort_ = nullptr;
  SDT_ClosePort_t closePort_ = nullptr;
  SDT_StartFindMorvid_t startFind_ = nullptr;
  SDT_SelectMorvid_t select_ = nullptr;
  SDT_ReadBaseMsg_t readBaseMsg_ = nullptr;
  SDT_GetSAMIDToStr_t getSamIdToStr_ = nullptr;
  HMODULE wltRS_ = nullptr;
  GetBmp_t getBmp_ = nullptr;
  int port_ = 0;
};
