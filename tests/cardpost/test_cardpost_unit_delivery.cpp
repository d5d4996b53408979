// Card delivery in this process: which console window gets the card, the bytes it gets, the
// verification code and its cipher call, against the console simulator's windows.
#include <gtest/gtest.h>
#include <windows.h>
#include <oleauto.h>

#include <cstring>
#include <string>
#include <vector>

#include "CardFields.h"
#include "CardroadLog.h"
#include "ConsoleSim.h"
#include "Delivery.h"
#include "Encode.h"
#include "PacketViews.h"
#include "TestSupport.h"
#include "card/Packets.h"

namespace {

using namespace qx::test;
using qx::card::CardInfoRecord;
using qx::card::CardRecordBytes;
using qx::card::VirtualReaderPacket;
using qx::consolesim::ConsoleSim;
using Lines = std::vector<std::string>;

const char kId[] = "110101198001010011";

// A record as a poll fills it; texts given in UTF-8.
CardRecordBytes MakeRecord(const std::string& name = "张三", const std::string& sex = "男",
                           const std::string& birth = "19800101") {
  cardpost::CardReadFields f;
  f.name = Gbk(name) + cardpost::kReadSuffix;
  f.sex = Gbk(sex);
  f.birth = birth;
  f.address = Gbk("北京市东城区景山前街4号");
  f.id = kId;
  f.nation = Gbk("汉");
  CardRecordBytes r{};
  cardpost::FillCardRecord(r.data(), f);
  return r;
}

// Deciphers a verification code through the library's other export.
std::string DecodeVerifyCode(const std::string& code) {
  unsigned char out[512] = {};
  int capacity = sizeof out;
  if (!Decode(out, &capacity, code.data(), static_cast<int>(code.size()))) return "<not deciphered>";
  return std::string(reinterpret_cast<const char*>(out), static_cast<size_t>(capacity));
}

// What the platform's parser makes of a birth date, as the packet stores it.
double PlatformBirthDate(const std::string& text) {
  std::wstring w = Wide(text);
  DATE d = 0;
  const HRESULT hr = ::VarDateFromStr(w.data(), LANG_USER_DEFAULT, 0, &d);
  if (SUCCEEDED(hr)) return d;
  return hr == DISP_E_TYPEMISMATCH ? 0.0 : -1.0;
}

struct Sent {
  std::vector<qx::consolesim::Record> records;
  Lines messages;
};

Sent Deliver(ConsoleSim& sim, const CardRecordBytes& record) {
  UnitLog log;
  sim.ClearRecords();
  SendToConsole(record.data());
  return {sim.Records(), log.Messages()};
}

std::string Text(const std::vector<uint8_t>& b, size_t offset, size_t width) {
  return qx::card::FieldText(b.data() + offset, width);
}

class Delivery : public ::testing::Test {
 protected:
  void SetUp() override { g_SignDepart = Gbk("北京市公安局东城分局"); }
  void TearDown() override { g_SignDepart.clear(); }
};

TEST_F(Delivery, RecordWindowsComeBeforeTheVirtualReader) {
  const struct {
    unsigned windows;
    const char* receiver;
    const char* endLine;
  } cases[] = {
      {qx::consolesim::kNewMember | qx::consolesim::kRegister | qx::consolesim::kVirtualReader,
       "DispatchWnd_NewMember", "END 发送数据到控制台，新建会员"},
      {qx::consolesim::kNewMember | qx::consolesim::kVirtualReader, "DispatchWnd_NewMember",
       "END 发送数据到控制台，新建会员"},
      {qx::consolesim::kRegister | qx::consolesim::kVirtualReader, "WndTitle_Register_dll",
       "END 发送数据到控制台，临时用户填写信息"},
      {qx::consolesim::kRegister, "WndTitle_Register_dll", "END 发送数据到控制台，临时用户填写信息"},
  };
  const CardRecordBytes record = MakeRecord();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.receiver);
    ConsoleSim sim(c.windows);
    ASSERT_TRUE(sim.Running());
    const Sent s = Deliver(sim, record);
    EXPECT_EQ(s.messages, (Lines{"BGN 发送数据到控制台", c.endLine}));
    ASSERT_EQ(s.records.size(), 1u);
    const auto& r = s.records[0];
    EXPECT_EQ(r.window, c.receiver);
    EXPECT_EQ(r.dwData, 27013u);
    ASSERT_EQ(r.cbData, 1114u);
    ASSERT_EQ(r.bytes.size(), 1114u);
    // The record unchanged but for the device type.
    std::vector<uint8_t> want(record.begin(), record.end());
    std::memcpy(want.data() + 481, "0802", 4);
    EXPECT_EQ(r.bytes, want);
    for (size_t i = 439; i <= 480; ++i) EXPECT_EQ(r.bytes[i], 0) << i;
    EXPECT_EQ(qx::card::FirstStrayCardInfo(r.bytes.data()), qx::card::kStrayNone);
  }
}

