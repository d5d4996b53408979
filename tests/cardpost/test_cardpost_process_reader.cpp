// Cardpost.exe binding the reader libraries: missing libraries and entry points, the port
// configuration and the USB port scan, as the reader simulator's journal shows them.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "CardpostHarness.h"
#include "ConsoleSim.h"

using qx::consolesim::ConsoleSim;
using namespace qx::test;

namespace {

const char kInitDone[] = "END 初始化设备  完成";
const char kInitFailed[] = "END 初始化设备  失败，装载二代证设备  失败";
const char kLoadDone[] = "END 装载二代证读卡器  完成，设备号：";
const char kScanHit[] = "装载二代证读卡器，初始化设备  成功，端口:";
const char kSamId[] = "05.01-20101217-0000001234-2305843009";

std::vector<std::string> OpenCalls(const std::vector<std::string>& journal) {
  std::vector<std::string> out;
  for (const auto& l : journal)
    if (l.rfind("SDT_OpenPort(", 0) == 0) out.push_back(l);
  return out;
}

// Messages between the reader start's BGN and the unload's BGN.
std::vector<std::string> LoadLines(const std::vector<std::string>& m) {
  auto b = std::find(m.begin(), m.end(), "BGN 装载二代证读卡器");
  auto e = std::find(b, m.end(), "BGN 卸载设备");
  return b == m.end() ? std::vector<std::string>() : std::vector<std::string>(b, e);
}

// Runs a -SHOW start to its end: the program ends by itself when the start fails, and is
// closed by the console when it succeeds.
void RunShowStart(CardpostHarness& h, bool expectStarted) {
  ASSERT_TRUE(h.Start(L"-SHOW"));
  if (expectStarted) {
    ASSERT_TRUE(h.WaitForMessage(kInitDone, 10000));
    ASSERT_TRUE(ConsoleSim::FindBridge(5000));
    ConsoleSim console;
    ASSERT_TRUE(console.Close());
  }
  ASSERT_TRUE(h.WaitForExit(15000));
}

}  // namespace

// Libraries that are missing or lack their entry points.
struct LibraryCase {
  const char* name;
  const wchar_t* removeFile;          // removed from the program folder
  const wchar_t* replaceFile;         // replaced by a copy of replaceWith
  const wchar_t* replaceWith;
  const char* failureLine;            // the line before the InitDevice failure
  std::vector<std::string> journal;   // every reader call of the run
};

class CardpostLibraries : public ::testing::TestWithParam<LibraryCase> {};

