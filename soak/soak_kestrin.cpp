// Soak of Kestrin's automatic verification: Kestrin.exe runs from a folder of its own beside
// the reader simulators and a log store, automatic mode is switched on, and TICKS ticks (10000
// by default) are driven by sending the main window its timer's message, so no 1.5 s passes
// between them. The scenario mixes new cards (each read three times: logged once), empty
// ticks, reader errors (answered message boxes) and photos the decoder rejects. The process's
// handles, GDI and USER objects are read after every tick (each new high is shown with the
// tick that reached it) and its private bytes at checkpoints; growth from the settle point
// (the warm-up or a third of the run, whichever is later) to the end is a fault, so that a
// bounded fill reads flat and a leak does not. READS (3 by default) is how often each
// card is read in a row; a large number keeps one card on the reader, so that nothing new is
// logged after the first tick.
//   soak_kestrin.exe [TICKS [READS]]
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "ProcessUsage.h"
#include "RoundPlan.h"
#include "RoundWatch.h"
#include "ShellTest.h"
#include "TestSupport.h"
#include "data/Connection.h"
#include "data/LogFixture.h"
#include "data/Query.h"

using namespace qx::test;

namespace {

constexpr UINT_PTR kTimeautoId = 1;
constexpr WPARAM kNautoCommand = 1012;  // IDM_NAUTO
// Covers the one-time fills seen so far: the window DCs that message boxes leave cached (all
// made by tick 1000 in the runs measured) and SQLite's page cache filling with the logged
// cards (its 2 MB within some 60 cards, a card logged about every 6 ticks). The log query's
// row cache does not fill here: the rows Kestrin appends are never read back.
constexpr int kWarmUp = 2000;

using qx::soak::Step;

// Cards 50 %, empty ticks 35 %, 5 % each of the rest; the reader errors show message boxes.
const std::vector<qx::soak::RoundKind> kTicks = {
    {"card", 50, Step::None, ""},
    {"empty", 35, Step::Find, "0x80"},
    {"select error", 5, Step::Select, "0x81"},
    {"read error", 5, Step::Read, "0x41"},
    {"photo rejected", 5, Step::Decode, "0"},
};

// Each card lies for readsPerCard reads in a row, so it is logged once.
std::string Scenario(const std::vector<int>& plan, int readsPerCard, int* cardsLogged) {
  const int reads = qx::soak::CardReads(plan, kTicks);
  const int cards = reads / readsPerCard + 1;
  *cardsLogged = (reads + readsPerCard - 1) / readsPerCard;
  std::string s = "[reader]\nports = 1\npresent = always\n";
  for (int i = 0; i < cards; ++i) {
    char id[32];
    std::snprintf(id, sizeof id, "11010119%02d0101%04d", 50 + i % 50, i % 10000);
    for (int k = 0; k < std::min(readsPerCard, reads); ++k)
      s += "[card]\nname = 李" + std::to_string(i) + "\nsex = 1\nnation = 01\nbirth = 19" + std::to_string(50 + i % 50) +
           "0101\naddress = 北京市东城区景山前街4号故宫博物院内\nid = " + id +
           "\nauthority = 北京市公安局东城分局\nvalid_start = 20060101\nvalid_end = 20260101\n";
  }
  return s + qx::soak::ResultLines(plan, kTicks);
}

// Presses OK on every message box of the process, from a thread of its own, so that a tick
// that shows one can end while the main thread waits for it.
class BoxAnswerer {
 public:
  explicit BoxAnswerer(DWORD pid) : pid_(pid), thread_([this] { Run(); }) {}
  ~BoxAnswerer() {
    stop_ = true;
    thread_.join();
  }
  long answered() const { return answered_; }

