// Tests of WltRS.dll under Wine: GetBmp decodes the packed photos that sdtapi.dll hands out.
#include "SimScenarios.h"
#include "SimTestUtil.h"

#include "Bitmap.h"
#include "WltPhoto.h"
#include "reader/ReaderApi.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace simtest;
using qx::readersim::Bgr;
using qx::readersim::Image;

namespace {

class WltRS : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(wlt_.handle(), nullptr);
    ASSERT_NE(sdt_.handle(), nullptr);
    GetBmp = wlt_.Get<GetBmp_t>("GetBmp");
    ASSERT_NE(GetBmp, nullptr);
  }

  // The packed photos of the scenario's cards, in turn, as sdtapi.dll hands them out.
  std::vector<std::vector<std::uint8_t>> PhotosOfCards(int count) {
    auto open = sdt_.Get<SDT_OpenPort_t>("SDT_OpenPort");
    auto find = sdt_.Get<SDT_StartFindMorvid_t>("SDT_StartFindMorvid");
    auto read = sdt_.Get<SDT_ReadBaseMsg_t>("SDT_ReadBaseMsg");
    EXPECT_EQ(open(1001), qx::reader::kStatusOk);
    std::vector<std::vector<std::uint8_t>> photos;
    for (int i = 0; i < count; ++i) {
      unsigned char buf[4];
      unsigned char text[262];
      unsigned char photo[1024];
      unsigned int textLen = 0;
      unsigned int photoLen = 0;
      EXPECT_EQ(find(1001, buf, 0), qx::reader::kStatusCardFound);
      EXPECT_EQ(read(1001, text, &textLen, photo, &photoLen, 0), qx::reader::kStatusOk);
      photos.emplace_back(photo, photo + photoLen);
    }
    return photos;
  }

  // GetBmp on a 501-byte copy of the path, as Cardpost passes it; the buffer afterwards.
  int Decode(const std::wstring& wltPath, std::string* after = nullptr) {
    char buf[501] = {};
    const std::string ansi = AnsiFromWide(wltPath);
    EXPECT_LT(ansi.size(), 500u);
    std::memcpy(buf, ansi.data(), ansi.size());
    const int result = GetBmp(buf, 2);
    if (after != nullptr) *after = buf;
    return result;
  }

  TempDir dir_;
  SimFiles files_{dir_};
  Library wlt_{BinDir() + L"\\WltRS.dll"};
  Library sdt_{BinDir() + L"\\sdtapi.dll"};
  GetBmp_t GetBmp = nullptr;
};

}  // namespace

TEST_F(WltRS, DecodesToTheStatedBitmapBesideThePhoto) {
  files_.Scenario(kThreeCards);
  const auto photos = PhotosOfCards(2);
  std::vector<Image> images;
  for (std::size_t i = 0; i < photos.size(); ++i) {
    SCOPED_TRACE(i);
    const std::wstring wlt = dir_ / (L"card" + std::to_wstring(i) + L".wlt");
    WriteBytes(wlt, photos[i].data(), photos[i].size());
    std::string after;
    ASSERT_EQ(Decode(wlt, &after), 1);
    const std::wstring bmpPath = dir_ / (L"card" + std::to_wstring(i) + L".bmp");
    EXPECT_EQ(after, AnsiFromWide(bmpPath));  // ".wlt" rewritten to ".bmp" in the buffer
    const std::vector<std::uint8_t> bmp = ReadBytes(bmpPath);
    ASSERT_EQ(bmp.size(), 38862u);
    EXPECT_EQ(bmp[28], 24);  // bits per pixel
    const std::optional<Image> img = qx::readersim::ParseBmp24(bmp.data(), bmp.size());
    ASSERT_TRUE(img.has_value());
    EXPECT_EQ(img->width, 102);
    EXPECT_EQ(img->height, 126);
    EXPECT_EQ(img->At(0, 0), (Bgr{photos[i][8], photos[i][9], photos[i][10]}));
    images.push_back(*img);
  }
  int different = 0;
  for (std::size_t k = 0; k < images[0].pixels.size(); ++k) different += images[0].pixels[k] != images[1].pixels[k];
  EXPECT_GT(different, 500);
}

