// One reader poll in this process: ReadCard's steps, log lines, files and the record it fills,
// on fake entry points and on the reader simulators; the head photo through GDI+.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "CardFields.h"
#include "CardRead.h"
#include "CardroadLog.h"
#include "Delivery.h"
#include "HeadPhoto.h"
#include "Log.h"
#include "win/Text.h"
#include "ReaderWnd.h"
#include "TestSupport.h"
#include "SampleCard.h"
#include "card/CardTextBlock.h"
#include "card/Packets.h"
#include "PacketViews.h"

namespace {

using namespace qx::test;
using cardpost::CardReaderCalls;
using cardpost::HeadPhotoResult;
using qx::card::CardInfoRecord;
using qx::card::CardRecordBytes;
using Lines = std::vector<std::string>;
using namespace std::literals;

// ---- fake reader -------------------------------------------------------------------------

enum class FaultAt { None, Find, Select, Read };

struct FakeReader {
  int findStatus = 0x9F;
  int selectStatus = 0x90;
  int readStatus = 0x90;
  std::vector<uint8_t> block;
  std::vector<uint8_t> photo;
  std::optional<unsigned> reportedPhotoLength;  // default: photo.size()
  FaultAt fault = FaultAt::None;
  int getBmpResult = 1;
  bool getBmpFillsBuffer = false;
  bool getBmpThrows = false;
  // What the entry points saw.
  Lines calls;
  int port = 0;
  unsigned textLengthIn = 0;
  unsigned photoLengthIn = 0;
  std::string getBmpPath;
  int getBmpMode = 0;
};
FakeReader g_fake;

// A real access violation: both the pointer and the store are volatile, so neither is dropped.
__attribute__((noinline)) void RaiseFault() {
  volatile int* volatile p = nullptr;
  *p = 1;
}

int __stdcall FakeFind(int port, unsigned char*, int) {
  g_fake.calls.push_back("find");
  g_fake.port = port;
  if (g_fake.fault == FaultAt::Find) RaiseFault();
  return g_fake.findStatus;
}

int __stdcall FakeSelect(int, unsigned char*, int) {
  g_fake.calls.push_back("select");
  if (g_fake.fault == FaultAt::Select) RaiseFault();
  return g_fake.selectStatus;
}

int __stdcall FakeRead(int, unsigned char* text, unsigned* textLen, unsigned char* photo, unsigned* photoLen, int) {
  g_fake.calls.push_back("read");
  g_fake.textLengthIn = *textLen;
  g_fake.photoLengthIn = *photoLen;
  if (g_fake.fault == FaultAt::Read) RaiseFault();
  if (g_fake.readStatus == 0x90) {
    std::memcpy(text, g_fake.block.data(), std::min<size_t>(g_fake.block.size(), 1000));
    std::memcpy(photo, g_fake.photo.data(), std::min<size_t>(g_fake.photo.size(), 204800));
    *textLen = static_cast<unsigned>(g_fake.block.size());
    *photoLen = g_fake.reportedPhotoLength.value_or(static_cast<unsigned>(g_fake.photo.size()));
  }
  return g_fake.readStatus;
}

int __stdcall FakeGetBmp(char* path, int mode) {
  g_fake.calls.push_back("getbmp");
  g_fake.getBmpPath.assign(path, strnlen(path, 501));
  g_fake.getBmpMode = mode;
  if (g_fake.getBmpThrows) throw std::runtime_error("decoder");
  if (g_fake.getBmpFillsBuffer) std::memset(path, 'A', 501);
  return g_fake.getBmpResult;
}

CardReaderCalls FakeCalls() { return {FakeFind, FakeSelect, FakeRead, FakeGetBmp}; }

std::vector<uint8_t> PhotoBytes(size_t n) {
  std::vector<uint8_t> p(n);
  for (size_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(i * 7 + 3);
  return p;
}

std::string ModuleDirUtf8() { return GbkToUtf8(GetModuleDir()); }
std::wstring ModuleFile(const wchar_t* name) { return Wide(ModuleDirUtf8()) + L"\\" + name; }

const wchar_t* const kPollFiles[] = {L"zp.bmp", L"zp.jpg", L"wz.txt", L"photo.wlt"};

std::string SuccessLine(const std::string& id, const std::string& name, const std::string& addr,
                        const std::string& depart, const std::string& folk) {
  return " ### 机读  成功 CertID:" + id + ", Name:" + name + ", Addr:" + addr + ", SignDepart:" + depart +
         ", Folk:" + folk;
}

struct Poll {
  bool result = false;
  CardRecordBytes record{};
  Lines messages;
};

Poll RunPoll(const CardReaderCalls& calls, int port = 1001) {
  Poll p;
  UnitLog log;
  p.result = cardpost::ReadCardWith(calls, port, p.record.data());
  p.messages = log.Messages();
  return p;
}

std::string Field(const CardRecordBytes& r, qx::card::Field f) { return GbkToUtf8(qx::card::GetField(r.data(), f)); }

class CardRead : public ::testing::Test {
 protected:
  void SetUp() override {
    g_fake = FakeReader{};
    g_fake.block = qx::card::BuildCardTextBytes(qx::test::SampleCardInput());
    g_fake.photo = PhotoBytes(1024);
    g_ReadBusy = false;
    g_SignDepart = "stale";
  }
  void TearDown() override { g_ReadBusy = false; }
};

// ---- the poll on fake entry points ---------------------------------------------------------

TEST_F(CardRead, ReadsCardIntoRecordAndLogsEachStep) {
  const Poll p = RunPoll(FakeCalls(), 1003);
  EXPECT_TRUE(p.result);
  const std::string wlt = ModuleDirUtf8() + "\\photo.wlt";
  // The fake decoder leaves no picture, so no head photo line.
  EXPECT_EQ(p.messages, (Lines{" ### SelectCard:90", " ### ReadCard:90", "读卡成功，准备获取数据",
                               "解密照片:1, " + wlt,
                               SuccessLine("110101198001010011", "张三(读)", "北京市东城区景山前街4号",
                                           "北京市公安局东城分局", "01")}));
  EXPECT_EQ(g_fake.calls, (Lines{"find", "select", "read", "getbmp"}));
  EXPECT_EQ(g_fake.port, 1003);
  EXPECT_EQ(g_fake.textLengthIn, 1000u);
  EXPECT_EQ(g_fake.photoLengthIn, 204800u);
  EXPECT_EQ(GbkToUtf8(g_fake.getBmpPath), wlt);
  EXPECT_EQ(g_fake.getBmpMode, 2);
  EXPECT_EQ(ReadBytes(ModuleFile(L"photo.wlt")), g_fake.photo);

  const auto v = qx::card::DecodeCardInfo(p.record.data());
  EXPECT_EQ(GbkToUtf8(v.Name), "张三(读)");
  EXPECT_EQ(GbkToUtf8(v.Sex), "男");
  EXPECT_EQ(v.Birthday, "19800101");
  EXPECT_EQ(GbkToUtf8(v.Address), "北京市东城区景山前街4号");
  EXPECT_EQ(v.CertID, "110101198001010011");
  EXPECT_EQ(v.CardNo, "110101198001010011");
  EXPECT_EQ(GbkToUtf8(v.Country), "中国");
  EXPECT_EQ(GbkToUtf8(v.Nation), "汉");
  EXPECT_EQ(v.SignDepart, "");
  EXPECT_EQ(v.DeviceType, "");
  EXPECT_EQ(qx::card::FirstStrayCardInfo(p.record.data()), qx::card::kStrayNone);
  EXPECT_EQ(GbkToUtf8(g_SignDepart), "北京市公安局东城分局");
  EXPECT_FALSE(g_ReadBusy);
}

struct FieldCase {
  std::u16string_view name;
  std::u16string_view sex;
  std::u16string_view nation;
  const char* wantName;    // UTF-8, with the suffix
  const char* wantSex;
  const char* wantNation;  // empty: Nation stays zero
  const char* wantFolk;
};

TEST_F(CardRead, FieldsFollowTheCardCodes) {
  const FieldCase cases[] = {
      {u"李娜", u"2", u"01", "李娜(读)", "女", "汉", "01"},
      {u"李娜", u"1", u"56", "李娜(读)", "男", "基诺", "56"},
      {u"李娜", u"0", u"00", "李娜(读)", "男", "", "00"},
      {u"李娜", u"9", u"57", "李娜(读)", "男", "", "57"},
      {u"李娜", u" ", u"  ", "李娜(读)", "男", "", ""},
      {u"李娜", u"X", u"3", "李娜(读)", "男", "回", "3"},
      // Fifteen characters: 30 bytes of name and 4 of suffix.
      {u"欧阳娜娜娜娜娜娜娜娜娜娜娜娜娜", u"2", u"02", "欧阳娜娜娜娜娜娜娜娜娜娜娜娜娜(读)", "女", "蒙古", "02"},
      // A character the code page lacks gets the default replacement; a NUL ends the field.
      {u"张\u0E01", u"1", u"01", "张?(读)", "男", "汉", "01"},
      {u"张\u0000三"sv, u"1", u"01", "张(读)", "男", "汉", "01"},
  };
  for (const FieldCase& c : cases) {
    SCOPED_TRACE(std::string(c.wantName) + " " + c.wantSex + " " + c.wantFolk);
    SetUp();
    qx::card::CardTextInput card = qx::test::SampleCardInput();
    card.name = std::u16string(c.name);
    card.sex = std::u16string(c.sex);
    card.nation = std::u16string(c.nation);
    g_fake.block = qx::card::BuildCardTextBytes(card);
    const Poll p = RunPoll(FakeCalls());
    EXPECT_TRUE(p.result);
    EXPECT_EQ(Field(p.record, CardInfoRecord::Name), c.wantName);
    EXPECT_EQ(Field(p.record, CardInfoRecord::Sex), c.wantSex);
    EXPECT_EQ(Field(p.record, CardInfoRecord::Nation), c.wantNation);
    EXPECT_EQ(qx::card::FirstStrayCardInfo(p.record.data()), qx::card::kStrayNone);
    ASSERT_FALSE(p.messages.empty());
    EXPECT_EQ(p.messages.back(), SuccessLine("110101198001010011", c.wantName, "北京市东城区景山前街4号",
                                             "北京市公安局东城分局", c.wantFolk));
  }
}

TEST_F(CardRead, FifteenCharacterNameFillsThirtyFourBytes) {
  qx::card::CardTextInput card = qx::test::SampleCardInput();
  card.name = u"欧阳娜娜娜娜娜娜娜娜娜娜娜娜娜";
  card.address = u"新疆维吾尔自治区乌鲁木齐市天山区解放北路一百二十三号院九号楼三单元五室";
  g_fake.block = qx::card::BuildCardTextBytes(card);
  const Poll p = RunPoll(FakeCalls());
  const uint8_t* name = p.record.data() + CardInfoRecord::Name.offset;
  const std::string want = Gbk("欧阳娜娜娜娜娜娜娜娜娜娜娜娜娜(读)");
  ASSERT_EQ(want.size(), 34u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(name), 34), want);
  for (size_t i = 34; i < 40; ++i) EXPECT_EQ(name[i], 0) << i;
  EXPECT_EQ(qx::card::GetField(p.record.data(), CardInfoRecord::Address).size(), 70u);
}

// The calling thread's locale for a while; its code page is what CP_THREAD_ACP names.
class ThreadLocale {
 public:
  explicit ThreadLocale(LANGID lang) { ::SetThreadLocale(MAKELCID(lang, SORT_DEFAULT)); }
  ~ThreadLocale() { ::SetThreadLocale(saved_); }
  ThreadLocale(const ThreadLocale&) = delete;
  ThreadLocale& operator=(const ThreadLocale&) = delete;

