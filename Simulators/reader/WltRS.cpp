// WltRS.dll stand-in: GetBmp turns a packed photo file into the bitmap beside it.
#include "reader/ReaderApi.h"

#include "PhotoFiles.h"
#include "SimHost.h"
#include "win/Text.h"

using namespace qx::readersim;
using host::Reply;
using host::RunExport;
using host::Session;
namespace win = qx::win;

extern "C" int __stdcall GetBmp(char* wltPath, int mode) {
  return RunExport(0, [&] {
    Session s;
    const std::optional<std::string_view> path = host::CallerText(wltPath, kMaxCallerPath);
    const std::string shown = path ? win::WideToUtf8(win::MultiToWide(*path)) : std::string("null");
    const Forced f = s.model().NextForced(Op::GetBmp);
    Outcome o;
    if (f.IsFault()) {
      o.fault = true;
    } else if (!f.IsNone()) {
      // A scripted success still leaves the bitmap when the file allows it.
      o.result = f.value;
      if (f.value == 1 && path && DecodeBeside(win::MultiToWide(*path)) == DecodeResult::Ok) {
        RewriteWltSuffix(wltPath, path->size());
      }
    } else if (path && DecodeBeside(win::MultiToWide(*path)) == DecodeResult::Ok) {
      o.result = 1;
      RewriteWltSuffix(wltPath, path->size());
    }
    s.Journal(win::Format("GetBmp(%s, %d)", shown.c_str(), mode), o, false);
    return Reply{o.result, o.fault};
  });
}
