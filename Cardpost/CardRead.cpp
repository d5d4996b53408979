// One poll of the reader: find, select and read a card, write and decode its packed photo,
// fill the card record, save the head photo.
#include "CardRead.h"

#include <windows.h>

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

// Texts of the log (code page 936, as every narrow literal of the product).
constexpr char kLogUnbound[] = " ### 机读，接口非法";
constexpr char kLogBusy[] = " ### 机读，设备正忙";
constexpr char kLogReadFault[] = " ### 读卡异常";
constexpr char kLogReadOk[] = "读卡成功，准备获取数据";
constexpr char kLogOpenFault[] = "打开照片文件异常";
constexpr char kLogCloseFault[] = "照片数据异常";
constexpr char kLogDecoded[] = "解密照片:%d, %s";
constexpr char kLogDecodeFault[] = " ### 解密照片异常";
constexpr char kLogPhotoSaved[] = "保存大头照成功 %s => %s";
constexpr char kLogPhotoFailed[] = "保存大头照失败 %s => %s";
constexpr char kLogCardDone[] = " ### 机读  成功 CertID:%s, Name:%s, Addr:%s, SignDepart:%s, Folk:%s";
constexpr char kLogPollFault[] = " ### 机读，处理异常";

// The field up to its first U+0000 (where a zero-terminated conversion stops) in the thread's
// ANSI code page, with the platform's default replacement for characters the code page lacks.
std::string FieldToAnsi(std::u16string_view field) {
  return qx::win::WideToMulti(qx::win::FromU16(field.substr(0, field.find(u'\0'))), CP_THREAD_ACP);
}

// The bridge's own names (the nation) go into the record as GBK, whatever the thread's code page.
std::string NameToGbk(std::u16string_view name) {
  return qx::win::WideToMulti(qx::win::FromU16(name), qx::win::kGbkCodePage);
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

  const CardReadFields fields = CutCardFields(text, kTextLength, FieldToAnsi, NameToGbk);
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