 private:
  const LCID saved_ = ::GetThreadLocale();
};

// The card's text takes the calling thread's ANSI code page; the nation name is GBK whatever
// that code page is, like the sex and country texts beside it.
TEST_F(CardRead, CardTextFollowsTheThreadCodePageNationStaysGbk) {
  const struct {
    const char* what;
    LANGID lang;
    std::string name;  // the Name field's bytes
  } cases[] = {
      {"zh-CN, 936", MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), Gbk("José张(读)")},
      {"en-US, 1252", MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), "Jos\xE9?" + Gbk("(读)")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    qx::card::CardTextInput card = qx::test::SampleCardInput();
    card.name = u"José张";
    card.nation = u"02";
    g_fake.block = qx::card::BuildCardTextBytes(card);
    const ThreadLocale locale(c.lang);
    const Poll p = RunPoll(FakeCalls());
    EXPECT_TRUE(p.result);
    EXPECT_EQ(qx::card::GetField(p.record.data(), CardInfoRecord::Name), c.name);
    EXPECT_EQ(qx::card::GetField(p.record.data(), CardInfoRecord::Nation), Gbk("蒙古"));
  }
}

struct StatusCase {
  int find, select, read;
  Lines lines;
  Lines calls;
};

TEST_F(CardRead, StatusesOtherThanExpectedEndThePoll) {
  const StatusCase cases[] = {
      {0x80, 0x90, 0x90, {}, {"find"}},
      {1, 0x90, 0x90, {}, {"find"}},
      {0x90, 0x90, 0x90, {}, {"find"}},
      {0x9F, 1, 0x90, {" ### SelectCard:1"}, {"find", "select"}},
      {0x9F, 0x81, 0x90, {" ### SelectCard:81"}, {"find", "select"}},
      {0x9F, 0x90, 0x41, {" ### SelectCard:90", " ### ReadCard:41"}, {"find", "select", "read"}},
      {0x9F, 0x90, 1, {" ### SelectCard:90", " ### ReadCard:1"}, {"find", "select", "read"}},
  };
  for (const StatusCase& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.find << "/" << c.select << "/" << c.read);
    SetUp();
    g_fake.findStatus = c.find;
    g_fake.selectStatus = c.select;
    g_fake.readStatus = c.read;
    for (const wchar_t* f : kPollFiles) ASSERT_TRUE(WriteText(ModuleFile(f), "old"));
    const Poll p = RunPoll(FakeCalls());
    EXPECT_FALSE(p.result);
    EXPECT_EQ(p.messages, c.lines);
    EXPECT_EQ(g_fake.calls, c.calls);
    for (const wchar_t* f : kPollFiles) EXPECT_FALSE(FileExists(ModuleFile(f))) << Utf8(f);
    EXPECT_EQ(p.record, CardRecordBytes{});
    EXPECT_EQ(g_SignDepart, "");
    EXPECT_FALSE(g_ReadBusy);
  }
}

