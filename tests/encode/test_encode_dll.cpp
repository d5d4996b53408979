// Tests of Encode.dll as its callers see it: the four exports against an independent DES/MD5 model.
#include <windows.h>
// After windows.h, whose types it needs.
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "DesOracle.h"
#include "Encode.h"
#include "ReferenceBase64.h"

namespace {

using DecodeFn = unsigned char(__cdecl*)(unsigned char*, int*, const char*, int);
using EncodeFn = unsigned char(__cdecl*)(char*, int*, const unsigned char*, int);
using GetMd5Fn = unsigned char(__cdecl*)(char*, int*, const unsigned char*, const int*);
using HmacFn = unsigned char(__cdecl*)(unsigned char*, int*, const unsigned char*, const int*);

constexpr unsigned char kFill = 0xCC;
constexpr char kEnhancedProvider[] = "Microsoft Enhanced Cryptographic Provider v1.0";

struct Dll {
  HMODULE module = nullptr;
  DecodeFn decode = nullptr;
  EncodeFn encode = nullptr;
  GetMd5Fn getMd5 = nullptr;
  HmacFn hmac = nullptr;
};

const Dll& TheDll() {
  static const Dll dll = [] {
    Dll d;
    d.module = LoadLibraryA("Encode.dll");
    if (!d.module) return d;
    d.decode = reinterpret_cast<DecodeFn>(GetProcAddress(d.module, "Decode"));
    d.encode = reinterpret_cast<EncodeFn>(GetProcAddress(d.module, "Encode"));
    d.getMd5 = reinterpret_cast<GetMd5Fn>(GetProcAddress(d.module, "getMD5"));
    d.hmac = reinterpret_cast<HmacFn>(GetProcAddress(d.module, "hmac_V2"));
    return d;
  }();
  return dll;
}

class EncodeDll : public ::testing::Test {
 protected:
  void SetUp() override {
    const Dll& d = TheDll();
    ASSERT_NE(d.module, nullptr) << "LoadLibraryA failed: " << GetLastError();
    ASSERT_TRUE(d.decode && d.encode && d.getMd5 && d.hmac);
  }
  const Dll& dll() const { return TheDll(); }
};

struct CallResult {
  unsigned char result;
  int capacity;
  std::vector<unsigned char> buffer;  // the caller's whole buffer, kFill where nothing was written
};

CallResult CallEncode(const std::vector<uint8_t>& in, int capacity, size_t bufferSize) {
  CallResult r{0, capacity, std::vector<unsigned char>(bufferSize, kFill)};
  const unsigned char none = 0;
  r.result = TheDll().encode(reinterpret_cast<char*>(r.buffer.data()), &r.capacity,
                             in.empty() ? &none : in.data(), static_cast<int>(in.size()));
  return r;
}

CallResult CallEncode(const std::vector<uint8_t>& in, int capacity) {
  return CallEncode(in, capacity, static_cast<size_t>(capacity) + 16);
}

std::string Text(const CallResult& r) { return std::string(r.buffer.begin(), r.buffer.begin() + r.capacity); }

CallResult CallDecode(const std::string& text, int capacity, int textLen) {
  CallResult r{0, capacity,
               std::vector<unsigned char>(static_cast<size_t>(capacity > 0 ? capacity : 0) + 16, kFill)};
  r.result = TheDll().decode(r.buffer.data(), &r.capacity, text.data(), textLen);
  return r;
}

CallResult CallDecode(const std::string& text, int capacity) {
  return CallDecode(text, capacity, static_cast<int>(text.size()));
}

bool AllAre(const std::vector<unsigned char>& v, size_t from, size_t to, unsigned char value) {
  for (size_t i = from; i < to; ++i)
    if (v[i] != value) return false;
  return true;
}

std::vector<size_t> LineLengths(const std::string& text) {
  std::vector<size_t> lengths;
  size_t start = 0;
  for (;;) {
    const size_t crlf = text.find("\r\n", start);
    if (crlf == std::string::npos) {
      lengths.push_back(text.size() - start);
      return lengths;
    }
    lengths.push_back(crlf - start);
    start = crlf + 2;
  }
}

TEST_F(EncodeDll, ExportsByNameAndByOrdinalAgree) {
  const struct {
    WORD ordinal;
    const char* name;
  } exports[] = {{1, "Decode"}, {2, "Encode"}, {3, "getMD5"}, {4, "hmac_V2"}};
  for (const auto& e : exports) {
    FARPROC byName = GetProcAddress(dll().module, e.name);
    EXPECT_NE(byName, nullptr) << e.name;
    EXPECT_EQ(GetProcAddress(dll().module, MAKEINTRESOURCEA(e.ordinal)), byName) << e.name;
  }
  EXPECT_EQ(GetProcAddress(dll().module, MAKEINTRESOURCEA(5)), nullptr);
  // The import library binds the same functions.
  EXPECT_EQ(reinterpret_cast<FARPROC>(&::Encode), GetProcAddress(dll().module, "Encode"));
  EXPECT_EQ(reinterpret_cast<FARPROC>(&::hmac_V2), GetProcAddress(dll().module, "hmac_V2"));
}

TEST_F(EncodeDll, EncodeGivesTheModelsCipherTextInLines) {
  struct Case {
    size_t n;
    size_t length;
    std::vector<size_t> lines;
  };
  const std::vector<size_t> eightFullLines = {76, 76, 76, 76, 76, 76, 76, 76, 0};
  const Case cases[] = {
      {0, 12, {12}},
      {1, 12, {12}},
      {7, 12, {12}},
      {8, 24, {24}},
      {43, 64, {64}},
      {50, 76, {76}},
      {56, 90, {76, 12}},
      {448, 624, eightFullLines},
      {451, 624, eightFullLines},
      {455, 624, eightFullLines},
      {1000, 1378, {}},
      {14607, 19992, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("n=" + std::to_string(c.n));
    const auto in = RandomBytes(c.n, static_cast<uint32_t>(c.n) * 7 + 1);
    const auto r = CallEncode(in, 20000);
    ASSERT_EQ(r.result, 1);
    ASSERT_EQ(r.capacity, static_cast<int>(c.length));
    EXPECT_EQ(Text(r), LinedBase64(OracleEncrypt(in)));
    if (!c.lines.empty()) {
      EXPECT_EQ(LineLengths(Text(r)), c.lines);
    }
    EXPECT_TRUE(AllAre(r.buffer, c.length, r.buffer.size(), kFill)) << "wrote past the text";
  }
}

TEST_F(EncodeDll, EncodeNeedsTheCodecsDemandedCapacity) {
  const struct {
    size_t n;
    int capacity;
    bool ok;
  } cases[] = {
      {0, 13, false},    {0, 14, true},    {8, 25, false},       {8, 26, true},
      {448, 625, false}, {455, 626, true}, {14607, 20000, true}, {14608, 20000, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("n=" + std::to_string(c.n) + " capacity=" + std::to_string(c.capacity));
    const auto in = RandomBytes(c.n, 11);
    const auto r = CallEncode(in, c.capacity);
    EXPECT_EQ(r.result, c.ok ? 1 : 0);
    if (c.ok) {
      EXPECT_EQ(Text(r), LinedBase64(OracleEncrypt(in)));
    } else {
      EXPECT_EQ(r.capacity, c.capacity);
      EXPECT_TRUE(AllAre(r.buffer, 0, r.buffer.size(), kFill));
    }
  }
}

TEST_F(EncodeDll, EveryCallStartsFromTheInitialisationVector) {
  const auto in = RandomBytes(100, 5);
  const std::string expected = LinedBase64(OracleEncrypt(in));
  EXPECT_EQ(Text(CallEncode(in, 20000)), expected);
  EXPECT_EQ(Text(CallEncode(in, 20000)), expected);

  // Calls that fail inside the platform, or that use the key for digests, leave it as it was.
  const std::string badPadding = PlainBase64(OracleEncryptBlocks(RandomBytes(16, 9)));
  EXPECT_EQ(CallDecode(badPadding, 64).result, 0);
  std::vector<unsigned char> mac(64);
  int macCapacity = 64;
  const int inLen = static_cast<int>(in.size());
  EXPECT_EQ(dll().hmac(mac.data(), &macCapacity, in.data(), &inLen), 1);
  EXPECT_EQ(Text(CallEncode(in, 20000)), expected);
}

TEST_F(EncodeDll, EncodeRefusesBadArgumentsWithoutWriting) {
  const auto in = RandomBytes(16, 1);
  std::vector<char> out(64, static_cast<char>(kFill));
  const std::vector<char> untouched = out;
  int capacity = 64;
  EXPECT_EQ(dll().encode(nullptr, &capacity, in.data(), 16), 0);
  EXPECT_EQ(dll().encode(out.data(), nullptr, in.data(), 16), 0);
  EXPECT_EQ(dll().encode(out.data(), &capacity, nullptr, 16), 0);
  EXPECT_EQ(dll().encode(out.data(), &capacity, in.data(), -1), 0);
  EXPECT_EQ(capacity, 64);
  for (int bad : {0, -1, -20000}) {
    capacity = bad;
    EXPECT_EQ(dll().encode(out.data(), &capacity, in.data(), 16), 0);
    EXPECT_EQ(capacity, bad);
  }
  EXPECT_EQ(out, untouched);
}

TEST_F(EncodeDll, EncodeTakesAtMostTheWorkBuffersInput) {
  // 19999 bytes give 20000 cipher bytes, the most the 20001-byte work buffer holds.
  const auto largest = RandomBytes(19999, 2);
  const auto r = CallEncode(largest, 30000);
  ASSERT_EQ(r.result, 1);
  EXPECT_EQ(Text(r), LinedBase64(OracleEncrypt(largest)));
  const auto back = CallDecode(Text(r), 20000);
  ASSERT_EQ(back.result, 1);
  ASSERT_EQ(back.capacity, 19999);
  EXPECT_TRUE(std::equal(largest.begin(), largest.end(), back.buffer.begin()));

  const auto tooLong = CallEncode(RandomBytes(20000, 2), 30000);
  EXPECT_EQ(tooLong.result, 0);
  EXPECT_EQ(tooLong.capacity, 30000);
  EXPECT_TRUE(AllAre(tooLong.buffer, 0, tooLong.buffer.size(), kFill));
}

TEST_F(EncodeDll, DecodeGivesBackTheInputWithOrWithoutLineBreaks) {
  for (size_t n : {0u, 1u, 8u, 43u, 56u, 57u, 455u, 1000u, 14607u}) {
    SCOPED_TRACE("n=" + std::to_string(n));
    const auto in = RandomBytes(n, static_cast<uint32_t>(n) + 3);
    const std::string text = Text(CallEncode(in, 20000));
    const int cipherLength = static_cast<int>(n / 8 + 1) * 8;
    for (const std::string& t : {text, WithoutLineBreaks(text)}) {
      // The text is deciphered in the caller's buffer, so the cipher length is what must fit.
      const auto r = CallDecode(t, cipherLength);
      ASSERT_EQ(r.result, 1);
      ASSERT_EQ(r.capacity, static_cast<int>(n));
      EXPECT_TRUE(std::equal(in.begin(), in.end(), r.buffer.begin()));
      EXPECT_TRUE(AllAre(r.buffer, static_cast<size_t>(cipherLength), r.buffer.size(), kFill));
    }
  }
}

TEST_F(EncodeDll, DecodeReadsOnlyTheGivenLength) {
  const auto in = RandomBytes(20, 4);
  const std::string text = LinedBase64(OracleEncrypt(in));
  const auto r = CallDecode(text + "QUJDREVGR0g=", 64, static_cast<int>(text.size()));
  ASSERT_EQ(r.result, 1);
  EXPECT_EQ(r.capacity, 20);
}

TEST_F(EncodeDll, DecodeIntoTooSmallACapacityReportsTheCipherLength) {
  const auto in = RandomBytes(8, 6);
  const std::string text = LinedBase64(OracleEncrypt(in));  // 16 cipher bytes
  auto r = CallDecode(text, 15);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.capacity, 16);
  r = CallDecode(text, 0);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.capacity, 0);
  EXPECT_TRUE(AllAre(r.buffer, 0, r.buffer.size(), kFill));
  r = CallDecode(text, 16);
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.capacity, 8);
}

