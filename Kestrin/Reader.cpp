// Reader access unit: the reader libraries are linked at load time (sdtapi.dll, with
// SDT_GetCOMBaud through the "SDTAPI.DLL" entry, and WltRS.dll); every call into them runs
// under the fault guard, so that a fault inside one is an error like any other.
#include "Reader.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "Picture.h"
#include "Program.h"
#include "card/CardTextBlock.h"
#include "reader/ReaderApi.h"
#include "win/FaultGuard.h"
#include "win/Text.h"

namespace qx::kestrin {

namespace {

using namespace qx::reader;

// What is kept of the card text.
constexpr std::size_t kCardTextChars = 120;

struct StatusText {
  int status;
  const wchar_t* text;
};

constexpr StatusText kStatusTexts[] = {
    {0x01, L"端口打开失败/端口未打开/端口号不合法"},
    {0x02, L"PC接收超时，在规定的时间内未接收到规定长度的数据。"},
    {0x03, L"数据传输错误"},
    {0x05, L"SAM_V串口不可用，SDT_GetCOMBaud"},
    {0x10, L"接收业务终端数据的校验和错"},
    {0x11, L"接收业务终端数据的长度错"},
    {0x21, L"接收业务终端的命令错误"},
    {0x23, L"越权操作"},
    {0x31, L"证/卡证认SAM_V失败"},
    {0x32, L"SAM_V认证证/卡失败"},
    {0x33, L"信息验证错误"},
    {0x40, L"无法识别的卡类型"},
    {0x41, L"读证/卡操作失败"},
    {0x47, L"取随机数失败"},
    {0x60, L"SAM_V自检失败，不能接收命令"},
    {0x66, L"SAM_V没经过授权,无法使用"},  // the library's own ASCII comma
};
constexpr wchar_t kUnknownStatus[] = L"无法识别的错误";

constexpr wchar_t kSdtapi[] = L"sdtapi.dll";
constexpr wchar_t kWltRS[] = L"WltRS.dll";

// call() inside the library under the guard; its result.
template <typename F>
int Call(const wchar_t* library, F&& call) {
  int result = 0;
  win::CallGuarded(library, [&] { result = call(); });
  return result;
}

}  // namespace

std::wstring TempPhotoBase() { return ProgramFile(L"_Temp"); }

bool OpenReader(int port, int rate, std::string& samId) {
  CloseReader(port);
  if (rate != 0) {
    unsigned int current = 0;
    if (Call(kSdtapi, [&] { return SDT_GetCOMBaud(port, &current); }) != kStatusOk) return false;
    const auto wanted = static_cast<unsigned int>(rate);
    if (Call(kSdtapi, [&] { return SDT_SetCOMBaud(port, current, wanted); }) != kStatusOk) return false;
  }
  if (Call(kSdtapi, [&] { return SDT_OpenPort(port); }) != kStatusOk) return false;
  for (int attempt = 0; attempt < 3; ++attempt) {
    // Zeroed, so a library that answers 0x90 and writes nothing gives an empty number.
    char buf[kSamIdBufferBytes] = {};
    if (Call(kSdtapi, [&] { return SDT_GetSAMIDToStr(port, buf, 0); }) == kStatusOk) {
      samId.assign(buf, ::strnlen(buf, sizeof buf));
      return true;
    }
  }
  return false;
}

void CloseReader(int port) {
  Call(kSdtapi, [&] { return SDT_ClosePort(port); });
}

bool ReadCardData(int port, std::u16string& text) {
  const std::wstring base = TempPhotoBase();

  unsigned char findBuf[kFindBufferBytes] = {};
  if (Call(kSdtapi, [&] { return SDT_StartFindMorvid(port, findBuf, 0); }) != kStatusCardFound) return false;

  unsigned char selectBuf[kSelectBufferBytes] = {};
  int status = Call(kSdtapi, [&] { return SDT_SelectMorvid(port, selectBuf, 0); });
  if (status != kStatusOk) {
    ShowReaderError(status);
    return false;
  }

  // Zeroed: the library writes fewer bytes than the buffer holds, and the text is read up
  // to its first NUL, which must not run on into stale stack bytes.
  unsigned char textBuf[kTextBufferBytes] = {};
  unsigned char photoBuf[kPhotoBufferBytes] = {};
  unsigned int textLength = 0;
  unsigned int photoLength = 0;
  status = Call(kSdtapi, [&] { return SDT_ReadBaseMsg(port, textBuf, &textLength, photoBuf, &photoLength, 0); });
  if (status != kStatusOk) {
    ShowReaderError(status);
    return false;
  }

  // A length past the buffer would write bytes the library never gave.
  const DWORD photoBytes = std::min<unsigned int>(photoLength, kPhotoBufferBytes);
  const std::wstring wltPath = base + L".wlt";
  if (const DWORD err = WriteWholeFile(wltPath, photoBuf, photoBytes))
    throw ReaderError(win::FileErrorText(L"无法写入文件", wltPath, err), err);

  // GetBmp reads an ANSI path from a buffer it may rewrite; its answer does not fail the read.
  const std::string ansiPath = qx::win::WideToMulti(wltPath, CP_ACP);
  std::vector<char> pathBuf(std::max<std::size_t>(ansiPath.size() + 1, MAX_PATH), '\0');
  std::copy(ansiPath.begin(), ansiPath.end(), pathBuf.begin());
  Call(kWltRS, [&] { return GetBmp(pathBuf.data(), kGetBmpMode); });

  std::u16string block = qx::card::TextFromUcs2Le(textBuf, sizeof textBuf);
  block.resize(std::min({block.find(u'\0'), block.size(), kCardTextChars}));
  text = std::move(block);
  return true;
}

std::wstring ReaderErrorMessage(int status) {
  const wchar_t* what = kUnknownStatus;
  for (const StatusText& s : kStatusTexts)
    if (s.status == status) what = s.text;
  return L"错误代码" + std::to_wstring(status) + what;
}

void ShowReaderError(int status) {
  ShowMessage(ReaderErrorMessage(status));
}

}  // namespace qx::kestrin
