// sdtapi.dll stand-in: reader port, card find/select/read, security-module number and serial rate.
#include "reader/ReaderApi.h"

#include "SimHost.h"
#include "card/CardTextBlock.h"
#include "win/Text.h"

#include <algorithm>
#include <cstring>

using namespace qx::readersim;
using host::Reply;
using host::RunExport;
using host::Session;
namespace win = qx::win;

namespace {

// What find leaves in its buffer; no caller reads it.
constexpr unsigned char kFindBytes[qx::reader::kFindBufferBytes] = {0x9F, 0x51, 0x58, 0x01};

std::string LengthText(const unsigned int* len) {
  return len == nullptr ? std::string("null") : std::to_string(*len);
}

}  // namespace

extern "C" {

int __stdcall SDT_OpenPort(int port) {
  return RunExport(kStatusTransfer, [&] {
    Session s;
    const Outcome o = s.model().OpenPort(port);
    s.Journal(win::Format("SDT_OpenPort(%d)", port), o, true);
    return Reply{o.result, o.fault};
  });
}

int __stdcall SDT_ClosePort(int port) {
  return RunExport(kStatusTransfer, [&] {
    Session s;
    const Outcome o = s.model().ClosePort(port);
    s.Journal(win::Format("SDT_ClosePort(%d)", port), o, true);
    return Reply{o.result, o.fault};
  });
}

int __stdcall SDT_StartFindMorvid(int port, unsigned char* buf, int iIfOpen) {
  return RunExport(kStatusTransfer, [&] {
    Session s;
    const Outcome o = s.model().FindCard(port);
    if (o.outputs && buf != nullptr) std::memcpy(buf, kFindBytes, sizeof kFindBytes);
    s.Journal(win::Format("SDT_StartFindMorvid(%d)", port), o, true);
    return Reply{o.result, o.fault};
  });
}

int __stdcall SDT_SelectMorvid(int port, unsigned char* buf, int iIfOpen) {
  return RunExport(kStatusTransfer, [&] {
    Session s;
    const Outcome o = s.model().SelectCard(port);
    if (o.outputs && buf != nullptr) {
      std::array<std::uint8_t, 8> serial{};
      if (o.card != nullptr) serial = o.card->SerialNumber();
      static_assert(sizeof serial == qx::reader::kSelectBufferBytes);
      std::memcpy(buf, serial.data(), serial.size());
    }
    s.Journal(win::Format("SDT_SelectMorvid(%d)", port), o, true);
    return Reply{o.result, o.fault};
  });
}

int __stdcall SDT_ReadBaseMsg(int port, unsigned char* text, unsigned int* textLen, unsigned char* photo,
                              unsigned int* photoLen, int iIfOpen) {
  return RunExport(kStatusTransfer, [&] {
    Session s;
    // The entry lengths are journalled before the call changes them.
    const std::string call = win::Format("SDT_ReadBaseMsg(%d, %s, %s)", port, LengthText(textLen).c_str(),
                                          LengthText(photoLen).c_str());
    const Outcome o = s.model().ReadCard(port);
    if (o.outputs) {
      // A card laid only by a scripted answer, with no card in the scenario, is blank.
      const std::vector<std::uint8_t> block =
          o.card != nullptr ? o.card->TextBlock() : qx::card::BuildCardTextBytes({});
      const std::vector<std::uint8_t> wlt = o.card != nullptr ? o.card->PackedPhoto() : std::vector<std::uint8_t>{};
      const std::size_t textBytes = std::min<std::size_t>(block.size(), qx::reader::kTextBlockBytes);
      const std::size_t photoBytes = std::min<std::size_t>(wlt.size(), qx::reader::kWltPhotoMaxBytes);
      if (text != nullptr) std::memcpy(text, block.data(), textBytes);
      if (textLen != nullptr) *textLen = static_cast<unsigned>(textBytes);
      if (photo != nullptr) std::memcpy(photo, wlt.data(), photoBytes);
      if (photoLen != nullptr) *photoLen = static_cast<unsigned>(photoBytes);
    }
    s.Journal(call, o, true);
    return Reply{o.result, o.fault};
  });
}

int __stdcall SDT_GetSAMIDToStr(int port, char* samid, int iIfOpen) {
  return RunExport(kStatusTransfer, [&] {
    Session s;
    const Outcome o = s.model().ReadSamId(port);
    if (o.outputs && samid != nullptr) {
      const std::string text = host::GbkFromUtf8(s.model().scenario().samid, qx::reader::kSamIdBufferBytes - 1);
      std::memcpy(samid, text.c_str(), text.size() + 1);
    }
    s.Journal(win::Format("SDT_GetSAMIDToStr(%d)", port), o, true);
    return Reply{o.result, o.fault};
  });
}

int __stdcall SDT_GetCOMBaud(int port, unsigned int* baud) {
  return RunExport(kStatusTransfer, [&] {
    Session s;
    const Outcome o = s.model().GetBaud(port);
    if (o.outputs && baud != nullptr) *baud = o.baud;
    s.Journal(win::Format("SDT_GetCOMBaud(%d)", port), o, true);
    return Reply{o.result, o.fault};
  });
}

int __stdcall SDT_SetCOMBaud(int port, unsigned int current, unsigned int baud) {
  return RunExport(kStatusTransfer, [&] {
    Session s;
    const Outcome o = s.model().SetBaud(port, current, baud);
    s.Journal(win::Format("SDT_SetCOMBaud(%d, %u, %u)", port, current, baud), o, true);
    return Reply{o.result, o.fault};
  });
}

}  // extern "C"