TEST_F(CardRead, FaultInsideTheLibraryCountsAsFailedRead) {
  const struct {
    FaultAt at;
    Lines lines;
  } cases[] = {
      {FaultAt::Find, {" ### 读卡异常"}},
      {FaultAt::Select, {" ### 读卡异常"}},
      {FaultAt::Read, {" ### SelectCard:90", " ### 读卡异常"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.at));
    SetUp();
    g_fake.fault = c.at;
    const Poll p = RunPoll(FakeCalls());
    EXPECT_FALSE(p.result);
    EXPECT_EQ(p.messages, c.lines);
    EXPECT_EQ(p.record, CardRecordBytes{});
    EXPECT_FALSE(g_ReadBusy);
    EXPECT_EQ(g_SignDepart, "");
    // The next poll runs as usual.
    g_fake.fault = FaultAt::None;
    EXPECT_TRUE(RunPoll(FakeCalls()).result);
  }
}

TEST_F(CardRead, RefusesWithoutEntryPointsOrWhileBusy) {
  const struct {
    CardReaderCalls calls;
    bool busy;
    Lines lines;
  } cases[] = {
      {{nullptr, FakeSelect, FakeRead, FakeGetBmp}, false, {" ### 机读，接口非法"}},
      {{FakeFind, nullptr, FakeRead, FakeGetBmp}, false, {" ### 机读，接口非法"}},
      {{FakeFind, FakeSelect, nullptr, FakeGetBmp}, false, {" ### 机读，接口非法"}},
      {{nullptr, FakeSelect, FakeRead, FakeGetBmp}, true, {" ### 机读，接口非法"}},
      {FakeCalls(), true, {" ### 机读，设备正忙"}},
  };
  for (const auto& c : cases) {
    SetUp();
    g_ReadBusy = c.busy;
    const Poll p = RunPoll(c.calls);
    EXPECT_FALSE(p.result);
    EXPECT_EQ(p.messages, c.lines);
    EXPECT_TRUE(g_fake.calls.empty());
    EXPECT_EQ(g_ReadBusy, c.busy);  // left as it was
    EXPECT_EQ(g_SignDepart, "");
  }
}