TEST_F(EncodeDll, DecodeRefusesWhatThePlatformCannotDecipher) {
  auto block = [](std::vector<uint8_t> lastBlock) {
    std::vector<uint8_t> blocks = RandomBytes(8, 8);
    blocks.insert(blocks.end(), lastBlock.begin(), lastBlock.end());
    return LinedBase64(OracleEncryptBlocks(blocks));
  };
  const struct {
    const char* what;
    std::string text;
  } cases[] = {
      {"pad byte 0", block({1, 2, 3, 4, 5, 6, 7, 0})},
      {"pad byte 9", block({1, 2, 3, 4, 5, 6, 7, 9})},
      {"pad bytes that differ", block({1, 2, 3, 4, 5, 6, 2, 3})},
      {"12 bytes", PlainBase64(RandomBytes(12, 1))},
      {"7 bytes", PlainBase64(RandomBytes(7, 1))},
      {"no bytes", "==\r\n=="},
      {"empty text", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(CallDecode(c.text, 64).result, 0);
  }
}

TEST_F(EncodeDll, DecodeRefusesBadArguments) {
  const std::string text = LinedBase64(OracleEncrypt(RandomBytes(8, 1)));
  std::vector<unsigned char> out(64, kFill);
  int capacity = 64;
  const int len = static_cast<int>(text.size());
  EXPECT_EQ(dll().decode(nullptr, &capacity, text.data(), len), 0);
  EXPECT_EQ(dll().decode(out.data(), nullptr, text.data(), len), 0);
  EXPECT_EQ(dll().decode(out.data(), &capacity, nullptr, len), 0);
  EXPECT_EQ(dll().decode(out.data(), &capacity, text.data(), -1), 0);
  EXPECT_EQ(capacity, 64);
  capacity = -1;
  EXPECT_EQ(dll().decode(out.data(), &capacity, text.data(), len), 0);
  EXPECT_EQ(capacity, -1);
  EXPECT_TRUE(AllAre(out, 0, out.size(), kFill));
}

TEST_F(EncodeDll, GetMd5GivesTheDigestAsText) {
  const std::vector<std::vector<uint8_t>> inputs = {
      {}, {'a', 'b', 'c'}, RandomBytes(1000, 12), RandomBytes(100000, 13)};  // no 20001-byte limit here
  for (const auto& in : inputs) {
    SCOPED_TRACE("n=" + std::to_string(in.size()));
    const std::string expected = PlainBase64(OracleMd5(in));
    const unsigned char none = 0;
    const unsigned char* p = in.empty() ? &none : in.data();
    const int len = static_cast<int>(in.size());
    for (int capacity : {25, 26, 100}) {
      std::vector<char> out(static_cast<size_t>(capacity), static_cast<char>(kFill));
      int cap = capacity;
      const unsigned char result = dll().getMd5(out.data(), &cap, p, &len);
      if (capacity < 26) {
        EXPECT_EQ(result, 0);
        EXPECT_EQ(cap, capacity);
        EXPECT_EQ(out, std::vector<char>(out.size(), static_cast<char>(kFill)));
      } else {
        ASSERT_EQ(result, 1);
        ASSERT_EQ(cap, 24);
        EXPECT_EQ(std::string(out.data(), 24), expected);
        EXPECT_EQ(out[24], static_cast<char>(kFill));
      }
    }
  }
  EXPECT_EQ(PlainBase64(OracleMd5({'a', 'b', 'c'})), "kAFQmDzST7DWlj99KOF/cg==");
}

TEST_F(EncodeDll, GetMd5RefusesBadArguments) {
  char out[32];
  int capacity = 32;
  const unsigned char in[4] = {1, 2, 3, 4};
  const int len = 4, negative = -1;
  EXPECT_EQ(dll().getMd5(nullptr, &capacity, in, &len), 0);
  EXPECT_EQ(dll().getMd5(out, nullptr, in, &len), 0);
  EXPECT_EQ(dll().getMd5(out, &capacity, nullptr, &len), 0);
  EXPECT_EQ(dll().getMd5(out, &capacity, in, nullptr), 0);
  EXPECT_EQ(dll().getMd5(out, &capacity, in, &negative), 0);
  EXPECT_EQ(capacity, 32);
}

TEST_F(EncodeDll, HmacGivesTheEncipheredDigestThenZeros) {
  const auto in = RandomBytes(300, 21);
  const int len = static_cast<int>(in.size());
  const auto expected = OracleEncrypt(OracleMd5(in));
  ASSERT_EQ(expected.size(), 24u);
  // Capacities past the 20001-byte work buffer get zeros too, and nothing past the capacity.
  for (int capacity : {63, 64, 100, 20001, 30000}) {
    SCOPED_TRACE("capacity=" + std::to_string(capacity));
    std::vector<unsigned char> out(static_cast<size_t>(capacity) + 64, kFill);
    int cap = capacity;
    const unsigned char result = dll().hmac(out.data(), &cap, in.data(), &len);
    EXPECT_EQ(cap, capacity);
    if (capacity < 64) {
      EXPECT_EQ(result, 0);
      EXPECT_TRUE(AllAre(out, 0, out.size(), kFill));
      continue;
    }
    ASSERT_EQ(result, 1);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin()));
    EXPECT_TRUE(AllAre(out, 24, static_cast<size_t>(capacity), 0));
    EXPECT_TRUE(AllAre(out, static_cast<size_t>(capacity), out.size(), kFill)) << "wrote past the capacity";
  }
}

