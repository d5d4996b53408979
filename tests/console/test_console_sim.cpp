// In-process tests of the console simulator against a bridge stand-in on another thread.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "BridgePeer.h"
#include "ConsoleSim.h"
#include "card/Packets.h"

using namespace qx::consolesim;
namespace card = qx::card;

namespace {

const char* const kTitles[] = {"DispatchWnd_Quorix_2010__CheckCard", "DispatchWnd_NewMember",
                               "WndTitle_Register_dll", "VirtualReader"};
const unsigned kFlags[] = {kCheckCard, kNewMember, kRegister, kVirtualReader};

card::CardRecordBytes SampleRecord() {
  card::CardRecordBytes r{};
  const std::string id = "110101198001010011";
  card::SetField(r.data(), card::CardInfoRecord::CardNo, id);
  card::SetField(r.data(), card::CardInfoRecord::CertID, id);
  card::SetField(r.data(), card::CardInfoRecord::Name, "\xD5\xC5\xC8\xFD(\xB6\xC1)");  // 张三(读)
  card::SetField(r.data(), card::CardInfoRecord::Sex, "\xC4\xD0");                     // 男
  card::SetField(r.data(), card::CardInfoRecord::Country, "\xD6\xD0\xB9\xFA");         // 中国
  card::SetField(r.data(), card::CardInfoRecord::Nation, "\xBA\xBA");                  // 汉
  card::SetField(r.data(), card::CardInfoRecord::Birthday, "19800101");
  card::SetField(r.data(), card::CardInfoRecord::Address, "\xB1\xB1\xBE\xA9");          // 北京
  return card::MakeCardRecordForSend(r.data());
}

bool Contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

}  // namespace

TEST(ConsoleSimWindows, EachWindowAloneIsAHiddenTopLevelWindowWithItsTitle) {
  for (int i = 0; i < 4; ++i) {
    ConsoleSim sim(kFlags[i]);
    ASSERT_TRUE(sim.Running());
    EXPECT_EQ(sim.Windows(), kFlags[i]);
    for (int j = 0; j < 4; ++j) {
      HWND found = FindWindowA(nullptr, kTitles[j]);
      if (i == j) {
        EXPECT_EQ(found, sim.Window(kFlags[j])) << kTitles[j];
        ASSERT_NE(found, nullptr) << kTitles[j];
        EXPECT_FALSE(IsWindowVisible(found));
        EXPECT_EQ(GetAncestor(found, GA_PARENT), GetDesktopWindow());
      } else {
        EXPECT_EQ(found, nullptr) << kTitles[j] << " with only " << kTitles[i];
      }
    }
  }
  for (const char* t : kTitles) EXPECT_EQ(FindWindowA(nullptr, t), nullptr) << t << " outlived its simulator";
}

TEST(ConsoleSimWindows, CreatedAndDestroyedLater) {
  ConsoleSim sim(kNewMember);
  EXPECT_EQ(FindWindowA(nullptr, "DispatchWnd_Quorix_2010__CheckCard"), nullptr);
  EXPECT_EQ(sim.CreateWindows(kCheckCard | kVirtualReader), kNewMember | kCheckCard | kVirtualReader);
  EXPECT_NE(FindWindowA(nullptr, "DispatchWnd_Quorix_2010__CheckCard"), nullptr);
  EXPECT_NE(FindWindowA(nullptr, "VirtualReader"), nullptr);
  // Creating one that exists keeps the same window.
  HWND before = sim.Window(kCheckCard);
  sim.CreateWindows(kCheckCard);
  EXPECT_EQ(sim.Window(kCheckCard), before);

  EXPECT_EQ(sim.DestroyWindows(kNewMember | kVirtualReader), kCheckCard);
  EXPECT_EQ(FindWindowA(nullptr, "DispatchWnd_NewMember"), nullptr);
  EXPECT_EQ(FindWindowA(nullptr, "VirtualReader"), nullptr);
  EXPECT_EQ(FindWindowA(nullptr, "DispatchWnd_Quorix_2010__CheckCard"), before);
}

TEST(ConsoleSimWindows, WindowLists) {
  struct Case {
    const char* text;
    std::optional<unsigned> mask;
  } cases[] = {
      {"CheckCard,NewMember", kCheckCard | kNewMember},
      {"register", kRegister},
      {"VirtualReader,", kVirtualReader},
      {"DispatchWnd_NewMember", kNewMember},
      {"all", kAllWindows},
      {"", 0u},
      {"CheckCard,Bogus", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseWindowList(c.text), c.mask) << c.text;
  EXPECT_EQ(WindowListText(kCheckCard | kVirtualReader), "CheckCard,VirtualReader");
}

TEST(ConsoleSimSend, HandshakeWithTextCarriesItsNul) {
  BridgePeer peer;
  peer.SetAnswers(0, 0, 5);
  ConsoleSim sim;
  EXPECT_EQ(ConsoleSim::FindBridge(1000), peer.hwnd());
  EXPECT_EQ(sim.SendHandshake(std::string("0802")), 5);
  const auto m = peer.Messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].msg, static_cast<UINT>(WM_COPYDATA));
  EXPECT_EQ(m[0].dwData, 999u);
  EXPECT_EQ(m[0].cbData, 5u);
  EXPECT_EQ(m[0].bytes, (std::vector<uint8_t>{'0', '8', '0', '2', 0}));
  EXPECT_EQ(reinterpret_cast<HWND>(m[0].wParam), sim.SenderWindow());
  EXPECT_NE(sim.SenderWindow(), nullptr);

  EXPECT_TRUE(sim.SendHandshake(std::string()).has_value());
  EXPECT_EQ(peer.Messages().at(1).bytes, std::vector<uint8_t>{0});
}

