// Tests of sdtapi.dll under Wine: reads, buffer bounds, statuses, present budget, reloads, journal.
#include "SimScenarios.h"
#include "SimTestUtil.h"

#include "Scenario.h"
#include "WltPhoto.h"
#include "card/CardTextBlock.h"
#include "reader/ReaderApi.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

using namespace simtest;
using qx::reader::kStatusCardFound;
using qx::reader::kStatusOk;

namespace {

constexpr unsigned char kCanary = 0xA5;
constexpr std::size_t kSlack = 64;

// One fresh load of sdtapi.dll with its own scenario and journal.
class SdtapiSession {
 public:
  void Load() {
    lib_ = std::make_unique<Library>(BinDir() + L"\\sdtapi.dll");
    ASSERT_NE(lib_->handle(), nullptr);
    OpenPort = lib_->Get<SDT_OpenPort_t>("SDT_OpenPort");
    ClosePort = lib_->Get<SDT_ClosePort_t>("SDT_ClosePort");
    Find = lib_->Get<SDT_StartFindMorvid_t>("SDT_StartFindMorvid");
    Select = lib_->Get<SDT_SelectMorvid_t>("SDT_SelectMorvid");
    Read = lib_->Get<SDT_ReadBaseMsg_t>("SDT_ReadBaseMsg");
    SamId = lib_->Get<SDT_GetSAMIDToStr_t>("SDT_GetSAMIDToStr");
    GetBaud = lib_->Get<SDT_GetCOMBaud_t>("SDT_GetCOMBaud");
    SetBaud = lib_->Get<SDT_SetCOMBaud_t>("SDT_SetCOMBaud");
    ASSERT_TRUE(OpenPort && ClosePort && Find && Select && Read && SamId && GetBaud && SetBaud);
  }

  // Cardpost's buffers: 101 bytes for find and select, 1001/204800 for the read.
  int ReadLikeCardpost(int port) {
    unsigned char text[1001] = {};
    unsigned int textLen = 1000;
    photoLen_ = sizeof photo_;
    return Read(port, text, &textLen, photo_, &photoLen_, 0);
  }

  int CallByName(const std::string& op) {
    unsigned char buf[101] = {};
    char samid[1001] = {};
    unsigned int baud = 0;
    if (op == "SDT_OpenPort") return OpenPort(1001);
    if (op == "SDT_ClosePort") return ClosePort(1001);
    if (op == "SDT_StartFindMorvid") return Find(1001, buf, 0);
    if (op == "SDT_SelectMorvid") return Select(1001, buf, 0);
    if (op == "SDT_ReadBaseMsg") return ReadLikeCardpost(1001);
    if (op == "SDT_GetSAMIDToStr") return SamId(1001, samid, 0);
    if (op == "SDT_GetCOMBaud") return GetBaud(1001, &baud);
    if (op == "SDT_SetCOMBaud") return SetBaud(1001, 115200, 9600);
    ADD_FAILURE() << op;
    return -1;
  }

  TempDir dir_;
  SimFiles files_{dir_};
  std::unique_ptr<Library> lib_;
  static inline unsigned char photo_[204800];
  unsigned int photoLen_ = 0;

  SDT_OpenPort_t OpenPort = nullptr;
  SDT_ClosePort_t ClosePort = nullptr;
  SDT_StartFindMorvid_t Find = nullptr;
  SDT_SelectMorvid_t Select = nullptr;
  SDT_ReadBaseMsg_t Read = nullptr;
  SDT_GetSAMIDToStr_t SamId = nullptr;
  SDT_GetCOMBaud_t GetBaud = nullptr;
  SDT_SetCOMBaud_t SetBaud = nullptr;
};

class Sdtapi : public ::testing::Test, protected SdtapiSession {};

bool CanaryIntact(const unsigned char* p, std::size_t from, std::size_t to) {
  for (std::size_t i = from; i < to; ++i) {
    if (p[i] != kCanary) return false;
  }
  return true;
}

}  // namespace

