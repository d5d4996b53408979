// The Encode library's one cipher key: CryptoAPI DES-CBC key set-up and the bodies of the exports.
#pragma once

#include <windows.h>
// Kept out of windows.h by WIN32_LEAN_AND_MEAN; needs windows.h first.
#include <wincrypt.h>

#include <openssl/types.h>

#include <string_view>

class CipherKey {
 public:
  // The acquire step is injectable so that tests can make the set-up fail.
  using AcquireFn = BOOL(WINAPI*)(HCRYPTPROV*, LPCSTR, LPCSTR, DWORD, DWORD);

  // Enciphering works in place in a buffer of this size.
  static constexpr int kWorkBufferSize = 20001;
  // Largest input whose cipher text (8 * (n / 8 + 1) bytes) still fits the work buffer.
  static constexpr int kMaxPlainLength = (kWorkBufferSize / 8) * 8 - 1;
  static constexpr int kDigestBufferSize = 64;
  static constexpr int kDigestLength = 16;
  static constexpr int kDigestTextCapacity = 26;

  explicit CipherKey(AcquireFn acquire = &CryptAcquireContextA);
  ~CipherKey();
  CipherKey(const CipherKey&) = delete;
  CipherKey& operator=(const CipherKey&) = delete;

  bool empty() const { return key_ == 0; }

  // Hashes the pass phrase with MD5, derives the DES key and sets its initialisation vector.
  // On failure everything made is released, the key stays empty and failureText() says why.
  bool initKey(std::string_view passPhrase, std::string_view initVector);

  // Releases what a call cut short by a fault left behind: the handles of a set-up under way
  // and a digest context. The key itself is only ever set whole, so it stays as it was.
  void dropUnfinished();

  bool encryptToText(char* out, int* capacity, const unsigned char* in, int inLen);
  bool encryptRaw(unsigned char* out, const int* capacity, const unsigned char* in, int inLen);
  bool decryptText(unsigned char* out, int* capacity, const char* text, int textLen);
  bool digestToText(char* out, int* capacity, const unsigned char* in, const int* inLen);
  bool digestEncrypt(unsigned char* out, const int* capacity, const unsigned char* in, const int* inLen);

  // Text of the last failed set-up; it never leaves the library.
  const char* failureText() const { return failure_; }

 private:
  // Handles that a set-up has made so far; they become the key only once it is whole.
  struct SetUp {
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    HCRYPTKEY key = 0;
  };

  bool acquireContext(HCRYPTPROV* provider);
  bool fail(const char* format);
  // Records the failure text, then releases the set-up's handles.
  bool failSetUp(const char* format);
  void releaseSetUp();
  // MD5 of the input into the start of the zeroed digest buffer.
  bool md5Digest(const unsigned char* in, int inLen, unsigned char (&digest)[kDigestBufferSize]);
  // Enciphers in into work (zeroed first); the cipher length goes to cipherLen.
  bool encipher(unsigned char* work, DWORD* cipherLen, const unsigned char* in, int inLen);

  AcquireFn acquire_;
  // Kept for the key's lifetime: the key belongs to this context.
  HCRYPTPROV provider_ = 0;
  HCRYPTKEY key_ = 0;
  // Held here rather than on the stack, so that dropUnfinished() finds what a fault left.
  SetUp setUp_;
  EVP_MD_CTX* digest_ = nullptr;
  char failure_[256] = {};
};
