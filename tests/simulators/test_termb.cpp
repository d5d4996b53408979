// Tests of termb.dll under Wine: ports, security-module text, and the files that reads leave.
#include "SimScenarios.h"
#include "SimTestUtil.h"

#include "Bitmap.h"
#include "Scenario.h"
#include "WltPhoto.h"
#include "card/CardTextBlock.h"
#include "reader/ReaderApi.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace simtest;

namespace {

// The scenario's cards as the libraries see them.
const qx::readersim::Scenario& Cards() {
  static const qx::readersim::Scenario s = qx::readersim::ParseScenario(kThreeCards);
  return s;
}

std::vector<std::uint8_t> Utf16Le(std::u16string_view text) { return qx::card::Ucs2LeFromText(text); }

class Termb : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(lib_.handle(), nullptr);
    InitComm = lib_.Get<InitComm_t>("InitComm");
    CloseComm = lib_.Get<CloseComm_t>("CloseComm");
    Authenticate = lib_.Get<Authenticate_t>("Authenticate");
    AuthenticateExt = lib_.Get<AuthenticateExt_t>("AuthenticateExt");
    GetSAMID = lib_.Get<GetSAMID_t>("GetSAMID");
    ReadContentPath = lib_.Get<Read_Content_Path_t>("Read_Content_Path");
    GetPhoto = lib_.Get<GetPhoto_t>("GetPhoto");
    InitCommExt = lib_.Get<InitCommExt_t>("InitCommExt");
    ASSERT_TRUE(InitComm && CloseComm && Authenticate && AuthenticateExt && GetSAMID && ReadContentPath &&
                GetPhoto && InitCommExt);
  }

  TempDir dir_;
  SimFiles files_{dir_};
  Library lib_{BinDir() + L"\\termb.dll"};
  InitComm_t InitComm = nullptr;
  CloseComm_t CloseComm = nullptr;
  Authenticate_t Authenticate = nullptr;
  AuthenticateExt_t AuthenticateExt = nullptr;
  GetSAMID_t GetSAMID = nullptr;
  Read_Content_Path_t ReadContentPath = nullptr;
  GetPhoto_t GetPhoto = nullptr;
  InitCommExt_t InitCommExt = nullptr;
};

// The caller child copied into a folder of its own, so that the files termb.dll leaves
// beside "the program" land there and not beside the tests.
class TermbChild : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(CopyFileW(CallerExe().c_str(), exe_.c_str(), FALSE)) << GetLastError();
  }
  DWORD Run(const std::wstring& calls) {
    return RunChild(exe_, L"\"" + BinDir() + L"\\termb.dll\" " + calls, cur_);
  }

  TempDir dir_;
  SimFiles files_{dir_};
  const std::wstring app_ = dir_.Sub(L"app");
  const std::wstring cur_ = dir_.Sub(L"cur");
  const std::wstring exe_ = app_ + L"\\morvid.exe";
};

}  // namespace

TEST_F(Termb, PortsAnswerAsListedAndStayOpen) {
  files_.Scenario("[reader]\nports = 1002\n[card]\nid = 1\n");
  EXPECT_EQ(Authenticate(), 0);  // nothing open yet
  for (int port : {1, 2, 3, 4, 1001}) EXPECT_EQ(InitComm(port), 0) << port;
  EXPECT_EQ(InitComm(1002), 1);
  EXPECT_EQ(Authenticate(), 1);
  EXPECT_EQ(AuthenticateExt(), 1);
  EXPECT_EQ(CloseComm(), 1);
  EXPECT_EQ(Authenticate(), 0);
  const std::vector<std::string> expected = {
      "Authenticate() = 0",  "InitComm(1) = 0", "InitComm(2) = 0",       "InitComm(3) = 0",
      "InitComm(4) = 0",     "InitComm(1001) = 0", "InitComm(1002) = 1", "Authenticate() = 1",
      "AuthenticateExt() = 1", "CloseComm() = 1",  "Authenticate() = 0",
  };
  EXPECT_EQ(files_.Journal(), expected);
}

