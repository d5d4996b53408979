// Tests of the console record and packets: offsets, fixed values, the sex flag, the verification input.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "PacketViews.h"
#include "card/Packets.h"

using namespace qx::card;

namespace {

const std::string kId = "110101198001010011";
const std::string kName = "\xD5\xC5\xC8\xFD(\xB6\xC1)";         // 张三(读)
const std::string kMan = "\xC4\xD0";                              // 男
const std::string kWoman = "\xC5\xAE";                            // 女
const std::string kChina = "\xD6\xD0\xB9\xFA";                    // 中国
const std::string kHanNation = "\xBA\xBA";                        // 汉
const std::string kAddress = "\xB1\xB1\xBE\xA9\xCA\xD0\xB6\xAB\xB3\xC7\xC7\xF8";  // 北京市东城区
const std::string kAuthority =
    "\xB1\xB1\xBE\xA9\xCA\xD0\xB9\xAB\xB0\xB2\xBE\xD6\xB6\xAB\xB3\xC7\xB7\xD6\xBE\xD6";  // 北京市公安局东城分局
const std::string kHan = "\xBA\xBA";

// Writes text at a literal offset: the expected images are built without the layout constants.
template <size_t N>
void Put(std::array<uint8_t, N>& a, size_t offset, const std::string& s) {
  ASSERT_LE(offset + s.size(), N);
  std::memcpy(a.data() + offset, s.data(), s.size());
}

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

// A record as the card read fills it (DeviceType and SignDepart stay zero).
CardRecordBytes SampleRecord(const std::string& sex = "\xC4\xD0", const std::string& name = kName) {
  CardRecordBytes r{};
  SetField(r.data(), CardInfoRecord::Name, name);
  SetField(r.data(), CardInfoRecord::Sex, sex);
  SetField(r.data(), CardInfoRecord::Birthday, "19800101");
  SetField(r.data(), CardInfoRecord::Address, kAddress);
  SetField(r.data(), CardInfoRecord::CertID, kId);
  SetField(r.data(), CardInfoRecord::CardNo, kId);
  SetField(r.data(), CardInfoRecord::Country, kChina);
  SetField(r.data(), CardInfoRecord::Nation, kHanNation);
  return r;
}

size_t FirstDifference(const uint8_t* a, const uint8_t* b, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return i;
  return n;
}

}  // namespace

TEST(Layouts, SizesAndOffsets) {
  struct Case {
    Field f;
    size_t offset, width;
  } cases[] = {
      {CardInfoRecord::CardNo, 0, 40},         {CardInfoRecord::CertID, 62, 40},
      {CardInfoRecord::Name, 103, 40},         {CardInfoRecord::Sex, 144, 10},
      {CardInfoRecord::Country, 155, 40},      {CardInfoRecord::Nation, 196, 20},
      {CardInfoRecord::Birthday, 217, 20},     {CardInfoRecord::Address, 238, 200},
      {CardInfoRecord::SignDepart, 439, 42},   {CardInfoRecord::DeviceType, 481, 100},
      {VirtualReaderPacket::Value4, 4, 2},     {VirtualReaderPacket::CardNo29, 29, 20},
      {VirtualReaderPacket::Name, 704, 30},    {VirtualReaderPacket::Text11, 735, 2},
      {VirtualReaderPacket::CardNo738, 738, 20}, {VirtualReaderPacket::SignDepart, 769, 30},
      {VirtualReaderPacket::CountryNation, 831, 30}, {VirtualReaderPacket::BirthDate, 864, 8},
      {VirtualReaderPacket::SexFlag, 872, 4},  {VirtualReaderPacket::Value40000, 940, 4},
      {VirtualReaderPacket::CardNo944, 944, 20}, {VirtualReaderPacket::DeviceType, 965, 100},
      {VirtualReaderPacket::Text1, 1187, 20},  {VirtualReaderPacket::VerifyCode, 1255, 100},
      {ModuleReadyPacket::DeviceType, 0, 10},  {ScanRequestBlock::CertType, 8, 248},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.f.offset, c.offset);
    EXPECT_EQ(c.f.width, c.width) << "at " << c.offset;
  }
  EXPECT_EQ(CardInfoRecord::kSize, 1114u);
  EXPECT_EQ(VirtualReaderPacket::kSize, 1360u);
  EXPECT_EQ(ModuleReadyPacket::kSize, 112u);
  EXPECT_EQ(ScanRequestBlock::kSize, 256u);
}

