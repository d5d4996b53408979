// The rounds of a soak as the reader simulators play them: a fixed mix of kinds, each kind a
// call of the reader library forced to an answer (or none: a card is read), written as the
// [results] lines of the simulators' scenario.
#pragma once

#include <string>
#include <vector>

namespace qx::soak {

// The calls of one round, in order; a forced find, select or read ends the round there.
enum class Step { None, Find, Select, Read, Decode };

struct RoundKind {
  const char* name;
  int percent;           // the kinds' percents add up to 100
  Step step;             // the call forced
  const char* value;     // its forced answer ("0x80", "fault", ...)
};

// The kind (an index into kinds) of each round, drawn with a fixed seed: the same every run.
std::vector<int> MakePlan(int rounds, unsigned seed, const std::vector<RoundKind>& kinds);

// "[results]" and one "Op#N = value" line per forced call. The call numbers follow from the
// plan: a find every round, a select after a find that found, and so on.
std::string ResultLines(const std::vector<int>& plan, const std::vector<RoundKind>& kinds);

// Rounds that read a card (nothing forced before the decode).
int CardReads(const std::vector<int>& plan, const std::vector<RoundKind>& kinds);

// "card 231, empty 192, ...".
std::string PlanSummary(const std::vector<int>& plan, const std::vector<RoundKind>& kinds);

}  // namespace qx::soak
