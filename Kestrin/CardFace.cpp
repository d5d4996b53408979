// Drawing of the card face: template, photo and labels into one bitmap of Panel2's size.
#include "CardFace.h"

#include <algorithm>
#include <vector>

#include "Program.h"
#include "win/Handle.h"
#include "win/Text.h"

namespace qx::kestrin {

namespace {

constexpr RECT Box(int left, int top, int width, int height) { return {left, top, left + width, top + height}; }

// Pixel height fixed on the font, so the labels look the same whatever the screen's ppi.
win::UniqueFont LabelFont(bool bold) {
  LOGFONTW lf{};
  lf.lfHeight = -kCardFaceFontPixels;
  lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  lf.lfCharSet = GB2312_CHARSET;  // with ANSI_CHARSET Chinese shows as boxes
  lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = DEFAULT_QUALITY;
  lf.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
  lstrcpynW(lf.lfFaceName, L"MS Sans Serif", LF_FACESIZE);
  return win::UniqueFont(::CreateFontIndirectW(&lf));
}

// Greedy lines that fit the width; a break after the last blank when one is in reach,
// otherwise between characters, as Chinese text has no blanks to break at.
std::vector<std::wstring> WrapLines(HDC dc, const std::wstring& text, int width) {
  std::vector<std::wstring> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::wstring rest = text.substr(at);
    int fit = 0;
    SIZE size{};
    ::GetTextExtentExPointW(dc, rest.c_str(), static_cast<int>(rest.size()), width, &fit, nullptr, &size);
    std::size_t take = std::max<std::size_t>(1, static_cast<std::size_t>(fit));
    if (take < rest.size() && rest[take] != L' ') {
      const std::size_t blank = rest.find_last_of(L' ', take - 1);
      if (blank != std::wstring::npos && blank > 0) take = blank + 1;
    }
    std::wstring line = rest.substr(0, take);
    while (!line.empty() && line.back() == L' ') line.pop_back();
    lines.push_back(line);
    at += take;
    while (at < text.size() && text[at] == L' ') ++at;
  }
  return lines;
}

void DrawLabel(HDC dc, const CardFaceLabelBox& box, const std::wstring& text) {
  if (text.empty()) return;
  const win::UniqueFont font = LabelFont(box.bold);
  win::SelectGuard useFont(dc, font.get());
  const int saved = ::SaveDC(dc);
  ::IntersectClipRect(dc, box.rect.left, box.rect.top, box.rect.right, box.rect.bottom);
  if (!box.wordWrap) {
    ::TextOutW(dc, box.rect.left, box.rect.top, text.c_str(), static_cast<int>(text.size()));
  } else {
    TEXTMETRICW tm{};
    ::GetTextMetricsW(dc, &tm);
    int y = box.rect.top;
    for (const std::wstring& line : WrapLines(dc, text, box.rect.right - box.rect.left)) {
      if (y >= box.rect.bottom) break;
      ::TextOutW(dc, box.rect.left, y, line.c_str(), static_cast<int>(line.size()));
      y += tm.tmHeight;
    }
  }
  ::RestoreDC(dc, saved);
}

}  // namespace

std::string CardAnsi(std::u16string_view text) { return Gbk(win::FromU16(text)); }

std::wstring Trimmed(std::string_view ansi) { return FromGbk(TrimAnsiBlank(ansi)); }

Picture LoadTemplate24(const std::wstring& path) {
  const Picture file = Picture::FromBmpFile(path);
  if (file.Empty()) throw PictureError(L"模板文件 \"" + path + L"\" 中没有图像");
  Picture work = Picture::Create(file.Width(), file.Height());
  win::UniqueMemDc src(::CreateCompatibleDC(nullptr));
  win::UniqueMemDc dst(::CreateCompatibleDC(nullptr));
  win::SelectGuard a(src.get(), file.Handle());
  win::SelectGuard b(dst.get(), work.Handle());
  ::BitBlt(dst.get(), 0, 0, file.Width(), file.Height(), src.get(), 0, 0, SRCCOPY);
  ::GdiFlush();
  return work;
}

bool CardFaceLabels::operator==(const CardFaceLabels& o) const {
  return labSN == o.labSN && labSs == o.labSs && labSm == o.labSm && labSb == o.labSb && labSa1 == o.labSa1 &&
         labSa2 == o.labSa2 && labSi == o.labSi && labSd == o.labSd && labSv == o.labSv;
}

