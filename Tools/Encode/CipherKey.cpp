// The Encode library's one cipher key: CryptoAPI DES-CBC key set-up and the bodies of the exports.
#include "CipherKey.h"

#include <openssl/evp.h>

#include <cstdio>
#include <cstring>
#include <utility>

#include "Base64.h"
#include "win/FaultGuard.h"

namespace {

constexpr char kEnhancedProvider[] = "Microsoft Enhanced Cryptographic Provider v1.0";

}  // namespace

CipherKey::CipherKey(AcquireFn acquire) : acquire_(acquire) {}

CipherKey::~CipherKey() {
  // The provider context is left to process clean-up: releasing it unloads the provider,
  // which must not happen while the loader runs this destructor.
  if (key_) CryptDestroyKey(key_);
}

bool CipherKey::fail(const char* format) {
  const DWORD error = GetLastError();
  std::snprintf(failure_, sizeof failure_, format, static_cast<unsigned>(error));
  return false;
}

bool CipherKey::acquireContext(HCRYPTPROV* provider) {
  if (acquire_(provider, nullptr, kEnhancedProvider, PROV_RSA_FULL, 0)) return true;
  // A user without a default container gets one made by the type's default provider.
  if (static_cast<HRESULT>(GetLastError()) == NTE_BAD_KEYSET &&
      acquire_(provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET))
    return true;
  if (acquire_(provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET)) return true;
  *provider = 0;
  return false;
}

bool CipherKey::initKey(std::string_view passPhrase, std::string_view initVector) {
  if (!empty()) return true;
  if (initVector.size() != 8) return false;

  // Every handle goes into setUp_ as it is made, where a fault cannot lose it.
  SetUp& s = setUp_;
  if (!acquireContext(&s.provider)) return failSetUp("Error %x during CryptAcquireContext!\n");
  if (!CryptCreateHash(s.provider, CALG_MD5, 0, 0, &s.hash)) {
    s.hash = 0;
    return failSetUp("Error %x during CryptCreateHash!\n");
  }
  if (!CryptHashData(s.hash, reinterpret_cast<const BYTE*>(passPhrase.data()),
                     static_cast<DWORD>(passPhrase.size()), 0))
    return failSetUp("Error %x during CryptHashData!\n");
  if (!CryptDeriveKey(s.provider, CALG_DES, s.hash, 0, &s.key)) {
    s.key = 0;
    return failSetUp("Error %x during CryptDeriveKey!\n");
  }
  if (!CryptSetKeyParam(s.key, KP_IV, reinterpret_cast<const BYTE*>(initVector.data()), 0))
    return failSetUp("Error %x during CryptSetKeyParam!\n");

  // Whole now: the handles leave the set-up and become the key.
  const SetUp made = std::exchange(setUp_, SetUp{});
  provider_ = made.provider;
  key_ = made.key;
  // The hash is only needed to derive the key.
  CryptDestroyHash(made.hash);
  return true;
}

bool CipherKey::failSetUp(const char* format) {
  fail(format);
  releaseSetUp();
  return false;
}

void CipherKey::releaseSetUp() {
  // Taken out first, so that no handle is released twice whatever faults below. A handle
  // may be the very thing that faulted (a provider that is none): each release has its own
  // guard, so that one fault does not keep the others.
  const SetUp s = std::exchange(setUp_, SetUp{});
  using qx::win::Guarded;
  if (s.hash) Guarded([&] { CryptDestroyHash(s.hash); });
  if (s.key) Guarded([&] { CryptDestroyKey(s.key); });
  if (s.provider) Guarded([&] { CryptReleaseContext(s.provider, 0); });
}

void CipherKey::dropUnfinished() {
  releaseSetUp();
  if (EVP_MD_CTX* ctx = std::exchange(digest_, nullptr)) qx::win::Guarded([&] { EVP_MD_CTX_free(ctx); });
}

