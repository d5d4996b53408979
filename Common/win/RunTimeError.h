// The run-time error report: an error that a program's handlers do not handle themselves
// ends in one message box, "运行时错误：" and the error's text, with a stop icon.
#pragma once
#include <windows.h>

#include <stdexcept>
#include <string>
#include <string_view>

namespace qx::win {

// An error raised with a text for the operator (any other std::exception is reported by its
// what()).
class RunTimeError : public std::runtime_error {
 public:
  explicit RunTimeError(std::wstring text);
  const std::wstring& text() const { return text_; }

 private:
  std::wstring text_;
};

// The system's own text for an error code (in the user's language), without the line end it
// carries; empty for 0 and for a code the system has no text for.
std::wstring SystemErrorText(DWORD code);

// An error text that says what failed and why: what, "。", then the system's text for the
// code (nothing after the "。" when there is none).
std::wstring WithSystemReason(std::wstring_view what, DWORD code);

// A file step that failed: the step's words, the file's path in quotes, then the system's reason
// as WithSystemReason gives it: "无法写入文件 "C:\d\reader.ini"。访问被拒绝。".
std::wstring FileErrorText(std::wstring_view failed, std::wstring_view path, DWORD code);

// A fault raised inside an outside library, by its exception code (0: a C++ exception):
// "sdtapi.dll 中发生访问冲突（0xC0000005）".
std::wstring FaultText(std::wstring_view library, DWORD code);

// The text of an error: a RunTimeError's own; else what(), read as UTF-8 or, when it is not
// UTF-8, in the ANSI code page.
std::wstring ErrorText(const std::exception& e);

// The report's text for the error being handled: call it inside a catch block.
std::wstring RunTimeErrorText();

// Shows the report: its text, the caption, OK only, a stop icon.
void ShowRunTimeError(HWND owner, const std::wstring& text, const wchar_t* caption);

// Runs f; an error that escapes it goes to report (a callable taking the report's text) once
// the error is done with, and false is returned.
template <typename F, typename R>
bool RunReportingErrors(F&& f, R&& report) {
  std::wstring text;
  try {
    f();
    return true;
  } catch (...) {
    text = RunTimeErrorText();
  }
  report(text);
  return false;
}

}  // namespace qx::win
