// The desk's print layout arithmetic.
#include "PrintLayout.h"

namespace qx::kestrin {

int PrintScale(int printerPpi, int windowPpi) { return windowPpi > 0 ? printerPpi * 10 / windowPpi : 0; }

CopyRects CardPrintRects(int kx, int ky, const CopyPictureSizes& s) {
  return CopyRects{
      {4 * kx, 4 * ky, kx * (s.frontWidth + 45) / 10, ky * (s.frontHeight + 45) / 10},
      {4 * kx, ky * (s.frontHeight + 50) / 10, kx * (s.backWidth + 45) / 10,
       ky * (s.backHeight + s.frontHeight + 55) / 10},
  };
}

CopyRects RecordCopyRects(int kx, int ky, int top, const CopyPictureSizes& s) {
  const int split = kx * (s.frontWidth + 35) / 10;
  return CopyRects{
      {3 * kx, top * ky / 10, split, ky * (s.frontHeight + top + 5) / 10},
      {split, top * ky / 10, kx * (s.backWidth + s.frontWidth + 40) / 10, ky * (s.backHeight + top + 5) / 10},
  };
}

std::vector<int> RecordCopyTops(int count, int frontHeight) {
  std::vector<int> tops;
  int top = 60;
  for (int i = 0; i < count; ++i, top += frontHeight + 120) tops.push_back(top);
  return tops;
}

PrintRect DocumentPageRect(int ppiX, int ppiY) {
  return PrintRect{ppiX / 2, ppiY / 2, ppiX / 2 + ppiX * 680 / 100, ppiY / 2 + ppiY * 1000 / 100};
}

std::vector<DocText> DocumentTexts(const CardFields& f, std::string_view printTime, WideConverter toWide) {
  std::vector<DocText> out;
  auto put = [&](int x, int y, std::u16string text) { out.push_back(DocText{{x, y}, std::move(text)}); };
  const std::u16string address = toWide(TrimAnsiBlank(f.edtAddr));
  put(kDocTextX, kDocNameY, toWide(TrimAnsiBlank(f.edtName)));
  put(kDocTextX, kDocSexY, toWide(f.edtSex));
  put(kDocNationX, kDocSexY, toWide(f.edtNation));
  put(kDocTextX, kDocBirthY, toWide(f.edtBirh));
  const std::vector<std::u16string> lines = AddressLines(address);
  for (std::size_t r = 0; r < lines.size(); ++r)
    put(kDocTextX, kDocAddressY + kDocAddressStep * static_cast<int>(r), lines[r]);
  put(kDocTextX, kDocIdY, toWide(TrimAnsiBlank(f.edtId)));
  put(kDocTextX, kDocWholeAddressY, address);
  put(kDocTextX, kDocAuthorityY, toWide(TrimAnsiBlank(f.edtSendDep)));
  put(kDocTextX, kDocValidityY, toWide(TrimAnsiBlank(f.edtExpire)));
  put(kDocTextX, kDocTimeY, std::u16string(printTime.begin(), printTime.end()));
  return out;
}

}  // namespace qx::kestrin