TEST(ReaderDlls, ExportExactlyTheirNames) {
  struct Case {
    const wchar_t* dll;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {L"sdtapi.dll",
       {"SDT_ClosePort", "SDT_GetCOMBaud", "SDT_GetSAMIDToStr", "SDT_OpenPort", "SDT_ReadBaseMsg",
        "SDT_SelectMorvid", "SDT_SetCOMBaud", "SDT_StartFindMorvid"}},
      {L"WltRS.dll", {"GetBmp"}},
      {L"termb.dll",
       {"Authenticate", "AuthenticateExt", "CloseComm", "GetPhoto", "GetSAMID", "InitComm", "InitCommExt",
        "Read_Content", "Read_Content_Path"}},
  };
  for (const Case& c : cases) {
    Library lib(BinDir() + L"\\" + c.dll);
    ASSERT_NE(lib.handle(), nullptr);
    EXPECT_EQ(ExportNames(lib.handle()), c.names);
  }
}

TEST_F(Sdtapi, CardpostReadGivesTheTextBlockAtItsPositions) {
  files_.Scenario(kThreeCards);
  Load();
  unsigned char find[101] = {};
  unsigned char text[1001] = {};
  unsigned int textLen = 1000;
  unsigned int photoLen = sizeof photo_;
  ASSERT_EQ(OpenPort(1001), kStatusOk);
  ASSERT_EQ(Find(1001, find, 0), kStatusCardFound);
  ASSERT_EQ(Select(1001, find, 0), kStatusOk);
  ASSERT_EQ(Read(1001, text, &textLen, photo_, &photoLen, 0), kStatusOk);
  EXPECT_EQ(textLen, 256u);

  const qx::card::CardTextFields f = qx::card::CutCardText(text, 256);
  EXPECT_EQ(f.name, u"张三             ");
  EXPECT_EQ(f.sex, u"1");
  EXPECT_EQ(f.nation, u"01");
  EXPECT_EQ(f.birth, u"19800101");
  EXPECT_EQ(qx::card::TrimWhite(f.address), u"北京市东城区景山前街4号");
  EXPECT_EQ(f.id, u"110101198001010011");
  EXPECT_EQ(qx::card::TrimWhite(f.authority), u"北京市公安局东城分局");
  EXPECT_EQ(f.validity, u"20060101长期      ");
  // Blanks from 111 to 128; nothing written after byte 256.
  EXPECT_EQ(qx::card::TextFromUcs2Le(text + 220, 36), std::u16string(18, u' '));
  EXPECT_EQ(text[256], 0);

  const auto expected = qx::readersim::EncodeWltPhoto(u"110101198001010011", u"张三");
  ASSERT_EQ(photoLen, expected.size());
  EXPECT_LE(photoLen, 1024u);
  EXPECT_EQ(std::memcmp(photo_, expected.data(), photoLen), 0);
  EXPECT_EQ(photo_[photoLen], 0);
}

