// Cardpost.exe and the console's messages: handshake, state query, scan requests, ready
// packet, close, and a repeated start request.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "CardpostHarness.h"
#include "ConsoleSim.h"
#include "card/Packets.h"

using qx::consolesim::ConsoleSim;
using namespace qx::test;

namespace {

const char kInitDone[] = "END 初始化设备  完成";
const char kLegal[] = "收到消息，检测硬件编号（合法）:";
const char kIllegal[] = "收到消息，检测硬件编号（非法），程序即将自动关闭:";
const char kScanLine[] = "BGN 收到扫描/机读消息， 证件类型：";
const char kIgnoredStart[] = "收到启动设备消息，设备已经启动，忽略";
// Past the 5000 ms ready timer, with room for a slow machine.
constexpr DWORD kPastReadyMs = 6500;

std::vector<uint8_t> Block(size_t size, const std::string& certTypeGbk) {
  return qx::card::BuildScanRequestData(size, certTypeGbk);
}

size_t CountOpens(const CardpostHarness& h) {
  size_t n = 0;
  for (const auto& l : h.JournalLines())
    if (l.rfind("SDT_OpenPort(", 0) == 0) ++n;
  return n;
}

}  // namespace

struct HandshakeCase {
  const char* name;
  std::optional<std::string> text;  // GBK bytes; nullopt: no payload at all
  bool starts;
  std::string loggedText;           // UTF-8 as it appears after the log line's prefix
};

class CardpostHandshake : public ::testing::TestWithParam<HandshakeCase> {};