TEST(ConsoleSimSend, HandshakeWithoutPayload) {
  BridgePeer peer;
  ConsoleSim sim;
  ASSERT_TRUE(sim.SendHandshake(std::nullopt).has_value());
  const auto m = peer.Messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].dwData, 999u);
  EXPECT_EQ(m[0].cbData, 0u);
  EXPECT_TRUE(m[0].nullData);
  EXPECT_TRUE(m[0].bytes.empty());
}

TEST(ConsoleSimSend, QueryAndScanAnswersPassThrough) {
  BridgePeer peer;
  ConsoleSim sim;
  for (LRESULT answer : {0, 1, 7}) {
    peer.SetAnswers(answer, answer + 100, 0);
    EXPECT_EQ(sim.QueryStatus(), answer);
    EXPECT_EQ(sim.ScanRequest(), answer + 100);
  }
  const auto m = peer.Messages();
  ASSERT_EQ(m.size(), 6u);
  for (size_t i = 0; i < m.size(); ++i) {
    EXPECT_EQ(m[i].msg, i % 2 == 0 ? 6446u : 6448u);
    EXPECT_EQ(m[i].wParam, 0u);
    EXPECT_EQ(m[i].lParam, 0);
  }
}

TEST(ConsoleSimSend, ScanRequestWithData) {
  BridgePeer peer;
  ConsoleSim sim;
  for (size_t size : {size_t{100}, size_t{256}}) {
    const std::vector<uint8_t> block = card::BuildScanRequestData(size, "\xC9\xED\xB7\xDD\xD6\xA4");  // 身份证
    ASSERT_TRUE(sim.ScanRequestData(block).has_value());
    const PeerMessage m = peer.Messages().back();
    EXPECT_EQ(m.msg, static_cast<UINT>(WM_COPYDATA));
    EXPECT_EQ(m.dwData, 6448u);
    EXPECT_EQ(m.cbData, size);
    EXPECT_EQ(m.bytes, block);
  }
}

TEST(ConsoleSimSend, CopyDataBytesExactly) {
  BridgePeer peer;
  ConsoleSim sim;
  std::vector<uint8_t> bytes(300);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
  ASSERT_TRUE(sim.CopyData(5, bytes).has_value());
  EXPECT_EQ(peer.Messages().back().dwData, 5u);
  EXPECT_EQ(peer.Messages().back().bytes, bytes);
}

TEST(ConsoleSimSend, CloseEndsTheBridgeWindow) {
  BridgePeer peer;
  ConsoleSim sim;
  ASSERT_TRUE(sim.Close().has_value());
  ASSERT_EQ(peer.Messages().size(), 1u);
  EXPECT_EQ(peer.Messages()[0].msg, static_cast<UINT>(WM_CLOSE));
  EXPECT_TRUE(ConsoleSim::WaitBridgeGone(2000));
  EXPECT_EQ(ConsoleSim::FindBridge(0), nullptr);
}

TEST(ConsoleSimSend, NoBridgeMeansNoAnswer) {
  ConsoleSim sim;
  EXPECT_EQ(ConsoleSim::FindBridge(100), nullptr);
  EXPECT_FALSE(sim.SendHandshake(std::string("0802")).has_value());
  EXPECT_FALSE(sim.QueryStatus().has_value());
  EXPECT_FALSE(sim.Close().has_value());
  EXPECT_NE(sim.LastSendError(), 0u);
}