TEST_P(CardpostLibraries, StartFailsAndUnloads) {
  const LibraryCase& c = GetParam();
  CardpostHarness h;
  if (c.removeFile) {
    ASSERT_TRUE(h.RemoveProgramFile(c.removeFile));
  }
  if (c.replaceFile) {
    ASSERT_TRUE(h.CopyFromBin(c.replaceWith, c.replaceFile));
  }
  RunShowStart(h, false);
  const auto m = h.Messages();
  const auto load = LoadLines(m);
  ASSERT_EQ(load.size(), 3u);
  EXPECT_EQ(load[1].rfind(c.failureLine, 0), 0u) << load[1];
  EXPECT_EQ(load[2], kInitFailed);
  EXPECT_EQ(Last(m), "清除运行标志");
  EXPECT_EQ(h.JournalLines(), c.journal);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CardpostLibraries,
    ::testing::Values(
        // Another DLL under the reader library's name: none of its six entry points.
        LibraryCase{"NoReaderEntryPoints", nullptr, L"sdtapi.dll", L"WltRS.dll",
                    "END 装载二代证读卡器  失败，初始化接口失败", {}},
        // Without the decoder the reader library stays bound until the unload closes port 0.
        LibraryCase{"NoDecoderLibrary", L"WltRS.dll", nullptr, nullptr,
                    "装载二代证读卡器  失败2， LoadLibrary error (", {"SDT_ClosePort(0) = 0x1"}},
        // The decoder's name on a DLL without GetBmp: both are freed at once, port 0 closed.
        LibraryCase{"NoGetBmp", nullptr, L"WltRS.dll", L"Encode.dll",
                    "END 装载二代证读卡器  失败2，初始化接口失败", {"SDT_ClosePort(0) = 0x1"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Port configuration and scan.
struct PortCase {
  const char* name;
  std::optional<std::string> hdIni;
  std::string scenario;
  bool started;
  std::vector<std::string> opens;        // every SDT_OpenPort line, in order
  std::vector<std::string> expectLines;  // lines the load must hold, in order
  std::string closeLine;                 // the unload's close
  size_t scanHitLines;                   // lines "... 成功，端口:%d"
};

class CardpostPorts : public ::testing::TestWithParam<PortCase> {};

TEST_P(CardpostPorts, JournalAndLog) {
  const PortCase& c = GetParam();
  CardpostOptions o;
  o.hdIni = c.hdIni;
  o.scenario = c.scenario;
  CardpostHarness h(o);
  RunShowStart(h, c.started);
  const auto journal = h.JournalLines();
  EXPECT_EQ(OpenCalls(journal), c.opens);
  ASSERT_FALSE(journal.empty());
  EXPECT_EQ(Last(journal), c.closeLine);
  const auto load = LoadLines(h.Messages());
  size_t at = 0;
  for (const auto& want : c.expectLines) {
    auto it = std::find(load.begin() + std::min(at, load.size()), load.end(), want);
    EXPECT_NE(it, load.end()) << "missing in order: " << want;
    if (it != load.end()) at = static_cast<size_t>(it - load.begin()) + 1;
  }
  const size_t scanHits = std::count_if(load.begin(), load.end(), [](const std::string& l) {
    return l.rfind(kScanHit, 0) == 0;
  });
  EXPECT_EQ(scanHits, c.scanHitLines);
}

std::vector<std::string> ScanOpens(int lastPort, const char* lastStatus) {
  std::vector<std::string> v = {"SDT_OpenPort(1001) = 0x1"};
  for (int p = 1001; p <= lastPort; ++p)
    v.push_back("SDT_OpenPort(" + std::to_string(p) + ") = " +
                (p == lastPort ? lastStatus : "0x1"));
  return v;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CardpostPorts,
    ::testing::Values(
        // No HD.ini: port 1001, which answers at once; no scan.
        PortCase{"DefaultPortAnswers", std::nullopt, "", true,
                 {"SDT_OpenPort(1001) = 0x90"},
                 {std::string(kLoadDone) + kSamId, kInitDone},
                 "SDT_ClosePort(1001) = 0x90", 0},
        // 1001 fails: the scan starts at 1001 again and stops at the first that answers.
        PortCase{"ScanFinds1005", std::nullopt, "[reader]\nports = 1005\n", true,
                 ScanOpens(1005, "0x90"),
                 {std::string(kScanHit) + "1005", std::string(kLoadDone) + kSamId, kInitDone},
                 "SDT_ClosePort(1005) = 0x90", 1},
        // Nothing answers: 101 calls, the last status in decimal, port 1001 closed.
        PortCase{"ScanFindsNothing", "[Main]\nPort=1001\n", "[reader]\nports = 1\n", false,
                 ScanOpens(1100, "0x1"),
                 {"装载二代证读卡器，初始化设备  失败(1, 成功0x90)", kInitFailed},
                 "SDT_ClosePort(1001) = 0x1", 0},
        // A serial port that fails: no scan; its status in decimal.
        PortCase{"SerialPortFails", "[Main]\nPort=3\n", "[results]\nSDT_OpenPort = 0x41\n", false,
                 {"SDT_OpenPort(3) = 0x41"},
                 {"装载二代证读卡器，初始化设备  失败(65, 成功0x90)", kInitFailed},
                 "SDT_ClosePort(3) = 0x1", 0},
        // A serial port that answers.
        PortCase{"SerialPortAnswers", "[Main]\nPort=5\n", "[reader]\nports = 5\n", true,
                 {"SDT_OpenPort(5) = 0x90"},
                 {std::string(kLoadDone) + kSamId, kInitDone},
                 "SDT_ClosePort(5) = 0x90", 0},
        // A fault at the configured port: the start fails, the port field is still 0.
        PortCase{"ConfiguredPortFaults", std::nullopt, "[results]\nSDT_OpenPort#1 = fault\n",
                 false, {"SDT_OpenPort(1001) = fault"},
                 {"装载二代证读卡器，初始化设备  异常", kInitFailed},
                 "SDT_ClosePort(0) = 0x1", 0},
        // A fault during the scan skips that port only.
        PortCase{"ScanSkipsFaultingPort", std::nullopt,
                 "[reader]\nports = 1003\n[results]\nSDT_OpenPort#3 = fault\n", true,
                 {"SDT_OpenPort(1001) = 0x1", "SDT_OpenPort(1001) = 0x1",
                  "SDT_OpenPort(1002) = fault", "SDT_OpenPort(1003) = 0x90"},
                 {"装载二代证读卡器，初始化设备  异常，端口:1002",
                  std::string(kScanHit) + "1003", kInitDone},
                 "SDT_ClosePort(1003) = 0x90", 1}),
    [](const auto& info) { return std::string(info.param.name); });

// The security-module number: a fault while reading it is ignored, the number stays empty.
TEST(CardpostReader, SamIdFaultIsIgnored) {
  CardpostOptions o;
  o.scenario = "[results]\nSDT_GetSAMIDToStr = fault\n";
  CardpostHarness h(o);
  RunShowStart(h, true);
  EXPECT_EQ(h.CountMessage(kLoadDone), 1u);
  EXPECT_EQ(h.CountMessage("BGN 卸载设备"), 1u);
}

// A fault while closing the port is ignored; the libraries are still freed and the
// program ends normally.
TEST(CardpostReader, ClosePortFaultIsIgnored) {
  CardpostOptions o;
  o.scenario = "[results]\nSDT_ClosePort = fault\n";
  CardpostHarness h(o);
  RunShowStart(h, true);
  const auto m = h.Messages();
  ASSERT_GE(m.size(), 3u);
  EXPECT_EQ(m[m.size() - 2], "END 卸载设备  完成");
  EXPECT_EQ(Last(m), "清除运行标志");
  EXPECT_EQ(Last(h.JournalLines()), "SDT_ClosePort(1001) = fault");
}
