// The desk's program: its title, the start-up sequence, the framework's plain and error
// message boxes, and the handler boundary that turns an error into the default message.
#pragma once
#include <windows.h>

#include <exception>
#include <stdexcept>
#include <string>

namespace qx::kestrin {

class TdataMd;
class TForm_main;

inline constexpr wchar_t kAppTitle[] = L"Tesmo二代身份验证";
inline constexpr wchar_t kAppWindowClass[] = L"TApplication";
inline constexpr wchar_t kMutexName[] = L"Vuv";

// The data module of the running program (null before start-up created it, and in tests
// that make their windows alone).
extern TdataMd* dataMd;

// The whole start-up, loop and exit; the process's exit code.
int RunKestrin(int cmdShow);

// Sizes a dialog to a client area in pixels and centres it on the screen.
void PlaceDialog(HWND dlg, int clientWidth, int clientHeight);

// A file in the executable's folder.
std::wstring ProgramFile(const wchar_t* name);

// "reader.ini" in the executable's folder, through the private-profile calls: a missing
// file, section or key reads as fallback; writing creates what is missing.
std::wstring ReadReaderIni(const wchar_t* section, const wchar_t* key, const wchar_t* fallback);
void WriteReaderIni(const wchar_t* section, const wchar_t* key, const std::wstring& value);

// A text that is no decimal integer; the message is the one the operator sees.
class ConvertError : public std::runtime_error {
 public:
  explicit ConvertError(std::wstring message);
  const std::wstring& message() const { return message_; }

 private:
  std::wstring message_;
};

// Optional sign and decimal digits, nothing else, within 32 bits; else ConvertError
// with the text "'<text>' 不是有效的整数值".
int StrToInt(const std::wstring& text);

// A message box with one OK button, no icon, the program's title as caption, owned by the
// active window of the thread.
void ShowMessage(const std::wstring& text);
// The default error message: the error's text, the program's title, a stop icon.
void ShowDefaultError(const std::wstring& text);
std::wstring ErrorText(const std::exception& e);

// Runs an event handler; an error it raises ends it and reaches the default error message.
template <typename F>
void RunHandler(F&& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    ShowDefaultError(ErrorText(e));
  } catch (...) {
    ShowDefaultError(L"未知错误");
  }
}

}  // namespace qx::kestrin
