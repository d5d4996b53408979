// The run-time error report shared by the programs.
#include "win/RunTimeError.h"

#include "card/Utf.h"
#include "win/Text.h"

namespace qx::win {
namespace {

const wchar_t kPrefix[] = L"运行时错误：";

struct FaultName {
  DWORD code;
  const wchar_t* name;
};

constexpr FaultName kFaultNames[] = {
    {EXCEPTION_ACCESS_VIOLATION, L"访问冲突"},
    {EXCEPTION_IN_PAGE_ERROR, L"页面错误"},
    {EXCEPTION_ILLEGAL_INSTRUCTION, L"非法指令"},
    {EXCEPTION_PRIV_INSTRUCTION, L"特权指令"},
    {EXCEPTION_INT_DIVIDE_BY_ZERO, L"整数被零除"},
    {EXCEPTION_INT_OVERFLOW, L"整数溢出"},
    {EXCEPTION_FLT_DIVIDE_BY_ZERO, L"浮点数被零除"},
    {EXCEPTION_ARRAY_BOUNDS_EXCEEDED, L"数组越界"},
    {EXCEPTION_DATATYPE_MISALIGNMENT, L"数据未对齐"},
    {EXCEPTION_STACK_OVERFLOW, L"堆栈溢出"},
    {EXCEPTION_BREAKPOINT, L"断点"},
};

}  // namespace

std::wstring SystemErrorText(DWORD code) {
  if (code == 0) return {};
  wchar_t* buf = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
      reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
  std::wstring text(buf ? buf : L"", buf ? n : 0);
  if (buf) ::LocalFree(buf);
  // The system's texts end in a line end (CR LF, sometimes a blank before it).
  while (!text.empty() && text.back() <= L' ') text.pop_back();
  return text;
}

std::wstring WithSystemReason(std::wstring_view what, DWORD code) {
  return std::wstring(what) + L"。" + SystemErrorText(code);
}

std::wstring FileErrorText(std::wstring_view failed, std::wstring_view path, DWORD code) {
  return WithSystemReason(std::wstring(failed) + L" \"" + std::wstring(path) + L"\"", code);
}

std::wstring FaultText(std::wstring_view library, DWORD code) {
  std::wstring text = std::wstring(library) + L" 中发生";
  if (code == 0) return text + L"异常";
  const wchar_t* name = L"外部异常";
  for (const FaultName& f : kFaultNames)
    if (f.code == code) name = f.name;
  std::wstring hex(8, L'0');
  for (int i = 7; i >= 0; --i, code >>= 4) hex[i] = L"0123456789ABCDEF"[code & 0xF];
  return text + name + L"（0x" + hex + L"）";
}

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
