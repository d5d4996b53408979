// Child process of the simulator tests: loads one simulator DLL and makes the calls named on its command line.
//   reader_sim_caller.exe DLL CALL...   CALL is NAME or NAME:ARG[:ARG...], e.g. InitComm:1001
// Exit code 0 when every call returned, 2 bad usage, 3 the DLL or an entry point is missing;
// an exception raised inside the DLL ends the process with its exception code.
#include "reader/ReaderApi.h"

#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

namespace {

LONG WINAPI EndWithExceptionCode(EXCEPTION_POINTERS* info) {
  // No debugger, no dialog: the test reads the code from the exit status.
  TerminateProcess(GetCurrentProcess(), info->ExceptionRecord->ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

std::string Ansi(const std::wstring& w) {
  const int n = WideCharToMultiByte(CP_ACP, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n : 1, '\0');
  WideCharToMultiByte(CP_ACP, 0, w.c_str(), -1, &out[0], n, nullptr, nullptr);
  out.resize(out.size() - 1);
  return out;
}

std::vector<std::wstring> Split(const std::wstring& s) {
  std::vector<std::wstring> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t colon = s.find(L':', start);
    parts.push_back(s.substr(start, colon - start));
    if (colon == std::wstring::npos) break;
    start = colon + 1;
    // A path argument keeps its drive colon: "GetBmp:Z:\x\y.wlt".
    if (parts.size() == 1 && (parts[0] == L"GetBmp" || parts[0] == L"GetPhoto")) {
      parts.push_back(s.substr(start));
      break;
    }
  }
  return parts;
}

int Int(const std::vector<std::wstring>& p, std::size_t i) { return i < p.size() ? _wtoi(p[i].c_str()) : 0; }

template <class F>
F Entry(HMODULE m, const char* name) {
  F f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m, name)));
  if (f == nullptr) ExitProcess(3);
  return f;
}

int Call(HMODULE m, const std::vector<std::wstring>& p) {
  const std::wstring& name = p[0];
  const int port = Int(p, 1);
  unsigned char find[101] = {};
  static unsigned char text[1001];
  static unsigned char photo[204800];
  unsigned int textLen = 1000;
  unsigned int photoLen = sizeof photo;
  char samid[1001] = {};
  unsigned int baud = 0;
  if (name == L"SDT_OpenPort") return Entry<SDT_OpenPort_t>(m, "SDT_OpenPort")(port);
  if (name == L"SDT_ClosePort") return Entry<SDT_ClosePort_t>(m, "SDT_ClosePort")(port);
  if (name == L"SDT_StartFindMorvid") return Entry<SDT_StartFindMorvid_t>(m, "SDT_StartFindMorvid")(port, find, 0);
  if (name == L"SDT_SelectMorvid") return Entry<SDT_SelectMorvid_t>(m, "SDT_SelectMorvid")(port, find, 0);
  if (name == L"SDT_ReadBaseMsg") {
    return Entry<SDT_ReadBaseMsg_t>(m, "SDT_ReadBaseMsg")(port, text, &textLen, photo, &photoLen, 0);
  }
  if (name == L"SDT_GetSAMIDToStr") return Entry<SDT_GetSAMIDToStr_t>(m, "SDT_GetSAMIDToStr")(port, samid, 0);
  if (name == L"SDT_GetCOMBaud") return Entry<SDT_GetCOMBaud_t>(m, "SDT_GetCOMBaud")(port, &baud);
  if (name == L"SDT_SetCOMBaud") {
    return Entry<SDT_SetCOMBaud_t>(m, "SDT_SetCOMBaud")(port, Int(p, 2), Int(p, 3));
  }
  if (name == L"GetBmp" || name == L"GetPhoto") {
    char path[501] = {};
    const std::string a = p.size() > 1 ? Ansi(p[1]) : std::string();
    lstrcpynA(path, a.c_str(), 500);
    if (name == L"GetBmp") return Entry<GetBmp_t>(m, "GetBmp")(path, 2);
    return Entry<GetPhoto_t>(m, "GetPhoto")(path);
  }
  if (name == L"InitComm") return Entry<InitComm_t>(m, "InitComm")(port);
  if (name == L"InitCommExt") return Entry<InitCommExt_t>(m, "InitCommExt")();
  if (name == L"CloseComm") return Entry<CloseComm_t>(m, "CloseComm")();
  if (name == L"Authenticate") return Entry<Authenticate_t>(m, "Authenticate")();
  if (name == L"AuthenticateExt") return Entry<AuthenticateExt_t>(m, "AuthenticateExt")();
  if (name == L"Read_Content") return Entry<Read_Content_t>(m, "Read_Content")(port);
  if (name == L"GetSAMID") return Entry<GetSAMID_t>(m, "GetSAMID")() != nullptr;
  ExitProcess(2);
}

}  // namespace

int main() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  SetUnhandledExceptionFilter(EndWithExceptionCode);
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr || argc < 2) return 2;
  HMODULE dll = LoadLibraryW(argv[1]);
  if (dll == nullptr) return 3;
  for (int i = 2; i < argc; ++i) Call(dll, Split(argv[i]));
  FreeLibrary(dll);
  LocalFree(argv);
  return 0;
}
