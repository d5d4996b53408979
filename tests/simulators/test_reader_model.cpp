// Unit tests of the simulated reader: ports, card checks, the present budget, cards in turn, scripted results.
#include "ReaderModel.h"

#include "reader/ReaderApi.h"

#include <gtest/gtest.h>

using namespace qx::readersim;
using qx::reader::kStatusCardFound;
using qx::reader::kStatusOk;

namespace {

constexpr char kTwoCards[] =
    "[reader]\nports = 1001-1002, 2\npresent = %s\n"
    u8"[card]\nname = 甲\nid = 1\n"
    u8"[card]\nname = 乙\nid = 2\nphoto = bad\n";

ReaderModel ModelWith(const std::string& text) {
  ReaderModel m;
  m.Load(ParseScenario(text));
  return m;
}

std::string TwoCards(const char* present) {
  char buf[256];
  std::snprintf(buf, sizeof buf, kTwoCards, present);
  return buf;
}

// One Cardpost-like poll: find, select, read; the name of the card read, or "" for none.
std::u16string Poll(ReaderModel& m, int port) {
  if (m.FindCard(port).result != kStatusCardFound) return u"";
  if (m.SelectCard(port).result != kStatusOk) return u"";
  const Outcome r = m.ReadCard(port);
  if (r.result != kStatusOk || r.card == nullptr) return u"";
  return r.card->name;
}

}  // namespace

TEST(ReaderModel, PortsAnswerAsListed) {
  ReaderModel m = ModelWith(TwoCards("always"));
  struct Case {
    int port;
    int status;
  };
  for (const Case& c : {Case{1001, kStatusOk}, Case{1002, kStatusOk}, Case{2, kStatusOk},
                        Case{1003, kStatusPortError}, Case{1, kStatusPortError}, Case{0, kStatusPortError}}) {
    EXPECT_EQ(m.OpenPort(c.port).result, c.status) << c.port;
  }
}

TEST(ReaderModel, CardCallsNeedAnOpenPort) {
  ReaderModel m = ModelWith(TwoCards("always"));
  EXPECT_EQ(m.FindCard(1001).result, kStatusPortError);
  EXPECT_EQ(m.SelectCard(1001).result, kStatusPortError);
  EXPECT_EQ(m.ReadCard(1001).result, kStatusPortError);
  EXPECT_EQ(m.ReadSamId(1001).result, kStatusPortError);
  EXPECT_EQ(m.ClosePort(1001).result, kStatusPortError);
  ASSERT_EQ(m.OpenPort(1001).result, kStatusOk);
  EXPECT_EQ(m.ReadSamId(1001).result, kStatusOk);
  EXPECT_EQ(m.FindCard(0).result, kStatusPortError);  // a desk that failed to connect reads port 0
  EXPECT_EQ(Poll(m, 1001), u"甲");
  EXPECT_EQ(m.ClosePort(1001).result, kStatusOk);
  EXPECT_EQ(m.FindCard(1001).result, kStatusPortError);
}

TEST(ReaderModel, CardsAreReadInTurnAndTheLastOneStays) {
  ReaderModel m = ModelWith(TwoCards("always"));
  m.OpenPort(1001);
  EXPECT_EQ(Poll(m, 1001), u"甲");
  EXPECT_EQ(Poll(m, 1001), u"乙");
  EXPECT_EQ(Poll(m, 1001), u"乙");
  // A find or select alone takes no card.
  m.Load(ParseScenario(TwoCards("always")));
  m.FindCard(1001);
  m.SelectCard(1001);
  EXPECT_EQ(m.FindCard(1001).card->name, u"甲");
}

TEST(ReaderModel, PresentBudgetCountsFindingChecksOnly) {
  ReaderModel m = ModelWith(TwoCards("2"));
  m.OpenPort(1001);
  EXPECT_EQ(Poll(m, 1001), u"甲");
  EXPECT_EQ(Poll(m, 1001), u"乙");
  EXPECT_EQ(m.FindCard(1001).result, kStatusNoCard);
  // Once the card is lifted, select and read find nothing either.
  EXPECT_EQ(m.SelectCard(1001).result, kStatusSelectFailed);
  EXPECT_EQ(m.ReadCard(1001).result, kStatusReadFailed);
  EXPECT_EQ(m.FindCard(1001).result, kStatusNoCard);
}