 private:
  void Run() {
    while (!stop_) {
      const HWND box = kshell_test::MessageBoxOf(pid_);
      if (box && box != last_) {
        last_ = box;
        ++answered_;
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
      }
      ::Sleep(5);
    }
  }
  DWORD pid_;
  HWND last_ = nullptr;
  std::atomic<long> answered_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

size_t LoggedRows(const std::wstring& folder) {
  qx::data::Connection c;
  c.SetConnectionString("FILE NAME=" + Utf8(folder) + "\\DBLink.udl");
  c.Open();
  qx::data::Query q(&c, qx::data::CursorKind::Static);
  q.SetSql("select count(*) as N from TLog");
  q.Open();
  return static_cast<size_t>(q.FieldByName("N").AsInteger());
}

}  // namespace

int main(int argc, char** argv) {
  const int ticks = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int readsPerCard = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  if (ticks <= kWarmUp) {
    std::fprintf(stderr, "soak_kestrin: more than %d ticks, please\n", kWarmUp);
    return 2;
  }
  const std::vector<int> plan = qx::soak::MakePlan(ticks, 54321, kTicks);

  TempDir home(L"kestrin-soak");
  for (const wchar_t* f : {L"Kestrin.exe", L"sdtapi.dll", L"WltRS.dll", L"show.bmp", L"bkF.bmp", L"bkB.bmp",
                           L"da.bmp"})
    if (!CopyFileTo(BinDir() + L"\\" + f, home / f)) {
      std::fprintf(stderr, "soak_kestrin: %s missing beside the soak program\n", Utf8(f).c_str());
      return 1;
    }
  qx::data::fixture::LayLogStore(std::filesystem::path(home.path()));
  int cardsLogged = 0;
  const std::wstring scenario = home / L"scenario.ini";
  WriteText(scenario, Scenario(plan, readsPerCard, &cardsLogged));

  Process kestrin;
  if (!kestrin.Start(L"\"" + (home / L"Kestrin.exe") + L"\"", home.path(),
                     {{L"QX_READER_SCENARIO", scenario}, {L"QX_READER_JOURNAL", home / L"journal.txt"}})) {
    std::fprintf(stderr, "soak_kestrin: Kestrin.exe does not start\n");
    return 1;
  }
  HWND main = nullptr;
  WaitUntil([&] {
    main = kshell_test::FindOf(kestrin.pid(), L"TForm_main");
    return main && ::IsWindowVisible(main);
  }, 30000, 100);
  HANDLE process = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE, FALSE, kestrin.pid());
  if (!main || !process) {
    std::fprintf(stderr, "soak_kestrin: no main window\n");
    return 1;
  }
  BoxAnswerer boxes(kestrin.pid());
  FlushEvents(500);
  ::SendMessageW(main, WM_COMMAND, kNautoCommand, 0);

  std::printf("Kestrin soak: %d ticks (%s), each card read %d times in a row\n", ticks,
              qx::soak::PlanSummary(plan, kTicks).c_str(), readsPerCard);
  const size_t rowsAtStart = LoggedRows(home.path());
  qx::soak::RoundWatch watch(process, kestrin.pid(), ticks, kWarmUp, "tick");
  watch.SetCheckpointNote([&] { return "; cards logged " + std::to_string(LoggedRows(home.path()) - rowsAtStart); });
  const DWORD began = ::GetTickCount();
  for (int i = 1; i <= ticks; ++i) {
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(main, WM_TIMER, kTimeautoId, 0, SMTO_NORMAL, 60000, &result)) {
      std::fprintf(stderr, "soak_kestrin: tick %d not answered (Kestrin %s)\n", i,
                   ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0 ? "ended" : "hangs");
      return 1;
    }
    watch.After(i, kTicks[plan[i - 1]].name);
  }
  const size_t rows = LoggedRows(home.path()) - rowsAtStart;
  std::printf("%.1f s; message boxes answered: %ld\n", (::GetTickCount() - began) / 1000.0, boxes.answered());

  size_t finds = 0;
  for (const std::string& line : SplitLines(ReadText(home / L"journal.txt")))
    if (line.rfind("SDT_StartFindMorvid(", 0) == 0) ++finds;
  std::printf("reader finds journalled: %zu; cards logged: %zu (expected %d)\n", finds, rows, cardsLogged);
  const bool grew = watch.Grew();

  ::PostMessageW(main, WM_CLOSE, 0, 0);
  kestrin.Wait(10000);
  ::CloseHandle(process);
  return grew ? 3 : 0;
}
