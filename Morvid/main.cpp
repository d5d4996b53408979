// Entry of Morvid, the card-reader sample program: the main form, its load, the message loop.
#include <windows.h>

#include "MainForm.h"
#include "win/App.h"

namespace {

class MorvidApp : public qx::win::App {
 public:
  explicit MorvidApp(int show) : show_(show) {}

  bool InitInstance() override {
    form_.SetQuitOnEnd(true);
    if (!form_.Create()) {
      exitCode_ = 1;
      return false;
    }
    SetMainWindow(&form_);
    // The load runs before the window is shown; a load that ends the program never shows it.
    if (!form_.Load()) return false;
    form_.Show(show_);
    return true;
  }

  int ExitInstance() override { return form_.ended() ? form_.exitCode() : exitCode_; }

 private:
  int show_;
  qx::morvid::MainForm form_;
};

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show) {
  MorvidApp app(show);
  return app.Run();
}