TEST_F(Termb, GetSamIdIsTheLibrarysOwnAnsiText) {
  files_.Scenario(u8"[reader]\nsamid = 05.01-20101217-0000001234-测试-2305843009\n");
  const char* before = GetSAMID();
  ASSERT_NE(before, nullptr);
  EXPECT_STREQ(before, "");  // no port open
  ASSERT_EQ(InitComm(1001), 1);
  const char* text = GetSAMID();
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "05.01-20101217-0000001234-\xB2\xE2\xCA\xD4-2305843009");
  EXPECT_EQ(files_.Journal().back(), u8"GetSAMID() = 05.01-20101217-0000001234-测试-2305843009");
}

TEST_F(Termb, InitCommExtOpensTheFirstAnsweringPort) {
  files_.Scenario("[reader]\nports = 2, 1003\n[card]\nid = 1\n");
  EXPECT_EQ(InitCommExt(), 1003);
  EXPECT_EQ(Authenticate(), 1);
}

TEST_F(Termb, ReadContentPathLeavesEveryFileInTheFolder) {
  files_.Scenario(kThreeCards);
  const std::wstring out = dir_.Sub(L"输出");
  std::string folder = AnsiFromWide(out + L"\\");
  ASSERT_EQ(InitComm(1001), 1);
  EXPECT_EQ(ReadContentPath(&folder[0], 4), 1);
  EXPECT_EQ(ReadContentPath(&folder[0], 3), 1);  // the second card
  EXPECT_EQ(ReadBytes(out + L"\\wz.txt"), Cards().cards[0].TextBlock());
  EXPECT_TRUE(Exists(out + L"\\zp.bmp"));
  EXPECT_EQ(ReadBytes(out + L"\\IINSNDN.bin"), Cards().cards[0].ChipBytes());
  EXPECT_EQ(ReadBytes(out + L"\\newadd.txt"), std::vector<std::uint8_t>{});  // second card: none
  EXPECT_EQ(files_.Journal().back(), "Read_Content_Path(" + Utf8FromWide(out) + "\\, 3) = 1");
  EXPECT_EQ(ReadContentPath(nullptr, 1), 0);
}

TEST_F(Termb, GetPhotoResults) {
  files_.Scenario(kThreeCards);
  const auto good = qx::readersim::EncodeWltPhoto(u"1", u"x");
  WriteBytes(dir_ / L"good.wlt", good.data(), good.size());
  WriteBytes(dir_ / L"good.dat", good.data(), good.size());
  WriteBytes(dir_ / L"bad.wlt", good.data(), good.size() - 1);
  struct Case {
    const wchar_t* name;
    int result;
  };
  for (const Case& c : {Case{L"good.wlt", 1}, Case{L"good.dat", -2}, Case{L"missing.wlt", -3},
                        Case{L"bad.wlt", -4}}) {
    std::string path = AnsiFromWide(dir_ / c.name);
    EXPECT_EQ(GetPhoto(&path[0]), c.result) << Utf8FromWide(c.name);
  }
  EXPECT_TRUE(Exists(dir_ / L"good.bmp"));
  EXPECT_FALSE(Exists(dir_ / L"bad.bmp"));
}

