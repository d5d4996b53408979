// termb.dll, the reader library of the sample program: its entry points, each bound by name
// the first time it is called. A missing library or entry point raises win::RunTimeError.
#pragma once

#include <string>

namespace Module1 {

short InitComm(short port);
// The security-module number, text in the ANSI code page converted to UTF-16.
std::wstring GetSAMID();
short Authenticate();
short AuthenticateExt();
short Read_Content(short mode);
short CloseComm();
// Declared like the others and not called by the program.
short InitCommExt();
short Read_Content_Path(char* folder, short mode);
short GetPhoto(char* wltPath);

// Lets go of the library; the next call binds it afresh (a test starts each case on a
// newly loaded library this way).
void Unbind();

}  // namespace Module1
