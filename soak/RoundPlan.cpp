// The rounds of a soak and their scenario lines.
#include "RoundPlan.h"

namespace qx::soak {

std::vector<int> MakePlan(int rounds, unsigned seed, const std::vector<RoundKind>& kinds) {
  std::vector<int> plan;
  unsigned x = seed;
  for (int i = 0; i < rounds; ++i) {
    x = x * 1103515245u + 12345u;
    int r = static_cast<int>((x >> 16) % 100);
    int k = 0;
    while (k + 1 < static_cast<int>(kinds.size()) && r >= kinds[k].percent) r -= kinds[k++].percent;
    plan.push_back(k);
  }
  return plan;
}

std::string ResultLines(const std::vector<int>& plan, const std::vector<RoundKind>& kinds) {
  static const char* const kOps[] = {"", "SDT_StartFindMorvid", "SDT_SelectMorvid", "SDT_ReadBaseMsg", "GetBmp"};
  int calls[5] = {};
  std::string s = "[results]\n";
  for (int k : plan) {
    const RoundKind& kind = kinds[k];
    for (int step = 1; step <= 4; ++step) {
      ++calls[step];
      if (static_cast<int>(kind.step) != step) continue;
      s += std::string(kOps[step]) + "#" + std::to_string(calls[step]) + " = " + kind.value + "\n";
      // A decode that fails still read the card; any earlier forced answer ends the round.
      if (kind.step != Step::Decode) break;
    }
  }
  return s;
}

int CardReads(const std::vector<int>& plan, const std::vector<RoundKind>& kinds) {
  int n = 0;
  for (int k : plan) n += kinds[k].step == Step::None || kinds[k].step == Step::Decode;
  return n;
}

std::string PlanSummary(const std::vector<int>& plan, const std::vector<RoundKind>& kinds) {
  std::vector<int> counts(kinds.size());
  for (int k : plan) ++counts[k];
  std::string s;
  for (size_t k = 0; k < kinds.size(); ++k) s += (k ? ", " : "") + std::string(kinds[k].name) + " " + std::to_string(counts[k]);
  return s;
}

}  // namespace qx::soak