TEST_F(CardRead, PhotoFileHoldsReportedLengthWithinTheBuffer) {
  const struct {
    size_t given;
    unsigned reported;
    size_t written;
  } cases[] = {
      {1024, 1024, 1024},
      {1024, 0, 0},
      {1024, 100, 100},
      {204800, 204800, 204800},
      // A library that reports more than our buffer holds: we write the buffer, no more.
      {1024, 300000, 204800},
      {1024, 0xFFFFFFFFu, 204800},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reported);
    SetUp();
    g_fake.photo = PhotoBytes(c.given);
    g_fake.reportedPhotoLength = c.reported;
    EXPECT_TRUE(RunPoll(FakeCalls()).result);
    const auto file = ReadBytes(ModuleFile(L"photo.wlt"));
    ASSERT_TRUE(file.has_value());
    ASSERT_EQ(file->size(), c.written);
    std::vector<uint8_t> want(c.written, 0);
    std::memcpy(want.data(), g_fake.photo.data(), std::min(c.given, c.written));
    EXPECT_EQ(*file, want);
  }
}

TEST_F(CardRead, DecoderAnswerDecidesTheResultButNotTheLog) {
  for (int answer : {1, 0, 2, -1}) {
    SCOPED_TRACE(answer);
    SetUp();
    g_fake.getBmpResult = answer;
    const Poll p = RunPoll(FakeCalls());
    EXPECT_EQ(p.result, answer == 1);
    ASSERT_EQ(p.messages.size(), 5u);
    EXPECT_EQ(p.messages[3], "解密照片:" + std::to_string(answer) + ", " + ModuleDirUtf8() + "\\photo.wlt");
    EXPECT_EQ(p.messages[4].rfind(" ### 机读  成功 CertID:110101198001010011,", 0), 0u);
    EXPECT_EQ(Field(p.record, CardInfoRecord::Name), "张三(读)");  // filled all the same
  }
}