TEST_F(EncodeDll, HmacRefusesBadArguments) {
  std::vector<unsigned char> out(64, kFill);
  int capacity = 64;
  const unsigned char in[4] = {1, 2, 3, 4};
  const int len = 4, negative = -1;
  EXPECT_EQ(dll().hmac(nullptr, &capacity, in, &len), 0);
  EXPECT_EQ(dll().hmac(out.data(), nullptr, in, &len), 0);
  EXPECT_EQ(dll().hmac(out.data(), &capacity, nullptr, &len), 0);
  EXPECT_EQ(dll().hmac(out.data(), &capacity, in, nullptr), 0);
  EXPECT_EQ(dll().hmac(out.data(), &capacity, in, &negative), 0);
  capacity = -64;
  EXPECT_EQ(dll().hmac(out.data(), &capacity, in, &len), 0);
  EXPECT_TRUE(AllAre(out, 0, out.size(), kFill));
}

// The argument of a call that points at 0x10 instead: a pointer that is not null and that
// no process can read or write, so the export faults inside itself.
enum class BadArg { Out, Capacity, In, Length };
const char* Name(BadArg a) {
  switch (a) {
    case BadArg::Out: return "output";
    case BadArg::Capacity: return "capacity";
    case BadArg::In: return "input";
    case BadArg::Length: return "input length";
  }
  return "";
}

