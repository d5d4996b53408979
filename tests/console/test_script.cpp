// Tests of the simulator's command-line script parsing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Script.h"

using namespace qx::consolesim;
using K = Step::Kind;

TEST(ParseScript, StepsInOrder) {
  const ParseResult r = ParseScript({"--windows", "CheckCard,NewMember", "--record", "Z:\\tmp\\rx.txt",
                                     "--wait-bridge", "10000", "--handshake", "0802", "--sleep", "6500",
                                     "--query", "--scan", "--scan-data", "256", "--expect", "2", "--timeout",
                                     "15000", "--close", "--wait-gone", "10000", "--handshake-none",
                                     "--destroy", "all", "--copydata", "5,0A0B", "--expect", "3"});
  ASSERT_TRUE(r.script) << r.error;
  const Script& s = *r.script;
  EXPECT_EQ(s.recordPath, "Z:\\tmp\\rx.txt");
  const std::vector<K> kinds = {K::Windows, K::WaitBridge, K::Handshake, K::Sleep, K::Query,
                                K::Scan, K::ScanData, K::Expect, K::Close, K::WaitGone,
                                K::HandshakeNone, K::Destroy, K::CopyData, K::Expect};
  ASSERT_EQ(s.steps.size(), kinds.size());
  for (size_t i = 0; i < kinds.size(); ++i) EXPECT_EQ(s.steps[i].kind, kinds[i]) << i;
  EXPECT_EQ(s.steps[0].mask, kCheckCard | kNewMember);
  EXPECT_EQ(s.steps[1].ms, 10000u);
  EXPECT_EQ(s.steps[2].bytes, (std::vector<uint8_t>{'0', '8', '0', '2', 0}));
  EXPECT_EQ(s.steps[6].bytes, std::vector<uint8_t>(256, 0));
  EXPECT_EQ(s.steps[7].count, 2u);
  EXPECT_EQ(s.steps[7].ms, 15000u);  // --timeout after an --expect is its own
  EXPECT_EQ(s.steps[11].mask, static_cast<unsigned>(kAllWindows));
  EXPECT_EQ(s.steps[12].dwData, 5u);
  EXPECT_EQ(s.steps[12].bytes, (std::vector<uint8_t>{0x0A, 0x0B}));
  EXPECT_EQ(s.steps[13].ms, 10000u);  // the default
}

TEST(ParseScript, TextsGoAsGbk) {
  const ParseResult r = ParseScript({"--handshake", u8"A0802男", "--scan-data", u8"100,身份证", "--timeout",
                                     "500", "--expect", "1", "--copydata", "27013", "--handshake-hex", "30383030"});
  ASSERT_TRUE(r.script) << r.error;
  const auto& st = r.script->steps;
  EXPECT_EQ(st[0].bytes, (std::vector<uint8_t>{'A', '0', '8', '0', '2', 0xC4, 0xD0, 0}));
  ASSERT_EQ(st[1].bytes.size(), 100u);
  EXPECT_EQ(std::string(st[1].bytes.begin() + 8, st[1].bytes.begin() + 15), std::string("\xC9\xED\xB7\xDD\xD6\xA4\0", 7));
  EXPECT_EQ(st[2].ms, 500u);  // --timeout before any --expect sets the default
  EXPECT_TRUE(st[3].bytes.empty());
  EXPECT_EQ(st[4].bytes, (std::vector<uint8_t>{'0', '8', '0', '0'}));
}

TEST(ParseScript, Errors) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"--bogus"},
      {"--windows"},
      {"--windows", "CheckCard,Nope"},
      {"--wait-bridge", "soon"},
      {"--sleep", "-5"},
      {"--expect"},
      {"--scan-data", "x"},
      {"--scan-data", "99999999"},
      {"--copydata", "5,ABC"},
      {"--copydata", "z"},
      {"--handshake"},
      {"--handshake-hex", "G0"},
      {"--record"},
      {"--timeout", "1"},
  };
  for (const auto& args : bad) {
    const ParseResult r = ParseScript(args);
    EXPECT_FALSE(r.script) << (args.empty() ? "(none)" : args[0]);
    EXPECT_FALSE(r.error.empty());
  }
}
