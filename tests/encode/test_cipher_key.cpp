// Tests of the cipher key's set-up through an injected acquire step: the retry sequence and recovery.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DesOracle.h"
#include "EncodeApp.h"
#include "ReferenceBase64.h"

namespace {

struct AcquireCall {
  bool container;
  std::string provider;  // "" for the type's default
  DWORD type;
  DWORD flags;
};

// Errors the fake acquire gives, in order; 0 means succeed. Past the list it succeeds.
std::vector<DWORD> gErrors;
std::vector<AcquireCall> gCalls;

// Where a fault strikes the set-up: inside the acquire before it made anything, or once it
// has handed out a real context, which the set-up must then not lose.
enum class SetUpFault { None, BeforeContext, AfterContext };
SetUpFault gFault = SetUpFault::None;

// A real access violation: both the pointer and the store are volatile, so neither is dropped.
__attribute__((noinline)) void RaiseFault() {
  volatile int* volatile p = nullptr;
  *p = 1;
}

BOOL WINAPI FakeAcquire(HCRYPTPROV* provider, LPCSTR container, LPCSTR name, DWORD type, DWORD flags) {
  const size_t i = gCalls.size();
  gCalls.push_back({container != nullptr, name ? name : "", type, flags});
  switch (gFault) {
    case SetUpFault::None:
      break;
    case SetUpFault::BeforeContext:
      RaiseFault();
      break;
    case SetUpFault::AfterContext:
      if (CryptAcquireContextA(provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) RaiseFault();
      return FALSE;
  }
  if (i < gErrors.size() && gErrors[i] != 0) {
    *provider = 0;
    SetLastError(gErrors[i]);
    return FALSE;
  }
  // A real context that needs no key container, so the tests leave the user's alone.
  return CryptAcquireContextA(provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT);
}

void Arrange(std::vector<DWORD> errors, SetUpFault fault = SetUpFault::None) {
  gErrors = std::move(errors);
  gCalls.clear();
  gFault = fault;
}

const AcquireCall kEnhanced{false, "Microsoft Enhanced Cryptographic Provider v1.0", PROV_RSA_FULL, 0};
const AcquireCall kNewKeySet{false, "", PROV_RSA_FULL, CRYPT_NEWKEYSET};

bool operator==(const AcquireCall& a, const AcquireCall& b) {
  return a.container == b.container && a.provider == b.provider && a.type == b.type && a.flags == b.flags;
}

std::ostream& operator<<(std::ostream& os, const AcquireCall& c) {
  return os << "{" << (c.container ? "container, " : "") << '"' << c.provider << "\", " << c.type << ", "
            << c.flags << "}";
}

std::string EncodeWith(EncodeApp& app, const std::vector<uint8_t>& in, unsigned char* result) {
  char out[256];
  int capacity = sizeof out;
  *result = app.encode(out, &capacity, in.data(), static_cast<int>(in.size()));
  return *result ? std::string(out, static_cast<size_t>(capacity)) : std::string();
}

constexpr DWORD kBadKeySet = static_cast<DWORD>(NTE_BAD_KEYSET);
constexpr DWORD kNoProvider = static_cast<DWORD>(NTE_PROV_TYPE_NOT_DEF);
constexpr DWORD kBusy = static_cast<DWORD>(NTE_EXISTS);

TEST(CipherKeySetUp, AcquireSequence) {
  const struct {
    const char* what;
    std::vector<DWORD> errors;
    std::vector<AcquireCall> calls;
    bool ok;
    const char* failure;
  } cases[] = {
      {"enhanced provider answers", {}, {kEnhanced}, true, ""},
      {"missing container is made", {kBadKeySet}, {kEnhanced, kNewKeySet}, true, ""},
      {"making it is tried once more", {kBadKeySet, kBusy}, {kEnhanced, kNewKeySet, kNewKeySet}, true, ""},
      {"both tries fail",
       {kBadKeySet, kBusy, kNoProvider},
       {kEnhanced, kNewKeySet, kNewKeySet},
       false,
       "Error 80090017 during CryptAcquireContext!\n"},
      {"other error: one more try", {kNoProvider}, {kEnhanced, kNewKeySet}, true, ""},
      {"other error twice",
       {kNoProvider, kBusy},
       {kEnhanced, kNewKeySet},
       false,
       "Error 8009000f during CryptAcquireContext!\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Arrange(c.errors);
    CipherKey key(&FakeAcquire);
    EXPECT_EQ(key.initKey("qe#@vt41", "47kw93*!"), c.ok);
    EXPECT_EQ(key.empty(), !c.ok);
    EXPECT_EQ(gCalls, c.calls);
    if (!c.ok) {
      EXPECT_STREQ(key.failureText(), c.failure);
    }
  }
}

TEST(CipherKeySetUp, FailedSetUpReturnsZeroAndTheNextCallRetries) {
  const auto in = RandomBytes(20, 77);
  const std::string expected = LinedBase64(OracleEncrypt(in));
  Arrange({kNoProvider, kNoProvider});
  EncodeApp app(&FakeAcquire);

  unsigned char result = 1;
  EXPECT_EQ(EncodeWith(app, in, &result), "");
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(app.key().empty());
  EXPECT_EQ(gCalls.size(), 2u);

  // Every export runs the same frame: a failed set-up is retried by whichever comes next.
  Arrange({kNoProvider, kNoProvider});
  char md5[32];
  int capacity = sizeof md5;
  const int len = static_cast<int>(in.size());
  EXPECT_EQ(app.getMD5(md5, &capacity, in.data(), &len), 0);
  EXPECT_TRUE(app.key().empty());
  EXPECT_EQ(gCalls.size(), 2u);

  Arrange({});
  EXPECT_EQ(EncodeWith(app, in, &result), expected);
  EXPECT_EQ(result, 1);
  EXPECT_FALSE(app.key().empty());
  EXPECT_EQ(gCalls.size(), 1u);

  // Once set up, the key is kept: no further acquire.
  Arrange({kNoProvider, kNoProvider});
  EXPECT_EQ(EncodeWith(app, in, &result), expected);
  EXPECT_TRUE(gCalls.empty());
}

// A fault inside the set-up ends the call with 0 and leaves no key: the next call sets the
// key up from the start and enciphers as the model does.
TEST(CipherKeySetUp, FaultInsideTheSetUpLeavesNoKey) {
  const auto in = RandomBytes(20, 78);
  const std::string expected = LinedBase64(OracleEncrypt(in));
  const struct {
    const char* what;
    SetUpFault fault;
  } cases[] = {
      {"before the context", SetUpFault::BeforeContext},
      {"after the context", SetUpFault::AfterContext},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EncodeApp app(&FakeAcquire);
    Arrange({}, c.fault);
    unsigned char result = 1;
    EXPECT_EQ(EncodeWith(app, in, &result), "");
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(app.key().empty());

    Arrange({});
    EXPECT_EQ(EncodeWith(app, in, &result), expected);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(gCalls.size(), 1u);
  }
}

const unsigned char kIn[3] = {1, 2, 3};
const int kInLen = 3;

TEST(CipherKeySetUp, EveryExportRunsTheSetUpFirst) {
  const struct {
    const char* what;
    unsigned char (*call)(EncodeApp&);
  } exports[] = {
      {"Decode",
       [](EncodeApp& app) -> unsigned char {
         unsigned char out[16];
         int cap = 16;
         const std::string t = LinedBase64(OracleEncrypt({1, 2, 3}));
         return app.decode(out, &cap, t.data(), static_cast<int>(t.size()));
       }},
      {"Encode",
       [](EncodeApp& app) -> unsigned char {
         char out[16];
         int cap = 16;
         return app.encode(out, &cap, kIn, kInLen);
       }},
      {"getMD5",
       [](EncodeApp& app) -> unsigned char {
         char out[26];
         int cap = 26;
         return app.getMD5(out, &cap, kIn, &kInLen);
       }},
      {"hmac_V2",
       [](EncodeApp& app) -> unsigned char {
         unsigned char out[64];
         int cap = 64;
         return app.hmacV2(out, &cap, kIn, &kInLen);
       }},
  };
  for (const auto& e : exports) {
    SCOPED_TRACE(e.what);
    Arrange({kNoProvider, kNoProvider});
    EncodeApp app(&FakeAcquire);
    EXPECT_EQ(e.call(app), 0);
    EXPECT_TRUE(app.key().empty());
    Arrange({});
    EXPECT_EQ(e.call(app), 1);
    EXPECT_FALSE(app.key().empty());
    EXPECT_EQ(gCalls.size(), 1u);
  }
}

}  // namespace
