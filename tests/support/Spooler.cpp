// Reading the private spooler's output from a test under Wine.
#include "Spooler.h"

#include <winspool.h>

#include <cstdlib>
#include <sstream>

#include "TestSupport.h"

namespace qx::test {

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// Single-quoted for the shell.
std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string Unescape(std::string s) {
  const std::pair<const char*, const char*> entities[] = {{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""},
                                                          {"&apos;", "'"}, {"&amp;", "&"}};
  for (const auto& [from, to] : entities)
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + 1))
      s.replace(at, std::string(from).size(), to);
  return s;
}

double Attribute(const std::string& tag, const char* name) {
  const std::string key = std::string(name) + "=\"";
  const size_t at = tag.find(key);
  return at == std::string::npos ? -1 : std::atof(tag.c_str() + at + key.size());
}

// Starts a Unix program. Wine gives no process for it: PROCESS_INFORMATION comes back holding
// stray values, and closing or waiting on them would hit handles of this process.
bool StartUnixProgram(const std::wstring& commandLine) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::wstring cl = commandLine;
  return ::CreateProcessW(nullptr, cl.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi) != FALSE;
}

}  // namespace

COLORREF Raster::At(int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= height) return CLR_INVALID;
  const size_t i = (static_cast<size_t>(y) * width + x) * 3;
  return RGB(rgb[i], rgb[i + 1], rgb[i + 2]);
}

std::wstring UnixToWindowsPath(const std::string& unixPath) {
  std::wstring w = L"Z:" + Wide(unixPath);
  for (auto& c : w)
    if (c == L'/') c = L'\\';
  return w;
}

std::optional<Spooler> Spooler::FromEnvironment() {
  Spooler s;
  s.dir_ = Env("QX_SPOOLER_DIR");
  s.script_ = Env("QX_SPOOLER_SCRIPT");
  if (s.dir_.empty() || s.script_.empty()) return std::nullopt;
  return s;
}

bool Spooler::Shell(const std::string& command, std::string* out) const {
  // No handle to wait on and no exit code come back from a Unix program: the script writes
  // its code into a file last, by a rename, and the test waits for that file.
  static int counter = 0;
  const std::string base = dir_ + "/test-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++counter);
  const std::string script = "(" + command + ") >" + Quote(base + ".out") + " 2>" + Quote(base + ".err") +
                             "\necho $? >" + Quote(base + ".rc.tmp") + "\nmv " + Quote(base + ".rc.tmp") + " " + Quote(base + ".rc") + "\n";
  if (!WriteText(UnixToWindowsPath(base + ".sh"), script)) return false;
  if (!StartUnixProgram(L"/bin/sh " + Wide(base + ".sh"))) return false;
  const std::wstring rcFile = UnixToWindowsPath(base + ".rc");
  const DWORD start = ::GetTickCount();
  while (!FileExists(rcFile) && ::GetTickCount() - start < 180000) ::Sleep(20);
  const std::string rc = ReadText(rcFile);
  if (out) *out = ReadText(UnixToWindowsPath(base + ".out"));
  for (const char* ext : {".sh", ".out", ".err", ".rc"}) ::DeleteFileW(UnixToWindowsPath(base + ext).c_str());
  return rc.rfind("0", 0) == 0;
}

bool Spooler::Clear() const { return Shell("bash " + Quote(script_) + " clear " + Quote(dir_)); }
bool Spooler::Start() const { return Shell("bash " + Quote(script_) + " start " + Quote(dir_)); }
bool Spooler::Stop() const { return Shell("bash " + Quote(script_) + " stop " + Quote(dir_)); }

std::vector<std::string> Spooler::WaitForPdfs(int count, int seconds) const {
  std::string out;
  Shell("bash " + Quote(script_) + " wait " + Quote(dir_) + " " + std::to_string(count) + " " +
            std::to_string(seconds),
        &out);
  std::vector<std::string> pdfs;
  for (const std::string& line : SplitLines(out))
    if (!line.empty()) pdfs.push_back(line);
  return pdfs;
}

std::vector<std::string> Spooler::Pdfs() const {
  std::string out;
  Shell("ls -1 " + Quote(dir_ + "/out") + " | grep '\\.pdf$' || true", &out);
  std::vector<std::string> pdfs;
  for (const std::string& line : SplitLines(out))
    if (!line.empty()) pdfs.push_back(dir_ + "/out/" + line);
  return pdfs;
}

std::string Spooler::Text(const std::string& pdf) const {
  std::string out;
  Shell("pdftotext -enc UTF-8 -layout -f 1 -l 1 " + Quote(pdf) + " -", &out);
  return out;
}

std::vector<PdfWord> Spooler::Words(const std::string& pdf) const {
  std::string html;
  Shell("pdftotext -enc UTF-8 -bbox -f 1 -l 1 " + Quote(pdf) + " -", &html);
  std::vector<PdfWord> words;
  for (size_t at = html.find("<word "); at != std::string::npos; at = html.find("<word ", at + 1)) {
    const size_t close = html.find('>', at);
    const size_t end = html.find("</word>", close);
    if (close == std::string::npos || end == std::string::npos) break;
    const std::string tag = html.substr(at, close - at);
    words.push_back(PdfWord{Unescape(html.substr(close + 1, end - close - 1)), Attribute(tag, "xMin"),
                            Attribute(tag, "yMin"), Attribute(tag, "xMax"), Attribute(tag, "yMax")});
  }
  return words;
}

std::optional<Raster> Spooler::Render(const std::string& pdf, int ppi) const {
  const std::string base = dir_ + "/render-" + std::to_string(::GetCurrentProcessId());
  if (!Shell("pdftoppm -r " + std::to_string(ppi) + " -f 1 -l 1 -singlefile " + Quote(pdf) + " " + Quote(base)))
    return std::nullopt;
  const std::wstring file = UnixToWindowsPath(base + ".ppm");
  const std::optional<std::vector<uint8_t>> bytes = ReadBytes(file);
  ::DeleteFileW(file.c_str());
  if (!bytes) return std::nullopt;
  // Binary PPM: "P6", width, height, maximum 255, one blank, then the pixels.
  const std::string& head = std::string(bytes->begin(), bytes->begin() + std::min<size_t>(bytes->size(), 64));
  std::istringstream in(head);
  std::string magic;
  Raster r;
  int maxValue = 0;
  if (!(in >> magic >> r.width >> r.height >> maxValue) || magic != "P6" || maxValue != 255) return std::nullopt;
  const size_t start = static_cast<size_t>(in.tellg()) + 1;
  const size_t size = static_cast<size_t>(r.width) * r.height * 3;
  if (bytes->size() < start + size) return std::nullopt;
  r.rgb.assign(bytes->begin() + start, bytes->begin() + start + size);
  return r;
}

std::optional<PrinterGeometry> DefaultPrinter() {
  wchar_t name[512];
  DWORD size = 512;
  if (!::GetDefaultPrinterW(name, &size)) return std::nullopt;
  HDC dc = ::CreateDCW(L"WINSPOOL", name, nullptr, nullptr);
  if (!dc) return std::nullopt;
  PrinterGeometry g{::GetDeviceCaps(dc, LOGPIXELSX), ::GetDeviceCaps(dc, LOGPIXELSY),
                    ::GetDeviceCaps(dc, PHYSICALOFFSETX), ::GetDeviceCaps(dc, PHYSICALOFFSETY)};
  ::DeleteDC(dc);
  return g;
}

}  // namespace qx::test
