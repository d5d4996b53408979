// A deliberately incomplete termb.dll for Morvid's process tests: port 1 answers, every card
// check finds a card, a latest-address read succeeds without leaving "newadd.txt" (an old
// one is removed), and AuthenticateExt is not exported at all.
#include <windows.h>

extern "C" {

__declspec(dllexport) int __stdcall InitComm(int port) { return port == 1 ? 1 : 0; }
__declspec(dllexport) const char* __stdcall GetSAMID(void) { return ""; }
__declspec(dllexport) int __stdcall Authenticate(void) { return 1; }
__declspec(dllexport) int __stdcall CloseComm(void) { return 1; }

__declspec(dllexport) int __stdcall Read_Content(int mode) {
  if (mode != 3) return 0;
  ::DeleteFileW(L"newadd.txt");
  return 1;
}

}  // extern "C"