enum class Export { Decode, Encode, GetMd5, Hmac };

// One call of an export on in (Decode's text for Decode) into a 256-byte output; the result,
// and the output up to the capacity it reports (hmac_V2 leaves the capacity at 256).
CallResult CallWith(Export e, const std::vector<uint8_t>& in, std::optional<BadArg> bad) {
  void* const kBad = reinterpret_cast<void*>(0x10);
  CallResult r{0, 256, std::vector<unsigned char>(256, kFill)};
  unsigned char* out = bad == BadArg::Out ? static_cast<unsigned char*>(kBad) : r.buffer.data();
  int* capacity = bad == BadArg::Capacity ? static_cast<int*>(kBad) : &r.capacity;
  const unsigned char* data = bad == BadArg::In ? static_cast<const unsigned char*>(kBad) : in.data();
  const int length = static_cast<int>(in.size());
  const int* lengthPtr = bad == BadArg::Length ? static_cast<const int*>(kBad) : &length;
  const Dll& d = TheDll();
  switch (e) {
    case Export::Decode:
      r.result = d.decode(out, capacity, reinterpret_cast<const char*>(data), length);
      break;
    case Export::Encode:
      r.result = d.encode(reinterpret_cast<char*>(out), capacity, data, length);
      break;
    case Export::GetMd5:
      r.result = d.getMd5(reinterpret_cast<char*>(out), capacity, data, lengthPtr);
      break;
    case Export::Hmac:
      r.result = d.hmac(out, capacity, data, lengthPtr);
      break;
  }
  r.buffer.resize(static_cast<size_t>(std::clamp(r.capacity, 0, 256)));
  return r;
}