TEST_F(TermbChild, ReadFilesLandBesideTheProgramAndInTheCurrentFolder) {
  files_.Scenario(kThreeCards);
  ASSERT_EQ(Run(L"InitComm:1001 AuthenticateExt Read_Content:4 Authenticate Read_Content:3"), 0u);
  const qx::readersim::SimCard& first = Cards().cards[0];
  const qx::readersim::SimCard& second = Cards().cards[1];

  // wz.txt: the first card's block, no byte-order mark: it starts with the name's first character.
  const std::vector<std::uint8_t> wz = ReadBytes(app_ + L"\\wz.txt");
  ASSERT_EQ(wz.size(), 256u);
  EXPECT_EQ(wz, first.TextBlock());
  EXPECT_EQ(wz[0], 0x20);  // 张 = U+5F20
  EXPECT_EQ(wz[1], 0x5F);
  const std::vector<std::uint8_t> zp = ReadBytes(app_ + L"\\zp.bmp");
  const std::vector<std::uint8_t> wlt = first.PackedPhoto();
  EXPECT_EQ(zp, qx::readersim::EncodeBmp24(*qx::readersim::DecodeWltPhoto(wlt.data(), wlt.size())));
  EXPECT_EQ(ReadBytes(cur_ + L"\\IINSNDN.bin"), first.ChipBytes());
  // Mode 3 read the next card.
  EXPECT_EQ(ReadBytes(cur_ + L"\\newadd.txt"), Utf16Le(second.newadd));

  for (const wchar_t* name : {L"\\wz.txt", L"\\zp.bmp"}) EXPECT_FALSE(Exists(cur_ + name));
  for (const wchar_t* name : {L"\\newadd.txt", L"\\IINSNDN.bin"}) EXPECT_FALSE(Exists(app_ + name));
  const std::vector<std::string> expected = {
      "InitComm(1001) = 1", "AuthenticateExt() = 1", "Read_Content(4) = 1",
      "Authenticate() = 1", "Read_Content(3) = 1",
  };
  EXPECT_EQ(files_.Journal(), expected);
}

TEST_F(TermbChild, NewAddressAndChipNumberAsScripted) {
  files_.Scenario(
      u8"[card]\nname = 张三\nid = 1\nnewadd = 北京市海淀区  \nchip_hex = 00 0A FF\n");
  ASSERT_EQ(Run(L"InitComm:1001 Read_Content:3 Read_Content:4"), 0u);
  // Blanks at the ends of a value are not kept.
  EXPECT_EQ(ReadBytes(cur_ + L"\\newadd.txt"), Utf16Le(u"北京市海淀区"));
  EXPECT_EQ(ReadBytes(cur_ + L"\\IINSNDN.bin"), (std::vector<std::uint8_t>{0x00, 0x0A, 0xFF}));
}

TEST_F(TermbChild, BadPhotoAnswersMinusOneAndLeavesNoOldPicture) {
  files_.Scenario(std::string(kThreeCards) + "[reader]\npresent = always\n");
  // Three reads in mode 1: the third card's photo is bad.
  ASSERT_EQ(Run(L"InitComm:1001 Read_Content:1 Read_Content:1 Read_Content:1"), 0u);
  EXPECT_EQ(files_.Journal().back(), "Read_Content(1) = -1");
  EXPECT_EQ(ReadBytes(app_ + L"\\wz.txt"), Cards().cards[2].TextBlock());
  EXPECT_FALSE(Exists(app_ + L"\\zp.bmp"));
}

TEST_F(TermbChild, ModeTwoLeavesTextOnlyAndNoCardReadsNothing) {
  files_.Scenario(std::string(kThreeCards) + "[reader]\npresent = 1\n");
  ASSERT_EQ(Run(L"InitComm:1001 Authenticate Read_Content:2 Authenticate Read_Content:2 Read_Content:7"), 0u);
  const std::vector<std::string> expected = {
      "InitComm(1001) = 1", "Authenticate() = 1", "Read_Content(2) = 1",
      "Authenticate() = 0", "Read_Content(2) = 0", "Read_Content(7) = 0",
  };
  EXPECT_EQ(files_.Journal(), expected);
  EXPECT_EQ(ReadBytes(app_ + L"\\wz.txt"), Cards().cards[0].TextBlock());
  EXPECT_FALSE(Exists(app_ + L"\\zp.bmp"));
}

TEST_F(TermbChild, ScriptedReadResults) {
  files_.Scenario(std::string(kThreeCards) + "[results]\nRead_Content#1 = -2\nRead_Content#2 = -1\n");
  ASSERT_EQ(Run(L"InitComm:1001 Read_Content:1 Read_Content:1"), 0u);
  const std::vector<std::string> lines = files_.Journal();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], "Read_Content(1) = -2");
  EXPECT_EQ(lines[2], "Read_Content(1) = -1");
  // -2 wrote nothing; -1 is a text read without a photo (the first card: -2 took none).
  EXPECT_EQ(ReadBytes(app_ + L"\\wz.txt"), Cards().cards[0].TextBlock());
  EXPECT_FALSE(Exists(app_ + L"\\zp.bmp"));
}