TEST_F(CardRead, DecoderPathIsReadWithinItsBuffer) {
  g_fake.getBmpFillsBuffer = true;
  const Poll p = RunPoll(FakeCalls());
  EXPECT_TRUE(p.result);
  ASSERT_EQ(p.messages.size(), 5u);
  EXPECT_EQ(p.messages[3], "解密照片:1, " + std::string(501, 'A'));
}

TEST_F(CardRead, MissingDecoderDecodesNothing) {
  CardReaderCalls calls = FakeCalls();
  calls.getBmp = nullptr;
  const Poll p = RunPoll(calls);
  EXPECT_FALSE(p.result);
  ASSERT_EQ(p.messages.size(), 5u);
  EXPECT_EQ(p.messages[3], "解密照片:0, " + ModuleDirUtf8() + "\\photo.wlt");
}

// An exception raised inside the decoder is a photo it could not decode: the card is logged
// but not delivered, and the poll ends as any other.
TEST_F(CardRead, ExceptionInTheDecoderIsAnUndecodedPhoto) {
  g_fake.getBmpThrows = true;
  const Poll p = RunPoll(FakeCalls());
  EXPECT_FALSE(p.result);
  ASSERT_EQ(p.messages.size(), 6u);
  EXPECT_EQ(Lines(p.messages.begin(), p.messages.begin() + 5),
            (Lines{" ### SelectCard:90", " ### ReadCard:90", "读卡成功，准备获取数据", " ### 解密照片异常",
                   "解密照片:0, " + ModuleDirUtf8() + "\\photo.wlt"}));
  EXPECT_EQ(p.messages.back().rfind(" ### 机读  成功 CertID:", 0), 0u);
  EXPECT_FALSE(g_ReadBusy);
  // The next poll is not refused as busy.
  g_fake.getBmpThrows = false;
  EXPECT_TRUE(RunPoll(FakeCalls()).result);
}

// ---- the poll on the reader simulators -----------------------------------------------------

