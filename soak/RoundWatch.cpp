// Per-round readings of a soaked process and the verdict over the late part of the run.
#include "RoundWatch.h"

#include <algorithm>
#include <cstdio>

namespace qx::soak {

std::string CountChanges(const ProcessUsage& before, const ProcessUsage& after) {
  std::string s;
  auto one = [&s](const char* what, std::uint64_t a, std::uint64_t b) {
    if (a == b) return;
    s += (s.empty() ? "" : ", ") + std::string(what) + " " + std::to_string(a) + " -> " + std::to_string(b);
  };
  one("handles", before.handles, after.handles);
  one("GDI", before.gdiObjects, after.gdiObjects);
  std::string kinds;
  for (const auto& [kind, n] : after.gdiByType) {
    const auto was = before.gdiByType.find(kind);
    const std::uint64_t a = was == before.gdiByType.end() ? 0 : was->second;
    if (a != n) kinds += (kinds.empty() ? "" : ", ") + kind + " " + std::to_string(a) + " -> " + std::to_string(n);
  }
  for (const auto& [kind, n] : before.gdiByType)
    if (!after.gdiByType.count(kind)) kinds += (kinds.empty() ? "" : ", ") + kind + " " + std::to_string(n) + " -> 0";
  if (!kinds.empty()) s += " (" + kinds + ")";
  one("USER", before.userObjects, after.userObjects);
  return s;
}

RoundWatch::RoundWatch(HANDLE process, DWORD pid, int rounds, int warmUp, const char* unit)
    : process_(process),
      pid_(pid),
      rounds_(rounds),
      warmUp_(warmUp),
      settle_(std::max(warmUp, rounds / 3)),
      every_(std::max(1, rounds / 10)),
      unit_(unit) {
  start_ = last_ = high_ = MeasureProcess(process_, pid_);
  std::printf("figures: %s\n", start_.sources.c_str());
  Checkpoint("start", 0, start_);
}

void RoundWatch::Checkpoint(const char* when, int round, const ProcessUsage& u) const {
  std::printf("%-9s after %5d %ss: %s%s\n", when, round, unit_, FormatUsage(u).c_str(), note_ ? note_().c_str() : "");
  std::fflush(stdout);
}

void RoundWatch::After(int round, const char* kind) {
  const DWORD t0 = ::GetTickCount();
  const ProcessUsage now = MeasureProcess(process_, pid_);
  readingMs_ += ::GetTickCount() - t0;
  // Only a new high is shown: a count that rises and falls back within a round or two is
  // an object in use, not one kept.
  if (now.handles > high_.handles || now.gdiObjects > high_.gdiObjects || now.userObjects > high_.userObjects) {
    if (++changes_ <= kChangesShown) {
      std::printf("  at %s %d (%s): %s\n", unit_, round, kind, CountChanges(last_, now).c_str());
      std::fflush(stdout);
    }
    high_.handles = std::max(high_.handles, now.handles);
    high_.gdiObjects = std::max(high_.gdiObjects, now.gdiObjects);
    high_.userObjects = std::max(high_.userObjects, now.userObjects);
  }
  last_ = now;
  if (round == settle_) settled_ = now;
  if (round == warmUp_ && warmUp_ < settle_) Checkpoint("warm-up", round, now);
  else if (round == settle_) Checkpoint("settled", round, now);
  else if (round == rounds_) Checkpoint("end", round, now);
  else if (round % every_ == 0) Checkpoint("", round, now);
}

bool RoundWatch::Grew() const {
  const ProcessUsage& end = last_;
  const ProcessUsage& from = settled_;
  auto delta = [](std::uint64_t a, std::uint64_t b) {
    return (b >= a ? "+" : "-") + std::to_string(b >= a ? b - a : a - b);
  };
  std::printf("new highs of the object counts: %d; readings took %.1f s\n", changes_, readingMs_ / 1000.0);
  const int span = rounds_ - settle_;
  const double perThousand =
      span > 0 && end.privateBytes > from.privateBytes
          ? static_cast<double>(end.privateBytes - from.privateBytes) * 1000.0 / span
          : 0.0;
  std::printf("from %s %d to %d: handles %s, GDI %s, USER %s, private bytes %s (%.0f per 1000 %ss); flat: handles and USER +0, GDI within +%llu, private bytes within +%llu\n",
              unit_, settle_, rounds_, delta(from.handles, end.handles).c_str(),
              delta(from.gdiObjects, end.gdiObjects).c_str(), delta(from.userObjects, end.userObjects).c_str(),
              delta(from.privateBytes, end.privateBytes).c_str(), perThousand, unit_,
              static_cast<unsigned long long>(kGdiSlack), static_cast<unsigned long long>(kPrivateSlack));
  const bool grew = end.handles > from.handles || end.gdiObjects > from.gdiObjects + kGdiSlack ||
                    end.userObjects > from.userObjects || end.privateBytes > from.privateBytes + kPrivateSlack;
  std::printf("%s\n", grew ? "GROWTH after the settle point" : "no growth after the settle point");
  std::fflush(stdout);
  return grew;
}

}  // namespace qx::soak
