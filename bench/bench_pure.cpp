// Speed and memory of the pure code on the card road: the base64 codec (which must not
// allocate), cutting a card text block and filling packet fields.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "Base64.h"
#include "SampleCard.h"
#include "card/CardTextBlock.h"
#include "card/Gbk.h"
#include "card/Packets.h"

namespace {
std::atomic<long> g_allocations{0};
}

void* operator new(std::size_t n) {
  ++g_allocations;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

std::vector<uint8_t> Bytes(size_t n) {
  std::vector<uint8_t> b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 131 + 7);
  return b;
}

// Encode's largest input: 19999 bytes of cipher text become 20000.
void Base64Encode(benchmark::State& state) {
  const std::vector<uint8_t> in = Bytes(static_cast<size_t>(state.range(0)));
  std::vector<char> out(static_cast<size_t>(base64RequiredLength(static_cast<int32_t>(in.size()))));
  const long before = g_allocations;
  for (auto _ : state) {
    int32_t cap = static_cast<int32_t>(out.size());
    benchmark::DoNotOptimize(base64Encode(in.data(), static_cast<int32_t>(in.size()), out.data(), &cap));
  }
  state.counters["allocs/call"] =
      benchmark::Counter(static_cast<double>(g_allocations - before), benchmark::Counter::kAvgIterations);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(Base64Encode)->Arg(64)->Arg(20000);

void Base64Decode(benchmark::State& state) {
  const std::vector<uint8_t> in = Bytes(static_cast<size_t>(state.range(0)));
  std::vector<char> text(static_cast<size_t>(base64RequiredLength(static_cast<int32_t>(in.size()))));
  int32_t len = static_cast<int32_t>(text.size());
  base64Encode(in.data(), static_cast<int32_t>(in.size()), text.data(), &len);
  std::vector<uint8_t> out(in.size() + 3);
  const long before = g_allocations;
  for (auto _ : state) {
    int32_t cap = static_cast<int32_t>(out.size());
    benchmark::DoNotOptimize(base64Decode(text.data(), len, out.data(), &cap));
  }
  state.counters["allocs/call"] =
      benchmark::Counter(static_cast<double>(g_allocations - before), benchmark::Counter::kAvgIterations);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * len);
}
BENCHMARK(Base64Decode)->Arg(64)->Arg(20000);

// One poll's worth of card text: the 1000-byte block cut into its fields.
void CutCardText(benchmark::State& state) {
  std::vector<uint8_t> block = qx::card::BuildCardTextBytes(qx::test::SampleCardInput());
  block.resize(1000, 0x20);
  for (auto _ : state) benchmark::DoNotOptimize(qx::card::CutCardText(block.data(), block.size()));
}
BENCHMARK(CutCardText);

// The virtual-reader packet of one card, built from its record.
void BuildVirtualReaderPacket(benchmark::State& state) {
  qx::card::CardRecordBytes record{};
  qx::card::SetField(record.data(), qx::card::CardInfoRecord::CardNo, "110101198001010011");
  qx::card::SetField(record.data(), qx::card::CardInfoRecord::Name, "\xD5\xC5\xC8\xFD(\xB6\xC1)");
  qx::card::SetField(record.data(), qx::card::CardInfoRecord::Sex, "\xC4\xD0");
  for (auto _ : state)
    benchmark::DoNotOptimize(qx::card::BuildVirtualReaderPacket(record.data(), "authority", 29221.0));
}
BENCHMARK(BuildVirtualReaderPacket);

}  // namespace

BENCHMARK_MAIN();
