// The run-time error report shared by the programs.
#include "win/RunTimeError.h"

#include "card/Utf.h"
#include "win/Text.h"

namespace qx::win {
namespace {

const wchar_t kPrefix[] = L"运行时错误：";

}  // namespace

RunTimeError::RunTimeError(std::wstring text)
    : std::runtime_error(WideToUtf8(text)), text_(std::move(text)) {}

std::wstring ErrorText(const std::exception& e) {
  if (const auto* r = dynamic_cast<const RunTimeError*>(&e)) return r->text();
  const std::string what = e.what();
  return card::IsUtf8(what) ? Utf8ToWide(what) : MultiToWide(what, CP_ACP);
}

std::wstring RunTimeErrorText() {
  try {
    throw;
  } catch (const std::exception& e) {
    return kPrefix + ErrorText(e);
  } catch (...) {
    return std::wstring(kPrefix) + L"未知错误";
  }
}

void ShowRunTimeError(HWND owner, const std::wstring& text, const wchar_t* caption) {
  ::MessageBoxW(owner, text.c_str(), caption, MB_OK | MB_ICONSTOP);
}

}  // namespace qx::win