TEST(ReaderModel, NeverAndNoCardsFindNothing) {
  for (const std::string& text : {TwoCards("never"), std::string("[reader]\npresent = always\n")}) {
    ReaderModel m = ModelWith(text);
    m.OpenPort(1001);
    EXPECT_EQ(m.FindCard(1001).result, kStatusNoCard);
    EXPECT_EQ(m.SelectCard(1001).result, kStatusSelectFailed);
    EXPECT_EQ(m.ReadCard(1001).result, kStatusReadFailed);
    m.InitComm(1001);
    EXPECT_EQ(m.Authenticate(Op::Authenticate).result, 0);
    EXPECT_EQ(m.ReadContent(Op::Read_Content, 2).result, 0);
  }
}

TEST(ReaderModel, ReloadResetsBudgetAndCardsButNotCallNumbers) {
  ReaderModel m = ModelWith(TwoCards("1") + "[results]\nSDT_StartFindMorvid#3 = 0x41\n");
  m.OpenPort(1001);
  EXPECT_EQ(Poll(m, 1001), u"甲");
  EXPECT_EQ(m.FindCard(1001).result, kStatusNoCard);  // call 2
  m.Load(ParseScenario(TwoCards("1") + "[results]\nSDT_StartFindMorvid#3 = 0x41\n"));
  EXPECT_EQ(m.FindCard(1001).result, 0x41);  // call 3, scripted
  EXPECT_EQ(Poll(m, 1001), u"甲");           // budget and first card again
  EXPECT_EQ(m.Calls(Op::SDT_StartFindMorvid), 4u);
  // The port opened before the reload is still open.
  EXPECT_EQ(m.ReadSamId(1001).result, kStatusOk);
}

TEST(ReaderModel, ScriptedResults) {
  ReaderModel m = ModelWith(TwoCards("never") +
                            "[results]\nSDT_OpenPort#1 = 0x41\nSDT_StartFindMorvid = 0x9F\n"
                            "SDT_ReadBaseMsg#2 = fault\nSDT_SelectMorvid#2 = 0x81\n");
  const Outcome open1 = m.OpenPort(1001);
  EXPECT_EQ(open1.result, 0x41);
  EXPECT_FALSE(open1.outputs);
  EXPECT_EQ(m.FindCard(1001).result, kStatusCardFound);  // scripted: even on a closed port
  EXPECT_EQ(m.OpenPort(1001).result, kStatusOk);
  // A scripted find lays the card although present is never.
  EXPECT_EQ(Poll(m, 1001), u"甲");
  const Outcome find = m.FindCard(1001);
  EXPECT_TRUE(find.outputs);
  const Outcome select = m.SelectCard(1001);
  EXPECT_EQ(select.result, 0x81);
  EXPECT_FALSE(select.outputs);
  const Outcome read = m.ReadCard(1001);
  EXPECT_TRUE(read.fault);
  EXPECT_FALSE(read.outputs);
  EXPECT_EQ(m.ReadCard(1001).result, kStatusOk);  // call 3 is natural again
}

TEST(ReaderModel, ScriptedSuccessWithoutCardsGivesABlankCard) {
  ReaderModel m = ModelWith("[results]\nSDT_ReadBaseMsg = 0x90\nRead_Content = 1\n");
  const Outcome r = m.ReadCard(1001);
  EXPECT_EQ(r.result, kStatusOk);
  EXPECT_TRUE(r.outputs);
  EXPECT_EQ(r.card, nullptr);
  const Outcome t = m.ReadContent(Op::Read_Content, 1);
  EXPECT_EQ(t.result, 1);
  EXPECT_TRUE(t.outputs);
  EXPECT_EQ(t.card, nullptr);
}