TEST_P(CardpostHandshake, StartsOrEnds) {
  const HandshakeCase& c = GetParam();
  CardpostHarness h;
  ASSERT_TRUE(h.StartAndWaitForBridge());
  ConsoleSim console;
  ASSERT_TRUE(console.SendHandshake(c.text));
  if (c.starts) {
    ASSERT_TRUE(h.WaitForMessage(kInitDone, 10000));
    EXPECT_EQ(h.CountMessage(kLegal + c.loggedText), 1u);
    EXPECT_EQ(console.QueryStatus(), 0);
    ASSERT_TRUE(console.Close());
    ASSERT_TRUE(h.WaitForExit(10000));
  } else {
    ASSERT_TRUE(h.WaitForExit(10000));
    const auto m = h.Messages();
    const std::vector<std::string> tail = {"Cwnd_Dispatch::OnCopyData 999",
                                           kIllegal + c.loggedText, "BGN 卸载设备",
                                           "END 卸载设备  完成", "清除运行标志"};
    ASSERT_GE(m.size(), tail.size());
    EXPECT_EQ(Tail(m, tail.size()), tail);
    EXPECT_TRUE(h.JournalLines().empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CardpostHandshake,
    ::testing::Values(HandshakeCase{"Inside", std::string("A0802B"), true, "A0802B"},
                      HandshakeCase{"Both", std::string("0802-0800"), true, "0802-0800"},
                      HandshakeCase{"Code0800", std::string("0800"), true, "0800"},
                      HandshakeCase{"Wrong0801", std::string("0801"), false, "0801"},
                      HandshakeCase{"Short802", std::string("802"), false, "802"},
                      HandshakeCase{"Empty", std::string(""), false, ""},
                      HandshakeCase{"NoPayload", std::nullopt, false, ""},
                      HandshakeCase{"Chinese", Gbk("读卡器0802"), true, "读卡器0802"}),
    [](const auto& info) { return std::string(info.param.name); });

// A text longer than any buffer of the log is written whole; a text without its NUL is
// read only as far as the payload goes.
TEST(CardpostProtocol, LongHandshakeTextIsLoggedWhole) {
  CardpostHarness h;
  ASSERT_TRUE(h.StartAndWaitForBridge());
  ConsoleSim console;
  const std::string text = std::string(20000, 'x') + "0801";
  // No terminating NUL: the payload's size ends the text.
  ASSERT_TRUE(console.CopyDataRaw(999, text.data(), static_cast<DWORD>(text.size())));
  ASSERT_TRUE(h.WaitForExit(10000));
  EXPECT_EQ(h.CountMessage(kIllegal + text), 1u);
}

// One hidden run through the whole protocol: state queries and scan requests before and
// after the start, a message of another code, the ready packet, a repeated handshake,
// and the console's close.
TEST(CardpostProtocol, HandshakeStartAndConsoleMessages) {
  CardpostHarness h;
  ConsoleSim console(qx::consolesim::kCheckCard);
  ASSERT_TRUE(h.StartAndWaitForBridge());

  // Before the start there is no reader window.
  EXPECT_EQ(console.QueryStatus(), 1);
  EXPECT_EQ(console.ScanRequest(), 1);
  EXPECT_TRUE(console.ScanRequestData(Block(256, "X")));
  auto before = h.Messages();
  EXPECT_EQ(Last(before), "Cwnd_Dispatch::OnCopyData 6448");

  // Another code: its line only.
  const size_t n0 = h.Messages().size();
  ASSERT_TRUE(console.CopyData(5, {1, 2, 3}));
  ASSERT_TRUE(h.WaitForMessage("Cwnd_Dispatch::OnCopyData 5", 5000));
  EXPECT_EQ(h.Messages().size(), n0 + 1);

  ASSERT_TRUE(console.SendHandshake(std::string("0802")));
  const uint32_t handshakeMs = console.ElapsedMs();
  ASSERT_TRUE(h.WaitForMessage(kInitDone, 10000));
  EXPECT_EQ(console.QueryStatus(), 0);
  const auto status = h.Messages();
  ASSERT_GE(status.size(), 2u);
  EXPECT_EQ(status[status.size() - 2], "BGN 收到判断扫描仪状态消息");
  EXPECT_EQ(Last(status), "END 收到判断扫描仪状态消息 已经准备好了");

  // A plain scan request before any block reached the reader window: empty type.
  EXPECT_EQ(console.ScanRequest(), 0);
  ASSERT_TRUE(h.WaitForMessage(kScanLine, 5000));
  // A full block without a NUL: the type is the 248 bytes from offset 8.
  ASSERT_TRUE(console.ScanRequestData(std::vector<uint8_t>(256, 'A')));
  ASSERT_TRUE(h.WaitForMessage(kScanLine + std::string(248, 'A'), 5000));
  // A 100-byte block replaces it entirely: what follows its 100 bytes is zero.
  std::vector<uint8_t> shortBlock(100, 'B');
  ASSERT_TRUE(console.ScanRequestData(shortBlock));
  ASSERT_TRUE(h.WaitForMessage(kScanLine + std::string(92, 'B'), 5000));
  ASSERT_TRUE(console.ScanRequestData(Block(100, Gbk("身份证"))));
  ASSERT_TRUE(h.WaitForMessage(kScanLine + std::string("身份证"), 5000));
  // A plain request logs the block stored last.
  EXPECT_EQ(console.ScanRequest(), 0);
  ASSERT_TRUE(h.WaitForMessage(kScanLine + std::string("身份证"), 5000, 2));

  // The ready packet, once, some 5000 ms after the handshake.
  ASSERT_TRUE(console.WaitForRecords(1, 10000));
  auto records = console.Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].window, "DispatchWnd_Quorix_2010__CheckCard");
  EXPECT_EQ(records[0].dwData, 1001u);
  // On the console's clock, from the handshake's answer: the 5000 ms less a timer tick at
  // most, and no more than a loaded machine can add.
  const uint32_t readyAfterMs = records[0].ms - handshakeMs;
  EXPECT_TRUE(readyAfterMs >= 4900 && readyAfterMs <= 9000) << readyAfterMs << " ms";
  std::vector<uint8_t> expected(112, 0);
  expected[0] = '0';
  expected[1] = '8';
  expected[2] = '0';
  expected[3] = '2';
  EXPECT_EQ(records[0].bytes, expected);

  // A second valid handshake while started: logged, ignored.
  ASSERT_TRUE(console.SendHandshake(std::string("0800")));
  ASSERT_TRUE(h.WaitForMessage(kIgnoredStart, 5000));
  ::Sleep(kPastReadyMs);
  EXPECT_EQ(console.RecordCount(), 1u);
  EXPECT_EQ(CountWindows(kCardpostReaderTitle), 1u);
  EXPECT_EQ(CountOpens(h), 1u);
  EXPECT_EQ(h.CountMessage("BGN 初始化设备"), 1u);

  // The console's close leaves the dispatch window until the close sequence ends.
  ASSERT_TRUE(console.Close());
  ASSERT_TRUE(h.WaitForExit(10000));
  const auto m = h.Messages();
  const std::vector<std::string> tail = {"BGN 卸载设备", "END 卸载设备  完成", "清除运行标志"};
  EXPECT_EQ(Tail(m, 3), tail);
  EXPECT_EQ(Last(h.JournalLines()), "SDT_ClosePort(1001) = 0x90");
}

