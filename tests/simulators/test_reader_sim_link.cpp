// The simulators linked at load time through their import libraries, "SDTAPI.DLL" entry included.
#include "SimTestUtil.h"

#include "reader/ReaderApi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>

using namespace simtest;

namespace {

// DLL name (as written in the import table) -> names imported from it.
std::map<std::string, std::vector<std::string>> ImportsOfThisProgram() {
  std::map<std::string, std::vector<std::string>> out;
  const auto* base = reinterpret_cast<const BYTE*>(GetModuleHandleW(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (const auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); d->Name != 0;
       ++d) {
    std::vector<std::string>& names = out[reinterpret_cast<const char*>(base + d->Name)];
    const DWORD lookup = d->OriginalFirstThunk != 0 ? d->OriginalFirstThunk : d->FirstThunk;
    for (const auto* t = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + lookup); t->u1.AddressOfData != 0;
         ++t) {
      if (IMAGE_SNAP_BY_ORDINAL(t->u1.Ordinal)) continue;
      names.emplace_back(reinterpret_cast<const char*>(
          reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + t->u1.AddressOfData)->Name));
    }
    std::sort(names.begin(), names.end());
  }
  return out;
}

}  // namespace

TEST(LoadTimeLink, ImportTableNamesBothEntriesOfTheSameLibrary) {
  const auto imports = ImportsOfThisProgram();
  ASSERT_EQ(imports.count("sdtapi.dll"), 1u);
  ASSERT_EQ(imports.count("SDTAPI.DLL"), 1u);
  EXPECT_EQ(imports.at("SDTAPI.DLL"), std::vector<std::string>{"SDT_GetCOMBaud"});
  const std::vector<std::string>& lower = imports.at("sdtapi.dll");
  EXPECT_EQ(std::count(lower.begin(), lower.end(), "SDT_GetCOMBaud"), 0);
  EXPECT_EQ(std::count(lower.begin(), lower.end(), "SDT_OpenPort"), 1);
  EXPECT_EQ(imports.at("WltRS.dll"), std::vector<std::string>{"GetBmp"});
  EXPECT_EQ(imports.count("termb.dll"), 1u);
}

TEST(LoadTimeLink, CallsThroughTheImportsReachTheSimulators) {
  TempDir dir;
  SimFiles files(dir);
  files.Scenario("[reader]\nports = 1001, 2\nbaud = 38400\n");
  // Both entries name one module.
  EXPECT_EQ(GetModuleHandleW(L"SDTAPI.DLL"), GetModuleHandleW(L"sdtapi.dll"));
  EXPECT_NE(GetModuleHandleW(L"sdtapi.dll"), nullptr);

  unsigned int baud = 0;
  EXPECT_EQ(SDT_GetCOMBaud(2, &baud), qx::reader::kStatusOk);
  EXPECT_EQ(baud, 38400u);
  EXPECT_EQ(SDT_SetCOMBaud(2, 38400, 9600), qx::reader::kStatusOk);
  EXPECT_EQ(SDT_OpenPort(1001), qx::reader::kStatusOk);
  char samid[128] = {};
  EXPECT_EQ(SDT_GetSAMIDToStr(1001, samid, 0), qx::reader::kStatusOk);
  EXPECT_STREQ(samid, "05.01-20101217-0000001234-2305843009");
  char path[] = "C:\\nowhere\\_Temp.wlt";
  EXPECT_EQ(GetBmp(path, 2), 0);
  EXPECT_EQ(InitComm(1001), 1);
  EXPECT_STREQ(GetSAMID(), "05.01-20101217-0000001234-2305843009");
  EXPECT_EQ(CloseComm(), 1);
  SDT_ClosePort(1001);
  const std::vector<std::string> expected = {
      "SDT_GetCOMBaud(2) = 0x90",
      "SDT_SetCOMBaud(2, 38400, 9600) = 0x90",
      "SDT_OpenPort(1001) = 0x90",
      "SDT_GetSAMIDToStr(1001) = 0x90",
      "GetBmp(C:\\nowhere\\_Temp.wlt, 2) = 0",
      "InitComm(1001) = 1",
      "GetSAMID() = 05.01-20101217-0000001234-2305843009",
      "CloseComm() = 1",
      "SDT_ClosePort(1001) = 0x90",
  };
  EXPECT_EQ(files.Journal(), expected);
}
