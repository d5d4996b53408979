// Per-process resource figures, with the fall-backs Wine needs.
#include "ProcessUsage.h"

#include <psapi.h>
#include <winternl.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <vector>

namespace qx::soak {
namespace {

// NtQuerySystemInformation(SystemHandleInformation): one entry per open handle of the system.
constexpr ULONG kSystemHandleInformation = 16;
constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);
struct HandleEntry {
  ULONG ownerPid;
  BYTE objectType;
  BYTE flags;
  USHORT value;
  PVOID object;
  ACCESS_MASK access;
};
struct HandleList {
  ULONG count;
  HandleEntry entries[1];
};
using NtQuerySystemInformationFn = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
using NtQueryInformationProcessFn = LONG(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);

FARPROC NtEntry(const char* name) { return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), name); }

std::uint64_t HandlesFromSystemList(DWORD pid) {
  auto query = reinterpret_cast<NtQuerySystemInformationFn>(NtEntry("NtQuerySystemInformation"));
  if (!query) return 0;
  static std::vector<std::uint8_t> buf(1 << 20);
  for (;;) {
    ULONG needed = 0;
    const LONG status = query(kSystemHandleInformation, buf.data(), static_cast<ULONG>(buf.size()), &needed);
    if (status == kStatusInfoLengthMismatch) {
      buf.resize(std::max<std::size_t>(buf.size() * 2, needed + 4096));
      continue;
    }
    if (status < 0) return 0;
    break;
  }
  const auto* list = reinterpret_cast<const HandleList*>(buf.data());
  std::uint64_t n = 0;
  for (ULONG i = 0; i < list->count; ++i)
    if (list->entries[i].ownerPid == pid) ++n;
  return n;
}

// The GDI handle table the process's PEB points to: 65536 entries; Wine keeps one per process
// with 64-bit fields in both builds, an entry in use having a type.
constexpr std::size_t kGdiEntries = 0x10000;
constexpr std::size_t kGdiEntryBytes = 24;
constexpr std::size_t kGdiTypeOffset = 14;
#ifdef _WIN64
constexpr std::size_t kPebGdiTable = 0xF8;
#else
constexpr std::size_t kPebGdiTable = 0x94;
#endif

// Type bytes of the handle table's entries, as measured under Wine 8 by creating one object
// of each kind (pens share the brushes' byte; 0x05 comes with every DC).
const char* GdiTypeName(std::uint8_t type) {
  switch (type) {
    case 0x01: return "DC";
    case 0x04: return "region";
    case 0x08: return "palette";
    case 0x09: return "bitmap";
    case 0x0a: return "font";
    case 0x10: return "brush/pen";
    default: return nullptr;
  }
}

std::uint64_t GdiFromHandleTable(HANDLE process, std::map<std::string, std::uint64_t>* byKind) {
  auto query = reinterpret_cast<NtQueryInformationProcessFn>(NtEntry("NtQueryInformationProcess"));
  if (!query) return 0;
  PROCESS_BASIC_INFORMATION basic{};
  if (query(process, 0, &basic, sizeof basic, nullptr) < 0 || !basic.PebBaseAddress) return 0;
  void* table = nullptr;
  SIZE_T got = 0;
  if (!::ReadProcessMemory(process, reinterpret_cast<const std::uint8_t*>(basic.PebBaseAddress) + kPebGdiTable,
                           &table, sizeof table, &got) ||
      !table)
    return 0;
  // Read after every round of a soak: kept rather than allocated each time.
  static std::vector<std::uint8_t> entries(kGdiEntries * kGdiEntryBytes);
  if (!::ReadProcessMemory(process, table, entries.data(), entries.size(), &got)) return 0;
  std::uint64_t n = 0;
  std::uint64_t byType[256] = {};
  for (std::size_t i = 0; i < got / kGdiEntryBytes; ++i) {
    const std::uint8_t type = entries[i * kGdiEntryBytes + kGdiTypeOffset];
    if (type == 0) continue;
    ++n;
    ++byType[type];
  }
  for (int t = 1; t < 256; ++t) {
    if (!byType[t]) continue;
    const char* name = GdiTypeName(static_cast<std::uint8_t>(t));
    char other[16];
    std::snprintf(other, sizeof other, "type 0x%02x", t);
    (*byKind)[name ? name : other] += byType[t];
  }
  return n;
}

struct WindowCount {
  DWORD pid;
  std::uint64_t n;
};

BOOL CALLBACK CountChild(HWND w, LPARAM lp) {
  auto* c = reinterpret_cast<WindowCount*>(lp);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(w, &owner);
  if (owner == c->pid) ++c->n;
  return TRUE;
}

BOOL CALLBACK CountTop(HWND w, LPARAM lp) {
  auto* c = reinterpret_cast<WindowCount*>(lp);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(w, &owner);
  if (owner == c->pid) ++c->n;
  ::EnumChildWindows(w, &CountChild, lp);  // every descendant
  return TRUE;
}

// Top-level, child and message-only windows of the process.
std::uint64_t WindowsOf(DWORD pid) {
  WindowCount c{pid, 0};
  ::EnumWindows(&CountTop, reinterpret_cast<LPARAM>(&c));
  for (HWND w = nullptr; (w = ::FindWindowExW(HWND_MESSAGE, w, nullptr, nullptr)) != nullptr;)
    CountTop(w, reinterpret_cast<LPARAM>(&c));
  return c.n;
}

}  // namespace

ProcessUsage MeasureProcess(HANDLE process, DWORD pid) {
  ProcessUsage u;
  DWORD handles = 0;
  if (::GetProcessHandleCount(process, &handles) && handles > 0) {
    u.handles = handles;
    u.sources += "handles: GetProcessHandleCount; ";
  } else {
    u.handles = HandlesFromSystemList(pid);
    u.sources += "handles: system handle list; ";
  }

  ::SetLastError(0);
  const DWORD gdi = ::GetGuiResources(process, GR_GDIOBJECTS);
  if (gdi > 0 || ::GetLastError() == 0) {
    u.gdiObjects = gdi;
    u.userObjects = ::GetGuiResources(process, GR_USEROBJECTS);
    u.sources += "GDI/USER: GetGuiResources; ";
  } else {
    u.gdiObjects = GdiFromHandleTable(process, &u.gdiByType);
    u.userObjects = WindowsOf(pid);
    u.sources += "GDI: the process's GDI handle table; USER: its windows; ";
  }

  PROCESS_MEMORY_COUNTERS_EX m{};
  m.cb = sizeof m;
  if (::GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&m), sizeof m)) {
    if (m.PrivateUsage > 0) {
      u.privateBytes = m.PrivateUsage;
      u.sources += "private bytes: PrivateUsage";
    } else {
      // Wine fills the page-file figure from the process's anonymous resident and swapped memory.
      u.privateBytes = m.PagefileUsage;
      u.sources += "private bytes: PagefileUsage (anonymous memory)";
    }
  }
  return u;
}

std::string FormatUsage(const ProcessUsage& u) {
  return "handles " + std::to_string(u.handles) + ", GDI " + std::to_string(u.gdiObjects) + ", USER " +
         std::to_string(u.userObjects) + ", private bytes " + std::to_string(u.privateBytes);
}

}  // namespace qx::soak
