// The road of cards through the real Cardpost.exe: reader simulators in, console simulator
// windows, head photos and log lines out.
#include <gtest/gtest.h>
#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "CardpostHarness.h"
#include "ConsoleSim.h"
#include "Encode.h"
#include "PacketViews.h"
#include "TestSupport.h"
#include "card/Gbk.h"
#include "card/Packets.h"

namespace {

using namespace qx::test;
using qx::consolesim::ConsoleSim;
using Lines = std::vector<std::string>;

constexpr DWORD kStartMs = 10000;

struct SimCardText {
  const char* name;
  const char* sex;
  const char* nation;
  const char* id;
  const char* extra = "";  // more keys of the card section
};

const char kAddress[] = "北京市东城区景山前街4号";
const char kAuthority[] = "北京市公安局东城分局";

std::string CardSection(const SimCardText& c) {
  return std::string("[card]\nname = ") + c.name + "\nsex = " + c.sex + "\nnation = " + c.nation +
         "\nbirth = 19800101\naddress = " + kAddress + "\nid = " + c.id + "\nauthority = " + kAuthority +
         "\nvalid_start = 20060101\nvalid_end = 20260101\n" + c.extra;
}

// Starts Cardpost hidden and gives it the console's handshake, which starts the reader.
bool StartWithHandshake(CardpostHarness& h, ConsoleSim& console) {
  if (!h.StartAndWaitForBridge(L"", kStartMs)) return false;
  return console.SendHandshake(std::string("0802")).has_value();
}

std::string Utf8Path(const std::wstring& w) { return Utf8(w); }

// Index of the first run of lines equal to want, or npos.
size_t FindRun(const Lines& lines, const Lines& want, size_t from = 0) {
  if (want.empty() || lines.size() < want.size()) return std::string::npos;
  for (size_t i = from; i + want.size() <= lines.size(); ++i)
    if (std::equal(want.begin(), want.end(), lines.begin() + i)) return i;
  return std::string::npos;
}

std::string Dump(const Lines& lines) {
  std::string s;
  for (const auto& l : lines) s += "  " + l + "\n";
  return s;
}

// What a failed wait shows: the log, the reader journal and the program folder.
std::string Trace(const CardpostHarness& h) {
  std::string files;
  for (const auto& f : ListFiles(h.ProgramDir())) files += " " + Utf8(f);
  return "log:\n" + Dump(h.Messages()) + "journal:\n" + Dump(h.JournalLines()) + "program folder:" + files;
}

// Polls that have asked the reader for a card so far.
size_t FindCalls(const CardpostHarness& h) {
  size_t n = 0;
  for (const auto& l : h.JournalLines())
    if (l.rfind("SDT_StartFindMorvid(", 0) == 0) ++n;
  return n;
}

std::string SuccessLine(const std::string& id, const std::string& name, const std::string& folk) {
  return " ### 机读  成功 CertID:" + id + ", Name:" + name + ", Addr:" + kAddress + ", SignDepart:" + kAuthority +
         ", Folk:" + folk;
}

// Several cards in one run, each delivered to the record window with its head photo.
TEST(CardpostCardRoad, CardsReachTheConsoleWithHeadPhotos) {
  struct Card {
    SimCardText text;
    const char* wantName;
    const char* wantSex;
    const char* wantNation;
  };
  const Card cards[] = {
      {{"张三", "1", "01", "110101198001010011"}, "张三(读)", "男", "汉"},
      {{"李娜", "2", "56", "110101198001010022"}, "李娜(读)", "女", "基诺"},
      {{"王五", "0", "00", "110101198001010033"}, "王五(读)", "男", ""},
      {{"赵六", "9", "57", "110101198001010044"}, "赵六(读)", "男", ""},
      {{"欧阳娜娜娜娜娜娜娜娜娜娜娜娜娜", "", "02", "110101198001010055"}, "欧阳娜娜娜娜娜娜娜娜娜娜娜娜娜(读)", "男",
       "蒙古"},
  };
  const size_t n = sizeof cards / sizeof cards[0];
  std::string scenario = "[reader]\npresent = " + std::to_string(n) + "\n";
  for (const Card& c : cards) scenario += CardSection(c.text);
  CardpostOptions options;
  options.scenario = scenario;
  CardpostHarness h(options);
  ConsoleSim console(qx::consolesim::kNewMember | qx::consolesim::kVirtualReader);
  ASSERT_TRUE(console.Running());
  ASSERT_TRUE(StartWithHandshake(h, console));
  ASSERT_TRUE(console.WaitForRecords(n, 30000)) << Trace(h);

  const auto records = console.Records();
  ASSERT_EQ(records.size(), n);
  for (size_t i = 0; i < n; ++i) {
    SCOPED_TRACE(cards[i].wantName);
    const auto& r = records[i];
    EXPECT_EQ(r.window, "DispatchWnd_NewMember");  // never the virtual reader while it exists
    EXPECT_EQ(r.dwData, 27013u);
    ASSERT_EQ(r.bytes.size(), 1114u);
    const auto v = qx::card::DecodeCardInfo(r.bytes.data());
    EXPECT_EQ(v.CardNo, cards[i].text.id);
    EXPECT_EQ(v.CertID, cards[i].text.id);
    EXPECT_EQ(GbkToUtf8(v.Name), cards[i].wantName);
    EXPECT_EQ(GbkToUtf8(v.Sex), cards[i].wantSex);
    EXPECT_EQ(GbkToUtf8(v.Nation), cards[i].wantNation);
    EXPECT_EQ(GbkToUtf8(v.Country), "中国");
    EXPECT_EQ(v.Birthday, "19800101");
    EXPECT_EQ(GbkToUtf8(v.Address), kAddress);
    EXPECT_EQ(v.SignDepart, "");
    EXPECT_EQ(v.DeviceType, "0802");
    EXPECT_EQ(qx::card::FirstStrayCardInfo(r.bytes.data()), qx::card::kStrayNone);

    const std::wstring photo = h.ConsoleDir() + L"\\Photos\\TempUser\\" + Wide(cards[i].text.id) + L"_H.jpg";
    const auto jpg = ReadBytes(photo);
    ASSERT_TRUE(jpg.has_value()) << Utf8(photo);
    ASSERT_GT(jpg->size(), 3u);
    EXPECT_EQ(std::vector<uint8_t>(jpg->begin(), jpg->begin() + 3), (std::vector<uint8_t>{0xFF, 0xD8, 0xFF}));
    EXPECT_EQ(JpegSize(*jpg), std::make_pair(102, 126));
  }
  // The 15-character name: 34 bytes of name and suffix, then NULs.
  EXPECT_EQ(qx::card::GetField(records[4].bytes.data(), qx::card::CardInfoRecord::Name).size(), 34u);

  EXPECT_TRUE(FileExists(h.ProgramDir() + L"\\photo.wlt"));
  EXPECT_TRUE(FileExists(h.ProgramDir() + L"\\photo.bmp"));

  // Each card's lines, in order and together.
  const Lines log = h.Messages();
  const std::string bmp = Utf8Path(h.ProgramDir()) + "\\photo.bmp";
  size_t at = 0;
  for (const Card& c : cards) {
    SCOPED_TRACE(c.wantName);
    const std::string folk = c.text.nation;
    const Lines want = {" ### SelectCard:90",
                        " ### ReadCard:90",
                        "读卡成功，准备获取数据",
                        "解密照片:1, " + bmp,
                        "保存大头照成功 " + bmp + " => " + Utf8Path(h.ConsoleDir()) + "\\Photos\\TempUser\\" +
                            c.text.id + "_H.jpg",
                        SuccessLine(c.text.id, c.wantName, folk),
                        "BGN 发送数据到控制台",
                        "END 发送数据到控制台，新建会员"};
    const size_t found = FindRun(log, want, at);
    ASSERT_NE(found, std::string::npos) << Dump(log);
    at = found + want.size();
  }
}

// Reads that fail in every way the reader can fail, then a card that goes through; the
// virtual reader is the only console window, and no console folder is registered.
TEST(CardpostCardRoad, FailedReadsDeliverNothingAndThePollGoesOn) {
  CardpostOptions options;
  options.registry = CardpostOptions::Registry::kNone;
  // Polls: 1 read 0x41; 2 find 1; 3 select 1; 4 read 1; 5-7 a fault in find, select, read;
  // 8 the card. Natural finds that find the card: polls 1, 3, 4, 6, 7 and 8.
  options.scenario = "[reader]\npresent = 6\n" + CardSection({"张三", "2", "01", "110101198001010011"}) +
                     "[results]\n"
                     "SDT_ReadBaseMsg#1 = 0x41\n"
                     "SDT_StartFindMorvid#2 = 1\n"
                     "SDT_SelectMorvid#2 = 1\n"
                     "SDT_ReadBaseMsg#2 = 1\n"
                     "SDT_StartFindMorvid#5 = fault\n"
                     "SDT_SelectMorvid#4 = fault\n"
                     "SDT_ReadBaseMsg#3 = fault\n";
  CardpostHarness h(options);
  ConsoleSim console(qx::consolesim::kVirtualReader);
  ASSERT_TRUE(console.Running());
  ASSERT_TRUE(StartWithHandshake(h, console));
  ASSERT_TRUE(console.WaitForRecords(1, 30000)) << Trace(h);

  const Lines log = h.Messages();
  const std::string bmp = Utf8Path(h.ProgramDir()) + "\\photo.bmp";
  const Lines want = {" ### SelectCard:90",
                      " ### ReadCard:41",
                      " ### SelectCard:1",
                      " ### SelectCard:90",
                      " ### ReadCard:1",
                      " ### 读卡异常",
                      " ### 读卡异常",
                      " ### SelectCard:90",
                      " ### 读卡异常",
                      " ### SelectCard:90",
                      " ### ReadCard:90",
                      "读卡成功，准备获取数据",
                      "解密照片:1, " + bmp,
                      // Without a console folder the target starts at the drive's root.
                      "保存大头照失败 " + bmp + " => \\Photos\\TempUser\\110101198001010011_H.jpg",
                      SuccessLine("110101198001010011", "张三(读)", "01"),
                      "BGN 发送数据到控制台",
                      "END 发送数据到控制台，刷卡开户"};
  EXPECT_NE(FindRun(log, want), std::string::npos) << Dump(log);
  EXPECT_EQ(h.CountMessage("BGN 发送数据到控制台"), 1u);

  const auto records = console.Records();
  ASSERT_EQ(records.size(), 1u);
  const auto& r = records[0];
  EXPECT_EQ(r.window, "VirtualReader");
  EXPECT_EQ(r.dwData, 27013u);
  ASSERT_EQ(r.bytes.size(), 1360u);
  const auto v = qx::card::DecodeVirtualReader(r.bytes.data());
  EXPECT_EQ(v.cardNo29, "110101198001010011");
  EXPECT_EQ(v.cardNo738, "110101198001010011");
  EXPECT_EQ(v.cardNo944, "110101198001010011");
  EXPECT_EQ(v.value4, 4u);
  EXPECT_EQ(v.value40000, 40000u);
  EXPECT_EQ(v.deviceType, "0802");
  EXPECT_EQ(v.text1, "1");
  EXPECT_EQ(v.text11, "11");
  EXPECT_EQ(GbkToUtf8(v.name), "张三(读)");
  EXPECT_EQ(GbkToUtf8(v.signDepart), kAuthority);
  EXPECT_EQ(GbkToUtf8(v.countryNation), "中国;汉");
  EXPECT_EQ(v.sexFlag, 1u);
  // The platform's own answer for the card's birth date text.
  std::wstring birth = L"19800101";
  DATE d = 0;
  const HRESULT hr = ::VarDateFromStr(birth.data(), LANG_USER_DEFAULT, 0, &d);
  EXPECT_EQ(v.birthDate, SUCCEEDED(hr) ? d : hr == DISP_E_TYPEMISMATCH ? 0.0 : -1.0);
  EXPECT_EQ(v.verifyCode.find_first_of("\r\n"), std::string::npos);
  unsigned char plain[256] = {};
  int capacity = sizeof plain;
  ASSERT_TRUE(Decode(plain, &capacity, v.verifyCode.data(), static_cast<int>(v.verifyCode.size())));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(plain), capacity),
            "110101198001010011;110101198001010011;110101198001010011");
  EXPECT_EQ(qx::card::FirstStrayVirtualReader(r.bytes.data()), qx::card::kStrayNone);
}

