// What every unit of the desk shares: the program's title, its files beside the executable,
// "reader.ini", the GBK texts of its windows, the framework's message boxes and the handler
// boundary that turns an error into the default error message.
#pragma once
#include <windows.h>

#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qx::kestrin {

inline constexpr wchar_t kAppTitle[] = L"Tesmo二代身份验证";

// A file in the executable's folder.
std::wstring ProgramFile(const wchar_t* name);

// "reader.ini" in the executable's folder, through the private-profile calls: a missing
// file, section or key reads as fallback; writing creates what is missing.
std::wstring ReadReaderIni(const wchar_t* section, const wchar_t* key, const wchar_t* fallback);
void WriteReaderIni(const wchar_t* section, const wchar_t* key, const std::wstring& value);

// The desk's texts are code page 936 whatever the system's ANSI code page.
std::string Gbk(std::wstring_view text);
std::wstring FromGbk(std::string_view gbk);

// A text that is no decimal integer. Its message, the one the operator sees, is
// "'<text>' 不是有效的整数值".
class ConvertError : public std::runtime_error {
 public:
  explicit ConvertError(std::wstring_view text);
  const std::wstring& Message() const { return message_; }

 private:
  std::wstring message_;
};

// Optional sign and decimal digits, nothing else, within 32 bits; else ConvertError.
int StrToInt(const std::wstring& text);

// A message box with one OK button, no icon, the program's title as caption, owned by the
// active window of the thread.
void ShowMessage(const std::wstring& text);
// The default error message: the error's text, the program's title, a stop icon.
void ShowDefaultError(const std::wstring& text);
// Texts of the libraries are UTF-8; the desk's own are code page 936.
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
