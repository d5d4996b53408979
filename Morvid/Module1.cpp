// termb.dll bound at run time: the library when it is first needed, each entry point by
// name when it is first called.
#include "Module1.h"

#include <windows.h>

#include <cstring>

#include "reader/ReaderApi.h"
#include "win/RunTimeError.h"
#include "win/Text.h"

namespace Module1 {
namespace {

using qx::win::RunTimeError;

const wchar_t kLibrary[] = L"termb.dll";

HMODULE g_library = nullptr;

HMODULE Library() {
  if (!g_library) {
    g_library = ::LoadLibraryW(kLibrary);
    if (!g_library) throw RunTimeError(std::wstring(L"找不到文件 ") + kLibrary);
  }
  return g_library;
}

// One slot per entry point; Unbind empties them all.
struct Slot {
  const char* name;
  FARPROC proc;
};
Slot g_slots[] = {
    {"InitComm", nullptr},        {"GetSAMID", nullptr},    {"Authenticate", nullptr},
    {"AuthenticateExt", nullptr}, {"Read_Content", nullptr}, {"CloseComm", nullptr},
    {"InitCommExt", nullptr},     {"Read_Content_Path", nullptr}, {"GetPhoto", nullptr},
};
enum SlotIndex { kInitComm, kGetSAMID, kAuthenticate, kAuthenticateExt, kRead_Content,
                 kCloseComm, kInitCommExt, kRead_Content_Path, kGetPhoto };

template <typename Fn>
Fn Bound(SlotIndex i) {
  Slot& s = g_slots[i];
  if (!s.proc) {
    FARPROC p = ::GetProcAddress(Library(), s.name);
    if (!p) {
      throw RunTimeError(kLibrary + std::wstring(L" 中找不到入口点 ") +
                         qx::win::MultiToWide(s.name));
    }
    s.proc = p;
  }
  return reinterpret_cast<Fn>(s.proc);
}

// The library answers in a 32-bit register; the program keeps 16-bit values.
short Short(int v) { return static_cast<short>(v); }

// Longest security-module text taken from the library's buffer.
constexpr std::size_t kMaxSamIdChars = 256;

}  // namespace

short InitComm(short port) { return Short(Bound<InitComm_t>(kInitComm)(port)); }

std::wstring GetSAMID() {
  const char* text = Bound<GetSAMID_t>(kGetSAMID)();
  if (!text) return {};
  return qx::win::MultiToWide(std::string_view(text, ::strnlen(text, kMaxSamIdChars)));
}

short Authenticate() { return Short(Bound<Authenticate_t>(kAuthenticate)()); }
short AuthenticateExt() { return Short(Bound<AuthenticateExt_t>(kAuthenticateExt)()); }
short Read_Content(short mode) { return Short(Bound<Read_Content_t>(kRead_Content)(mode)); }
short CloseComm() { return Short(Bound<CloseComm_t>(kCloseComm)()); }
short InitCommExt() { return Short(Bound<InitCommExt_t>(kInitCommExt)()); }

short Read_Content_Path(char* folder, short mode) {
  return Short(Bound<Read_Content_Path_t>(kRead_Content_Path)(folder, mode));
}

short GetPhoto(char* wltPath) { return Short(Bound<GetPhoto_t>(kGetPhoto)(wltPath)); }

void Unbind() {
  for (Slot& s : g_slots) s.proc = nullptr;
  if (g_library) ::FreeLibrary(g_library);
  g_library = nullptr;
}

}  // namespace Module1