TEST(ConsoleSimReceive, RecordsEveryKindWithExactBytes) {
  ConsoleSim sim(kAllWindows);
  sim.SetCopyDataAnswer(42);
  BridgePeer peer;

  const card::CardRecordBytes record = SampleRecord();
  card::VirtualReaderBytes packet = card::BuildVirtualReaderPacket(record.data(), "\xB9\xAB\xB0\xB2\xBE\xD6", 29221.0);
  card::SetVerifyCode(packet.data(), "AbCd+/==");
  const card::ModuleReadyBytes ready = card::BuildModuleReadyPacket();

  struct Sent {
    const char* title;
    ULONG_PTR dwData;
    const uint8_t* data;
    DWORD size;
  } sent[] = {
      {"DispatchWnd_Quorix_2010__CheckCard", 1001, ready.data(), static_cast<DWORD>(ready.size())},
      {"DispatchWnd_NewMember", 27013, record.data(), static_cast<DWORD>(record.size())},
      {"WndTitle_Register_dll", 27013, record.data(), static_cast<DWORD>(record.size())},
      {"VirtualReader", 27013, packet.data(), static_cast<DWORD>(packet.size())},
  };
  for (const Sent& s : sent) EXPECT_EQ(peer.SendTo(s.title, s.dwData, s.data, s.size), 42) << s.title;

  ASSERT_TRUE(sim.WaitForRecords(4, 2000));
  const std::vector<Record> got = sim.Records();
  ASSERT_EQ(got.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(got[i].window, sent[i].title);
    EXPECT_EQ(got[i].dwData, sent[i].dwData);
    EXPECT_EQ(got[i].cbData, sent[i].size);
    EXPECT_EQ(got[i].bytes, std::vector<uint8_t>(sent[i].data, sent[i].data + sent[i].size));
    EXPECT_EQ(got[i].sender, peer.hwnd());
    if (i > 0) {
      EXPECT_GE(got[i].ms, got[i - 1].ms);
    }
  }

  const std::string ready_view = Describe(got[0]);
  EXPECT_TRUE(Contains(ready_view, "ModuleReadyPacket DeviceType=\"0802\" stray=none")) << ready_view;
  const std::string card_view = Describe(got[1]);
  for (const char* part : {u8"Name=\"张三(读)\"", u8"Sex=\"男\"", u8"Country=\"中国\"", u8"Nation=\"汉\"",
                           "CardNo=\"110101198001010011\"", "Birthday=\"19800101\"", u8"Address=\"北京\"",
                           "SignDepart=\"\"", "DeviceType=\"0802\"", "stray=none"})
    EXPECT_TRUE(Contains(card_view, part)) << part << " in " << card_view;
  const std::string packet_view = Describe(got[3]);
  for (const char* part : {"VirtualReaderPacket @4=4", "CardNo@29=\"110101198001010011\"",
                           "CardNo@944=\"110101198001010011\"", "CardNo@738=\"110101198001010011\"",
                           u8"Name@704=\"张三(读)\"", "@735=\"11\"", u8"SignDepart@769=\"公安局\"",
                           u8"CountryNation@831=\"中国;汉\"", "BirthDate@864=29221", "SexFlag@872=0",
                           "@940=40000", "DeviceType@965=\"0802\"", "@1187=\"1\"", "VerifyCode@1255=\"AbCd+/==\"",
                           "stray=none"})
    EXPECT_TRUE(Contains(packet_view, part)) << part << " in " << packet_view;
}

TEST(ConsoleSimReceive, PayloadsWithoutDataAreBounded) {
  ConsoleSim sim(kNewMember);
  BridgePeer peer;
  const char text[] = "abc";
  struct Case {
    const void* data;
    DWORD size;
    bool nullData;
    size_t kept;
  } cases[] = {
      {nullptr, 0, true, 0},
      {nullptr, 16, true, 0},  // a size without a pointer copies nothing
      {text, 0, false, 0},
      {text, 2, false, 2},     // only cbData bytes, even of a longer text
  };
  for (const Case& c : cases) ASSERT_TRUE(peer.SendTo("DispatchWnd_NewMember", 27013, c.data, c.size).has_value());
  ASSERT_TRUE(sim.WaitForRecords(4, 2000));
  const auto got = sim.Records();
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(got[i].cbData, cases[i].size) << i;
    EXPECT_EQ(got[i].nullData, cases[i].nullData) << i;
    EXPECT_EQ(got[i].bytes.size(), cases[i].kept) << i;
  }
  EXPECT_EQ(got[3].bytes, (std::vector<uint8_t>{'a', 'b'}));
  EXPECT_TRUE(Contains(Describe(got[3]), "card data of unexpected size 2")) << Describe(got[3]);
}

TEST(ConsoleSimReceive, WindowCreatedLaterGetsOnlyLaterMessages) {
  ConsoleSim sim(kNewMember);
  BridgePeer peer;
  const card::ModuleReadyBytes ready = card::BuildModuleReadyPacket();
  EXPECT_FALSE(peer.SendTo("DispatchWnd_Quorix_2010__CheckCard", 1001, ready.data(), 112).has_value());
  EXPECT_EQ(sim.RecordCount(), 0u);
  sim.CreateWindows(kCheckCard);
  EXPECT_TRUE(peer.SendTo("DispatchWnd_Quorix_2010__CheckCard", 1001, ready.data(), 112).has_value());
  ASSERT_TRUE(sim.WaitForRecords(1, 2000));
  EXPECT_EQ(sim.Records()[0].window, "DispatchWnd_Quorix_2010__CheckCard");
  sim.ClearRecords();
  EXPECT_EQ(sim.RecordCount(), 0u);
}