TEST_F(Sdtapi, KestrinBuffersAreNeverOverrun) {
  // A samid longer than the 128-byte buffer, in double-byte characters after its start.
  std::string scenario = kThreeCards;
  std::string samid = "05.01-";
  for (int i = 0; i < 100; ++i) samid += u8"测";
  scenario += "[reader]\nsamid = " + samid + "\n";
  files_.Scenario(scenario);
  Load();

  unsigned char find[4 + kSlack];
  unsigned char select[8 + kSlack];
  unsigned char text[262 + kSlack];
  unsigned char photo[1024 + kSlack];
  char samidBuf[128 + kSlack];
  std::memset(find, kCanary, sizeof find);
  std::memset(select, kCanary, sizeof select);
  std::memset(text, kCanary, sizeof text);
  std::memset(photo, kCanary, sizeof photo);
  std::memset(samidBuf, kCanary, sizeof samidBuf);

  ASSERT_EQ(OpenPort(1001), kStatusOk);
  ASSERT_EQ(SamId(1001, samidBuf, 0), kStatusOk);
  for (int card = 0; card < 3; ++card) {
    SCOPED_TRACE(card);
    ASSERT_EQ(Find(1001, find, 0), kStatusCardFound);
    ASSERT_EQ(Select(1001, select, 0), kStatusOk);
    std::memset(text, kCanary, sizeof text);
    std::memset(photo, kCanary, sizeof photo);
    unsigned int textLen = 0;
    unsigned int photoLen = 0;
    ASSERT_EQ(Read(1001, text, &textLen, photo, &photoLen, 0), kStatusOk);
    EXPECT_EQ(textLen, 256u);
    EXPECT_LE(photoLen, 1024u);
    EXPECT_GT(photoLen, 0u);
    EXPECT_TRUE(CanaryIntact(text, 256, sizeof text));
    EXPECT_TRUE(CanaryIntact(photo, photoLen, sizeof photo));
  }
  EXPECT_FALSE(CanaryIntact(find, 0, 4));
  EXPECT_TRUE(CanaryIntact(find, 4, sizeof find));
  EXPECT_FALSE(CanaryIntact(select, 0, 8));
  EXPECT_TRUE(CanaryIntact(select, 8, sizeof select));

  // "05.01-" and 60 double-byte characters make 126 bytes; the 61st would need 128 with the NUL.
  const std::size_t len = strnlen(samidBuf, 128);
  ASSERT_LT(len, 128u);
  EXPECT_EQ(len, 126u);
  EXPECT_EQ(std::string(samidBuf, 6), "05.01-");
  EXPECT_EQ(std::string(samidBuf + 6, 2), "\xB2\xE2");  // 测 in code page 936
  EXPECT_TRUE(CanaryIntact(reinterpret_cast<unsigned char*>(samidBuf), 127, sizeof samidBuf));
}

TEST_F(Sdtapi, ShortSamIdIsTheScenarioTextWithItsNul) {
  files_.Scenario("[reader]\nsamid = 05.01-20101217-0000001234-2305843009\n");
  Load();
  char buf[128];
  std::memset(buf, kCanary, sizeof buf);
  ASSERT_EQ(SamId(1001, buf, 0), 0x1);  // port not open: nothing written
  EXPECT_TRUE(CanaryIntact(reinterpret_cast<unsigned char*>(buf), 0, sizeof buf));
  ASSERT_EQ(OpenPort(1001), kStatusOk);
  ASSERT_EQ(SamId(1001, buf, 0), kStatusOk);
  EXPECT_STREQ(buf, "05.01-20101217-0000001234-2305843009");
  EXPECT_TRUE(CanaryIntact(reinterpret_cast<unsigned char*>(buf), 37, sizeof buf));
}

TEST_F(Sdtapi, StatusesWithoutScript) {
  files_.Scenario(std::string(kThreeCards) + "[reader]\npresent = 2\n");
  Load();
  unsigned char buf[101] = {};
  EXPECT_EQ(Find(1001, buf, 0), 0x1);  // not open yet
  EXPECT_EQ(OpenPort(1004), 0x1);
  EXPECT_EQ(OpenPort(1001), kStatusOk);
  EXPECT_EQ(Find(1002, buf, 0), 0x1);  // answers, but not opened
  // Two checks find a card; then the card is lifted.
  EXPECT_EQ(Find(1001, buf, 0), kStatusCardFound);
  EXPECT_EQ(Select(1001, buf, 0), kStatusOk);
  EXPECT_EQ(ReadLikeCardpost(1001), kStatusOk);
  EXPECT_EQ(Find(1001, buf, 0), kStatusCardFound);
  EXPECT_EQ(Find(1001, buf, 0), 0x80);
  EXPECT_EQ(Select(1001, buf, 0), 0x81);
  EXPECT_EQ(ReadLikeCardpost(1001), 0x41);
  EXPECT_EQ(ClosePort(1001), kStatusOk);
  EXPECT_EQ(ClosePort(1001), 0x1);
}

