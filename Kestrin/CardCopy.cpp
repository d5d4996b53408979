// Composing the card copy pictures and writing the saved copy.
#include "CardCopy.h"

#include <string_view>

#include "CardFace.h"
#include "Program.h"
#include "win/Controls.h"
#include "win/Handle.h"
#include "win/Text.h"

namespace qx::kestrin {

namespace {

// Sizes in points at a pixels-per-inch value of their own, never the screen's.
constexpr wchar_t kTextFace[] = L"MS Sans Serif";
constexpr wchar_t kIdFace[] = L"华文新魏";

void Text(HDC dc, PixelPoint at, std::wstring_view text) {
  if (!text.empty()) ::TextOutW(dc, at.x, at.y, text.data(), static_cast<int>(text.size()));
}

// Draws on a picture through a memory DC with a clear brush and black text.
class Canvas {
 public:
  explicit Canvas(const Picture& picture)
      : dc_(::CreateCompatibleDC(nullptr)), keep_(dc_.get(), picture.Handle()) {
    ::SetBkMode(dc_.get(), TRANSPARENT);
    ::SetTextColor(dc_.get(), RGB(0, 0, 0));
  }
  // The font leaves the DC before its owner deletes it.
  ~Canvas() {
    ::SelectObject(dc_.get(), ::GetStockObject(SYSTEM_FONT));
    ::GdiFlush();
  }
  HDC get() const { return dc_.get(); }
  void Font(const wchar_t* face, double points, int ppi) {
    win::UniqueFont f = win::MakeFont(face, points, false, ppi);
    ::SelectObject(dc_.get(), f.get());
    font_ = std::move(f);  // the previous font is out of the DC now
  }

 private:
  win::UniqueMemDc dc_;
  win::SelectGuard keep_;
  win::UniqueFont font_;
};

}  // namespace

CardCopyImages ComposeCopyImagesSized(const std::wstring& frontTemplate, const std::wstring& backTemplate,
                                      int w, int h, const Picture& photo, const CardFields& f) {
  const CopyLayout at = CopyLayoutFor(w, h);
  // Read before anything is drawn, so that a bad date leaves nothing half made.
  const std::optional<BirthDate> birth = ParseBirthDate(TrimAnsiBlank(f.edtBirh));
  if (!birth) throw CardCopyError(L"出生日期 '" + Trimmed(f.edtBirh) + L"' 不是有效的日期");

  CardCopyImages out;
  out.width = at.width;
  out.height = at.height;
  out.front = LoadTemplate24(frontTemplate);
  out.back = LoadTemplate24(backTemplate);

  {
    Canvas c(out.front);
    DrawPhotoTransparent(c.get(), at.photo.x, at.photo.y, photo);
    c.Font(kTextFace, 12, 96);
    Text(c.get(), at.name, Trimmed(f.edtName));
    c.Font(kTextFace, 8, 96);
    Text(c.get(), at.sex, FromGbk(f.edtSex));
    Text(c.get(), at.nation, FromGbk(f.edtNation));
    Text(c.get(), at.birthYear, std::to_wstring(birth->year));
    Text(c.get(), at.birthMonth, std::to_wstring(birth->month));
    Text(c.get(), at.birthDay, std::to_wstring(birth->day));
    const std::vector<std::u16string> lines = AddressLines(win::ToU16(Trimmed(f.edtAddr)));
    for (std::size_t r = 0; r < lines.size(); ++r)
      Text(c.get(), {at.birthYear.x, at.AddressLineY(static_cast<int>(r))}, win::FromU16(lines[r]));
    c.Font(kIdFace, 10, 100);
    const std::wstring id = Trimmed(f.edtId);
    for (std::size_t i = 0; i < id.size(); ++i)
      Text(c.get(), {at.IdCharX(static_cast<int>(i)), at.idY}, std::wstring_view(&id[i], 1));
  }
  {
    Canvas c(out.back);
    c.Font(kTextFace, 8, 96);
    Text(c.get(), at.authority, Trimmed(f.edtSendDep));
    Text(c.get(), at.validity, Trimmed(f.edtExpire));
  }
  return out;
}

std::optional<CardCopyImages> ComposeCopyImages(const std::wstring& frontTemplate, const std::wstring& backTemplate,
                                                const Picture& photo, const CardFields& fields) {
  if (photo.Empty()) return std::nullopt;
  return ComposeCopyImagesSized(frontTemplate, backTemplate, photo.Width(), photo.Height(), photo, fields);
}

Picture ComposeCopyFile(const CardCopyImages& images) {
  const PixelSize size = CopyFileSize(images.width, images.height);
  Picture out = Picture::Create(size.width, size.height);
  win::UniqueMemDc dst(::CreateCompatibleDC(nullptr));
  win::SelectGuard keep(dst.get(), out.Handle());
  auto put = [&](const Picture& p, int x, int y) {
    if (p.Empty()) return;
    win::UniqueMemDc src(::CreateCompatibleDC(nullptr));
    win::SelectGuard use(src.get(), p.Handle());
    ::BitBlt(dst.get(), x, y, p.Width(), p.Height(), src.get(), 0, 0, SRCCOPY);
  };
  put(images.front, 1, 1);
  put(images.back, 1, images.front.Height() + 5);
  ::GdiFlush();
  return out;
}

std::wstring SaveCardCopy(const CardCopyImages& images, std::wstring folder, const std::string& idAnsi) {
  if (folder.empty() || folder.back() != L'\\') folder += L'\\';
  const std::wstring base = folder + L"P" + FromGbk(idAnsi);
  const std::wstring bmp = base + L".bmp";
  const std::wstring jpg = base + L".jpg";
  ComposeCopyFile(images).SaveToFile(bmp);
  try {
    BmpFileToJpegFile(bmp, jpg, kCopyJpegQuality);
  } catch (...) {
    ::DeleteFileW(bmp.c_str());
    throw;
  }
  ::DeleteFileW(bmp.c_str());
  return jpg;
}

}  // namespace qx::kestrin