// A pointer that points nowhere faults inside the export: the call gives 0 and the process
// goes on, and the next call of the same export gives the right result.
TEST_F(EncodeDll, FaultInsideAnExportEndsTheCallWithZero) {
  const auto plain = RandomBytes(40, 41);
  const std::string text = LinedBase64(OracleEncrypt(plain));
  const std::vector<uint8_t> textBytes(text.begin(), text.end());
  const std::string md5Text = PlainBase64(OracleMd5(plain));
  std::vector<uint8_t> mac = OracleEncrypt(OracleMd5(plain));
  mac.resize(256, 0);
  const struct {
    const char* name;
    Export e;
    std::vector<uint8_t> in;
    std::vector<uint8_t> want;
    std::vector<BadArg> bad;
  } exports[] = {
      {"Decode", Export::Decode, textBytes, plain, {BadArg::Out, BadArg::Capacity, BadArg::In}},
      {"Encode", Export::Encode, plain, textBytes, {BadArg::Out, BadArg::Capacity, BadArg::In}},
      {"getMD5", Export::GetMd5, plain, {md5Text.begin(), md5Text.end()},
       {BadArg::Out, BadArg::Capacity, BadArg::In, BadArg::Length}},
      {"hmac_V2", Export::Hmac, plain, mac, {BadArg::Out, BadArg::Capacity, BadArg::In, BadArg::Length}},
  };
  for (const auto& x : exports) {
    for (BadArg bad : x.bad) {
      SCOPED_TRACE(std::string(x.name) + ", bad " + Name(bad));
      EXPECT_EQ(CallWith(x.e, x.in, bad).result, 0);
      const CallResult next = CallWith(x.e, x.in, std::nullopt);
      EXPECT_EQ(next.result, 1);
      EXPECT_EQ(std::vector<uint8_t>(next.buffer.begin(), next.buffer.end()), x.want);
    }
  }
}