TEST_F(Delivery, VirtualReaderGetsThePacket) {
  ConsoleSim sim(qx::consolesim::kVirtualReader | qx::consolesim::kCheckCard);
  ASSERT_TRUE(sim.Running());
  const Sent s = Deliver(sim, MakeRecord());
  EXPECT_EQ(s.messages, (Lines{"BGN 发送数据到控制台", "END 发送数据到控制台，刷卡开户"}));
  ASSERT_EQ(s.records.size(), 1u);
  const auto& r = s.records[0];
  EXPECT_EQ(r.window, "VirtualReader");
  EXPECT_EQ(r.dwData, 27013u);
  ASSERT_EQ(r.bytes.size(), 1360u);
  const uint8_t* b = r.bytes.data();
  EXPECT_EQ(Text(r.bytes, 29, 20), kId);
  EXPECT_EQ(Text(r.bytes, 738, 20), kId);
  EXPECT_EQ(Text(r.bytes, 944, 20), kId);
  EXPECT_EQ(qx::card::GetLE16(b + 4), 4u);
  EXPECT_EQ(qx::card::GetLE32(b + 940), 40000u);
  EXPECT_EQ(Text(r.bytes, 965, 100), "0802");
  EXPECT_EQ(Text(r.bytes, 1187, 20), "1");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b + 735), 2), "11");
  EXPECT_EQ(GbkToUtf8(Text(r.bytes, 704, 30)), "张三(读)");
  EXPECT_EQ(GbkToUtf8(Text(r.bytes, 769, 30)), "北京市公安局东城分局");
  EXPECT_EQ(GbkToUtf8(Text(r.bytes, 831, 30)), "中国;汉");
  EXPECT_EQ(qx::card::GetLE32(b + 872), 0u);
  EXPECT_EQ(qx::card::GetLEDouble(b + 864), PlatformBirthDate("19800101"));
  const std::string code = Text(r.bytes, 1255, 100);
  EXPECT_EQ(code.size(), 88u);
  EXPECT_EQ(code.find_first_of("\r\n"), std::string::npos);
  EXPECT_EQ(DecodeVerifyCode(code), std::string(kId) + ";" + kId + ";" + kId);
  EXPECT_EQ(qx::card::FirstStrayVirtualReader(b), qx::card::kStrayNone);
}

TEST_F(Delivery, PacketFieldsFollowTheCard) {
  ConsoleSim sim(qx::consolesim::kVirtualReader);
  ASSERT_TRUE(sim.Running());
  const struct {
    const char* name;
    const char* sex;
    const char* birth;
    uint32_t sexFlag;
    const char* packetName;  // at 704, 30 bytes by the filling rule
  } cases[] = {
      {"张三", "男", "19800101", 0, "张三(读)"},
      {"李娜", "女", "1980-01-01", 1, "李娜(读)"},
      {"李娜", "", "", 1, "李娜(读)"},
      {"李娜", "女", "not a date", 1, "李娜(读)"},
      // 13 double-byte characters and the suffix fill the 30 bytes exactly.
      {"一二三四五六七八九十甲乙丙", "男", "19991231", 0, "一二三四五六七八九十甲乙丙(读)"},
      // With 14 the suffix's second character would be split: "(" and a NUL.
      {"一二三四五六七八九十甲乙丙丁", "男", "19991231", 0, "一二三四五六七八九十甲乙丙丁("},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name + std::string(" ") + c.birth);
    const Sent s = Deliver(sim, MakeRecord(c.name, c.sex, c.birth));
    ASSERT_EQ(s.records.size(), 1u);
    const auto& bytes = s.records[0].bytes;
    ASSERT_EQ(bytes.size(), 1360u);
    EXPECT_EQ(qx::card::GetLE32(bytes.data() + 872), c.sexFlag);
    EXPECT_EQ(qx::card::GetLEDouble(bytes.data() + 864), PlatformBirthDate(c.birth));
    EXPECT_EQ(GbkToUtf8(Text(bytes, 704, 30)), c.packetName);
    EXPECT_EQ(bytes[734], 0);
    EXPECT_EQ(qx::card::FirstStrayVirtualReader(bytes.data()), qx::card::kStrayNone);
  }
  // Where the platform takes the text for a date, the packet carries that date.
  EXPECT_EQ(PlatformBirthDate("1980-01-01"), 29221.0);
}