// Points the simulators at a scenario and journal of this test, and puts the environment back.
class SimulatedReader {
 public:
  SimulatedReader() : dir_(L"cardroad") {
    ::SetEnvironmentVariableW(L"QX_READER_SCENARIO", (dir_ / L"scenario.ini").c_str());
    ::SetEnvironmentVariableW(L"QX_READER_JOURNAL", (dir_ / L"journal.txt").c_str());
    sdt_ = ::LoadLibraryW((BinDir() + L"\\sdtapi.dll").c_str());
    wlt_ = ::LoadLibraryW((BinDir() + L"\\WltRS.dll").c_str());
    if (sdt_) {
      open_ = reinterpret_cast<SDT_OpenPort_t>(::GetProcAddress(sdt_, "SDT_OpenPort"));
      close_ = reinterpret_cast<SDT_ClosePort_t>(::GetProcAddress(sdt_, "SDT_ClosePort"));
      calls_.startFind = reinterpret_cast<SDT_StartFindMorvid_t>(::GetProcAddress(sdt_, "SDT_StartFindMorvid"));
      calls_.select = reinterpret_cast<SDT_SelectMorvid_t>(::GetProcAddress(sdt_, "SDT_SelectMorvid"));
      calls_.readBaseMsg = reinterpret_cast<SDT_ReadBaseMsg_t>(::GetProcAddress(sdt_, "SDT_ReadBaseMsg"));
    }
    if (wlt_) calls_.getBmp = reinterpret_cast<GetBmp_t>(::GetProcAddress(wlt_, "GetBmp"));
  }
  ~SimulatedReader() {
    if (close_) close_(1001);
    if (wlt_) ::FreeLibrary(wlt_);
    if (sdt_) ::FreeLibrary(sdt_);
    ::SetEnvironmentVariableW(L"QX_READER_SCENARIO", nullptr);
    ::SetEnvironmentVariableW(L"QX_READER_JOURNAL", nullptr);
  }
  bool Ready() const { return open_ && close_ && calls_.startFind && calls_.select && calls_.readBaseMsg && calls_.getBmp; }
  // Scenarios of one test differ in their comment line, so that a rewrite is always seen.
  void Scenario(const std::string& utf8) {
    WriteText(dir_ / L"scenario.ini", "; " + std::to_string(++version_) + "\n" + utf8);
  }
  int Open() { return open_(1001); }
  const CardReaderCalls& calls() const { return calls_; }

 private:
  TempDir dir_;
  HMODULE sdt_ = nullptr;
  HMODULE wlt_ = nullptr;
  SDT_OpenPort_t open_ = nullptr;
  SDT_ClosePort_t close_ = nullptr;
  CardReaderCalls calls_;
  int version_ = 0;
};

const char kSimCard[] =
    "[card]\nname = 王五\nsex = 2\nnation = 05\nbirth = 19991231\naddress = 上海市黄浦区南京东路1号\n"
    "id = 310101199912310022\nauthority = 上海市公安局黄浦分局\nvalid_start = 20100101\nvalid_end = 长期\n";

TEST(CardReadSim, ReadsSimulatedCardAndDecodesItsPhoto) {
  g_ReadBusy = false;
  SimulatedReader sim;
  ASSERT_TRUE(sim.Ready());
  sim.Scenario(kSimCard);
  ASSERT_EQ(sim.Open(), 0x90);
  const Poll p = RunPoll(sim.calls());
  EXPECT_TRUE(p.result);
  ASSERT_GE(p.messages.size(), 5u);
  EXPECT_EQ(p.messages[3], "解密照片:1, " + ModuleDirUtf8() + "\\photo.bmp");
  EXPECT_EQ(p.messages.back(), SuccessLine("310101199912310022", "王五(读)", "上海市黄浦区南京东路1号",
                                           "上海市公安局黄浦分局", "05"));
  EXPECT_EQ(Field(p.record, CardInfoRecord::Sex), "女");
  EXPECT_EQ(Field(p.record, CardInfoRecord::Nation), "维吾尔");
  EXPECT_TRUE(FileExists(ModuleFile(L"photo.wlt")));
  const auto bmp = ReadBytes(ModuleFile(L"photo.bmp"));
  ASSERT_TRUE(bmp.has_value());
  ASSERT_GE(bmp->size(), 2u);
  EXPECT_EQ((*bmp)[0], 'B');
  EXPECT_EQ((*bmp)[1], 'M');
}

TEST(CardReadSim, FaultRaisedInsideTheLibraryIsCaught) {
  g_ReadBusy = false;
  SimulatedReader sim;
  ASSERT_TRUE(sim.Ready());
  ASSERT_EQ(sim.Open(), 0x90);
  for (const char* op : {"SDT_StartFindMorvid", "SDT_SelectMorvid", "SDT_ReadBaseMsg"}) {
    SCOPED_TRACE(op);
    sim.Scenario(std::string(kSimCard) + "[results]\n" + op + " = fault\n");
    const Poll p = RunPoll(sim.calls());
    EXPECT_FALSE(p.result);
    ASSERT_FALSE(p.messages.empty());
    EXPECT_EQ(p.messages.back(), " ### 读卡异常");
    EXPECT_FALSE(g_ReadBusy);
  }
  sim.Scenario(kSimCard);
  EXPECT_TRUE(RunPoll(sim.calls()).result);
}

