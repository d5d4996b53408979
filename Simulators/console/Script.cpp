// Parsing and running the simulator's command-line scripts.
#include "Script.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>

#include "SimText.h"
#include "card/Packets.h"
#include "win/Text.h"

namespace qx::consolesim {
namespace {

constexpr unsigned kDefaultExpectMs = 10000;
constexpr size_t kMaxPayload = 1 << 20;

std::optional<unsigned long long> ParseNumber(const std::string& s) {
  if (s.empty() || s.size() > 12) return std::nullopt;
  unsigned long long v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + static_cast<unsigned>(c - '0');
  }
  return v;
}

std::pair<std::string, std::optional<std::string>> SplitFirstComma(const std::string& s) {
  const size_t comma = s.find(',');
  if (comma == std::string::npos) return {s, std::nullopt};
  return {s.substr(0, comma), s.substr(comma + 1)};
}

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};

class Runner {
 public:
  Runner(ConsoleSim& sim, const std::function<void(const std::string&)>& out, FILE* record)
      : sim_(sim), out_(out), record_(record) {}

  int Run(const std::vector<Step>& steps) {
    for (const Step& s : steps) {
      const int rc = RunStep(s);
      Drain();
      if (rc != kExitOk) return rc;
    }
    return kExitOk;
  }

  // Prints (and records) every message that arrived since the last call.
  void Drain() {
    const std::vector<Record> all = sim_.Records();
    for (; printed_ < all.size(); ++printed_) {
      const Record& r = all[printed_];
      const std::string view = Describe(r);
      char head[160];
      std::snprintf(head, sizeof head, "t=%u window=%s dwData=%llu cbData=%lu", r.ms, r.window.c_str(),
                    static_cast<unsigned long long>(r.dwData), static_cast<unsigned long>(r.cbData));
      out_(std::string("received ") + head + ": " + view);
      if (record_) {
        std::fprintf(record_, "t=%u\twindow=%s\tdwData=%llu\tcbData=%lu\thex=%s\tview=%s\n", r.ms,
                     r.window.c_str(), static_cast<unsigned long long>(r.dwData),
                     static_cast<unsigned long>(r.cbData), HexBytes(r.bytes.data(), r.bytes.size()).c_str(),
                     view.c_str());
        std::fflush(record_);
      }
    }
  }

 private:
  // Waits up to ms, printing arrivals as they come; stops early when done() holds.
  template <typename Done>
  bool WaitFor(unsigned ms, Done done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      Drain();
      if (done()) return true;
      const auto now = std::chrono::steady_clock::now();
      if (now >= end) return false;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count();
      sim_.WaitForRecords(printed_ + 1, static_cast<unsigned>(std::min<long long>(left, 20)));
    }
  }

  int SendStep(const Step& s, const std::optional<LRESULT>& answer) {
    if (!answer) {
      out_("FAIL " + s.label + ": " +
           (sim_.LastSendError() == ERROR_INVALID_WINDOW_HANDLE ? std::string("no bridge window")
                                                                : "no answer (error " +
                                                                      std::to_string(sim_.LastSendError()) + ")"));
      return kExitSendFailed;
    }
    out_(s.label + ": answer=" + std::to_string(static_cast<long long>(*answer)));
    return kExitOk;
  }

  int RunStep(const Step& s) {
    using K = Step::Kind;
    switch (s.kind) {
      case K::Windows: {
        const unsigned now = sim_.CreateWindows(s.mask);
        if ((now & s.mask) != s.mask) {
          out_("FAIL " + s.label + ": could not create " + WindowListText(s.mask & ~now));
          return kExitWindows;
        }
        out_(s.label + ": windows now " + WindowListText(now));
        return kExitOk;
      }
      case K::Destroy:
        out_(s.label + ": windows now " + WindowListText(sim_.DestroyWindows(s.mask)));
        return kExitOk;
      case K::WaitBridge: {
        HWND h = ConsoleSim::FindBridge(s.ms);
        if (!h) {
          out_("FAIL " + s.label + ": no bridge window");
          return kExitNoBridge;
        }
        out_(s.label + ": bridge found");
        return kExitOk;
      }
      case K::Handshake:
        return SendStep(s, sim_.CopyData(card::CDS_HARDWARE_CHECK, s.bytes));
      case K::HandshakeNone:
        return SendStep(s, sim_.SendHandshake(std::nullopt));
      case K::Query:
        return SendStep(s, sim_.QueryStatus());
      case K::Scan:
        return SendStep(s, sim_.ScanRequest());
      case K::ScanData:
        return SendStep(s, sim_.ScanRequestData(s.bytes));
      case K::CopyData:
        return SendStep(s, sim_.CopyData(s.dwData, s.bytes));
      case K::Close:
        return SendStep(s, sim_.Close());
      case K::Sleep:
        WaitFor(s.ms, [] { return false; });
        out_(s.label + ": done");
        return kExitOk;
      case K::Expect: {
        const bool ok = WaitFor(s.ms, [&] { return printed_ >= s.count; });
        if (!ok) {
          out_("FAIL " + s.label + ": " + std::to_string(printed_) + " received");
          return kExitExpectTimeout;
        }
        out_(s.label + ": " + std::to_string(printed_) + " received");
        return kExitOk;
      }
      case K::WaitGone: {
        if (!WaitFor(s.ms, [] { return FindWindowA(nullptr, kBridgeTitle) == nullptr; })) {
          out_("FAIL " + s.label + ": bridge window still there");
          return kExitBridgeStillThere;
        }
        out_(s.label + ": bridge window gone");
        return kExitOk;
      }
    }
    return kExitUsage;
  }

  ConsoleSim& sim_;
  const std::function<void(const std::string&)>& out_;
  FILE* record_;
  size_t printed_ = 0;
};

}  // namespace

