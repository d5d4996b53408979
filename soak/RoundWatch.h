// Reads a soaked process after every round: the rounds at which one of its object counts
// changed (and the kind of round that changed it), its figures at checkpoints, and the verdict
// over the late part of the run, where every one-time fill (a lazily made font, a cache
// filling up) must be over, so that what still grows there grows with the rounds.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "ProcessUsage.h"

namespace qx::soak {

class RoundWatch {
 public:
  // Growth of private bytes after the settle point that still counts as flat: the heap grows
  // in steps, and the store's list of row keys grows by a few bytes a row.
  static constexpr std::uint64_t kPrivateSlack = 512u * 1024u;
  // GDI objects that may still come after the settle point: under Wine a destroyed window
  // leaves its DCs cached, three objects each (the DC, its surface, its region), and now and
  // then a message box leaves two more, up to a ceiling (179 in Kestrin, reached by tick 1000
  // in every run measured). A leak of one object per round of any kind in the plan exceeds
  // this many times over.
  static constexpr std::uint64_t kGdiSlack = 9;
  // New highs of the object counts printed one by one; later ones are only counted.
  static constexpr int kChangesShown = 20;

  // The verdict counts from round max(warmUp, rounds / 3) on. unit: "poll", "tick".
  RoundWatch(HANDLE process, DWORD pid, int rounds, int warmUp, const char* unit);

  // Appended to each checkpoint's line ("; cards logged 312").
  void SetCheckpointNote(std::function<std::string()> note) { note_ = std::move(note); }

  int SettleRound() const { return settle_; }
  const ProcessUsage& Start() const { return start_; }

  // Reads the process after round (1-based) of the given kind.
  void After(int round, const char* kind);

  // Prints the growth from the settle point to the end and the verdict; true when it grew.
  bool Grew() const;

 private:
  void Checkpoint(const char* when, int round, const ProcessUsage& u) const;

  HANDLE process_;
  DWORD pid_;
  int rounds_;
  int warmUp_;
  int settle_;
  int every_;
  const char* unit_;
  std::function<std::string()> note_;
  ProcessUsage start_, last_, high_, settled_;
  int changes_ = 0;
  DWORD readingMs_ = 0;
};

// "GDI 173 -> 179, handles 55 -> 56": the object counts that differ; empty when none does.
std::string CountChanges(const ProcessUsage& before, const ProcessUsage& after);

}  // namespace qx::soak
