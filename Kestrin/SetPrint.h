// Unit SetPrint: the print-count dialog TfrmSetPrint of the record print, and the desk's
// printing: one job on the default printer without a print dialog, and the pages drawn into
// any device context (a printer's, or a memory DC for a look at the pixels).
#pragma once
#include <windows.h>

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "CardCopy.h"
#include "CardFields.h"
#include "Picture.h"
#include "PrintLayout.h"
#include "Program.h"
#include "win/CodeDialog.h"
#include "win/Controls.h"

namespace qx::kestrin {

inline constexpr wchar_t kSetPrintCaption[] = L"打印设置";
inline constexpr wchar_t kPrintDone[] = L"打印成功！";

enum SetPrintId : int {
  IDC_RGSETPRINT = 1601,
  IDC_RGSETPRINT_1, IDC_RGSETPRINT_2, IDC_RGSETPRINT_3,
  IDC_BTN1, IDC_BTN2,
};

// The dialog that chooses how many recent records the record print takes. Its buttons set
// the print count of the record query window that opened it (none for the copy made at
// start). The close box counts as cancel: the count becomes 0, so a close never prints
// with an earlier choice.
class TfrmSetPrint : public win::CodeDialog {
 public:
  explicit TfrmSetPrint(int* printCount = nullptr);
  ~TfrmSetPrint() override;

  INT_PTR ShowModal(HWND owner = nullptr) { return DoModal(owner); }

  // The selected item of rgSetPrint: 0 "打印", 1 "打印最近两张", 2 "打印最近三张", -1 none.
  int ItemIndex() const;
  void SetItemIndex(int index);

  void btn1Click();
  void btn2Click();

  win::Button rgSetPrint;
  win::CheckBox rgItems[3];
  win::Button btn1, btn2;

 protected:
  BOOL OnInitDialog() override;
  win::CommandTable Commands() const override;
  void RunEvent(const std::function<void()>& handler) override { RunHandler(handler); }
  // Enter: the dialog has no default button.
  void OnOK() override {}
  // The close box and Esc: cancel.
  void OnCancel() override { btn2Click(); }

 private:
  int* printCount_;
  int itemIndex_ = 2;  // kept while the window is not there
  win::UniqueFont font_;
};

// "记录数量不足" + count + "条，请重新选择".
std::wstring RecordShortageText(int count);

// No printer, or the spooler refused a step of the job.
class PrintError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One print job of one page on the default printer. The job is ended whatever happens: by
// End, or when the object goes (after a failed step), so a begun job never stays open.
class PrintJob {
 public:
  // The spooler names the job by the program's title. PrintError when there is no default printer.
  explicit PrintJob(const wchar_t* title = kAppTitle);
  ~PrintJob();
  PrintJob(const PrintJob&) = delete;
  PrintJob& operator=(const PrintJob&) = delete;

  HDC Dc() const { return dc_; }
  int PpiX() const;
  int PpiY() const;
  // Ends the page and the job; PrintError when the spooler refuses.
  void End();

 private:
  HDC dc_ = nullptr;
  bool ended_ = false;
};

// Pixels per inch of the window a print comes from (the screen's where it has no DC).
POINT WindowPpi(HWND window);

CopyPictureSizes SizesOf(const Picture& front, const Picture& back);

// The whole picture stretched into the rectangle of dc; nothing for an empty picture.
void StretchPicture(HDC dc, const Picture& picture, const PrintRect& r);
// The card print's page: front above back at scale kx, ky (tenths).
void DrawCardPrintPage(HDC dc, const CardCopyImages& images, int kx, int ky);
// One copy of the record print, front and back side by side from screen row top.
void DrawRecordCopy(HDC dc, const Picture& front, const Picture& back, int kx, int ky, int top);
// The document page: "da.bmp" with the photo drawn in at its own size (its background left
// out), and the card's texts that go over it, both in the page's own pixels.
struct DocumentPage {
  Picture picture;
  std::vector<DocText> texts;
};
// PictureError when the page picture cannot be loaded.
DocumentPage MakeDocumentPage(const std::wstring& pagePath, const Picture& photo, const CardFields& fields,
                              std::string_view printTime);
// The page stretched over r of dc: the picture, then the texts in the page's pixels scaled
// the same way, so that a printed page keeps them as text; no text reaches outside r.
void DrawDocumentPage(HDC dc, const DocumentPage& page, const PrintRect& r);
// Imagda: the page drawn at its own size.
Picture RenderDocumentPage(const DocumentPage& page);

// The card print and the document print as whole jobs on the pages above. windowPpi: the
// printing window's pixels per inch. The document page goes 6.8 by 10 inches, half an inch in.
void PrintCardCopy(const CardCopyImages& images, POINT windowPpi);
void PrintDocumentPage(const DocumentPage& page);

}  // namespace qx::kestrin