// A fault inside the decoder is a photo that was not decoded: logged, the card not delivered.
TEST(CardReadSim, DecoderFaultIsLoggedAndNotDelivered) {
  g_ReadBusy = false;
  SimulatedReader sim;
  ASSERT_TRUE(sim.Ready());
  ASSERT_EQ(sim.Open(), 0x90);
  sim.Scenario(std::string(kSimCard) + "[results]\nGetBmp = fault\n");
  const Poll p = RunPoll(sim.calls());
  EXPECT_FALSE(p.result);
  EXPECT_FALSE(g_ReadBusy);
  ASSERT_GE(p.messages.size(), 6u);
  EXPECT_EQ(p.messages[3], " ### 解密照片异常");
  EXPECT_EQ(p.messages[4], "解密照片:0, " + ModuleDirUtf8() + "\\photo.wlt");
  EXPECT_EQ(p.messages.back().rfind(" ### 机读  成功 CertID:310101199912310022,", 0), 0u);
  sim.Scenario(kSimCard);
  EXPECT_TRUE(RunPoll(sim.calls()).result);
}

TEST(CardReadSim, BadPhotoIsLoggedButNotDelivered) {
  g_ReadBusy = false;
  SimulatedReader sim;
  ASSERT_TRUE(sim.Ready());
  ASSERT_EQ(sim.Open(), 0x90);
  sim.Scenario(std::string(kSimCard) + "photo = bad\n");
  const Poll p = RunPoll(sim.calls());
  EXPECT_FALSE(p.result);
  ASSERT_GE(p.messages.size(), 5u);
  EXPECT_EQ(p.messages[3], "解密照片:0, " + ModuleDirUtf8() + "\\photo.wlt");
  EXPECT_EQ(p.messages.back().rfind(" ### 机读  成功 CertID:310101199912310022,", 0), 0u);
}

// The member binds the reader window's own entry points.
TEST(CardReadMember, ReadCardUsesTheWindowsEntryPoints) {
  g_ReadBusy = false;
  Cbiz_CardpostHD hd;
  CardRecordBytes record{};
  {
    UnitLog log;
    EXPECT_FALSE(hd.ReadCard(record.data()));
    EXPECT_EQ(log.Messages(), (Lines{" ### 机读，接口非法"}));
  }
  SimulatedReader sim;
  ASSERT_TRUE(sim.Ready());
  sim.Scenario(kSimCard);
  ASSERT_TRUE(hd.LoadDevice());
  EXPECT_TRUE(hd.ReadCard(record.data()));
  EXPECT_EQ(Field(record, CardInfoRecord::CertID), "310101199912310022");
  hd.FreeDeviceLibraries();
}

// ---- head photo --------------------------------------------------------------------------

// A 24-bit bottom-up BMP of one colour.
std::vector<uint8_t> MakeBmp(int w, int h) {
  const int stride = (w * 3 + 3) & ~3;
  std::vector<uint8_t> b(54 + static_cast<size_t>(stride) * h, 0);
  auto put32 = [&](size_t at, uint32_t v) { for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i)); };
  b[0] = 'B';
  b[1] = 'M';
  put32(2, static_cast<uint32_t>(b.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(w));
  put32(22, static_cast<uint32_t>(h));
  b[26] = 1;
  b[28] = 24;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* px = &b[54 + static_cast<size_t>(y) * stride + x * 3];
      px[0] = 200, px[1] = static_cast<uint8_t>(x), px[2] = static_cast<uint8_t>(y);
    }
  return b;
}

std::string Ansi(const std::wstring& w) { return qx::win::WideToMulti(w); }

TEST(HeadPhoto, SavesTheBitmapAsJpeg) {
  TempDir dir(L"headphoto");
  const std::wstring bmp = dir / L"照片.bmp";
  ASSERT_TRUE(WriteBytes(bmp, MakeBmp(102, 126).data(), MakeBmp(102, 126).size()));
  const std::wstring jpg = dir / L"110101198001010011_H.jpg";
  EXPECT_EQ(cardpost::SaveHeadPhoto(Ansi(bmp), Ansi(jpg)), HeadPhotoResult::Saved);
  const auto bytes = ReadBytes(jpg);
  ASSERT_TRUE(bytes && bytes->size() > 3);
  EXPECT_EQ(std::vector<uint8_t>(bytes->begin(), bytes->begin() + 3), (std::vector<uint8_t>{0xFF, 0xD8, 0xFF}));
  EXPECT_EQ(JpegSize(*bytes), std::make_pair(102, 126));
}

