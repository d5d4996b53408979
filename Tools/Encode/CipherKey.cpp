// The Encode library's one cipher key: CryptoAPI DES-CBC key set-up and the bodies of the exports.
#include "CipherKey.h"

#include <openssl/evp.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "Base64.h"

namespace {

constexpr char kEnhancedProvider[] = "Microsoft Enhanced Cryptographic Provider v1.0";

struct MdCtxFree {
  void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};

// MD5 of the input into the start of the zeroed 64-byte digest buffer.
bool Md5Digest(const unsigned char* in, int inLen, unsigned char (&digest)[CipherKey::kDigestBufferSize]) {
  std::memset(digest, 0, sizeof digest);
  std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
  if (!ctx) return false;
  EVP_MD_CTX_set_flags(ctx.get(), EVP_MD_CTX_FLAG_ONESHOT);
  unsigned int len = 0;
  return EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr) == 1 &&
         EVP_DigestUpdate(ctx.get(), in, static_cast<size_t>(inLen)) == 1 &&
         EVP_DigestFinal_ex(ctx.get(), digest, &len) == 1 && len == CipherKey::kDigestLength;
}

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

  HCRYPTPROV provider = 0;
  HCRYPTHASH hash = 0;
  HCRYPTKEY key = 0;
  auto cleanUp = [&](bool ok) {
    // The hash is only needed to derive the key.
    if (hash) CryptDestroyHash(hash);
    if (!ok) {
      if (key) CryptDestroyKey(key);
      if (provider) CryptReleaseContext(provider, 0);
    }
    return ok;
  };

  if (!acquireContext(&provider)) return cleanUp(fail("Error %x during CryptAcquireContext!\n"));
  if (!CryptCreateHash(provider, CALG_MD5, 0, 0, &hash)) {
    hash = 0;
    return cleanUp(fail("Error %x during CryptCreateHash!\n"));
  }
  if (!CryptHashData(hash, reinterpret_cast<const BYTE*>(passPhrase.data()),
                     static_cast<DWORD>(passPhrase.size()), 0))
    return cleanUp(fail("Error %x during CryptHashData!\n"));
  if (!CryptDeriveKey(provider, CALG_DES, hash, 0, &key)) {
    key = 0;
    return cleanUp(fail("Error %x during CryptDeriveKey!\n"));
  }
  if (!CryptSetKeyParam(key, KP_IV, reinterpret_cast<const BYTE*>(initVector.data()), 0))
    return cleanUp(fail("Error %x during CryptSetKeyParam!\n"));

  cleanUp(true);
  provider_ = provider;
  key_ = key;
  return true;
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
  if (!Md5Digest(in, *inLen, digest)) return false;
  return base64Encode(digest, kDigestLength, out, capacity);
}

bool CipherKey::digestEncrypt(unsigned char* out, const int* capacity, const unsigned char* in,
                              const int* inLen) {
  if (!out || !capacity || !in || !inLen) return false;
  if (*capacity < kDigestBufferSize || *inLen < 0) return false;
  unsigned char digest[kDigestBufferSize];
  if (!Md5Digest(in, *inLen, digest)) return false;
  return encryptRaw(out, capacity, digest, kDigestLength);
}
