// termb.dll stand-in: the second reader interface; reads leave their results in files.
#include "reader/ReaderApi.h"

#include "PhotoFiles.h"
#include "SimHost.h"
#include "card/CardTextBlock.h"
#include "win/Text.h"

#include <cstring>

using namespace qx::readersim;
using host::Reply;
using host::RunExport;
using host::Session;
namespace win = qx::win;

namespace {

// The library's own text that GetSAMID hands out; it stays valid until the next call.
char g_samId[256];

struct Folders {
  std::wstring card;   // wz.txt, zp.bmp
  std::wstring extra;  // newadd.txt, IINSNDN.bin
};

std::wstring In(const std::wstring& folder, const wchar_t* name) {
  return folder.empty() ? std::wstring(name) : folder + L"\\" + name;
}

// Writes the files of one read and gives the natural result its final value: a file
// that could not be written is a failed read (0), a photo that could not be decoded -1.
int WriteReadFiles(const Outcome& o, int mode, const Folders& where) {
  static const SimCard kBlank;
  const SimCard& card = o.card != nullptr ? *o.card : kBlank;
  int result = o.result;
  if (mode == 1 || mode == 2 || mode == 4) {
    const std::vector<std::uint8_t> block = card.TextBlock();
    if (!host::WriteFileBytes(In(where.card, L"wz.txt"), block.data(), block.size())) result = 0;
  }
  if (mode == 1 || mode == 4) {
    // An old picture must not pass for this card's.
    const std::wstring zp = In(where.card, L"zp.bmp");
    host::DeleteFileIfThere(zp);
    const bool decoded = o.card != nullptr && o.result != -1 &&
                         WriteBitmapOf(card.PackedPhoto(), zp) == DecodeResult::Ok;
    if (!decoded && result == 1) result = -1;
  }
  if (mode == 3) {
    const std::vector<std::uint8_t> text = qx::card::Ucs2LeFromText(card.newadd);
    if (!host::WriteFileBytes(In(where.extra, L"newadd.txt"), text.data(), text.size())) result = 0;
  }
  if (mode == 4) {
    const std::vector<std::uint8_t> chip = card.ChipBytes();
    if (!host::WriteFileBytes(In(where.extra, L"IINSNDN.bin"), chip.data(), chip.size())) result = 0;
  }
  return result;
}

Reply ReadInto(Session& s, Op op, int mode, const Folders& where, const std::string& call) {
  const Outcome o = s.model().ReadContent(op, mode);
  int result = o.result;
  if (o.outputs) {
    const int written = WriteReadFiles(o, mode, where);
    // A scripted result stands as scripted.
    if (!o.scripted) result = written;
  }
  Outcome shown = o;
  shown.result = result;
  s.Journal(call, shown, false);
  return Reply{result, o.fault};
}

}  // namespace

extern "C" {

int __stdcall InitComm(int port) {
  return RunExport(0, [&] {
    Session s;
    const Outcome o = s.model().InitComm(port);
    s.Journal(win::Format("InitComm(%d)", port), o, false);
    return Reply{o.result, o.fault};
  });
}

int __stdcall InitCommExt(void) {
  return RunExport(0, [&] {
    Session s;
    const Outcome o = s.model().InitCommExt();
    s.Journal("InitCommExt()", o, false);
    return Reply{o.result, o.fault};
  });
}

int __stdcall CloseComm(void) {
  return RunExport(0, [&] {
    Session s;
    const Outcome o = s.model().CloseComm();
    s.Journal("CloseComm()", o, false);
    return Reply{o.result, o.fault};
  });
}

int __stdcall Authenticate(void) {
  return RunExport(0, [&] {
    Session s;
    const Outcome o = s.model().Authenticate(Op::Authenticate);
    s.Journal("Authenticate()", o, false);
    return Reply{o.result, o.fault};
  });
}

int __stdcall AuthenticateExt(void) {
  return RunExport(0, [&] {
    Session s;
    const Outcome o = s.model().Authenticate(Op::AuthenticateExt);
    s.Journal("AuthenticateExt()", o, false);
    return Reply{o.result, o.fault};
  });
}

int __stdcall Read_Content(int mode) {
  return RunExport(0, [&] {
    Session s;
    // wz.txt and zp.bmp go beside the calling program, the others to the current folder.
    return ReadInto(s, Op::Read_Content, mode, Folders{host::ExeDir(), std::wstring()},
                    win::Format("Read_Content(%d)", mode));
  });
}

int __stdcall Read_Content_Path(char* folder, int mode) {
  return RunExport(0, [&] {
    Session s;
    const std::optional<std::string_view> text = host::CallerText(folder, kMaxCallerPath);
    const std::string call = win::Format("Read_Content_Path(%s, %d)",
                                          text ? win::WideToUtf8(win::MultiToWide(*text)).c_str() : "null",
                                          mode);
    if (!text) {
      s.model().NextForced(Op::Read_Content_Path);
      s.JournalText(call, "0");
      return Reply{0, false};
    }
    std::wstring where = win::MultiToWide(*text);
    while (!where.empty() && (where.back() == L'\\' || where.back() == L'/')) where.pop_back();
    return ReadInto(s, Op::Read_Content_Path, mode, Folders{where, where}, call);
  });
}

const char* __stdcall GetSAMID(void) {
  bool fault = false;
  try {
    Session s;
    const Outcome o = s.model().SamIdText();
    const std::string text = o.outputs ? host::GbkFromUtf8(s.model().scenario().samid, sizeof g_samId - 1)
                                       : std::string();
    std::memcpy(g_samId, text.c_str(), text.size() + 1);
    s.JournalText("GetSAMID()", o.fault ? "fault" : win::WideToUtf8(win::MultiToWide(text)));
    fault = o.fault;
  } catch (...) {
    g_samId[0] = '\0';
  }
  if (fault) host::RaiseAccessViolation();
  return g_samId;
}

int __stdcall GetPhoto(char* wltPath) {
  return RunExport(0, [&] {
    Session s;
    const std::optional<std::string_view> path = host::CallerText(wltPath, kMaxCallerPath);
    const std::string shown = path ? win::WideToUtf8(win::MultiToWide(*path)) : std::string("null");
    const Forced f = s.model().NextForced(Op::GetPhoto);
    Outcome o;
    if (f.IsFault()) {
      o.fault = true;
    } else if (!f.IsNone()) {
      o.result = f.value;
      if (f.value == 1 && path) DecodeBeside(win::MultiToWide(*path));
    } else if (!path || !HasWltSuffix(path->data(), path->size())) {
      o.result = qx::reader::kReadWltSuffix;
    } else {
      switch (DecodeBeside(win::MultiToWide(*path))) {
        case DecodeResult::Ok: o.result = 1; break;
        case DecodeResult::CannotOpen: o.result = qx::reader::kReadWltOpen; break;
        case DecodeResult::BadFormat: o.result = qx::reader::kReadWltFormat; break;
        case DecodeResult::CannotWrite: o.result = qx::reader::kReadPhotoNotDecoded; break;
      }
    }
    s.Journal(win::Format("GetPhoto(%s)", shown.c_str()), o, false);
    return Reply{o.result, o.fault};
  });
}

}  // extern "C"
