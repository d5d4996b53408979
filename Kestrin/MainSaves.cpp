// Unit main, the saves and prints of the card on screen: photo and copy files in a folder
// the operator chooses, the card print and the document print; they stop the automatic
// timer around their work.
#include "main.h"

#include "Program.h"
#include "Reader.h"
#include "SaveName.h"
#include "SetPrint.h"
#include "win/FolderDialog.h"

namespace qx::kestrin {

namespace {

bool FolderExists(const std::wstring& path) {
  const DWORD a = ::GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring WithBackslash(std::wstring folder) {
  if (folder.empty() || folder.back() != L'\\') folder += L'\\';
  return folder;
}

}  // namespace

void TForm_main::ncopyClick() {
  SetTimeauto(false);
  const std::optional<std::wstring> chosen = win::BrowseForFolder(hwnd(), kFolderPrompt);
  if (!chosen) {
    if (AutoFlag == 1) SetTimeauto(true);
    return;
  }
  // A number that names no file saves nothing, as a cancelled choice.
  if (!SavePhotoBmp(WithBackslash(*chosen))) {
    if (AutoFlag == 1) SetTimeauto(true);
    return;
  }
  ShowMessage(L"照片保存成功！");
  if (AutoFlag == 1) SetTimeauto(true);
}

std::optional<std::wstring> TForm_main::SaveName(const wchar_t* prefix, const wchar_t* extension) const {
  const std::wstring id = FromGbk(fields_.edtId);
  const std::wstring name = prefix + id + extension;
  if (!id.empty() && IsPlainFileName(name)) return name;
  ShowDefaultError(kBadSaveName);
  return std::nullopt;
}

bool TForm_main::SavePhotoBmp(const std::wstring& folder) {
  const std::optional<std::wstring> name = SaveName(L"", L".bmp");
  if (!name) return false;
  if (!FolderExists(folder)) return true;
  const Picture photo = Picture::FromBmpFile(TempPhotoBase() + L".bmp");
  photo.SaveToFile(folder + *name);
  return true;
}

void TForm_main::nimegClick() {
  // The timer runs on while the operator chooses.
  const std::optional<std::wstring> chosen = win::BrowseForFolder(hwnd(), kFolderPrompt);
  if (!chosen) return;
  const std::wstring folder = WithBackslash(*chosen);
  if (!FolderExists(folder)) return;
  // The number as it stands now: a tick during the choice may have read another card.
  if (!SaveName(L"P", L".jpg")) return;
  SetTimeauto(false);
  SaveCardCopy(copy_, folder, fields_.edtId);
  ShowMessage(L"复印保存成功！");
  if (AutoFlag == 1) SetTimeauto(true);
}

// The prints stop the automatic timer for the whole job; a failed print leaves it stopped.
void TForm_main::nprintClick() {
  SetTimeauto(false);
  PrintCardCopy(copy_, WindowPpi(hwnd()));
  ShowMessage(kPrintDone);
  if (AutoFlag == 1) SetTimeauto(true);
}

void TForm_main::fileprintClick() {
  SetTimeauto(false);
  const DocumentPage page = MakeDocumentPage(ProgramFile(L"da.bmp"), photo_, fields_, NowText());
  imagda_ = RenderDocumentPage(page);
  PrintDocumentPage(page);
  ShowMessage(kPrintDone);
  if (AutoFlag == 1) SetTimeauto(true);
}

}  // namespace qx::kestrin