TEST_F(EncodeDll, ImportLibraryCallsWork) {
  const auto in = RandomBytes(30, 30);
  char out[64];
  int capacity = sizeof out;
  ASSERT_EQ(::Encode(out, &capacity, in.data(), static_cast<int>(in.size())), 1);
  EXPECT_EQ(std::string(out, static_cast<size_t>(capacity)), LinedBase64(OracleEncrypt(in)));
}

constexpr char kChildVariable[] = "QX_ENCODE_FRESH_CHILD";

// Plays the first caller in a process whose user has no default key container.
TEST(EncodeDllChild, FirstCallSetsTheKeyUp) {
  if (!std::getenv(kChildVariable))
    GTEST_SKIP() << "runs only as the child of FirstCallCreatesTheKeyContainer";
  const auto in = RandomBytes(40, 40);
  const auto r = CallEncode(in, 100);
  ASSERT_EQ(r.result, 1);
  EXPECT_EQ(Text(r), LinedBase64(OracleEncrypt(in)));
}

// The user's default key container as it stands: whether it exists and its key pairs, so
// that a test that removes it can lay it again as it was.
class DefaultContainerCopy {
 public:
  // Nothing when the container holds a key pair that cannot be exported: it could not be
  // laid again, so it must not be removed.
  static std::optional<DefaultContainerCopy> Take() {
    DefaultContainerCopy c;
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextA(&provider, nullptr, kEnhancedProvider, PROV_RSA_FULL, 0)) return c;
    c.exists_ = true;
    bool complete = true;
    for (DWORD slot : {static_cast<DWORD>(AT_KEYEXCHANGE), static_cast<DWORD>(AT_SIGNATURE)}) {
      HCRYPTKEY key = 0;
      if (!CryptGetUserKey(provider, slot, &key)) continue;
      DWORD size = 0;
      std::vector<BYTE> blob;
      if (CryptExportKey(key, 0, PRIVATEKEYBLOB, 0, nullptr, &size)) {
        blob.resize(size);
        if (CryptExportKey(key, 0, PRIVATEKEYBLOB, 0, blob.data(), &size)) blob.resize(size); else blob.clear();
      }
      if (blob.empty()) complete = false;
      c.pairs_.push_back(std::move(blob));
      CryptDestroyKey(key);
    }
    CryptReleaseContext(provider, 0);
    if (!complete) return std::nullopt;
    return c;
  }

  bool Restore() const {
    HCRYPTPROV provider = 0;
    CryptAcquireContextA(&provider, nullptr, kEnhancedProvider, PROV_RSA_FULL, CRYPT_DELETEKEYSET);
    if (!exists_) return true;
    if (!CryptAcquireContextA(&provider, nullptr, kEnhancedProvider, PROV_RSA_FULL, CRYPT_NEWKEYSET)) return false;
    bool ok = true;
    for (const auto& blob : pairs_) {
      HCRYPTKEY key = 0;
      ok &= CryptImportKey(provider, blob.data(), static_cast<DWORD>(blob.size()), 0, CRYPT_EXPORTABLE, &key) != 0;
      if (key) CryptDestroyKey(key);
    }
    CryptReleaseContext(provider, 0);
    return ok;
  }

 private:
  bool exists_ = false;
  std::vector<std::vector<BYTE>> pairs_;
};

// Lays the copy again however the test ends.
struct ContainerPutBack {
  const DefaultContainerCopy& copy;
  ~ContainerPutBack() { EXPECT_TRUE(copy.Restore()); }
};

