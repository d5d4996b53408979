// What a running process holds, read from outside: kernel handles, GDI and USER objects and
// private bytes. Where the platform does not answer (Wine has no per-process GUI counts, no
// handle count and no private-bytes figure), the figures come from what it does keep: its
// system handle list, the process's GDI handle table, its windows and its anonymous memory.
#pragma once
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>

namespace qx::soak {

struct ProcessUsage {
  std::uint64_t handles = 0;
  std::uint64_t gdiObjects = 0;
  std::uint64_t userObjects = 0;
  std::uint64_t privateBytes = 0;
  // GDI objects by kind ("DC", "font", "type 0x07"), from the handle table's type bytes;
  // empty where the platform's own count was used.
  std::map<std::string, std::uint64_t> gdiByType;
  // How each figure was taken, for the report.
  std::string sources;
};

// process needs PROCESS_QUERY_INFORMATION | PROCESS_VM_READ.
ProcessUsage MeasureProcess(HANDLE process, DWORD pid);

// "handles N, GDI N, USER N, private bytes N".
std::string FormatUsage(const ProcessUsage& u);

}  // namespace qx::soak