// A start through -SHOW never sends the ready packet, not even after a handshake.
TEST(CardpostProtocol, ShowStartSendsNoReadyPacket) {
  CardpostHarness h;
  ConsoleSim console(qx::consolesim::kCheckCard);
  ASSERT_TRUE(h.StartAndWaitForBridge(L"-SHOW"));
  ASSERT_TRUE(h.WaitForMessage(kInitDone, 10000));
  ASSERT_TRUE(console.SendHandshake(std::string("0802")));
  ASSERT_TRUE(h.WaitForMessage(kIgnoredStart, 5000));
  ::Sleep(kPastReadyMs);
  EXPECT_EQ(console.RecordCount(), 0u);
  EXPECT_EQ(CountWindows(kCardpostReaderTitle), 1u);
  EXPECT_EQ(CountOpens(h), 1u);
  ASSERT_TRUE(console.Close());
  ASSERT_TRUE(h.WaitForExit(10000));
}

// The ready window must exist when the timer fires; one made later gets nothing.
TEST(CardpostProtocol, LateCheckCardWindowGetsNothing) {
  CardpostHarness h;
  ConsoleSim console;
  ASSERT_TRUE(h.StartAndWaitForBridge());
  ASSERT_TRUE(console.SendHandshake(std::string("0802")));
  ASSERT_TRUE(h.WaitForMessage(kInitDone, 10000));
  ::Sleep(kPastReadyMs);
  console.CreateWindows(qx::consolesim::kCheckCard);
  ::Sleep(1500);
  EXPECT_EQ(console.RecordCount(), 0u);
  EXPECT_TRUE(h.Running());
  ASSERT_TRUE(console.Close());
  ASSERT_TRUE(h.WaitForExit(10000));
}

// A failed start after a handshake ends the program at once; nothing goes to the console.
TEST(CardpostProtocol, FailedStartAfterHandshakeEnds) {
  CardpostOptions o;
  o.scenario = "[results]\nSDT_OpenPort = 0x41\n";
  o.hdIni = "[Main]\nPort=2\n";
  CardpostHarness h(o);
  ConsoleSim console(qx::consolesim::kCheckCard);
  ASSERT_TRUE(h.StartAndWaitForBridge());
  ASSERT_TRUE(console.SendHandshake(std::string("0802")));
  ASSERT_TRUE(h.WaitForExit(10000));
  const auto m = h.Messages();
  const std::vector<std::string> tail = {"装载二代证读卡器，初始化设备  失败(65, 成功0x90)",
                                         "END 初始化设备  失败，装载二代证设备  失败",
                                         "BGN 卸载设备", "END 卸载设备  完成", "清除运行标志"};
  ASSERT_GE(m.size(), tail.size());
  EXPECT_EQ(Tail(m, tail.size()), tail);
  EXPECT_EQ(console.RecordCount(), 0u);
}
