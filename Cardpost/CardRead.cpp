// One poll of the reader: find, select and read a card, write and decode its packed photo,
// fill the card record, save the head photo.
#include "CardRead.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "CardFields.h"
#include "Delivery.h"
#include "HeadPhoto.h"
#include "Log.h"
#include "ReaderWnd.h"
#include "card/Gbk.h"
#include "card/Packets.h"
#include "win/FaultGuard.h"
#include "win/Text.h"

namespace cardpost {
namespace {

using qx::card::CardInfoRecord;
using qx::win::Format;
using qx::win::Guarded;

// Texts of the log, in code page 936.
constexpr char kLogUnbound[] = " ### \xBB\xFA\xB6\xC1\xA3\xAC\xBD\xD3\xBF\xDA\xB7\xC7\xB7\xA8";  // 机读，接口非法
constexpr char kLogBusy[] = " ### \xBB\xFA\xB6\xC1\xA3\xAC\xC9\xE8\xB1\xB8\xD5\xFD\xC3\xA6";    // 机读，设备正忙
constexpr char kLogReadFault[] = " ### \xB6\xC1\xBF\xA8\xD2\xEC\xB3\xA3";                       // 读卡异常
constexpr char kLogReadOk[] =
    "\xB6\xC1\xBF\xA8\xB3\xC9\xB9\xA6\xA3\xAC\xD7\xBC\xB1\xB8\xBB\xF1\xC8\xA1\xCA\xFD\xBE\xDD";  // 读卡成功，准备获取数据
constexpr char kLogOpenFault[] = "\xB4\xF2\xBF\xAA\xD5\xD5\xC6\xAC\xCE\xC4\xBC\xFE\xD2\xEC\xB3\xA3";  // 打开照片文件异常
constexpr char kLogCloseFault[] = "\xD5\xD5\xC6\xAC\xCA\xFD\xBE\xDD\xD2\xEC\xB3\xA3";                 // 照片数据异常
constexpr char kLogDecoded[] = "\xBD\xE2\xC3\xDC\xD5\xD5\xC6\xAC:%d, %s";                            // 解密照片:
constexpr char kLogDecodeFault[] = " ### \xBD\xE2\xC3\xDC\xD5\xD5\xC6\xAC\xD2\xEC\xB3\xA3";              // 解密照片异常
constexpr char kLogPhotoSaved[] = "\xB1\xA3\xB4\xE6\xB4\xF3\xCD\xB7\xD5\xD5\xB3\xC9\xB9\xA6 %s => %s";   // 保存大头照成功
constexpr char kLogPhotoFailed[] = "\xB1\xA3\xB4\xE6\xB4\xF3\xCD\xB7\xD5\xD5\xCA\xA7\xB0\xDC %s => %s";  // 保存大头照失败
constexpr char kLogCardDone[] =
    " ### \xBB\xFA\xB6\xC1  \xB3\xC9\xB9\xA6 CertID:%s, Name:%s, Addr:%s, SignDepart:%s, Folk:%s";  // 机读  成功
constexpr char kLogPollFault[] = " ### \xBB\xFA\xB6\xC1\xA3\xAC\xB4\xA6\xC0\xED\xD2\xEC\xB3\xA3";  // 机读，处理异常

// The field as a zero-terminated wide text in the thread's ANSI code page, with the
// platform's default replacement for characters the code page lacks.
std::string FieldToAnsi(std::u16string_view field) {
  const std::wstring wide(field.begin(), field.end());
  const int n = ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, out.data(), n, nullptr, nullptr);
  out.resize(std::strlen(out.c_str()));
  return out;
}

// g_ReadBusy is cleared however the poll ends.
struct BusyMark {
  BusyMark() { g_ReadBusy = true; }
  ~BusyMark() { g_ReadBusy = false; }
  BusyMark(const BusyMark&) = delete;
  BusyMark& operator=(const BusyMark&) = delete;
};

// The packed photo goes to a new photo.wlt; a fault raised while opening or closing only
// skips that step.
void WritePhotoFile(const std::string& path, const uint8_t* photo, unsigned length) {
  HANDLE file = INVALID_HANDLE_VALUE;
  const char* name = path.c_str();
  if (!Guarded([&] {
        file = ::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
      })) {
    LogWrite(kLogOpenFault);
    return;
  }
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  ::WriteFile(file, photo, length, &written, nullptr);
  if (!Guarded([&] { ::CloseHandle(file); })) LogWrite(kLogCloseFault);
}

// Steps after a read that returned 0x90; the decoder's answer.
int TakeCard(const CardReaderCalls& calls, const std::string& moduleDir, const uint8_t* text,
             const uint8_t* photo, unsigned photoLength, uint8_t* record) {
  LogWrite(kLogReadOk);

  const std::string wltPath = Format("%s\\photo.wlt", moduleDir.c_str());
  // A library that reports more than it was given must not make us read past the buffer.
  WritePhotoFile(wltPath, photo, photoLength < kPhotoBufferSize ? photoLength : kPhotoBufferSize);

  char decoderPath[kDecoderPathSize] = {};
  qx::card::CopyField(reinterpret_cast<uint8_t*>(decoderPath), kDecoderPathSize - 1, wltPath);
  // A missing decoder decodes nothing; a fault inside it counts as a photo it could not decode.
  int decoded = 0;
  if (calls.getBmp &&
      !Guarded([&] { decoded = calls.getBmp(decoderPath, qx::reader::kGetBmpMode); })) {
    decoded = 0;
    LogWrite(kLogDecodeFault);
  }
  // The library may leave the buffer without a NUL: read it within its size.
  const std::string bitmapPath =
      qx::card::FieldText(reinterpret_cast<const uint8_t*>(decoderPath), sizeof decoderPath);
  LogWrite(kLogDecoded, decoded, bitmapPath.c_str());

  const CardReadFields fields = CutCardFields(text, kTextLength, FieldToAnsi);
  FillCardRecord(record, fields);
  g_SignDepart = fields.authority;

  const std::string certId = qx::card::GetField(record, CardInfoRecord::CertID);
  const std::string target = HeadPhotoPath(GetConsoleDir(), certId);
  switch (SaveHeadPhoto(bitmapPath, target)) {
    case HeadPhotoResult::NotLoaded:
      break;
    case HeadPhotoResult::Saved:
      LogWrite(kLogPhotoSaved, bitmapPath.c_str(), target.c_str());
      break;
    case HeadPhotoResult::SaveFailed:
      LogWrite(kLogPhotoFailed, bitmapPath.c_str(), target.c_str());
      break;
  }

  LogWrite(kLogCardDone, certId.c_str(), qx::card::GetField(record, CardInfoRecord::Name).c_str(),
           qx::card::GetField(record, CardInfoRecord::Address).c_str(), fields.authority.c_str(),
           fields.nationCode.c_str());
  return decoded;
}

}  // namespace

