// The window thread's single-threaded COM apartment, held for as long as the object lives.
#pragma once
#include <windows.h>
#include <ole2.h>

namespace qx::win {

// The shell's folder dialog and ShellExecute need an apartment on the thread that calls them;
// Wine forgives its absence, Windows does not. Needs ole32.
class OleApartment {
 public:
  OleApartment() : result_(::OleInitialize(nullptr)) {}
  ~OleApartment() {
    // S_FALSE too: every successful call is balanced.
    if (SUCCEEDED(result_)) ::OleUninitialize();
  }
  OleApartment(const OleApartment&) = delete;
  OleApartment& operator=(const OleApartment&) = delete;
  HRESULT result() const { return result_; }

 private:
  HRESULT result_;
};

}  // namespace qx::win
