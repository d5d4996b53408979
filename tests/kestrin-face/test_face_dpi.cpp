// The card face and copy look the same whatever the screen's pixels per inch: this test runs
// itself again as a child with the desktop's LogPixels raised to 144 and compares the pictures.
#include <gtest/gtest.h>

#include <cstdlib>

#include "CardCopy.h"
#include "CardFace.h"
#include "FaceTestUtil.h"
#include "SampleCard.h"
#include "TestSupport.h"
#include "card/CardTextBlock.h"

namespace {

using namespace qx::kestrin;

constexpr wchar_t kOutVar[] = L"QX_KFACE_DPI_OUT";

int ScreenPpi() {
  HDC dc = CreateCompatibleDC(nullptr);
  const int ppi = GetDeviceCaps(dc, LOGPIXELSY);
  DeleteDC(dc);
  return ppi;
}

// Face and copy front of the sample card, side by side in one bitmap file of out folder.
void RenderInto(const std::wstring& folder) {
  facetest::WriteBmp24(folder + L"\\show.bmp", 658, 438, [](int, int) { return RGB(210, 230, 250); });
  facetest::WriteBmp24(folder + L"\\bkF.bmp", 333, 219, [](int, int) { return RGB(230, 240, 200); });
  facetest::WriteBmp24(folder + L"\\bkB.bmp", 333, 219, [](int, int) { return RGB(200, 230, 240); });
  CardFields f;
  ReadCardText(qx::card::BuildCardText(qx::test::SampleCardInput()), f, CardAnsi);
  RenderCardFace(folder + L"\\show.bmp", facetest::SamplePhoto(), f).SaveToFile(folder + L"\\face.bmp");
  auto copy = ComposeCopyImages(folder + L"\\bkF.bmp", folder + L"\\bkB.bmp", facetest::SamplePhoto(), f);
  ComposeCopyFile(*copy).SaveToFile(folder + L"\\copy.bmp");
  const std::string ppi = std::to_string(ScreenPpi());
  qx::test::WriteText(folder + L"\\ppi.txt", ppi);
}

class LogPixels {
 public:
  explicit LogPixels(DWORD value) {
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                    nullptr);
    DWORD size = sizeof old_, type = 0;
    had_ = RegQueryValueExW(key_, L"LogPixels", nullptr, &type, reinterpret_cast<BYTE*>(&old_), &size) ==
               ERROR_SUCCESS && type == REG_DWORD;
    RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  }
  ~LogPixels() {
    if (had_)
      RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old_), sizeof old_);
    else
      RegDeleteValueW(key_, L"LogPixels");
    RegCloseKey(key_);
  }

 private:
  HKEY key_ = nullptr;
  DWORD old_ = 0;
  bool had_ = false;
};

TEST(CardFaceDpi, Child) {
  const wchar_t* out = _wgetenv(kOutVar);
  if (!out) GTEST_SKIP() << "runs as the child of SameTextAtAnotherScreenPpi";
  RenderInto(out);
}

TEST(CardFaceDpi, SameTextAtAnotherScreenPpi) {
  qx::test::TempDir here(L"kdpi"), there(L"kdpi");
  RenderInto(here.path());
  {
    LogPixels raised(144);
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    qx::test::Process child;
    ASSERT_TRUE(child.Start(L"\"" + std::wstring(exe) + L"\" --gtest_filter=CardFaceDpi.Child", L"",
                            {{kOutVar, there.path()}}));
    const auto code = child.Wait(60000);
    ASSERT_TRUE(code);
    ASSERT_EQ(*code, 0u);
  }
  const std::string childPpi = qx::test::ReadText(there / L"ppi.txt");
  if (childPpi == std::to_string(ScreenPpi())) GTEST_SKIP() << "the child's screen kept " << childPpi << " ppi";
  for (const wchar_t* name : {L"face.bmp", L"copy.bmp"}) {
    const auto a = qx::test::ReadBytes(here / name), b = qx::test::ReadBytes(there / name);
    ASSERT_TRUE(a && b);
    EXPECT_TRUE(*a == *b) << qx::test::Utf8(name) << " differs at " << childPpi << " ppi";
  }
}

}  // namespace