bool ReadCardWith(const CardReaderCalls& calls, int port, uint8_t* record) {
  g_SignDepart.clear();
  if (!calls.startFind || !calls.select || !calls.readBaseMsg) {
    LogWrite(kLogUnbound);
    return false;
  }
  if (g_ReadBusy) {
    LogWrite(kLogBusy);
    return false;
  }
  BusyMark busy;
  try {
    const std::string dir = GetModuleDir();
    for (const char* name : {"zp.bmp", "zp.jpg", "wz.txt", "photo.wlt"})
      ::DeleteFileA(Format("%s\\%s", dir.c_str(), name).c_str());

    uint8_t find[kFindBufferSize] = {};
    uint8_t text[kTextBufferSize] = {};
    std::vector<uint8_t> photo(kPhotoBufferSize, 0);
    unsigned textLength = kTextLength;
    unsigned photoLength = kPhotoBufferSize;

    // One guard around the three calls and their log lines: a fault inside the library
    // counts as a read that did not succeed. Nothing inside needs unwinding.
    int readStatus = -1;
    uint8_t* photoData = photo.data();
    const bool calm = Guarded([&] {
      if (calls.startFind(port, find, 0) != qx::reader::kStatusCardFound) return;
      const int selectStatus = calls.select(port, find, 0);
      LogWrite(" ### SelectCard:%X", static_cast<unsigned>(selectStatus));
      if (selectStatus != qx::reader::kStatusOk) return;
      const int status = calls.readBaseMsg(port, text, &textLength, photoData, &photoLength, 0);
      LogWrite(" ### ReadCard:%X", static_cast<unsigned>(status));
      readStatus = status;
    });
    if (!calm) {
      LogWrite(kLogReadFault);
      return false;
    }
    if (readStatus != qx::reader::kStatusOk) return false;

    return TakeCard(calls, dir, text, photoData, photoLength, record) == 1;
  } catch (...) {
    LogWrite(kLogPollFault);
    return false;
  }
}

}  // namespace cardpost

bool Cbiz_CardpostHD::ReadCard(uint8_t* record) {
  cardpost::CardReaderCalls calls;
  calls.startFind = startFind_;
  calls.select = select_;
  calls.readBaseMsg = readBaseMsg_;
  calls.getBmp = getBmp_;
  return cardpost::ReadCardWith(calls, port_, record);
}