const std::array<CardFaceLabelBox, 9>& CardFaceLabelBoxes() {
  static const std::array<CardFaceLabelBox, 9> boxes = {{
      {&CardFaceLabels::labSN, "labSN", Box(124, 91, 229, 30), true, false},
      {&CardFaceLabels::labSs, "labSs", Box(125, 124, 32, 16), false, false},
      {&CardFaceLabels::labSm, "labSm", Box(238, 124, 32, 16), false, false},
      {&CardFaceLabels::labSb, "labSb", Box(122, 158, 223, 16), false, false},
      {&CardFaceLabels::labSa1, "labSa1", Box(122, 190, 183, 27), false, false},
      {&CardFaceLabels::labSa2, "labSa2", Box(121, 219, 183, 39), true, false},
      {&CardFaceLabels::labSi, "labSi", Box(217, 262, 239, 16), false, true},
      {&CardFaceLabels::labSd, "labSd", Box(161, 336, 239, 16), false, false},
      {&CardFaceLabels::labSv, "labSv", Box(160, 362, 239, 16), false, false},
  }};
  return boxes;
}

CardFaceLabels CardFaceLabelsFrom(const CardFields& f) {
  CardFaceLabels l;
  l.labSN = Trimmed(f.edtName);
  l.labSs = Trimmed(f.edtSex);
  l.labSm = Trimmed(f.edtNation);
  l.labSb = FromGbk(f.edtBirh);
  const std::wstring address = Trimmed(f.edtAddr);
  const auto [first, rest] = SplitFaceAddress(win::ToU16(address));
  l.labSa1 = win::FromU16(first);
  l.labSa2 = win::FromU16(rest);
  l.labSi = Trimmed(f.edtId);
  l.labSd = Trimmed(f.edtSendDep);
  l.labSv = Trimmed(f.edtExpire);
  return l;
}

void DrawPhotoTransparent(HDC dc, int x, int y, const Picture& photo) {
  if (photo.Empty()) return;
  const COLORREF key = photo.Pixel(0, 0);
  win::UniqueMemDc src(::CreateCompatibleDC(nullptr));
  win::SelectGuard keep(src.get(), photo.Handle());
  ::GdiTransparentBlt(dc, x, y, photo.Width(), photo.Height(), src.get(), 0, 0, photo.Width(), photo.Height(),
                      key);
}

Picture ComposeFacePicture(const std::wstring& templatePath, const Picture& photo) {
  Picture face = LoadTemplate24(templatePath);
  if (!photo.Empty()) {
    win::UniqueMemDc dc(::CreateCompatibleDC(nullptr));
    win::SelectGuard keep(dc.get(), face.Handle());
    const PixelPoint at = FacePhotoAt(photo.Width(), photo.Height());
    DrawPhotoTransparent(dc.get(), at.x, at.y, photo);
    ::GdiFlush();
  }
  return face;
}

void DrawCardFace(HDC dc, const Picture& facePicture, const CardFaceLabels& labels) {
  if (!facePicture.Empty()) {
    win::UniqueMemDc src(::CreateCompatibleDC(nullptr));
    win::SelectGuard keep(src.get(), facePicture.Handle());
    const int oldMode = ::SetStretchBltMode(dc, COLORONCOLOR);
    ::StretchBlt(dc, 0, 0, kCardFaceWidth, kCardFaceHeight, src.get(), 0, 0, facePicture.Width(),
                 facePicture.Height(), SRCCOPY);
    ::SetStretchBltMode(dc, oldMode);
  }
  const int oldBk = ::SetBkMode(dc, TRANSPARENT);
  const COLORREF oldColour = ::SetTextColor(dc, RGB(0, 0, 0));
  for (const CardFaceLabelBox& box : CardFaceLabelBoxes()) DrawLabel(dc, box, labels.*box.text);
  ::SetTextColor(dc, oldColour);
  ::SetBkMode(dc, oldBk);
}

namespace {

Picture RenderFace(const Picture& facePicture, const CardFaceLabels& labels) {
  Picture out = Picture::Create(kCardFaceWidth, kCardFaceHeight);
  win::UniqueMemDc dc(::CreateCompatibleDC(nullptr));
  win::SelectGuard keep(dc.get(), out.Handle());
  DrawCardFace(dc.get(), facePicture, labels);
  ::GdiFlush();
  return out;
}

}  // namespace

Picture RenderCardFace(const std::wstring& templatePath, const Picture& photo, const CardFields& fields) {
  // The template first: when it fails, no label is set.
  const Picture face = ComposeFacePicture(templatePath, photo);
  return RenderFace(face, CardFaceLabelsFrom(fields));
}

Picture RenderEmptyCardFace(const std::wstring& templatePath) {
  return RenderFace(ComposeFacePicture(templatePath, Picture()), CardFaceLabels());
}

}  // namespace qx::kestrin
