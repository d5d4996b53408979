// Head photo through GDI+'s flat API: load the decoded bitmap, save it as JPEG.
#include "HeadPhoto.h"

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <vector>

#include "win/Text.h"

namespace cardpost {
namespace {

namespace gp = Gdiplus;
namespace flat = Gdiplus::DllExports;

wchar_t LowerAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool EqualNoCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

// GDI+ stays started for the rest of the process: the poll uses it once a second.
bool EnsureGdiplus() {
  static const bool started = [] {
    ULONG_PTR token = 0;
    gp::GdiplusStartupInput input;
    return gp::GdiplusStartup(&token, &input, nullptr) == gp::Ok;
  }();
  return started;
}

// The extension of the path's last component, dot included, or empty.
std::wstring_view ExtensionOf(std::wstring_view path) {
  const size_t slash = path.find_last_of(L"\\/");
  const size_t dot = path.rfind(L'.');
  if (dot == std::wstring_view::npos || (slash != std::wstring_view::npos && dot < slash)) return {};
  return path.substr(dot);
}

bool FindEncoder(std::wstring_view extension, CLSID* clsid) {
  if (extension.empty()) return false;
  UINT count = 0, bytes = 0;
  if (flat::GdipGetImageEncodersSize(&count, &bytes) != gp::Ok || count == 0 || bytes == 0) return false;
  std::vector<uint8_t> store(bytes);
  auto* codecs = reinterpret_cast<gp::ImageCodecInfo*>(store.data());
  if (flat::GdipGetImageEncoders(count, bytes, codecs) != gp::Ok) return false;
  for (UINT i = 0; i < count; ++i) {
    if (codecs[i].FilenameExtension && ExtensionListHas(codecs[i].FilenameExtension, extension)) {
      *clsid = codecs[i].Clsid;
      return true;
    }
  }
  return false;
}

}  // namespace

bool ExtensionListHas(std::wstring_view list, std::wstring_view extension) {
  if (extension.empty()) return false;
  while (!list.empty()) {
    const size_t semi = list.find(L';');
    std::wstring_view item = list.substr(0, semi);
    if (!item.empty() && item.front() == L'*') item.remove_prefix(1);
    if (EqualNoCase(item, extension)) return true;
    if (semi == std::wstring_view::npos) break;
    list.remove_prefix(semi + 1);
  }
  return false;
}

std::string HeadPhotoPath(const std::string& consoleDir, const std::string& certId) {
  return qx::win::Format("%s\\Photos\\TempUser\\%s_H.jpg", consoleDir.c_str(), certId.c_str());
}

HeadPhotoResult SaveHeadPhoto(const std::string& bitmapPath, const std::string& targetPath) {
  if (!EnsureGdiplus()) return HeadPhotoResult::NotLoaded;
  const std::wstring source = qx::win::MultiToWide(bitmapPath, CP_ACP);
  const std::wstring target = qx::win::MultiToWide(targetPath, CP_ACP);
  gp::GpImage* image = nullptr;
  if (source.empty() || flat::GdipLoadImageFromFile(source.c_str(), &image) != gp::Ok || !image)
    return HeadPhotoResult::NotLoaded;
  CLSID encoder{};
  bool saved = FindEncoder(ExtensionOf(target), &encoder) &&
               flat::GdipSaveImageToFile(image, target.c_str(), &encoder, nullptr) == gp::Ok;
  flat::GdipDisposeImage(image);
  return saved ? HeadPhotoResult::Saved : HeadPhotoResult::SaveFailed;
}

}  // namespace cardpost
