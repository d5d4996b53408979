// Card delivery to the Quorix console's windows: the card record or the virtual-reader packet.
#include "Delivery.h"

#include <windows.h>
#include <oleauto.h>

#include <cstring>

#include "Encode.h"
#include "Log.h"
#include "card/Gbk.h"
#include "card/Packets.h"
#include "win/Text.h"

namespace {

using qx::card::CardInfoRecord;
using qx::card::VirtualReaderPacket;

constexpr char kLogBegin[] = "BGN 发送数据到控制台";
constexpr char kLogNewMember[] = "END 发送数据到控制台，新建会员";
constexpr char kLogRegister[] = "END 发送数据到控制台，临时用户填写信息";
constexpr char kLogVirtualReader[] = "END 发送数据到控制台，刷卡开户";

constexpr size_t kEncodeBufferSize = 20001;
constexpr int kEncodeCapacity = 20000;

// The console copies the payload during the call; its answer means nothing to us.
void SendCard(HWND window, const void* data, DWORD size) {
  COPYDATASTRUCT cds{};
  cds.dwData = qx::card::CDS_CARD_DATA;
  cds.cbData = size;
  cds.lpData = const_cast<void*>(data);
  ::SendMessageA(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
}

// The platform's automation date of the birth date text: 0.0 when it takes the text for
// no date, -1.0 on any other failure.
double BirthDateOf(const std::string& birthday) {
  std::wstring wide = qx::win::MultiToWide(birthday, CP_ACP);
  DATE date = 0;
  const HRESULT hr = ::VarDateFromStr(wide.data(), LANG_USER_DEFAULT, 0, &date);
  if (SUCCEEDED(hr)) return date;
  return hr == DISP_E_TYPEMISMATCH ? 0.0 : -1.0;
}

}  // namespace

bool EncodeText(const std::string& input, std::string& result) {
  result.clear();
  // Both buffers keep a zero byte beyond what the cipher may see or write.
  unsigned char in[kEncodeBufferSize] = {};
  qx::card::CopyField(in, kEncodeBufferSize - 1, input);
  int capacity = kEncodeCapacity;
  char out[kEncodeBufferSize] = {};
  const int length = static_cast<int>(std::strlen(reinterpret_cast<const char*>(in)));
  if (Encode(out, &capacity, in, length) == 0) return false;
  result = qx::card::TakeEncodeOutput(out, sizeof out, capacity);
  return true;
}

std::string BuildVerifyCode(const uint8_t* packet) {
  std::string code;
  EncodeText(qx::card::VerifyCodeInput(packet), code);
  return code;
}

void SendToConsole(const uint8_t* record) {
  LogWrite(kLogBegin);
  const struct {
    const char* title;
    const char* logLine;
  } recordWindows[] = {{"DispatchWnd_NewMember", kLogNewMember}, {"WndTitle_Register_dll", kLogRegister}};
  for (const auto& w : recordWindows) {
    if (HWND window = ::FindWindowA(nullptr, w.title)) {
      const qx::card::CardRecordBytes copy = qx::card::MakeCardRecordForSend(record);
      SendCard(window, copy.data(), static_cast<DWORD>(copy.size()));
      LogWrite(w.logLine);
      return;
    }
  }
  HWND reader = ::FindWindowA(nullptr, "VirtualReader");
  if (!reader) return;
  const double birthDate = BirthDateOf(qx::card::GetField(record, CardInfoRecord::Birthday));
  qx::card::VirtualReaderBytes packet = qx::card::BuildVirtualReaderPacket(record, g_SignDepart, birthDate);
  qx::card::SetVerifyCode(packet.data(), BuildVerifyCode(packet.data()));
  SendCard(reader, packet.data(), static_cast<DWORD>(packet.size()));
  LogWrite(kLogVirtualReader);
}
