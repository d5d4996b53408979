// QuorixConsoleSim.exe: plays the Quorix console against the card bridge, driven by a command-line script.
#include <windows.h>
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ConsoleSim.h"
#include "Script.h"
#include "win/Text.h"

using namespace qx::consolesim;

namespace {

std::vector<std::string> Arguments() {
  std::vector<std::string> args;
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return args;
  for (int i = 1; i < argc; ++i) args.push_back(qx::win::WideToUtf8(argv[i]));
  LocalFree(argv);
  return args;
}

void PrintLine(FILE* f, const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), f);
  std::fputc('\n', f);
  std::fflush(f);
}

}  // namespace

int main() {
  try {
    // Output is UTF-8 bytes with plain line feeds, whatever the console's code page.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    const ParseResult parsed = ParseScript(Arguments());
    if (!parsed.script) {
      PrintLine(stderr, parsed.error);
      std::fputs(Usage().c_str(), stderr);
      return kExitUsage;
    }
    ConsoleSim sim;
    return RunScript(*parsed.script, sim, [](const std::string& line) { PrintLine(stdout, line); });
  } catch (...) {
    PrintLine(stderr, "FAIL unexpected error");
    return kExitUsage;
  }
}