TEST(MakeCardRecordForSend, CopiesAndSetsDeviceType) {
  const CardRecordBytes r = SampleRecord();
  const CardRecordBytes sent = MakeCardRecordForSend(r.data());

  std::array<uint8_t, 1114> want{};
  Put(want, 0, kId);
  Put(want, 62, kId);
  Put(want, 103, kName);
  Put(want, 144, kMan);
  Put(want, 155, kChina);
  Put(want, 196, kHanNation);
  Put(want, 217, "19800101");
  Put(want, 238, kAddress);
  Put(want, 481, "0802");
  EXPECT_EQ(FirstDifference(sent.data(), want.data(), want.size()), want.size());
  for (size_t i = 439; i < 481; ++i) ASSERT_EQ(sent[i], 0) << i;
  EXPECT_EQ(r[481], 0);  // the caller's record stays as it was
  EXPECT_EQ(FirstStrayCardInfo(sent.data()), kStrayNone);
}

TEST(BuildVirtualReaderPacket, EveryOffset) {
  const CardRecordBytes r = SampleRecord();
  const double birth = 29221.0;  // 1980-01-01
  VirtualReaderBytes p = BuildVirtualReaderPacket(r.data(), kAuthority, birth);

  std::array<uint8_t, 1360> want{};
  want[4] = 4;
  Put(want, 29, kId);
  Put(want, 704, kName);
  Put(want, 735, "11");
  Put(want, 738, kId);
  Put(want, 769, kAuthority);
  Put(want, 831, kChina + ";" + kHanNation);
  std::memcpy(want.data() + 864, &birth, 8);  // the hosts of both builds are little-endian
  // 872: sex flag 0 for a man
  want[940] = 0x40;  // 40000 = 0x9C40
  want[941] = 0x9C;
  Put(want, 944, kId);
  Put(want, 965, "0802");
  Put(want, 1187, "1");
  EXPECT_EQ(FirstDifference(p.data(), want.data(), want.size()), want.size());
  EXPECT_EQ(FirstStrayVirtualReader(p.data()), kStrayNone);

  const std::string code(88, 'Q');
  SetVerifyCode(p.data(), code);
  Put(want, 1255, code);
  EXPECT_EQ(FirstDifference(p.data(), want.data(), want.size()), want.size());

  const VirtualReaderView v = DecodeVirtualReader(p.data());
  EXPECT_EQ(v.value4, 4);
  EXPECT_EQ(v.value40000, 40000u);
  EXPECT_EQ(v.birthDate, birth);
  EXPECT_EQ(v.sexFlag, 0u);
  EXPECT_EQ(v.text11, "11");
  EXPECT_EQ(v.text1, "1");
  EXPECT_EQ(v.deviceType, "0802");
  EXPECT_EQ(v.cardNo29, kId);
  EXPECT_EQ(v.cardNo738, kId);
  EXPECT_EQ(v.cardNo944, kId);
  EXPECT_EQ(v.signDepart, kAuthority);
  EXPECT_EQ(v.countryNation, kChina + ";" + kHanNation);
  EXPECT_EQ(v.verifyCode, code);
}

TEST(BuildVirtualReaderPacket, BirthDateStoredAsGiven) {
  const CardRecordBytes r = SampleRecord();
  for (double d : {0.0, -1.0, 29221.0, 45000.5}) {
    const VirtualReaderBytes p = BuildVirtualReaderPacket(r.data(), "", d);
    EXPECT_EQ(GetLEDouble(p.data() + 864), d);
  }
  // -1.0 is 0xBFF0000000000000, little-endian.
  const VirtualReaderBytes p = BuildVirtualReaderPacket(r.data(), "", -1.0);
  const uint8_t want[8] = {0, 0, 0, 0, 0, 0, 0xF0, 0xBF};
  EXPECT_EQ(std::memcmp(p.data() + 864, want, 8), 0);
}

TEST(BuildVirtualReaderPacket, SexFlag) {
  struct Case {
    std::string sex;
    uint8_t flag;
  } cases[] = {{kMan, 0}, {kWoman, 1}, {"", 1}, {"M", 1}, {"\xB0\xC4\xD0", 1}};
  for (const Case& c : cases) {
    const CardRecordBytes r = SampleRecord(c.sex);
    const VirtualReaderBytes p = BuildVirtualReaderPacket(r.data(), "", 0);
    EXPECT_EQ(p[872], c.flag) << c.sex;
    EXPECT_EQ(p[873] | p[874] | p[875], 0);
  }
}

