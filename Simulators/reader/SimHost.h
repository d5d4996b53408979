// Platform side shared by the three simulator DLLs: paths, files, the journal, scenario reloads, the fault.
#pragma once

#include "ReaderModel.h"

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qx::readersim::host {

// Folder of the simulator DLL itself, and of the process's executable; no trailing backslash.
std::wstring ModuleDir();
std::wstring ExeDir();
std::wstring ScenarioPath();
std::wstring JournalPath();

std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::wstring& path, std::size_t maxBytes);
// Creates or replaces the file.
bool WriteFileBytes(const std::wstring& path, const void* data, std::size_t size);
bool DeleteFileIfThere(const std::wstring& path);

// UTF-8 text in code page 936, cut at maxBytes without splitting a double-byte character.
std::string GbkFromUtf8(std::string_view text, std::size_t maxBytes);

// A caller's NUL-terminated ANSI text, read no further than maxBytes.
std::optional<std::string_view> CallerText(const char* text, std::size_t maxBytes);

// The scripted fault: a write through a null pointer. Returns only if a handler
// resumes after it.
void RaiseAccessViolation();

// One call into the library: holds the library's lock, with the scenario brought up to date.
class Session {
 public:
  Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  ReaderModel& model();
  // "call = result" for sdtapi (hex) or the other libraries (decimal), "= fault" for a fault.
  void Journal(const std::string& call, const Outcome& o, bool hex);
  void JournalText(const std::string& call, std::string_view result);

 private:
  std::unique_lock<std::mutex> lock_;
};

// Runs one exported call: C++ exceptions end at this boundary with onError, and a
// scripted fault is raised only after the session (and its lock) is gone.
struct Reply {
  int result = 0;
  bool fault = false;
};

template <class Body>
int RunExport(int onError, Body&& body) {
  Reply reply{onError, false};
  try {
    reply = body();
  } catch (...) {
    reply = Reply{onError, false};
  }
  if (reply.fault) {
    RaiseAccessViolation();
    return onError;
  }
  return reply.result;
}

}  // namespace qx::readersim::host