TEST_F(WltRS, RejectsWhatIsNotAPackedPhotoAndWritesNothing) {
  files_.Scenario(kThreeCards);
  const auto photos = PhotosOfCards(3);  // the third card's photo is bad
  struct Case {
    const wchar_t* name;
    std::vector<std::uint8_t> bytes;
  };
  std::vector<std::uint8_t> padded = photos[0];
  padded.resize(204800, 0);  // the whole read buffer instead of the photo length
  const std::vector<Case> cases = {
      {L"bad.wlt", photos[2]},
      {L"padded.wlt", padded},
      {L"empty.wlt", {}},
      {L"picture.wlt", qx::readersim::EncodeBmp24(Image(102, 126, Bgr{}))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf8FromWide(c.name));
    const std::wstring wlt = dir_ / c.name;
    WriteBytes(wlt, c.bytes.data(), c.bytes.size());
    std::string after;
    EXPECT_EQ(Decode(wlt, &after), 0);
    EXPECT_EQ(after, AnsiFromWide(wlt));  // buffer left as it was
    EXPECT_FALSE(Exists(dir_ / (std::wstring(c.name, wcslen(c.name) - 4) + L".bmp")));
  }
  EXPECT_EQ(Decode(dir_ / L"missing.wlt"), 0);
  EXPECT_EQ(GetBmp(nullptr, 2), 0);
}

TEST_F(WltRS, FailedDecodeLeavesAnEarlierBitmapAlone) {
  files_.Scenario(kThreeCards);
  const auto photos = PhotosOfCards(3);
  const std::wstring wlt = dir_ / L"_Temp.wlt";
  WriteBytes(wlt, photos[0].data(), photos[0].size());
  ASSERT_EQ(Decode(wlt), 1);
  const std::vector<std::uint8_t> first = ReadBytes(dir_ / L"_Temp.bmp");
  WriteBytes(wlt, photos[2].data(), photos[2].size());
  EXPECT_EQ(Decode(wlt), 0);
  EXPECT_EQ(ReadBytes(dir_ / L"_Temp.bmp"), first);
}

TEST_F(WltRS, ChinesePathIsJournalledInUtf8) {
  files_.Scenario(kThreeCards);
  const auto photos = PhotosOfCards(1);
  const std::wstring folder = dir_.Sub(L"照片 目录");
  const std::wstring wlt = folder + L"\\photo.wlt";
  WriteBytes(wlt, photos[0].data(), photos[0].size());
  ASSERT_EQ(Decode(wlt), 1);
  EXPECT_TRUE(Exists(folder + L"\\photo.bmp"));
  const std::vector<std::string> lines = files_.Journal();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "GetBmp(" + Utf8FromWide(wlt) + ", 2) = 1");
}

TEST_F(WltRS, PathWithoutWltSuffixGetsItsBitmapButKeepsItsText) {
  files_.Scenario(kThreeCards);
  const auto photos = PhotosOfCards(1);
  const std::wstring dat = dir_ / L"photo.dat";
  WriteBytes(dat, photos[0].data(), photos[0].size());
  std::string after;
  ASSERT_EQ(Decode(dat, &after), 1);
  EXPECT_EQ(after, AnsiFromWide(dat));
  EXPECT_TRUE(Exists(dir_ / L"photo.bmp"));
}

TEST_F(WltRS, ScriptedResults) {
  files_.Scenario(std::string(kThreeCards) + "[results]\nGetBmp#1 = 0\nGetBmp#2 = 1\n");
  const auto photos = PhotosOfCards(3);
  const std::wstring good = dir_ / L"good.wlt";
  const std::wstring bad = dir_ / L"bad.wlt";
  WriteBytes(good, photos[0].data(), photos[0].size());
  WriteBytes(bad, photos[2].data(), photos[2].size());
  // A scripted failure writes nothing, even for a good photo.
  EXPECT_EQ(Decode(good), 0);
  EXPECT_FALSE(Exists(dir_ / L"good.bmp"));
  // A scripted success answers 1; a bad photo still yields no bitmap.
  std::string after;
  EXPECT_EQ(Decode(bad, &after), 1);
  EXPECT_FALSE(Exists(dir_ / L"bad.bmp"));
  EXPECT_EQ(after, AnsiFromWide(bad));
}