TEST(BuildVirtualReaderPacket, NameAndAuthorityCut) {
  struct Case {
    const char* what;
    std::string name;
    std::string want;  // 30 bytes at 704, NUL-padded
  } cases[] = {
      {"13 chars fill exactly", Repeat(kHan, 13) + "(\xB6\xC1)", Repeat(kHan, 13) + "(\xB6\xC1)"},
      {"14 chars keep the (", Repeat(kHan, 14) + "(\xB6\xC1)", Repeat(kHan, 14) + "("},
      {"15 chars lose the suffix", Repeat(kHan, 15) + "(\xB6\xC1)", Repeat(kHan, 15)},
  };
  for (const Case& c : cases) {
    const CardRecordBytes r = SampleRecord(kMan, c.name);
    const VirtualReaderBytes p = BuildVirtualReaderPacket(r.data(), Repeat(kHan, 15), 0);
    std::string got(reinterpret_cast<const char*>(p.data() + 704), 30);
    std::string want = c.want;
    want.resize(30, '\0');
    EXPECT_EQ(got, want) << c.what;
    EXPECT_EQ(p[734], 0) << c.what;
    // A 15-character authority fills 769..798; 799 ends it.
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p.data() + 769), 30), Repeat(kHan, 15));
    EXPECT_EQ(p[799], 0);
  }
}

TEST(BuildVirtualReaderPacket, RecordFieldsWithoutNulStayInside) {
  // A CardNo filling its 40 bytes is followed by 22 zero bytes and then CertID: it must not
  // run into CertID; only the first 20 bytes travel.
  CardRecordBytes r{};
  SetField(r.data(), CardInfoRecord::CardNo, std::string(40, '7'));
  SetField(r.data(), CardInfoRecord::Sex, std::string(10, 'x'));
  SetField(r.data(), CardInfoRecord::Name, std::string(40, 'n'));
  const VirtualReaderBytes p = BuildVirtualReaderPacket(r.data(), std::string(50, 'a'), 0);
  const VirtualReaderView v = DecodeVirtualReader(p.data());
  EXPECT_EQ(v.cardNo29, std::string(20, '7'));
  EXPECT_EQ(v.name, std::string(30, 'n'));
  EXPECT_EQ(v.signDepart, std::string(30, 'a'));
  EXPECT_EQ(v.sexFlag, 1u);
  EXPECT_EQ(p[49], 0);
  EXPECT_EQ(VerifyCodeInput(p.data()), std::string(20, '7') + ";" + std::string(20, '7') + ";" +
                                           std::string(20, '7'));
}

TEST(VerifyCodeInput, JoinOrder) {
  VirtualReaderBytes p{};
  SetField(p.data(), VirtualReaderPacket::CardNo29, "A29");
  SetField(p.data(), VirtualReaderPacket::CardNo944, "B944");
  SetField(p.data(), VirtualReaderPacket::CardNo738, "C738");
  EXPECT_EQ(VerifyCodeInput(p.data()), "A29;B944;C738");

  const VirtualReaderBytes q = BuildVirtualReaderPacket(SampleRecord().data(), "", 0);
  const std::string in = VerifyCodeInput(q.data());
  EXPECT_EQ(in, kId + ";" + kId + ";" + kId);
  EXPECT_EQ(in.size(), 56u);
  EXPECT_EQ(VerifyCodeInput(VirtualReaderBytes{}.data()), ";;");
}

TEST(SetVerifyCode, CutAtHundred) {
  VirtualReaderBytes p{};
  SetVerifyCode(p.data(), std::string(120, 'z'));
  EXPECT_EQ(DecodeVirtualReader(p.data()).verifyCode, std::string(100, 'z'));
  for (size_t i = 1355; i < 1360; ++i) EXPECT_EQ(p[i], 0);
}

TEST(RemoveCrLf, Cases) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"", ""},
      {"abc", "abc"},
      {"ab\r\ncd\r\n", "abcd"},
      {"a\rb\nc", "a\rb\nc"},  // lone CR or LF stay
      {"a\r\r\nb", "a\rb"},
      {"a\n\r\nb", "a\nb"},
      {"\r\n\r\n", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(RemoveCrLf(c.in), c.out) << c.in;
}

