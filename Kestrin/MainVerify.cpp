// Unit main, the verification: a card read into the card fields (kept as data and mirrored
// into the hidden edits), the card face and copy images composed from them, the log step, and
// the one-shot and automatic commands.
#include "main.h"

#include <cstdio>
#include <stdexcept>

#include "KestrinApp.h"
#include "Reader.h"
#include "dm.h"
#include "win/Menu.h"
#include "win/Text.h"

namespace qx::kestrin {

namespace {

struct CardFieldDef {
  int id;
  std::string CardFields::*field;
};
constexpr CardFieldDef kCardFields[] = {
    {IDC_MAIN_EDTNAME, &CardFields::edtName},         {IDC_MAIN_EDTSEX, &CardFields::edtSex},
    {IDC_MAIN_HIDSEXID, &CardFields::hidSexID},       {IDC_MAIN_EDTNATION, &CardFields::edtNation},
    {IDC_MAIN_HIDNATIONID, &CardFields::hidNationID}, {IDC_MAIN_EDTBIRH, &CardFields::edtBirh},
    {IDC_MAIN_EDTADDR, &CardFields::edtAddr},         {IDC_MAIN_EDTID, &CardFields::edtId},
    {IDC_MAIN_EDTSENDDEP, &CardFields::edtSendDep},   {IDC_MAIN_HIDEXPIRES, &CardFields::hidExpireS},
    {IDC_MAIN_HIDEXPIREE, &CardFields::hidExpireE},   {IDC_MAIN_EDTEXPIRE, &CardFields::edtExpire},
};

}  // namespace

std::string TForm_main::NowText() {
  SYSTEMTIME t{};
  ::GetLocalTime(&t);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                t.wSecond);
  return buf;
}

bool TForm_main::CreateCardFields() {
  HINSTANCE inst = ::GetModuleHandleW(nullptr);
  // Never shown: the edits mirror the card fields that the other commands work from.
  groupBox1_ = ::CreateWindowExW(0, L"BUTTON", L"身份证信息", WS_CHILD | BS_GROUPBOX, 8, 8, 240, 330, panel1_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_MAIN_GROUPBOX1)), inst, nullptr);
  if (!groupBox1_) return false;
  int y = 16;
  for (const CardFieldDef& d : kCardFields) {
    HWND e = ::CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_READONLY | ES_AUTOHSCROLL, 8, y, 220, 21,
                               groupBox1_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(d.id)), inst, nullptr);
    if (!e) return false;
    ::SendMessageW(e, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    y += 25;
  }
  // The design copy of the card face, when the picture is there.
  try {
    face_ = RenderEmptyCardFace(ProgramFile(L"show.bmp"));
  } catch (const std::exception&) {
  }
  return true;
}

void TForm_main::SetFields(const CardFields& f) {
  fields_ = f;
  for (const CardFieldDef& d : kCardFields)
    ::SetWindowTextW(::GetDlgItem(groupBox1_, d.id), FromGbk(fields_.*d.field).c_str());
}

bool TForm_main::ReadCardToForm() {
  std::u16string text;
  if (!ReadCardData(CurPort, text)) return true;
  CardFields f = fields_;
  try {
    ReadCardText(text, f, CardAnsi);
  } catch (const CardCodeError& e) {
    // The fields cut before the bad code already hold the new card.
    SetFields(f);
    throw ConvertError(win::FromU16(e.Code()));
  }
  SetFields(f);
  // A photo that cannot be loaded keeps the previous one; the texts stay new.
  photo_ = Picture::FromBmpFile(TempPhotoBase() + L".bmp");
  return false;
}

void TForm_main::ShowCardFace() {
  Picture face = RenderCardFace(ProgramFile(L"show.bmp"), photo_, fields_);
  face_ = std::move(face);
  labels_ = CardFaceLabelsFrom(fields_);
  ::InvalidateRect(panel2_.hwnd(), nullptr, FALSE);
}

void TForm_main::ClearCardFace() {
  Picture face = RenderEmptyCardFace(ProgramFile(L"show.bmp"));
  face_ = std::move(face);
  labels_ = CardFaceLabels{};
  ::InvalidateRect(panel2_.hwnd(), nullptr, FALSE);
}

void TForm_main::ComposeCopyImages() {
  std::optional<CardCopyImages> c = kestrin::ComposeCopyImages(ProgramFile(L"bkF.bmp"), ProgramFile(L"bkB.bmp"),
                                                               photo_, fields_);
  if (c) copy_ = std::move(*c);
}

void TForm_main::SaveVerifyLog() {
  const CardFields& f = fields_;
  TShowCardLine card;
  card.PersonName = f.edtName;
  card.SexText = f.edtSex;
  card.NationText = f.edtNation;
  card.IdNumber = f.edtId;
  card.BirthDate = f.edtBirh;
  card.AddressText = f.edtAddr;
  card.ValidFrom = f.hidExpireS;
  card.ValidTo = f.hidExpireE;
  card.Authority = f.edtSendDep;
  card.RecordTime = NowText();
  card.CardPhoto = photo_.Clone();
  // The number verified last survives restarts in "reader.ini"; a failed append leaves it,
  // so the card is logged at its next verification. A failed write is an error too: the
  // operator learns that the card will be logged again.
  const std::wstring id = FromGbk(f.edtId);
  if (ReadReaderIni(L"ID", L"NUM", L"1") != id) {
    if (!dataMd) throw std::runtime_error(u8"数据模块未创建");
    dataMd->AppendLogRecord(card);
  }
  WriteReaderIni(L"ID", L"NUM", id);
}

void TForm_main::nchkClick() {
  if (ReadCardToForm()) {
    SetPanel(1, L"身份验证失败!");
    ClearCardFace();
    return;
  }
  ShowCardFace();
  ComposeCopyImages();
  SaveVerifyLog();
  SetPanel(1, L"身份验证成功!");
}

void TForm_main::nautoClick() {
  if (AutoFlag == 0) {
    SetTimeauto(true);
    AutoFlag = 1;
    win::SetMenuText(menu_, IDM_NAUTO, false, L"停止(&S)");
    toolBar_.SetHint(IDC_TBTNAUTO, L"停止");
    win::EnableMenuEntry(menu_, IDM_NCHK, false, false);
    toolBar_.Enable(IDC_TBTNCHECK, false);
  } else {
    SetTimeauto(false);
    AutoFlag = 0;
    win::SetMenuText(menu_, IDM_NAUTO, false, L"自动(&A)");
    SetPanel(1, L"... ...");
    toolBar_.SetHint(IDC_TBTNAUTO, L"自动");
    win::EnableMenuEntry(menu_, IDM_NCHK, false, true);
    toolBar_.Enable(IDC_TBTNCHECK, true);
  }
}

void TForm_main::timeautoTimer() {
  SetTimeauto(false);
  if (ReadCardToForm()) {
    SetPanel(1, L"等待刷卡......");
  } else {
    ShowCardFace();
    SaveVerifyLog();
    ComposeCopyImages();
    SetPanel(1, L"身份验证成功！");
  }
  // An error above leaves the timer stopped.
  SetTimeauto(true);
}

}  // namespace qx::kestrin