bool CipherKey::md5Digest(const unsigned char* in, int inLen, unsigned char (&digest)[kDigestBufferSize]) {
  std::memset(digest, 0, sizeof digest);
  digest_ = EVP_MD_CTX_new();
  if (!digest_) return false;
  EVP_MD_CTX_set_flags(digest_, EVP_MD_CTX_FLAG_ONESHOT);
  unsigned int len = 0;
  const bool ok = EVP_DigestInit_ex(digest_, EVP_md5(), nullptr) == 1 &&
                  EVP_DigestUpdate(digest_, in, static_cast<size_t>(inLen)) == 1 &&
                  EVP_DigestFinal_ex(digest_, digest, &len) == 1 && len == kDigestLength;
  EVP_MD_CTX_free(digest_);
  digest_ = nullptr;
  return ok;
}

bool CipherKey::encipher(unsigned char* work, DWORD* cipherLen, const unsigned char* in, int inLen) {
  // The input must fit the work buffer with its padding; a longer one would overrun it.
  if (inLen < 0 || inLen > kMaxPlainLength) return false;
  std::memset(work, 0, kWorkBufferSize);
  std::memcpy(work, in, static_cast<size_t>(inLen));
  *cipherLen = static_cast<DWORD>(inLen);
  // Final, so the key goes back to its initialisation vector for the next call.
  return CryptEncrypt(key_, 0, TRUE, 0, work, cipherLen, kWorkBufferSize) != FALSE;
}

bool CipherKey::encryptToText(char* out, int* capacity, const unsigned char* in, int inLen) {
  if (!out || !capacity || *capacity <= 0 || !in) return false;
  unsigned char work[kWorkBufferSize];
  DWORD cipherLen = 0;
  if (!encipher(work, &cipherLen, in, inLen)) return false;
  return base64Encode(work, static_cast<int32_t>(cipherLen), out, capacity);
}

bool CipherKey::encryptRaw(unsigned char* out, const int* capacity, const unsigned char* in, int inLen) {
  if (!out || !capacity || *capacity <= 0 || !in) return false;
  unsigned char work[kWorkBufferSize];
  DWORD cipherLen = 0;
  if (!encipher(work, &cipherLen, in, inLen)) return false;
  // The cipher text and the zeros behind it; past the work buffer only zeros remain.
  const int fromWork = *capacity < kWorkBufferSize ? *capacity : kWorkBufferSize;
  std::memcpy(out, work, static_cast<size_t>(fromWork));
  std::memset(out + fromWork, 0, static_cast<size_t>(*capacity - fromWork));
  return true;
}

bool CipherKey::decryptText(unsigned char* out, int* capacity, const char* text, int textLen) {
  if (!out || !capacity || *capacity <= 0 || !text || textLen < 0) return false;
  if (!base64Decode(text, textLen, out, capacity)) return false;
  // No cipher text is shorter than one block; an empty one is not handed to the platform.
  if (*capacity == 0) return false;
  DWORD len = static_cast<DWORD>(*capacity);
  if (!CryptDecrypt(key_, 0, TRUE, 0, out, &len)) return false;
  *capacity = static_cast<int>(len);
  return true;
}

bool CipherKey::digestToText(char* out, int* capacity, const unsigned char* in, const int* inLen) {
  if (!out || !capacity || !in || !inLen || *inLen < 0) return false;
  unsigned char digest[kDigestBufferSize];
  if (!md5Digest(in, *inLen, digest)) return false;
  return base64Encode(digest, kDigestLength, out, capacity);
}

bool CipherKey::digestEncrypt(unsigned char* out, const int* capacity, const unsigned char* in,
                              const int* inLen) {
  if (!out || !capacity || !in || !inLen) return false;
  if (*capacity < kDigestBufferSize || *inLen < 0) return false;
  unsigned char digest[kDigestBufferSize];
  if (!md5Digest(in, *inLen, digest)) return false;
  return encryptRaw(out, capacity, digest, kDigestLength);
}
