// The desk's shared helpers: its files, its texts, its message boxes and errors.
#include "Program.h"

#include <climits>
#include <iterator>

#include "win/App.h"
#include "win/Text.h"

namespace qx::kestrin {

std::wstring ProgramFile(const wchar_t* name) { return win::ModuleDirW() + L"\\" + name; }

std::wstring ReadReaderIni(const wchar_t* section, const wchar_t* key, const wchar_t* fallback) {
  const std::wstring file = ProgramFile(L"reader.ini");
  wchar_t buf[2048];
  const DWORD n = ::GetPrivateProfileStringW(section, key, fallback, buf, static_cast<DWORD>(std::size(buf)),
                                             file.c_str());
  return std::wstring(buf, n);
}

void WriteReaderIni(const wchar_t* section, const wchar_t* key, const std::wstring& value) {
  const std::wstring file = ProgramFile(L"reader.ini");
  if (!::WritePrivateProfileStringW(section, key, value.c_str(), file.c_str()))
    throw win::RunTimeError(win::FileErrorText(L"无法写入文件", file, ::GetLastError()));
}

std::string Gbk(std::wstring_view text) { return win::WideToMulti(text, win::kGbkCodePage); }

std::wstring FromGbk(std::string_view gbk) { return win::MultiToWide(gbk, win::kGbkCodePage); }

ConvertError::ConvertError(std::wstring_view text)
    : win::RunTimeError(L"'" + std::wstring(text) + L"' 不是有效的整数值") {}

int StrToInt(const std::wstring& text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
  long long value = 0;
  const size_t digits = i;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    value = value * 10 + (text[i] - L'0');
    if (value > static_cast<long long>(INT_MAX) + 1) break;
  }
  const long long v = negative ? -value : value;
  if (i == digits || i != text.size() || v > INT_MAX || v < INT_MIN) throw ConvertError(text);
  return static_cast<int>(v);
}

HWND MessageOwner() {
  if (HWND active = ::GetActiveWindow()) return active;
  const win::App* app = win::App::Current();
  return app ? app->MainHwnd() : nullptr;
}

void ShowMessage(const std::wstring& text) {
  ::MessageBoxW(MessageOwner(), text.c_str(), kAppTitle, MB_OK);
}

void ShowDefaultError(const std::wstring& text) {
  ::MessageBoxW(MessageOwner(), text.c_str(), kAppTitle, MB_OK | MB_ICONSTOP);
}

void ShowStartUpError() {
  // No window of the program is up yet, so the box has no owner.
  win::ShowRunTimeError(nullptr, win::RunTimeErrorText(), kAppTitle);
}

}  // namespace qx::kestrin
