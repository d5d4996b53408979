// The simulated reader: what each library call answers, from the scenario and the calls so far.
#pragma once

#include "Scenario.h"

#include <array>
#include <set>
#include <string>

namespace qx::readersim {

// Unforced sdtapi statuses besides success.
inline constexpr int kStatusPortError = 0x01;     // port not open / not answering
inline constexpr int kStatusTimeout = 0x02;       // rate given as current is not the current rate
inline constexpr int kStatusTransfer = 0x03;      // the library failed inside (no outputs)
inline constexpr int kStatusSerialBusy = 0x05;    // rate asked of a port that does not answer
inline constexpr int kStatusBadCommand = 0x21;    // unsupported rate
inline constexpr int kStatusReadFailed = 0x41;    // no card to read
inline constexpr int kStatusNoCard = 0x80;        // find: no card
inline constexpr int kStatusSelectFailed = 0x81;  // select: no card

// What one call answers and whether its outputs are written.
struct Outcome {
  int result = 0;
  bool fault = false;
  bool outputs = false;
  bool scripted = false;          // the answer came from [results]
  const SimCard* card = nullptr;  // whose data the outputs carry; null: a blank card
  unsigned baud = 0;              // SDT_GetCOMBaud's output
};

class ReaderModel {
 public:
  ReaderModel();

  // A new or changed scenario: resets the present budget, the next card, the rate and
  // whether a card lies on the reader. Call numbers and open ports stay.
  void Load(Scenario scenario);
  const Scenario& scenario() const { return scenario_; }

  // Counts a call of op and gives its scripted answer, if any.
  Forced NextForced(Op op);
  unsigned Calls(Op op) const { return calls_[static_cast<std::size_t>(op)]; }

  // sdtapi.dll
  Outcome OpenPort(int port);
  Outcome ClosePort(int port);
  Outcome FindCard(int port);
  Outcome SelectCard(int port);
  Outcome ReadCard(int port);
  Outcome ReadSamId(int port);
  Outcome GetBaud(int port);
  Outcome SetBaud(int port, unsigned current, unsigned baud);

  // termb.dll
  Outcome InitComm(int port);
  Outcome InitCommExt();  // result: the port that answered, or 0
  Outcome CloseComm();
  Outcome Authenticate(Op op);  // Authenticate or AuthenticateExt
  Outcome ReadContent(Op op, int mode);  // Read_Content or Read_Content_Path
  // GetSAMID: outputs tells whether there is a text (a port is open).
  Outcome SamIdText();

 private:
  bool PortOpen(int port) const { return openPorts_.count(port) != 0; }
  // A card check: consumes the present budget when it finds a card.
  bool CheckFindsCard();
  const SimCard* CurrentCard() const;
  // A successful read takes the current card and moves on; the last one stays.
  const SimCard* TakeCard();

  Scenario scenario_;
  std::array<unsigned, kOpCount> calls_{};
  std::set<int> openPorts_;  // sdtapi
  int termbPort_ = 0;        // termb: the open port, 0 none
  unsigned budget_ = 0;
  std::size_t nextCard_ = 0;
  unsigned baud_ = 0;
  bool cardOnReader_ = false;
};

// Journal text of a result: sdtapi statuses as 0x%X, other results in decimal.
std::string HexResult(int status);
std::string DecimalResult(int result);

}  // namespace qx::readersim
