// The simulated reader: what each library call answers, from the scenario and the calls so far.
#include "ReaderModel.h"

#include "reader/ReaderApi.h"

#include <cstdio>

namespace qx::readersim {

using qx::reader::kStatusCardFound;
using qx::reader::kStatusOk;

namespace {

// What a scripted answer does: a fault raises, a value replaces the natural answer,
// and a scripted success writes the normal outputs.
bool ApplyForced(const Forced& f, int success, Outcome& o) {
  if (f.IsNone()) return false;
  o.scripted = true;
  if (f.IsFault()) {
    o.fault = true;
  } else {
    o.result = f.value;
    o.outputs = f.value == success;
  }
  return true;
}

bool SupportedRate(unsigned baud) {
  return baud == 9600 || baud == 19200 || baud == 38400 || baud == 57600 || baud == 115200;
}

}  // namespace

ReaderModel::ReaderModel() { Load(Scenario{}); }

void ReaderModel::Load(Scenario scenario) {
  scenario_ = std::move(scenario);
  budget_ = scenario_.present.count;
  nextCard_ = 0;
  baud_ = scenario_.baud;
  cardOnReader_ = !scenario_.cards.empty() &&
                  (scenario_.present.kind == Presence::Kind::Always ||
                   (scenario_.present.kind == Presence::Kind::Count && budget_ > 0));
}

Forced ReaderModel::NextForced(Op op) {
  const unsigned call = ++calls_[static_cast<std::size_t>(op)];
  return scenario_.ForcedFor(op, call);
}

bool ReaderModel::CheckFindsCard() {
  bool found = false;
  if (!scenario_.cards.empty()) {
    switch (scenario_.present.kind) {
      case Presence::Kind::Always: found = true; break;
      case Presence::Kind::Never: found = false; break;
      case Presence::Kind::Count:
        if (budget_ > 0) {
          --budget_;
          found = true;
        }
        break;
    }
  }
  cardOnReader_ = found;
  return found;
}

const SimCard* ReaderModel::CurrentCard() const {
  if (scenario_.cards.empty()) return nullptr;
  return &scenario_.cards[nextCard_];
}

const SimCard* ReaderModel::TakeCard() {
  const SimCard* card = CurrentCard();
  if (card != nullptr && nextCard_ + 1 < scenario_.cards.size()) ++nextCard_;
  return card;
}

Outcome ReaderModel::OpenPort(int port) {
  Outcome o;
  if (!ApplyForced(NextForced(Op::SDT_OpenPort), kStatusOk, o)) {
    o.outputs = scenario_.PortAnswers(port);
    o.result = o.outputs ? kStatusOk : kStatusPortError;
  }
  if (o.outputs) openPorts_.insert(port);
  return o;
}

Outcome ReaderModel::ClosePort(int port) {
  Outcome o;
  if (!ApplyForced(NextForced(Op::SDT_ClosePort), kStatusOk, o)) {
    o.outputs = PortOpen(port);
    o.result = o.outputs ? kStatusOk : kStatusPortError;
  }
  if (o.outputs) openPorts_.erase(port);
  return o;
}

Outcome ReaderModel::FindCard(int port) {
  Outcome o;
  if (ApplyForced(NextForced(Op::SDT_StartFindMorvid), kStatusCardFound, o)) {
    if (!o.fault) cardOnReader_ = o.outputs;
  } else if (!PortOpen(port)) {
    o.result = kStatusPortError;
  } else {
    o.outputs = CheckFindsCard();
    o.result = o.outputs ? kStatusCardFound : kStatusNoCard;
  }
  o.card = CurrentCard();
  return o;
}

Outcome ReaderModel::SelectCard(int port) {
  Outcome o;
  if (!ApplyForced(NextForced(Op::SDT_SelectMorvid), kStatusOk, o)) {
    if (!PortOpen(port)) {
      o.result = kStatusPortError;
    } else {
      o.outputs = cardOnReader_;
      o.result = o.outputs ? kStatusOk : kStatusSelectFailed;
    }
  }
  o.card = CurrentCard();
  return o;
}

Outcome ReaderModel::ReadCard(int port) {
  Outcome o;
  if (!ApplyForced(NextForced(Op::SDT_ReadBaseMsg), kStatusOk, o)) {
    if (!PortOpen(port)) {
      o.result = kStatusPortError;
    } else {
      o.outputs = cardOnReader_;
      o.result = o.outputs ? kStatusOk : kStatusReadFailed;
    }
  }
  if (o.outputs) o.card = TakeCard();
  return o;
}

Outcome ReaderModel::ReadSamId(int port) {
  Outcome o;
  if (!ApplyForced(NextForced(Op::SDT_GetSAMIDToStr), kStatusOk, o)) {
    o.outputs = PortOpen(port);
    o.result = o.outputs ? kStatusOk : kStatusPortError;
  }
  return o;
}

Outcome ReaderModel::GetBaud(int port) {
  Outcome o;
  if (!ApplyForced(NextForced(Op::SDT_GetCOMBaud), kStatusOk, o)) {
    o.outputs = scenario_.PortAnswers(port);
    o.result = o.outputs ? kStatusOk : kStatusSerialBusy;
  }
  o.baud = baud_;
  return o;
}

Outcome ReaderModel::SetBaud(int port, unsigned current, unsigned baud) {
  Outcome o;
  if (!ApplyForced(NextForced(Op::SDT_SetCOMBaud), kStatusOk, o)) {
    if (!scenario_.PortAnswers(port)) {
      o.result = kStatusSerialBusy;
    } else if (current != baud_) {
      o.result = kStatusTimeout;  // the reader does not hear a host at the wrong rate
    } else if (!SupportedRate(baud)) {
      o.result = kStatusBadCommand;
    } else {
      o.result = kStatusOk;
      o.outputs = true;
    }
  }
  if (o.outputs) baud_ = baud;
  return o;
}

Outcome ReaderModel::InitComm(int port) {
  Outcome o;
  if (!ApplyForced(NextForced(Op::InitComm), 1, o)) {
    o.outputs = scenario_.PortAnswers(port);
    o.result = o.outputs ? 1 : 0;
  }
  if (o.outputs) termbPort_ = port;
  return o;
}

Outcome ReaderModel::InitCommExt() {
  Outcome o;
  const Forced f = NextForced(Op::InitCommExt);
  int found = 0;
  for (int port : {1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008, 1009, 1010, 1011, 1012, 1013,
                   1014, 1015, 1016, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}) {
    if (scenario_.PortAnswers(port)) {
      found = port;
      break;
    }
  }
  o.scripted = !f.IsNone();
  if (f.IsFault()) {
    o.fault = true;
  } else if (!f.IsNone()) {
    o.result = f.value;
    if (f.value > 0) termbPort_ = f.value;
  } else {
    o.result = found;
    if (found != 0) termbPort_ = found;
  }
  return o;
}

Outcome ReaderModel::CloseComm() {
  Outcome o;
  if (!ApplyForced(NextForced(Op::CloseComm), 1, o)) {
    o.result = 1;
    o.outputs = true;
  }
  if (o.outputs) termbPort_ = 0;
  return o;
}

Outcome ReaderModel::Authenticate(Op op) {
  Outcome o;
  if (ApplyForced(NextForced(op), 1, o)) {
    if (!o.fault) cardOnReader_ = o.outputs;
  } else if (termbPort_ == 0) {
    o.result = 0;
  } else {
    o.outputs = CheckFindsCard();
    o.result = o.outputs ? 1 : 0;
  }
  return o;
}

Outcome ReaderModel::ReadContent(Op op, int mode) {
  Outcome o;
  const Forced f = NextForced(op);
  const bool knownMode = mode >= 1 && mode <= 4;
  o.scripted = !f.IsNone();
  if (f.IsFault()) {
    o.fault = true;
    return o;
  }
  if (!f.IsNone()) {
    o.result = f.value;
    o.outputs = knownMode && (f.value == 1 || f.value == -1);
  } else if (termbPort_ == 0 || !knownMode || !cardOnReader_) {
    o.result = 0;
  } else {
    // A card laid by a scripted check without any card in the scenario is blank and has no photo.
    const SimCard* card = CurrentCard();
    const bool photoMode = mode == 1 || mode == 4;
    o.result = (photoMode && (card == nullptr || !card->photoOk)) ? -1 : 1;
    o.outputs = true;
  }
  if (o.outputs) o.card = TakeCard();
  return o;
}

Outcome ReaderModel::SamIdText() {
  Outcome o;
  const Forced f = NextForced(Op::GetSAMID);
  o.scripted = !f.IsNone();
  o.fault = f.IsFault();
  // A scripted number means nothing for a text; the text follows the port alone.
  o.outputs = termbPort_ != 0;
  return o;
}

std::string HexResult(int status) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%X", static_cast<unsigned>(status));
  return buf;
}

std::string DecimalResult(int result) { return std::to_string(result); }

}  // namespace qx::readersim