std::string Usage() {
  return "usage: QuorixConsoleSim.exe STEP...  (steps run in order)\n"
         "  --windows LIST        create console windows: CheckCard,NewMember,Register,VirtualReader or all\n"
         "  --destroy LIST        destroy console windows\n"
         "  --record FILE         append every received message to FILE\n"
         "  --wait-bridge MS      wait for HardwareCtrlWnd_Morvid2Reader (exit 2 when absent)\n"
         "  --handshake TEXT      WM_COPYDATA 999 with TEXT and its NUL\n"
         "  --handshake-hex HEX   WM_COPYDATA 999 with exactly these bytes\n"
         "  --handshake-none      WM_COPYDATA 999 without payload\n"
         "  --query               message 6446, prints the answer\n"
         "  --scan                message 6448\n"
         "  --scan-data N[,TYPE]  WM_COPYDATA 6448 with N bytes, TYPE at offset 8\n"
         "  --copydata D[,HEX]    WM_COPYDATA D with these bytes (none: no payload)\n"
         "  --sleep MS            wait, printing what arrives\n"
         "  --expect N            wait until N messages were received in all\n"
         "  --timeout MS          time-out of the --expect before it (else of the ones after; 10000)\n"
         "  --close               WM_CLOSE to the bridge\n"
         "  --wait-gone MS        wait until the bridge window is gone\n"
         "exit codes: 0 ok, 1 usage, 2 no bridge, 3 send failed, 4 expect timed out,\n"
         "            5 bridge still there, 6 windows not created, 7 record file\n";
}

