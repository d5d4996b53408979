// Kestrin's door to the card reader: port, one card read into a text and photo files, and
// reader status messages.
#pragma once

#include <string>
#include <utility>

#include "win/RunTimeError.h"

namespace qx::kestrin {

// A photo file the unit could not write.
class ReaderError : public win::RunTimeError {
 public:
  ReaderError(std::wstring text, unsigned long code) : win::RunTimeError(std::move(text)), code_(code) {}
  // The system's error code when one is known, else 0.
  unsigned long Code() const { return code_; }

 private:
  unsigned long code_;
};

// Base of the two photo files, in the executable's folder: "_Temp.wlt" and "_Temp.bmp".
std::wstring TempPhotoBase();

// Closes the port, sets the rate (0: leave it), opens the port and reads the security-module
// number (code page 936 text), giving the module three tries. samId is only written on success.
bool OpenReader(int port, int rate, std::string& samId);
void CloseReader(int port);

// One card: false silently when no card is found; false after a message box when the select
// or read fails. On true, text holds the card text block (at most 120 characters) and
// "_Temp.wlt" the packed photo, which GetBmp has been asked to decode into "_Temp.bmp".
// A photo file that cannot be written raises ReaderError; a fault inside a reader library
// raises win::RunTimeError naming it and the library.
bool ReadCardData(int port, std::u16string& text);

// "错误代码" + the status in decimal + the status's text.
std::wstring ReaderErrorMessage(int status);
// The message in a modal box with one OK button (ShowMessage).
void ShowReaderError(int status);

}  // namespace qx::kestrin
