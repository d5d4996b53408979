// What every unit of the desk shares: the program's title, its files beside the executable,
// "reader.ini", the GBK texts of its windows, the framework's message boxes, the handler
// boundary that turns an error into the default error message, and the run-time's report of
// an error at start-up.
#pragma once
#include <windows.h>

#include <exception>
#include <string>
#include <string_view>

#include "win/RunTimeError.h"

namespace qx::kestrin {

inline constexpr wchar_t kAppTitle[] = L"Tesmo二代身份验证";

// A file in the executable's folder.
std::wstring ProgramFile(const wchar_t* name);

// "reader.ini" in the executable's folder, through the private-profile calls: a missing
// file, section or key reads as fallback; writing creates what is missing, and a write that
// fails raises win::RunTimeError naming the file and the system's reason.
std::wstring ReadReaderIni(const wchar_t* section, const wchar_t* key, const wchar_t* fallback);
void WriteReaderIni(const wchar_t* section, const wchar_t* key, const std::wstring& value);

// The desk's texts are code page 936 whatever the system's ANSI code page.
std::string Gbk(std::wstring_view text);
std::wstring FromGbk(std::string_view gbk);

// A text that is no decimal integer; its text for the operator is "'<text>' 不是有效的整数值".
class ConvertError : public win::RunTimeError {
 public:
  explicit ConvertError(std::wstring_view text);
};

// Optional sign and decimal digits, nothing else, within 32 bits; else ConvertError.
int StrToInt(const std::wstring& text);

// The owner of the desk's message boxes: the thread's active window, else (the desk not in the
// foreground, during automatic verification) the program's main window, so that a box is
// modal to the desk whenever it shows.
HWND MessageOwner();
// A message box with one OK button, no icon, the program's title as caption, owned by
// MessageOwner().
void ShowMessage(const std::wstring& text);
// The framework's default error message: the error's text alone, the program's title, a
// stop icon; owned by MessageOwner().
void ShowDefaultError(const std::wstring& text);

// The boundary of every event handler of the desk's windows: an error it raises ends it and
// reaches the default error message with the error's text (win::ErrorText).
template <typename F>
void RunHandler(F&& handler) {
  std::wstring text;
  try {
    handler();
    return;
  } catch (const std::exception& e) {
    text = win::ErrorText(e);
  } catch (...) {
    text = L"未知错误";
  }
  ShowDefaultError(text);
}

// The run-time's report of an error at start-up, before any window can show one:
// "运行时错误：" and the error's text. Call it inside a catch block.
void ShowStartUpError();

}  // namespace qx::kestrin
