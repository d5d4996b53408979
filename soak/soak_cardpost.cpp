// Soak of Cardpost's read path: Cardpost.exe runs beside the reader simulators and its poll is
// driven POLLS times (10000 by default) by sending its reader window the poll timer's message,
// so no second passes between polls. The scenario mixes cards, empty polls, reader errors,
// faults inside the reader library and photos the decoder rejects. The process's handles, GDI
// and USER objects are read after every poll (each new high is shown with the poll that
// reached it) and its private bytes at checkpoints; growth from the settle point (the warm-up
// or a third of the run, whichever is later) to the end is a fault.
//   soak_cardpost.exe [POLLS]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "CardpostHarness.h"
#include "ProcessUsage.h"
#include "RoundPlan.h"
#include "RoundWatch.h"

using namespace qx::test;

namespace {

constexpr UINT_PTR kPollTimer = 1;
constexpr int kCards = 50;
// Every object Cardpost keeps is made within its first two polls.
constexpr int kWarmUp = 200;

using qx::soak::Step;

// Cards 40 %, empty polls 30 %, 6 % each of the rest.
const std::vector<qx::soak::RoundKind> kPolls = {
    {"card", 40, Step::None, ""},
    {"empty", 30, Step::Find, "0x80"},
    {"find fault", 6, Step::Find, "fault"},
    {"select fault", 6, Step::Select, "fault"},
    {"read fault", 6, Step::Read, "fault"},
    {"read error", 6, Step::Read, "0x41"},
    {"photo rejected", 6, Step::Decode, "0"},
};

std::string Scenario(const std::vector<int>& plan) {
  std::string s = "[reader]\nports = 1001\npresent = always\n";
  for (int i = 0; i < kCards; ++i) {
    char id[32];
    std::snprintf(id, sizeof id, "1101011980%02d%02d%03d1", 1 + i % 12, 1 + i % 28, i);
    s += "[card]\nname = 张" + std::to_string(i) + "\nsex = " + (i % 2 ? "1" : "2") +
         "\nnation = 01\nbirth = 19800101\naddress = 北京市东城区景山前街4号\nid = " + id +
         "\nauthority = 北京市公安局东城分局\nvalid_start = 20060101\nvalid_end = 长期\n";
  }
  return s + qx::soak::ResultLines(plan, kPolls);
}

}  // namespace

int main(int argc, char** argv) {
  const int polls = argc > 1 ? std::atoi(argv[1]) : 10000;
  if (polls <= kWarmUp) {
    std::fprintf(stderr, "soak_cardpost: more than %d polls, please\n", kWarmUp);
    return 2;
  }
  const std::vector<int> plan = qx::soak::MakePlan(polls, 12345, kPolls);

  CardpostOptions options;
  options.scenario = Scenario(plan);
  CardpostHarness cardpost(options);
  if (!cardpost.Start(L"-SHOW")) {
    std::fprintf(stderr, "soak_cardpost: Cardpost.exe does not start\n");
    return 1;
  }
  const HWND reader = WaitForWindow(kCardpostReaderTitle, 20000);
  HANDLE process = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE, FALSE, cardpost.Pid());
  if (!reader || !process) {
    std::fprintf(stderr, "soak_cardpost: no reader window\n");
    return 1;
  }
  std::printf("Cardpost soak: %d polls (%s)\n", polls, qx::soak::PlanSummary(plan, kPolls).c_str());

  qx::soak::RoundWatch watch(process, cardpost.Pid(), polls, kWarmUp, "poll");
  const DWORD began = ::GetTickCount();
  for (int i = 1; i <= polls; ++i) {
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(reader, WM_TIMER, kPollTimer, 0, SMTO_NORMAL, 60000, &result)) {
      std::fprintf(stderr, "soak_cardpost: poll %d not answered (Cardpost %s)\n", i,
                   ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0 ? "ended" : "hangs");
      return 1;
    }
    watch.After(i, kPolls[plan[i - 1]].name);
  }
  std::printf("%.1f s\n", (::GetTickCount() - began) / 1000.0);

  // The reader library saw each poll once: no platform tick came in between.
  size_t finds = 0;
  for (const std::string& line : cardpost.JournalLines())
    if (line.rfind("SDT_StartFindMorvid(", 0) == 0) ++finds;
  std::printf("reader finds journalled: %zu\n", finds);

  const bool grew = watch.Grew();
  ::CloseHandle(process);
  return grew ? 3 : 0;
}
