// Edit box wrapper of the shared framework.
#include "win/EditBox.h"

namespace qx::win {

EditBox EditBox::Create(HWND parent, int id, std::wstring_view text, const RECT& r, bool readOnly) {
  return EditBox(MakeChild(parent, id, L"EDIT", text,
                           ES_AUTOHSCROLL | ES_LEFT | WS_TABSTOP | (readOnly ? ES_READONLY : 0), r,
                           WS_EX_CLIENTEDGE));
}

bool EditBox::IsReadOnly() const {
  return (::GetWindowLongW(h_, GWL_STYLE) & ES_READONLY) != 0;
}

}  // namespace qx::win
