// The private print spooler of scripts/spooler.sh, as the test command starts it (a CTest
// fixture), seen from a test under Wine: Wine starts Unix programs as it starts Windows ones,
// so the test clears the output folder, waits for the printed PDFs and reads them back with
// poppler's pdftotext and pdftoppm.
#pragma once
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qx::test {

// One rendered page, 8-bit RGB.
struct Raster {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
  COLORREF At(int x, int y) const;  // CLR_INVALID outside
};

// The default printer as the prints see it: resolution and the printable area's corner.
struct PrinterGeometry {
  int ppiX = 0, ppiY = 0, offsetX = 0, offsetY = 0;
};
std::optional<PrinterGeometry> DefaultPrinter();

// A page rendered at the printer's resolution, so one device pixel is one rendered pixel.
struct PrintedPage {
  PrinterGeometry g;
  Raster raster;
  COLORREF At(int x, int y) const { return raster.At(x + g.offsetX, y + g.offsetY); }
};

// A word that pdftotext found, with its box in points from the page's top-left corner.
struct PdfWord {
  std::string text;  // UTF-8
  double xMin, yMin, xMax, yMax;
};

class Spooler {
 public:
  // From QX_SPOOLER_DIR (the spooler's folder) and QX_SPOOLER_SCRIPT, Unix paths that the
  // test command sets; nullopt when they are not set.
  static std::optional<Spooler> FromEnvironment();

  // Empties the output folder; the next job's PDF is then the only one.
  bool Clear() const;
  // Unix paths of the PDFs, oldest first, once `count` are there and the queue is empty;
  // what is there when `seconds` ran out.
  std::vector<std::string> WaitForPdfs(int count, int seconds = 30) const;
  // The PDFs in the output folder now.
  std::vector<std::string> Pdfs() const;
  // The text of the first page (pdftotext -layout), UTF-8.
  std::string Text(const std::string& pdf) const;
  // The words of the first page with their boxes (pdftotext -bbox).
  std::vector<PdfWord> Words(const std::string& pdf) const;
  // The first page rendered at ppi pixels per inch (pdftoppm).
  std::optional<Raster> Render(const std::string& pdf, int ppi) const;
  // Starts or stops the spooler (spooler.sh start|stop).
  bool Start() const;
  bool Stop() const;

 private:
  // Runs a shell command line; its standard output, and whether it exited 0.
  bool Shell(const std::string& command, std::string* out = nullptr) const;
  std::string dir_;
  std::string script_;
};

// A Unix path as Wine's drive Z: shows it.
std::wstring UnixToWindowsPath(const std::string& unixPath);

}  // namespace qx::test