TEST_F(Delivery, LongAuthorityFillsItsFieldWithoutTerminator) {
  ConsoleSim sim(qx::consolesim::kVirtualReader);
  ASSERT_TRUE(sim.Running());
  g_SignDepart = Gbk("新疆维吾尔自治区乌鲁木齐市公安");
  ASSERT_EQ(g_SignDepart.size(), 30u);
  const Sent s = Deliver(sim, MakeRecord());
  ASSERT_EQ(s.records.size(), 1u);
  const auto& bytes = s.records[0].bytes;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data() + 769), 30), g_SignDepart);
  EXPECT_EQ(bytes[799], 0);
}

TEST_F(Delivery, NoConsoleWindowDropsTheCard) {
  ConsoleSim sim(qx::consolesim::kCheckCard);
  ASSERT_TRUE(sim.Running());
  const Sent s = Deliver(sim, MakeRecord());
  EXPECT_EQ(s.messages, (Lines{"BGN 发送数据到控制台"}));
  EXPECT_TRUE(s.records.empty());
}

TEST(EncodeText, RoundTripsThroughTheCipher) {
  const std::string inputs[] = {"", "a", std::string(kId) + ";" + kId + ";" + kId, std::string(57, 'x'),
                                Gbk("北京市公安局"), std::string(14607, 'q')};
  for (const std::string& in : inputs) {
    SCOPED_TRACE(in.size());
    std::string out = "junk";
    ASSERT_TRUE(EncodeText(in, out));
    EXPECT_FALSE(out.empty());
    // Line ends of the base64 text are gone.
    EXPECT_EQ(out.find_first_of("\r\n"), std::string::npos);
    unsigned char plain[20001] = {};
    int capacity = sizeof plain;
    ASSERT_TRUE(Decode(plain, &capacity, out.data(), static_cast<int>(out.size())));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(plain), static_cast<size_t>(capacity)), in);
  }
}

TEST(EncodeText, TextStopsAtItsFirstNul) {
  std::string out, shortOut;
  ASSERT_TRUE(EncodeText(std::string("abc\0def", 7), out));
  ASSERT_TRUE(EncodeText("abc", shortOut));
  EXPECT_EQ(out, shortOut);
}

TEST(EncodeText, FailsWhenTheCipherTextDoesNotFit) {
  // 14608 bytes and more no longer fit a capacity of 20000; beyond 20000 the input is cut.
  for (size_t n : {size_t{14608}, size_t{20000}, size_t{25000}}) {
    SCOPED_TRACE(n);
    std::string out = "junk";
    EXPECT_FALSE(EncodeText(std::string(n, 'q'), out));
    EXPECT_EQ(out, "");
  }
}

TEST(EncodeText, VerifyCodeOfAPacket) {
  uint8_t packet[VirtualReaderPacket::kSize] = {};
  qx::card::SetField(packet, VirtualReaderPacket::CardNo29, "A1");
  qx::card::SetField(packet, VirtualReaderPacket::CardNo944, "B2");
  qx::card::SetField(packet, VirtualReaderPacket::CardNo738, "C3");
  const std::string code = BuildVerifyCode(packet);
  // The order is 29, 944, 738.
  EXPECT_EQ(DecodeVerifyCode(code), "A1;B2;C3");
}

}  // namespace