ParseResult ParseScript(const std::vector<std::string>& args) {
  Script script;
  unsigned defaultExpectMs = kDefaultExpectMs;
  auto fail = [](std::string e) { return ParseResult{std::nullopt, std::move(e)}; };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& opt = args[i];
    auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= args.size()) return std::nullopt;
      return args[++i];
    };
    auto msValue = [&]() -> std::optional<unsigned> {
      const auto v = value();
      if (!v) return std::nullopt;
      const auto n = ParseNumber(*v);
      if (!n || *n > 0x7FFFFFFF) return std::nullopt;
      return static_cast<unsigned>(*n);
    };
    Step s;
    s.label = opt.size() > 2 ? opt.substr(2) : opt;
    using K = Step::Kind;
    if (opt == "--windows" || opt == "--destroy") {
      const auto v = value();
      const auto mask = v ? ParseWindowList(*v) : std::nullopt;
      if (!mask) return fail(opt + " needs a list of CheckCard, NewMember, Register, VirtualReader");
      s.kind = opt == "--windows" ? K::Windows : K::Destroy;
      s.mask = *mask;
      s.label += " " + WindowListText(*mask);
    } else if (opt == "--record") {
      const auto v = value();
      if (!v || v->empty()) return fail("--record needs a file");
      script.recordPath = *v;
      continue;
    } else if (opt == "--wait-bridge" || opt == "--sleep" || opt == "--wait-gone") {
      const auto ms = msValue();
      if (!ms) return fail(opt + " needs milliseconds");
      s.kind = opt == "--wait-bridge" ? K::WaitBridge : opt == "--sleep" ? K::Sleep : K::WaitGone;
      s.ms = *ms;
      s.label += " " + std::to_string(*ms);
    } else if (opt == "--handshake") {
      const auto v = value();
      if (!v) return fail("--handshake needs a text");
      const std::string gbk = win::Utf8ToGbk(*v);
      s.kind = K::Handshake;
      s.bytes.assign(gbk.begin(), gbk.end());
      s.bytes.push_back(0);
      s.label += " " + QuoteGbk(gbk);
    } else if (opt == "--handshake-hex") {
      const auto v = value();
      const auto bytes = v ? ParseHex(*v) : std::nullopt;
      if (!bytes) return fail("--handshake-hex needs hex bytes");
      s.kind = K::Handshake;
      s.bytes = *bytes;
      s.label += " " + *v;
    } else if (opt == "--handshake-none") {
      s.kind = K::HandshakeNone;
    } else if (opt == "--query") {
      s.kind = K::Query;
    } else if (opt == "--scan") {
      s.kind = K::Scan;
    } else if (opt == "--close") {
      s.kind = K::Close;
    } else if (opt == "--scan-data") {
      const auto v = value();
      if (!v) return fail("--scan-data needs N[,CERTTYPE]");
      const auto [sizeText, certType] = SplitFirstComma(*v);
      const auto n = ParseNumber(sizeText);
      if (!n || *n > kMaxPayload) return fail("--scan-data needs a byte count");
      const std::string gbk = certType ? win::Utf8ToGbk(*certType) : std::string();
      s.kind = K::ScanData;
      s.bytes = card::BuildScanRequestData(static_cast<size_t>(*n), gbk);
      s.label += " " + std::to_string(*n) + (certType ? " " + QuoteGbk(gbk) : std::string());
    } else if (opt == "--copydata") {
      const auto v = value();
      if (!v) return fail("--copydata needs DWDATA[,HEX]");
      const auto [codeText, hex] = SplitFirstComma(*v);
      const auto code = ParseNumber(codeText);
      const auto bytes = hex ? ParseHex(*hex) : std::optional<std::vector<uint8_t>>(std::vector<uint8_t>());
      if (!code || *code > 0xFFFFFFFFull || !bytes || bytes->size() > kMaxPayload)
        return fail("--copydata needs DWDATA[,HEX]");
      s.kind = K::CopyData;
      s.dwData = static_cast<ULONG_PTR>(*code);
      s.bytes = *bytes;
      s.label += " " + std::to_string(*code) + " " + std::to_string(bytes->size()) + " bytes";
    } else if (opt == "--expect") {
      const auto v = value();
      const auto n = v ? ParseNumber(*v) : std::nullopt;
      if (!n || *n > 1000000) return fail("--expect needs a count");
      s.kind = K::Expect;
      s.count = static_cast<size_t>(*n);
      s.ms = defaultExpectMs;
      s.label += " " + std::to_string(*n);
    } else if (opt == "--timeout") {
      const auto ms = msValue();
      if (!ms) return fail("--timeout needs milliseconds");
      if (!script.steps.empty() && script.steps.back().kind == K::Expect) script.steps.back().ms = *ms;
      else defaultExpectMs = *ms;
      continue;
    } else {
      return fail("unknown option " + opt);
    }
    script.steps.push_back(std::move(s));
  }
  if (script.steps.empty()) return fail("no steps");
  return ParseResult{std::move(script), {}};
}

int RunScript(const Script& script, ConsoleSim& sim, const std::function<void(const std::string&)>& out) {
  std::unique_ptr<FILE, FileCloser> record;
  if (!script.recordPath.empty()) {
    record.reset(_wfopen(win::Utf8ToWide(script.recordPath).c_str(), L"ab"));
    if (!record) {
      out("FAIL record: cannot open " + script.recordPath);
      return kExitRecordFile;
    }
  }
  if (!sim.Running()) {
    out("FAIL the simulator's window thread did not start");
    return kExitWindows;
  }
  Runner runner(sim, out, record.get());
  const int rc = runner.Run(script.steps);
  runner.Drain();
  out(rc == kExitOk ? "done" : "stopped, exit code " + std::to_string(rc));
  return rc;
}

}  // namespace qx::consolesim