TEST_F(Sdtapi, WithoutScenarioFileTheDefaultsHoldAndNoCardIsFound) {
  Load();
  unsigned char buf[101] = {};
  EXPECT_EQ(OpenPort(1), 0x1);
  EXPECT_EQ(OpenPort(1001), kStatusOk);
  EXPECT_EQ(Find(1001, buf, 0), 0x80);
  unsigned int baud = 0;
  EXPECT_EQ(GetBaud(1001, &baud), kStatusOk);
  EXPECT_EQ(baud, 115200u);
}

TEST(SdtapiScripted, StatusesComeBackAsScripted) {
  struct Case {
    const char* results;
    const char* op;
    std::vector<int> statuses;
  };
  const Case cases[] = {
      {"SDT_OpenPort#1 = 0x41", "SDT_OpenPort", {0x41, 0x90}},
      {"SDT_StartFindMorvid = 1", "SDT_StartFindMorvid", {1, 1}},
      {"SDT_SelectMorvid#2 = 0x81", "SDT_SelectMorvid", {0x90, 0x81, 0x90}},
      {"SDT_ReadBaseMsg#1 = 0x41", "SDT_ReadBaseMsg", {0x41, 0x90}},
      {"SDT_GetSAMIDToStr#1 = 3\nSDT_GetSAMIDToStr#2 = 0x41", "SDT_GetSAMIDToStr", {3, 0x41, 0x90}},
      {"SDT_GetCOMBaud = 5", "SDT_GetCOMBaud", {5, 5}},
      {"SDT_SetCOMBaud#2 = 160", "SDT_SetCOMBaud", {0x90, 0xA0}},
      {"SDT_ClosePort = 0x90", "SDT_ClosePort", {0x90, 0x90}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.results);
    SdtapiSession f;
    f.files_.Scenario(std::string(kThreeCards) + "[results]\n" + c.results + "\n");
    f.Load();
    const std::string op = c.op;
    if (op != "SDT_OpenPort") {
      ASSERT_EQ(f.OpenPort(1001), kStatusOk);
    }
    if (op == "SDT_SelectMorvid" || op == "SDT_ReadBaseMsg") {
      ASSERT_EQ(f.CallByName("SDT_StartFindMorvid"), kStatusCardFound);
    }
    for (int expected : c.statuses) EXPECT_EQ(f.CallByName(c.op), expected);
  }
}

TEST_F(Sdtapi, ScriptedFailureWritesNothingAndScriptedSuccessWritesTheOutputs) {
  files_.Scenario(std::string(kThreeCards) +
                  "[results]\nSDT_ReadBaseMsg#1 = 0x41\nSDT_GetCOMBaud#1 = 0x41\n"
                  "SDT_StartFindMorvid#1 = 0x9F\nSDT_GetSAMIDToStr#1 = 0x90\n");
  Load();
  unsigned char find[4 + kSlack];
  std::memset(find, kCanary, sizeof find);
  EXPECT_EQ(Find(1001, find, 0), kStatusCardFound);  // closed port, but scripted
  EXPECT_FALSE(CanaryIntact(find, 0, 4));
  EXPECT_TRUE(CanaryIntact(find, 4, sizeof find));
  char samid[128] = {};
  EXPECT_EQ(SamId(1001, samid, 0), kStatusOk);
  EXPECT_STREQ(samid, qx::readersim::kDefaultSamId);

  ASSERT_EQ(OpenPort(1001), kStatusOk);
  unsigned char text[262];
  unsigned char photo[1024];
  std::memset(text, kCanary, sizeof text);
  std::memset(photo, kCanary, sizeof photo);
  unsigned int textLen = 7;
  unsigned int photoLen = 9;
  EXPECT_EQ(Read(1001, text, &textLen, photo, &photoLen, 0), 0x41);
  EXPECT_TRUE(CanaryIntact(text, 0, sizeof text));
  EXPECT_TRUE(CanaryIntact(photo, 0, sizeof photo));
  EXPECT_EQ(textLen, 7u);
  EXPECT_EQ(photoLen, 9u);
  unsigned int baud = 12345;
  EXPECT_EQ(GetBaud(1001, &baud), 0x41);
  EXPECT_EQ(baud, 12345u);
}

