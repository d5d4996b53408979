// Tests of the simulators in child processes: the scripted fault and the files found beside the DLL.
#include "SimScenarios.h"
#include "SimTestUtil.h"

#include <gtest/gtest.h>

using namespace simtest;

namespace {

constexpr DWORD kAccessViolation = 0xC0000005;

}  // namespace

TEST(ScriptedFault, IsAnAccessViolationRaisedAfterItsJournalLine) {
  struct Case {
    const wchar_t* dll;
    const char* op;
    const wchar_t* calls;  // the last one faults
    const char* line;
  };
  const Case cases[] = {
      {L"sdtapi.dll", "SDT_OpenPort", L"SDT_OpenPort:1001", "SDT_OpenPort(1001) = fault"},
      {L"sdtapi.dll", "SDT_ClosePort", L"SDT_ClosePort:1001", "SDT_ClosePort(1001) = fault"},
      {L"sdtapi.dll", "SDT_StartFindMorvid", L"SDT_OpenPort:1001 SDT_StartFindMorvid:1001",
       "SDT_StartFindMorvid(1001) = fault"},
      {L"sdtapi.dll", "SDT_SelectMorvid", L"SDT_SelectMorvid:1001", "SDT_SelectMorvid(1001) = fault"},
      {L"sdtapi.dll", "SDT_ReadBaseMsg", L"SDT_OpenPort:1001 SDT_ReadBaseMsg:1001",
       "SDT_ReadBaseMsg(1001, 1000, 204800) = fault"},
      {L"sdtapi.dll", "SDT_GetSAMIDToStr", L"SDT_GetSAMIDToStr:1002", "SDT_GetSAMIDToStr(1002) = fault"},
      {L"sdtapi.dll", "SDT_GetCOMBaud", L"SDT_GetCOMBaud:3", "SDT_GetCOMBaud(3) = fault"},
      {L"sdtapi.dll", "SDT_SetCOMBaud", L"SDT_SetCOMBaud:3:115200:9600", "SDT_SetCOMBaud(3, 115200, 9600) = fault"},
      {L"WltRS.dll", "GetBmp", L"GetBmp:C:\\nowhere\\photo.wlt", "GetBmp(C:\\nowhere\\photo.wlt, 2) = fault"},
      {L"termb.dll", "InitComm", L"InitComm:1", "InitComm(1) = fault"},
      {L"termb.dll", "Authenticate", L"Authenticate", "Authenticate() = fault"},
      {L"termb.dll", "AuthenticateExt", L"AuthenticateExt", "AuthenticateExt() = fault"},
      {L"termb.dll", "Read_Content", L"Read_Content:2", "Read_Content(2) = fault"},
      {L"termb.dll", "GetSAMID", L"GetSAMID", "GetSAMID() = fault"},
      {L"termb.dll", "CloseComm", L"CloseComm", "CloseComm() = fault"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.op);
    TempDir dir;
    SimFiles files(dir);
    files.Scenario(std::string(kThreeCards) + "[results]\n" + c.op + "#1 = fault\n");
    EXPECT_EQ(RunChild(CallerExe(), L"\"" + BinDir() + L"\\" + c.dll + L"\" " + c.calls, dir.path()),
              kAccessViolation);
    const std::vector<std::string> lines = files.Journal();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), c.line);
  }
}

TEST(ScriptedFault, OnlyTheScriptedCallFaults) {
  TempDir dir;
  SimFiles files(dir);
  files.Scenario(std::string(kThreeCards) + "[results]\nSDT_ReadBaseMsg#2 = fault\n");
  const std::wstring dll = L"\"" + BinDir() + L"\\sdtapi.dll\" ";
  // One read in this process: no fault.
  EXPECT_EQ(RunChild(CallerExe(), dll + L"SDT_OpenPort:1001 SDT_ReadBaseMsg:1001", dir.path()), 0u);
  // Call numbers count from the library's load: a new process faults at its second read.
  EXPECT_EQ(RunChild(CallerExe(), dll + L"SDT_OpenPort:1001 SDT_ReadBaseMsg:1001 SDT_ReadBaseMsg:1001 "
                                        L"SDT_ClosePort:1001",
                     dir.path()),
            kAccessViolation);
  const std::vector<std::string> expected = {
      "SDT_OpenPort(1001) = 0x90",
      "SDT_ReadBaseMsg(1001, 1000, 204800) = 0x90",
      "SDT_OpenPort(1001) = 0x90",
      "SDT_ReadBaseMsg(1001, 1000, 204800) = 0x90",
      "SDT_ReadBaseMsg(1001, 1000, 204800) = fault",
  };
  EXPECT_EQ(files.Journal(), expected);
}

TEST(DefaultFiles, ScenarioAndJournalBesideTheDll) {
  TempDir dir;
  const std::wstring app = dir.Sub(L"app");
  for (const wchar_t* name : {L"sdtapi.dll", L"reader_sim_caller.exe"}) {
    ASSERT_TRUE(CopyFileW((BinDir() + L"\\" + name).c_str(), (app + L"\\" + name).c_str(), FALSE));
  }
  EnvVar noScenario(L"QX_READER_SCENARIO", nullptr);
  EnvVar noJournal(L"QX_READER_JOURNAL", nullptr);
  const std::wstring args = L"\"" + app + L"\\sdtapi.dll\" SDT_OpenPort:1001 SDT_OpenPort:1004";

  // No scenario file: port 1001 only.
  ASSERT_EQ(RunChild(app + L"\\reader_sim_caller.exe", args, dir.path()), 0u);
  EXPECT_EQ(ReadLines(app + L"\\reader-journal.txt"),
            (std::vector<std::string>{"SDT_OpenPort(1001) = 0x90", "SDT_OpenPort(1004) = 0x1"}));

  WriteText(app + L"\\reader-scenario.ini", "[reader]\nports = 1004\n");
  ASSERT_TRUE(DeleteFileW((app + L"\\reader-journal.txt").c_str()));
  ASSERT_EQ(RunChild(app + L"\\reader_sim_caller.exe", args, dir.path()), 0u);
  EXPECT_EQ(ReadLines(app + L"\\reader-journal.txt"),
            (std::vector<std::string>{"SDT_OpenPort(1001) = 0x1", "SDT_OpenPort(1004) = 0x90"}));
}
