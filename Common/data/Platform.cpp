// The platform seam of the data layer: paths from the program's 8-bit texts, and code page 936
// to and from UTF-8.
#include "data/CodePage.h"
#include "data/DataLink.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>

#include <cerrno>
#endif

namespace qx::data {
namespace {

bool Ascii(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

#ifdef _WIN32
std::string Convert(std::string_view in, UINT from, UINT to) {
  // One buffer per thread: the export converts every text cell it writes.
  thread_local std::wstring wide;
  const int inLen = static_cast<int>(in.size());
  wide.resize(in.size());
  int n = ::MultiByteToWideChar(from, 0, in.data(), inLen, wide.data(), static_cast<int>(wide.size()));
  if (n <= 0) return {};
  const int m = ::WideCharToMultiByte(to, 0, wide.data(), n, nullptr, 0, nullptr, nullptr);
  std::string out(m > 0 ? m : 0, '\0');
  if (m > 0) ::WideCharToMultiByte(to, 0, wide.data(), n, out.data(), m, nullptr, nullptr);
  return out;
}
#else
// One descriptor per direction and thread, reset before each text: opening one costs more than
// converting a name.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(::iconv_open(to, from)) {}
  ~Iconv() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) ::iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

std::string Convert(std::string_view in, const Iconv& converter, const char* bad) {
  iconv_t cd = converter.get();
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(in);
  ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
  std::string out;
  char buf[256];
  char* src = const_cast<char*>(in.data());
  size_t left = in.size();
  while (left > 0) {
    char* dst = buf;
    size_t room = sizeof buf;
    const size_t rc = ::iconv(cd, &src, &left, &dst, &room);
    out.append(buf, static_cast<size_t>(dst - buf));
    if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
      out += bad;  // a byte that starts no character of the source: skip it
      ++src;
      --left;
    }
  }
  return out;
}
#endif

}  // namespace

std::filesystem::path PathFromUtf8(std::string_view s) {
  return std::filesystem::u8path(s.begin(), s.end());
}

std::string PathToUtf8(const std::filesystem::path& p) { return p.u8string(); }

#ifdef _WIN32
std::filesystem::path PathFromNative8(std::string_view s) {
  if (s.empty()) return {};
  int n = ::MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(n > 0 ? n : 0, L'\0');
  if (n > 0) ::MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return std::filesystem::path(w);
}

bool OnFixedDisk(const std::filesystem::path& p) {
  // \\server\share and \\?\UNC\server\share name shares: ask before making the path whole,
  // which may turn a share into a drive letter (Wine does).
  const std::wstring& text = p.native();
  auto sep = [](wchar_t c) { return c == L'\\' || c == L'/'; };
  if (text.size() >= 2 && sep(text[0]) && sep(text[1])) return false;
  auto isDrive = [](const std::wstring& root) { return root.size() == 2 && root[1] == L':'; };
  std::error_code ec;
  const std::wstring root = std::filesystem::absolute(p, ec).root_name().wstring();
  if (ec || !isDrive(root)) return false;
  return ::GetDriveTypeW((root + L"\\").c_str()) == DRIVE_FIXED;
}

std::string Utf8FromCp936(std::string_view gbk) { return Ascii(gbk) ? std::string(gbk) : Convert(gbk, 936, CP_UTF8); }
std::string Cp936FromUtf8(std::string_view utf8) { return Ascii(utf8) ? std::string(utf8) : Convert(utf8, CP_UTF8, 936); }
#else
std::filesystem::path PathFromNative8(std::string_view s) { return PathFromUtf8(s); }

bool OnFixedDisk(const std::filesystem::path&) { return true; }

std::string Utf8FromCp936(std::string_view gbk) {
  if (Ascii(gbk)) return std::string(gbk);
  thread_local const Iconv toUtf8("UTF-8", "GBK");
  return Convert(gbk, toUtf8, u8"\uFFFD");
}
std::string Cp936FromUtf8(std::string_view utf8) {
  if (Ascii(utf8)) return std::string(utf8);
  thread_local const Iconv toGbk("GBK//TRANSLIT", "UTF-8");
  return Convert(utf8, toGbk, "?");
}
#endif

}  // namespace qx::data