TEST_F(Sdtapi, ScriptedReadWithoutCardsGivesABlankBlockAndNoPhoto) {
  files_.Scenario("[results]\nSDT_ReadBaseMsg = 0x90\n");
  Load();
  unsigned char text[262] = {};
  unsigned char photo[1024] = {};
  unsigned int textLen = 0;
  unsigned int photoLen = 77;
  ASSERT_EQ(Read(1001, text, &textLen, photo, &photoLen, 0), kStatusOk);
  EXPECT_EQ(textLen, 256u);
  EXPECT_EQ(photoLen, 0u);
  EXPECT_EQ(qx::card::TextFromUcs2Le(text, 256), std::u16string(128, u' '));
}

TEST_F(Sdtapi, RawBlockIsHandedOutAsItIs) {
  // A NUL at character 50 (Kestrin stops there) and nothing after character 60.
  std::string hex;
  for (int i = 1; i <= 60; ++i) hex += i == 50 ? "0000 " : "4E00 ";
  files_.Scenario("[card]\nid = 1\nblock_hex = " + hex + "\n");
  Load();
  unsigned char text[262];
  std::memset(text, kCanary, sizeof text);
  unsigned int textLen = 0;
  unsigned int photoLen = 0;
  unsigned char photo[1024];
  unsigned char find[4];
  ASSERT_EQ(OpenPort(1001), kStatusOk);
  ASSERT_EQ(Find(1001, find, 0), kStatusCardFound);
  ASSERT_EQ(Read(1001, text, &textLen, photo, &photoLen, 0), kStatusOk);
  EXPECT_EQ(textLen, 120u);
  EXPECT_EQ(text[0], 0x4E);
  EXPECT_EQ(text[98], 0x00);
  EXPECT_EQ(text[99], 0x00);
  EXPECT_TRUE(CanaryIntact(text, 120, sizeof text));
}

TEST_F(Sdtapi, CardsComeInTurnAndTheLastStays) {
  files_.Scenario(kThreeCards);
  Load();
  ASSERT_EQ(OpenPort(1001), kStatusOk);
  const char16_t* expected[] = {u"110101198001010011", u"53280119991231002X", u"110101199002020022",
                                u"110101199002020022"};
  for (const char16_t* id : expected) {
    unsigned char buf[101] = {};
    unsigned char text[1001] = {};
    unsigned int textLen = 1000;
    unsigned int photoLen = sizeof photo_;
    ASSERT_EQ(Find(1001, buf, 0), kStatusCardFound);
    ASSERT_EQ(Select(1001, buf, 0), kStatusOk);
    ASSERT_EQ(Read(1001, text, &textLen, photo_, &photoLen, 0), kStatusOk);
    EXPECT_EQ(qx::card::CutField(text, 256, qx::card::CardField::Id), id);
  }
}

TEST_F(Sdtapi, BaudRateIsReadAndSet) {
  files_.Scenario(kThreeCards);
  Load();
  unsigned int baud = 0;
  EXPECT_EQ(GetBaud(3, &baud), kStatusOk);  // before any open, as the desk does
  EXPECT_EQ(baud, 115200u);
  EXPECT_EQ(SetBaud(3, 9600, 38400), 0x2);
  EXPECT_EQ(SetBaud(3, 115200, 4800), 0x21);
  EXPECT_EQ(SetBaud(3, 115200, 38400), kStatusOk);
  EXPECT_EQ(GetBaud(3, &baud), kStatusOk);
  EXPECT_EQ(baud, 38400u);
  baud = 1;
  EXPECT_EQ(GetBaud(7, &baud), 0x5);
  EXPECT_EQ(baud, 1u);
}