// A photo the decoder rejects, or a decoder that answers 0: the card is logged but not
// delivered. A console folder without Photos\TempUser: no head photo, the card still goes.
TEST(CardpostCardRoad, UndecodedPhotoIsNotDeliveredMissingPhotoFolderIs) {
  CardpostOptions options;
  options.consolePhotos = false;
  options.scenario = "[reader]\npresent = 3\n" +
                     CardSection({"张三", "1", "01", "110101198001010011", "photo = bad\n"}) +
                     CardSection({"李娜", "2", "01", "110101198001010022"}) +
                     CardSection({"王五", "1", "01", "110101198001010033"}) + "[results]\nGetBmp#3 = 0\n";
  CardpostHarness h(options);
  ConsoleSim console(qx::consolesim::kRegister | qx::consolesim::kVirtualReader);
  ASSERT_TRUE(console.Running());
  ASSERT_TRUE(StartWithHandshake(h, console));
  // The fourth poll finds no card: by then the third has ended.
  ASSERT_TRUE(WaitUntil([&] { return FindCalls(h) >= 4; }, 30000)) << Trace(h);

  const std::string prog = Utf8Path(h.ProgramDir());
  const std::string wlt = prog + "\\photo.wlt";
  const std::string bmp = prog + "\\photo.bmp";
  const Lines log = h.Messages();
  const Lines want = {" ### SelectCard:90",
                      " ### ReadCard:90",
                      "读卡成功，准备获取数据",
                      "解密照片:0, " + wlt,
                      SuccessLine("110101198001010011", "张三(读)", "01"),
                      " ### SelectCard:90",
                      " ### ReadCard:90",
                      "读卡成功，准备获取数据",
                      "解密照片:1, " + bmp,
                      "保存大头照失败 " + bmp + " => " + Utf8Path(h.ConsoleDir()) +
                          "\\Photos\\TempUser\\110101198001010022_H.jpg",
                      SuccessLine("110101198001010022", "李娜(读)", "01"),
                      "BGN 发送数据到控制台",
                      "END 发送数据到控制台，临时用户填写信息",
                      " ### SelectCard:90",
                      " ### ReadCard:90",
                      "读卡成功，准备获取数据",
                      "解密照片:0, " + wlt,
                      SuccessLine("110101198001010033", "王五(读)", "01")};
  EXPECT_NE(FindRun(log, want), std::string::npos) << Dump(log);
  EXPECT_EQ(h.CountMessage("BGN 发送数据到控制台"), 1u);
  EXPECT_FALSE(FileExists(h.ConsoleDir() + L"\\Photos"));

  const auto records = console.Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].window, "WndTitle_Register_dll");
  ASSERT_EQ(records[0].bytes.size(), 1114u);
  EXPECT_EQ(qx::card::DecodeCardInfo(records[0].bytes.data()).CertID, "110101198001010022");
}

