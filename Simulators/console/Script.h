// Command-line scripts of QuorixConsoleSim.exe: parsing and running the steps in order.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ConsoleSim.h"

namespace qx::consolesim {

enum ExitCode : int {
  kExitOk = 0,
  kExitUsage = 1,
  kExitNoBridge = 2,
  kExitSendFailed = 3,
  kExitExpectTimeout = 4,
  kExitBridgeStillThere = 5,
  kExitWindows = 6,
  kExitRecordFile = 7,
};

struct Step {
  enum class Kind {
    Windows, Destroy, WaitBridge, Handshake, HandshakeNone, Query, Scan, ScanData, CopyData,
    Sleep, Expect, Close, WaitGone,
  };
  Kind kind = Kind::Sleep;
  unsigned mask = 0;             // Windows, Destroy
  unsigned ms = 0;               // WaitBridge, Sleep, Expect (time-out), WaitGone
  size_t count = 0;              // Expect
  ULONG_PTR dwData = 0;          // CopyData
  std::vector<uint8_t> bytes;    // Handshake (GBK text + NUL), ScanData, CopyData
  std::string label;             // what the output line shows
};

struct Script {
  std::vector<Step> steps;
  std::string recordPath;  // UTF-8; empty: no record file
};

struct ParseResult {
  std::optional<Script> script;
  std::string error;
};

// Arguments in UTF-8, without the program name. Texts are sent as GBK.
ParseResult ParseScript(const std::vector<std::string>& args);
std::string Usage();

// Runs the steps in order, stopping at the first that fails; each output line goes to out.
int RunScript(const Script& script, ConsoleSim& sim, const std::function<void(const std::string&)>& out);

}  // namespace qx::consolesim