TEST(ReaderModel, BaudRate) {
  ReaderModel m = ModelWith("[reader]\nports = 1-2\nbaud = 9600\n");
  Outcome g = m.GetBaud(1);
  EXPECT_EQ(g.result, kStatusOk);
  EXPECT_EQ(g.baud, 9600u);
  EXPECT_EQ(m.GetBaud(3).result, kStatusSerialBusy);
  EXPECT_EQ(m.SetBaud(1, 115200, 38400).result, kStatusTimeout);
  EXPECT_EQ(m.SetBaud(1, 9600, 12345).result, kStatusBadCommand);
  EXPECT_EQ(m.SetBaud(3, 9600, 38400).result, kStatusSerialBusy);
  EXPECT_EQ(m.GetBaud(1).baud, 9600u);
  EXPECT_EQ(m.SetBaud(1, 9600, 38400).result, kStatusOk);
  EXPECT_EQ(m.GetBaud(2).baud, 38400u);
  m.Load(ParseScenario("[reader]\nports = 1-2\nbaud = 9600\n"));
  EXPECT_EQ(m.GetBaud(1).baud, 9600u);
}

TEST(ReaderModel, TermbPortsChecksAndReads) {
  ReaderModel m = ModelWith(TwoCards("2"));
  EXPECT_EQ(m.Authenticate(Op::Authenticate).result, 0);  // no port yet
  EXPECT_EQ(m.InitComm(1).result, 0);
  EXPECT_EQ(m.InitComm(1001).result, 1);
  EXPECT_TRUE(m.SamIdText().outputs);
  EXPECT_EQ(m.Authenticate(Op::AuthenticateExt).result, 1);
  EXPECT_EQ(m.ReadContent(Op::Read_Content, 4).result, 1);
  EXPECT_EQ(m.Authenticate(Op::Authenticate).result, 1);
  const Outcome second = m.ReadContent(Op::Read_Content, 1);
  EXPECT_EQ(second.result, -1);  // the second card's photo is bad
  ASSERT_NE(second.card, nullptr);
  EXPECT_EQ(second.card->name, u"乙");
  EXPECT_TRUE(second.outputs);
  EXPECT_EQ(m.Authenticate(Op::Authenticate).result, 0);  // budget spent: card lifted
  EXPECT_EQ(m.ReadContent(Op::Read_Content, 2).result, 0);
  EXPECT_EQ(m.CloseComm().result, 1);
  EXPECT_FALSE(m.SamIdText().outputs);
}

TEST(ReaderModel, TermbModes) {
  ReaderModel m = ModelWith(TwoCards("always"));
  m.InitComm(1002);
  for (int mode : {0, 5, -1}) EXPECT_EQ(m.ReadContent(Op::Read_Content, mode).result, 0) << mode;
  // Modes 2 and 3 do not decode the photo, so a bad photo does not show there.
  m.Load(ParseScenario(TwoCards("always")));
  m.ReadContent(Op::Read_Content, 2);
  EXPECT_EQ(m.ReadContent(Op::Read_Content, 2).result, 1);
  EXPECT_EQ(m.ReadContent(Op::Read_Content, 3).result, 1);
  EXPECT_EQ(m.ReadContent(Op::Read_Content, 4).result, -1);
}

TEST(ReaderModel, InitCommExtFindsTheFirstAnsweringPort) {
  EXPECT_EQ(ModelWith("[reader]\nports = 3, 1004\n").InitCommExt().result, 1004);
  EXPECT_EQ(ModelWith("[reader]\nports = 3\n").InitCommExt().result, 3);
  EXPECT_EQ(ModelWith("[reader]\nports =\n").InitCommExt().result, 0);
}

TEST(ReaderModel, JournalResultTexts) {
  EXPECT_EQ(HexResult(0x90), "0x90");
  EXPECT_EQ(HexResult(0x9F), "0x9F");
  EXPECT_EQ(HexResult(1), "0x1");
  EXPECT_EQ(HexResult(-1), "0xFFFFFFFF");
  EXPECT_EQ(DecimalResult(-2), "-2");
}
