// Drives QuorixConsoleSim.exe as a second process against a bridge stand-in in this process.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "BridgePeer.h"
#include "SimText.h"
#include "card/Packets.h"
#include "win/Text.h"

using namespace qx::consolesim;
namespace card = qx::card;

namespace {

std::wstring ExeDir() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring p = path;
  return p.substr(0, p.find_last_of(L"\\/") + 1);
}

std::wstring TempFile(const wchar_t* tag) {
  static int counter = 0;
  wchar_t dir[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, dir);
  std::wstring p = std::wstring(dir) + L"qxsim_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                   std::to_wstring(++counter) + L"_" + tag + L".txt";
  DeleteFileW(p.c_str());
  return p;
}

std::string ReadFile(const std::wstring& path) {
  std::ifstream in(qx::win::WideToMulti(path), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

struct RunResult {
  DWORD exitCode = 0xFFFFFFFF;
  std::string output;
};

// Runs the simulator with its output in a file; a run that hangs is killed.
RunResult RunSim(const std::wstring& args) {
  RunResult result;
  const std::wstring outPath = TempFile(L"out");
  SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
  HANDLE out = CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return result;
  std::wstring cmd = L"\"" + ExeDir() + L"QuorixConsoleSim.exe\" " + args;
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = out;
  si.hStdError = out;
  PROCESS_INFORMATION pi = {};
  std::vector<wchar_t> buf(cmd.begin(), cmd.end());
  buf.push_back(0);
  if (CreateProcessW(nullptr, buf.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
    if (WaitForSingleObject(pi.hProcess, 60000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 99);
    GetExitCodeProcess(pi.hProcess, &result.exitCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  CloseHandle(out);
  result.output = ReadFile(outPath);
  DeleteFileW(outPath.c_str());
  return result;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

bool Contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

}  // namespace

TEST(ConsoleSimExe, FullScriptAgainstTheBridge) {
  BridgePeer peer;
  peer.SetAnswers(0, 0, 1);

  card::CardRecordBytes raw{};
  card::SetField(raw.data(), card::CardInfoRecord::CardNo, "110101198001010011");
  card::SetField(raw.data(), card::CardInfoRecord::Name, "\xD5\xC5\xC8\xFD(\xB6\xC1)");  // 张三(读)
  const card::CardRecordBytes record = card::MakeCardRecordForSend(raw.data());
  const card::ModuleReadyBytes ready = card::BuildModuleReadyPacket();
  peer.SetHandshakeDeliveries({{"DispatchWnd_Quorix_2010__CheckCard", 1001, {ready.begin(), ready.end()}},
                               {"DispatchWnd_NewMember", 27013, {record.begin(), record.end()}}});

  const std::wstring rec = TempFile(L"rec");
  const RunResult run = RunSim(L"--windows CheckCard,NewMember --record \"" + rec +
                               L"\" --wait-bridge 5000 --handshake 0802 --query --scan"
                               L" --scan-data 100,\u8EAB\u4EFD\u8BC1 --expect 2 --timeout 10000 --close --wait-gone 5000");
  EXPECT_EQ(run.exitCode, 0u) << run.output;

  // What the bridge saw, in order.
  const std::vector<PeerMessage> m = peer.Messages();
  ASSERT_EQ(m.size(), 5u) << run.output;
  EXPECT_EQ(m[0].msg, static_cast<UINT>(WM_COPYDATA));
  EXPECT_EQ(m[0].dwData, 999u);
  EXPECT_EQ(m[0].bytes, (std::vector<uint8_t>{'0', '8', '0', '2', 0}));
  EXPECT_NE(m[0].wParam, 0u);  // the sender's window
  EXPECT_EQ(m[1].msg, 6446u);
  EXPECT_EQ(m[2].msg, 6448u);
  EXPECT_EQ(m[3].msg, static_cast<UINT>(WM_COPYDATA));
  EXPECT_EQ(m[3].dwData, 6448u);
  EXPECT_EQ(m[3].bytes, card::BuildScanRequestData(100, "\xC9\xED\xB7\xDD\xD6\xA4"));
  EXPECT_EQ(m[4].msg, static_cast<UINT>(WM_CLOSE));
  EXPECT_FALSE(peer.Alive());

  // One line per action and per received message, UTF-8.
  for (const char* part : {"windows CheckCard,NewMember: windows now CheckCard,NewMember",
                           "wait-bridge 5000: bridge found", "handshake \"0802\": answer=1", "query: answer=0",
                           "scan: answer=0", u8"scan-data 100 \"身份证\": answer=1", "expect 2: 2 received",
                           "close: answer=0", "wait-gone 5000: bridge window gone",
                           "window=DispatchWnd_Quorix_2010__CheckCard dwData=1001 cbData=112: ModuleReadyPacket",
                           u8"window=DispatchWnd_NewMember dwData=27013 cbData=1114: CardInfoRecord "
                           u8"CardNo=\"110101198001010011\" CertID=\"\" Name=\"张三(读)\"",
                           "done"})
    EXPECT_TRUE(Contains(run.output, part)) << part << "\n" << run.output;

  // The record file: one line each, exact bytes in hex.
  const std::vector<std::string> lines = Lines(ReadFile(rec));
  ASSERT_EQ(lines.size(), 2u) << ReadFile(rec);
  EXPECT_TRUE(Contains(lines[0], "\twindow=DispatchWnd_Quorix_2010__CheckCard\tdwData=1001\tcbData=112\thex=" +
                                     HexBytes(ready.data(), ready.size()) + "\tview=ModuleReadyPacket"))
      << lines[0];
  EXPECT_TRUE(Contains(lines[1], "\twindow=DispatchWnd_NewMember\tdwData=27013\tcbData=1114\thex=" +
                                     HexBytes(record.data(), record.size()) + "\tview=CardInfoRecord"))
      << lines[1];
  EXPECT_EQ(lines[0].rfind("t=", 0), 0u);
  DeleteFileW(rec.c_str());
}

TEST(ConsoleSimExe, HandshakeWithoutPayloadAndWindowsDestroyed) {
  BridgePeer peer;
  peer.SetCloseDestroys(false);
  const RunResult run = RunSim(L"--windows all --destroy Register,VirtualReader --wait-bridge 2000 --handshake-none"
                               L" --copydata 5,00FF --close");
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_TRUE(Contains(run.output, "destroy Register,VirtualReader: windows now CheckCard,NewMember")) << run.output;
  const auto m = peer.Messages();
  ASSERT_EQ(m.size(), 3u) << run.output;
  EXPECT_EQ(m[0].dwData, 999u);
  EXPECT_TRUE(m[0].nullData);
  EXPECT_EQ(m[0].cbData, 0u);
  EXPECT_EQ(m[1].dwData, 5u);
  EXPECT_EQ(m[1].bytes, (std::vector<uint8_t>{0x00, 0xFF}));
  EXPECT_EQ(m[2].msg, static_cast<UINT>(WM_CLOSE));
  EXPECT_TRUE(peer.Alive());
}

TEST(ConsoleSimExe, FailuresGiveTheirExitCodes) {
  struct Case {
    const wchar_t* args;
    DWORD code;
    const char* line;
  } cases[] = {
      {L"--bogus", 1, "unknown option --bogus"},
      {L"--wait-bridge 200", 2, "FAIL wait-bridge 200: no bridge window"},
      {L"--handshake 0802", 3, "FAIL handshake \"0802\": no bridge window"},
      {L"--windows CheckCard --expect 1 --timeout 200", 4, "FAIL expect 1: 0 received"},
  };
  for (const Case& c : cases) {
    const RunResult run = RunSim(c.args);
    EXPECT_EQ(run.exitCode, c.code) << run.output;
    EXPECT_TRUE(Contains(run.output, c.line)) << c.line << "\n" << run.output;
  }
}

TEST(ConsoleSimExe, WaitGoneFailsWhileTheBridgeStays) {
  BridgePeer peer;
  peer.SetCloseDestroys(false);
  const RunResult run = RunSim(L"--close --wait-gone 300");
  EXPECT_EQ(run.exitCode, 5u) << run.output;
  EXPECT_TRUE(Contains(run.output, "FAIL wait-gone 300: bridge window still there")) << run.output;
}