TEST(TakeEncodeOutput, BoundedByBuffer) {
  std::vector<char> buf(16, 'x');
  std::memcpy(buf.data(), "AB\r\nCD\r\nEF", 10);
  EXPECT_EQ(TakeEncodeOutput(buf.data(), buf.size(), 10), "ABCDEF");
  EXPECT_EQ(TakeEncodeOutput(buf.data(), buf.size(), 4), "AB");
  EXPECT_EQ(TakeEncodeOutput(buf.data(), buf.size(), 0), "");
  EXPECT_EQ(TakeEncodeOutput(buf.data(), buf.size(), -5), "");
  // A produced length past the buffer is clamped to its last byte.
  EXPECT_EQ(TakeEncodeOutput(buf.data(), buf.size(), 1000), "ABCDEFxxxxx");
  buf[3] = '\0';
  EXPECT_EQ(TakeEncodeOutput(buf.data(), buf.size(), 10), "AB\r");
  EXPECT_EQ(TakeEncodeOutput(nullptr, 0, 3), "");
}

TEST(ModuleReadyPacket, Bytes) {
  const ModuleReadyBytes p = BuildModuleReadyPacket();
  std::array<uint8_t, 112> want{};
  Put(want, 0, "0802");
  EXPECT_EQ(p, want);
  EXPECT_EQ(DecodeModuleReady(p.data()).deviceType, "0802");
  EXPECT_EQ(FirstStrayModuleReady(p.data()), kStrayNone);
}

TEST(ScanRequestBlock, CertType) {
  std::vector<uint8_t> b = BuildScanRequestData(256, "\xC9\xED\xB7\xDD\xD6\xA4");  // 身份证
  ASSERT_EQ(b.size(), 256u);
  EXPECT_EQ(ScanCertType(b.data()), "\xC9\xED\xB7\xDD\xD6\xA4");
  for (size_t i = 0; i < 8; ++i) EXPECT_EQ(b[i], 0);

  // A CertType filling all 248 bytes ends at the block's end.
  std::vector<uint8_t> full(256, 'T');
  EXPECT_EQ(ScanCertType(full.data()), std::string(248, 'T'));

  // Short blocks keep what fits.
  EXPECT_EQ(BuildScanRequestData(100, std::string(200, 'c')), [] {
    std::vector<uint8_t> v(100, 0);
    std::memset(v.data() + 8, 'c', 92);
    return v;
  }());
  EXPECT_EQ(BuildScanRequestData(5, "abc"), std::vector<uint8_t>(5, 0));
  EXPECT_TRUE(BuildScanRequestData(0, "abc").empty());
}

TEST(DecodeCardInfo, Fields) {
  const CardRecordBytes sent = MakeCardRecordForSend(SampleRecord(kWoman).data());
  const CardInfoView v = DecodeCardInfo(sent.data());
  EXPECT_EQ(v.CardNo, kId);
  EXPECT_EQ(v.CertID, kId);
  EXPECT_EQ(v.Name, kName);
  EXPECT_EQ(v.Sex, kWoman);
  EXPECT_EQ(v.Country, kChina);
  EXPECT_EQ(v.Nation, kHanNation);
  EXPECT_EQ(v.Birthday, "19800101");
  EXPECT_EQ(v.Address, kAddress);
  EXPECT_EQ(v.SignDepart, "");
  EXPECT_EQ(v.DeviceType, "0802");
}

TEST(FirstStray, FindsJunk) {
  CardRecordBytes r = SampleRecord();
  EXPECT_EQ(FirstStrayCardInfo(r.data()), kStrayNone);
  r[40] = 1;  // gap after CardNo
  EXPECT_EQ(FirstStrayCardInfo(r.data()), 40u);
  r[40] = 0;
  r[150] = 'x';  // inside Sex, after its NUL
  EXPECT_EQ(FirstStrayCardInfo(r.data()), 150u);

  VirtualReaderBytes p = BuildVirtualReaderPacket(SampleRecord().data(), "", 0);
  p[1359] = 9;
  EXPECT_EQ(FirstStrayVirtualReader(p.data()), 1359u);
  p[1359] = 0;
  p[0] = 9;
  EXPECT_EQ(FirstStrayVirtualReader(p.data()), 0u);
}