// An access violation inside the photo decoder ends neither the poll nor the program: it is
// logged and counts as a photo that was not decoded, and the next card goes through.
TEST(CardpostCardRoad, DecoderFaultCountsAsUndecodedPhoto) {
  CardpostOptions options;
  options.scenario = "[reader]\npresent = 2\n" + CardSection({"张三", "1", "01", "110101198001010011"}) +
                     CardSection({"李娜", "2", "01", "110101198001010022"}) + "[results]\nGetBmp#1 = fault\n";
  CardpostHarness h(options);
  ConsoleSim console(qx::consolesim::kRegister);
  ASSERT_TRUE(console.Running());
  ASSERT_TRUE(StartWithHandshake(h, console));
  ASSERT_TRUE(console.WaitForRecords(1, 30000)) << Trace(h);
  // One more poll after the delivery: the timer runs again.
  ASSERT_TRUE(WaitUntil([&] { return FindCalls(h) >= 3; }, 30000)) << Trace(h);
  EXPECT_TRUE(h.Running());

  const std::string prog = Utf8Path(h.ProgramDir());
  const std::string wlt = prog + "\\photo.wlt";
  const std::string bmp = prog + "\\photo.bmp";
  const Lines journal = h.JournalLines();
  EXPECT_NE(std::find(journal.begin(), journal.end(), "GetBmp(" + wlt + ", 2) = fault"), journal.end())
      << Dump(journal);
  const Lines log = h.Messages();
  const Lines want = {" ### SelectCard:90",
                      " ### ReadCard:90",
                      "读卡成功，准备获取数据",
                      " ### 解密照片异常",
                      "解密照片:0, " + wlt,
                      SuccessLine("110101198001010011", "张三(读)", "01"),
                      " ### SelectCard:90",
                      " ### ReadCard:90",
                      "读卡成功，准备获取数据",
                      "解密照片:1, " + bmp,
                      "保存大头照成功 " + bmp + " => " + Utf8Path(h.ConsoleDir()) +
                          "\\Photos\\TempUser\\110101198001010022_H.jpg",
                      SuccessLine("110101198001010022", "李娜(读)", "01"),
                      "BGN 发送数据到控制台"};
  EXPECT_NE(FindRun(log, want), std::string::npos) << Dump(log);
  EXPECT_EQ(h.CountMessage("BGN 发送数据到控制台"), 1u);
  EXPECT_EQ(h.CountMessage(" ### 机读，设备正忙"), 0u);

  const auto records = console.Records();
  ASSERT_EQ(records.size(), 1u);
  ASSERT_EQ(records[0].bytes.size(), 1114u);
  EXPECT_EQ(qx::card::DecodeCardInfo(records[0].bytes.data()).CertID, "110101198001010022");
}

}  // namespace