TEST_F(Sdtapi, ScenarioIsReadAgainWhenItChanges) {
  const std::string script = "[results]\nSDT_StartFindMorvid#5 = 0x41\n";
  files_.Scenario(std::string(kThreeCards) + "[reader]\npresent = never\n" + script);
  Load();
  unsigned char buf[101] = {};
  ASSERT_EQ(OpenPort(1001), kStatusOk);
  EXPECT_EQ(Find(1001, buf, 0), 0x80);  // call 1
  // Another size: read again.
  files_.Scenario(std::string(kThreeCards) + "[reader]\npresent = 1\n" + script);
  EXPECT_EQ(Find(1001, buf, 0), kStatusCardFound);  // call 2
  EXPECT_EQ(Find(1001, buf, 0), 0x80);              // call 3
  // The same size, a later write time: read again, with a fresh budget.
  files_.Scenario(std::string(kThreeCards) + "[reader]\npresent = 2\n" + script);
  TouchLater(files_.scenario, 2);
  EXPECT_EQ(Find(1001, buf, 0), kStatusCardFound);  // call 4
  // Call numbers run on across reloads; a scripted answer uses no budget.
  EXPECT_EQ(Find(1001, buf, 0), 0x41);              // call 5
  EXPECT_EQ(Find(1001, buf, 0), kStatusCardFound);  // call 6
  EXPECT_EQ(Find(1001, buf, 0), 0x80);              // call 7
  // Without the file the defaults hold again (no cards, port 3 silent); the port opened
  // before stays open.
  ASSERT_TRUE(DeleteFileW(files_.scenario.c_str()));
  EXPECT_EQ(Find(1001, buf, 0), 0x80);
  unsigned int baud = 0;
  EXPECT_EQ(GetBaud(1001, &baud), kStatusOk);
  EXPECT_EQ(GetBaud(3, &baud), 0x5);
}

TEST_F(Sdtapi, JournalHasOneCompleteLinePerCall) {
  files_.Scenario(std::string(kThreeCards) + u8"[reader]\nsamid = 05.01-测试\n");
  Load();
  unsigned char buf[101] = {};
  char samid[128] = {};
  unsigned int baud = 0;
  ClosePort(1);
  GetBaud(3, &baud);
  SetBaud(3, 115200, 9600);
  OpenPort(3);
  OpenPort(1001);
  SamId(1001, samid, 0);
  Find(1001, buf, 0);
  Select(1001, buf, 0);
  ReadLikeCardpost(1001);
  unsigned int zero = 0;
  unsigned char text[262];
  unsigned char photo[1024];
  Read(1001, text, &zero, photo, &zero, 0);
  Read(1001, nullptr, nullptr, nullptr, nullptr, 0);
  ClosePort(1001);
  const std::vector<std::string> expected = {
      "SDT_ClosePort(1) = 0x1",
      "SDT_GetCOMBaud(3) = 0x90",
      "SDT_SetCOMBaud(3, 115200, 9600) = 0x90",
      "SDT_OpenPort(3) = 0x90",
      "SDT_OpenPort(1001) = 0x90",
      "SDT_GetSAMIDToStr(1001) = 0x90",
      "SDT_StartFindMorvid(1001) = 0x9F",
      "SDT_SelectMorvid(1001) = 0x90",
      "SDT_ReadBaseMsg(1001, 1000, 204800) = 0x90",
      "SDT_ReadBaseMsg(1001, 0, 0) = 0x90",
      "SDT_ReadBaseMsg(1001, null, null) = 0x90",
      "SDT_ClosePort(1001) = 0x90",
  };
  EXPECT_EQ(files_.Journal(), expected);
  EXPECT_EQ(std::string(samid), "05.01-\xB2\xE2\xCA\xD4");
}

TEST_F(Sdtapi, ScenarioMistakesAreReportedInTheJournal) {
  files_.Scenario("[reader]\nbaud = fast\nports = 1001\n");
  Load();
  EXPECT_EQ(OpenPort(1001), kStatusOk);
  const std::vector<std::string> lines = files_.Journal();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind("# scenario ", 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find("line 2: bad baud"), std::string::npos) << lines[0];
  EXPECT_EQ(lines[1], "SDT_OpenPort(1001) = 0x90");
}