// Runs this program again on the tests that match filter, with the variable set if one is
// named; its exit code.
DWORD RunChild(const char* filter, const char* variable = nullptr) {
  char exe[MAX_PATH] = {};
  if (GetModuleFileNameA(nullptr, exe, MAX_PATH) == 0) return 1;
  std::string command = std::string("\"") + exe + "\" --gtest_filter=" + filter + " --gtest_color=no";
  if (variable) SetEnvironmentVariableA(variable, "1");
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  const BOOL started =
      CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
  if (variable) SetEnvironmentVariableA(variable, nullptr);
  if (!started) return 1;
  const DWORD wait = WaitForSingleObject(pi.hProcess, 60000);
  DWORD exitCode = 1;
  GetExitCodeProcess(pi.hProcess, &exitCode);
  if (wait != WAIT_OBJECT_0) {
    TerminateProcess(pi.hProcess, 1);
    exitCode = 1;
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return exitCode;
}

TEST(EncodeDllKeyContainer, FirstCallCreatesTheKeyContainer) {
  // The test starts without the user's container and ends with it as it was.
  const auto saved = DefaultContainerCopy::Take();
  if (!saved) GTEST_SKIP() << "the user's default key container holds a key pair that cannot be exported";
  const ContainerPutBack putBack{*saved};
  HCRYPTPROV provider = 0;
  // Remove the container, and check that it is gone: the plain acquire fails with NTE_BAD_KEYSET.
  CryptAcquireContextA(&provider, nullptr, kEnhancedProvider, PROV_RSA_FULL, CRYPT_DELETEKEYSET);
  ASSERT_FALSE(CryptAcquireContextA(&provider, nullptr, kEnhancedProvider, PROV_RSA_FULL, 0));
  ASSERT_EQ(static_cast<HRESULT>(GetLastError()), NTE_BAD_KEYSET);

  EXPECT_EQ(RunChild("EncodeDllChild.*", kChildVariable), 0u);

  // The child's first call made the container.
  ASSERT_TRUE(CryptAcquireContextA(&provider, nullptr, kEnhancedProvider, PROV_RSA_FULL, 0))
      << GetLastError();
  CryptReleaseContext(provider, 0);
}

// The container test, run on a user whose default container holds a key pair of its own:
// the pair is there again afterwards.
TEST(EncodeDllKeyContainer, ContainerTestLeavesTheUsersKeysAlone) {
  const auto saved = DefaultContainerCopy::Take();
  if (!saved) GTEST_SKIP() << "the user's default key container holds a key pair that cannot be exported";
  const ContainerPutBack putBack{*saved};

  // The user's pair: a signature key made here.
  HCRYPTPROV provider = 0;
  if (!CryptAcquireContextA(&provider, nullptr, kEnhancedProvider, PROV_RSA_FULL, 0)) {
    ASSERT_TRUE(CryptAcquireContextA(&provider, nullptr, kEnhancedProvider, PROV_RSA_FULL, CRYPT_NEWKEYSET))
        << GetLastError();
  }
  auto publicBlob = [&](HCRYPTKEY key) {
    DWORD size = 0;
    CryptExportKey(key, 0, PUBLICKEYBLOB, 0, nullptr, &size);
    std::vector<BYTE> blob(size);
    if (!CryptExportKey(key, 0, PUBLICKEYBLOB, 0, blob.data(), &size)) blob.clear();
    return blob;
  };
  HCRYPTKEY key = 0;
  ASSERT_TRUE(CryptGenKey(provider, AT_SIGNATURE, CRYPT_EXPORTABLE, &key)) << GetLastError();
  const std::vector<BYTE> usersKey = publicBlob(key);
  CryptDestroyKey(key);
  CryptReleaseContext(provider, 0);
  ASSERT_FALSE(usersKey.empty());

  EXPECT_EQ(RunChild("EncodeDllKeyContainer.FirstCallCreatesTheKeyContainer"), 0u);

  ASSERT_TRUE(CryptAcquireContextA(&provider, nullptr, kEnhancedProvider, PROV_RSA_FULL, 0)) << GetLastError();
  key = 0;
  EXPECT_TRUE(CryptGetUserKey(provider, AT_SIGNATURE, &key)) << GetLastError();
  if (key) {
    EXPECT_EQ(publicBlob(key), usersKey);
    CryptDestroyKey(key);
  }
  CryptReleaseContext(provider, 0);
}

}  // namespace