TEST(HeadPhoto, EncoderFollowsTheTargetExtension) {
  TempDir dir(L"headphoto");
  const std::wstring bmp = dir / L"in.bmp";
  const auto pic = MakeBmp(20, 10);
  ASSERT_TRUE(WriteBytes(bmp, pic.data(), pic.size()));
  const struct {
    const wchar_t* name;
    std::vector<uint8_t> magic;  // empty: no encoder, nothing written
  } cases[] = {
      {L"a.jpg", {0xFF, 0xD8, 0xFF}},
      {L"b.JPEG", {0xFF, 0xD8, 0xFF}},
      {L"c.png", {0x89, 'P', 'N', 'G'}},
      {L"d.bmp", {'B', 'M'}},
      {L"e.xyz", {}},
      {L"noext", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf8(c.name));
    const std::wstring target = dir / c.name;
    const HeadPhotoResult r = cardpost::SaveHeadPhoto(Ansi(bmp), Ansi(target));
    if (c.magic.empty()) {
      EXPECT_EQ(r, HeadPhotoResult::SaveFailed);
      EXPECT_FALSE(FileExists(target));
      continue;
    }
    EXPECT_EQ(r, HeadPhotoResult::Saved);
    const auto bytes = ReadBytes(target);
    ASSERT_TRUE(bytes && bytes->size() >= c.magic.size());
    EXPECT_EQ(std::vector<uint8_t>(bytes->begin(), bytes->begin() + c.magic.size()), c.magic);
  }
}

TEST(HeadPhoto, MissingFolderFailsTheSaveAndCreatesNothing) {
  TempDir dir(L"headphoto");
  const std::wstring bmp = dir / L"in.bmp";
  const auto pic = MakeBmp(8, 8);
  ASSERT_TRUE(WriteBytes(bmp, pic.data(), pic.size()));
  EXPECT_EQ(cardpost::SaveHeadPhoto(Ansi(bmp), Ansi(dir / L"Photos\\TempUser\\x_H.jpg")), HeadPhotoResult::SaveFailed);
  EXPECT_FALSE(FileExists(dir / L"Photos"));
}

TEST(HeadPhoto, UnloadableSourceIsNotLoaded) {
  TempDir dir(L"headphoto");
  ASSERT_TRUE(WriteText(dir / L"junk.bmp", "not a picture at all"));
  for (const std::wstring& src : {dir / L"missing.bmp", dir / L"junk.bmp", std::wstring()}) {
    SCOPED_TRACE(Utf8(src));
    EXPECT_EQ(cardpost::SaveHeadPhoto(Ansi(src), Ansi(dir / L"out.jpg")), HeadPhotoResult::NotLoaded);
  }
  EXPECT_FALSE(FileExists(dir / L"out.jpg"));
}

TEST(HeadPhoto, TargetPathTakesTheConsoleFolderAsGiven) {
  EXPECT_EQ(cardpost::HeadPhotoPath("", "110101198001010011"), "\\Photos\\TempUser\\110101198001010011_H.jpg");
  EXPECT_EQ(cardpost::HeadPhotoPath(" D:\\App ", "1"), " D:\\App \\Photos\\TempUser\\1_H.jpg");
}

TEST(HeadPhoto, ExtensionListMatch) {
  const struct {
    const wchar_t* list;
    const wchar_t* ext;
    bool want;
  } cases[] = {
      {L"*.JPG;*.JPEG;*.JPE;*.JFIF", L".jpg", true},
      {L"*.JPG;*.JPEG;*.JPE;*.JFIF", L".Jfif", true},
      {L"*.JPG;*.JPEG;*.JPE;*.JFIF", L".jp", false},
      {L"*.JPG;*.JPEG;*.JPE;*.JFIF", L"", false},
      {L"*.BMP;*.DIB;*.RLE", L".jpg", false},
      {L"", L".jpg", false},
  };
  for (const auto& c : cases) EXPECT_EQ(cardpost::ExtensionListHas(c.list, c.ext), c.want) << Utf8(c.list) << " " << Utf8(c.ext);
}

}  // namespace
