// The Encode library's application object: holds the one cipher key and runs every export's frame.
#include "EncodeApp.h"

namespace {

// The key is the first 8 bytes of the MD5 of these 8 characters (no terminator).
constexpr char kPassPhrase[] = "qe#@vt41";
constexpr char kInitVector[] = "47kw93*!";

}  // namespace

EncodeApp::EncodeApp(CipherKey::AcquireFn acquire) : key_(acquire) {}

template <class Body>
unsigned char EncodeApp::run(Body body) noexcept {
  try {
    // A failed set-up leaves the key empty, so the next call tries again.
    if (key_.empty() &&
        !key_.initKey({kPassPhrase, sizeof kPassPhrase - 1}, {kInitVector, sizeof kInitVector - 1}))
      return 0;
    return body() ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

unsigned char EncodeApp::decode(unsigned char* out, int* capacity, const char* text, int textLen) noexcept {
  return run([&] { return key_.decryptText(out, capacity, text, textLen); });
}

unsigned char EncodeApp::encode(char* out, int* capacity, const unsigned char* in, int inLen) noexcept {
  return run([&] { return key_.encryptToText(out, capacity, in, inLen); });
}

unsigned char EncodeApp::getMD5(char* out, int* capacity, const unsigned char* in,
                                const int* inLen) noexcept {
  return run([&] { return key_.digestToText(out, capacity, in, inLen); });
}

unsigned char EncodeApp::hmacV2(unsigned char* out, int* capacity, const unsigned char* in,
                                const int* inLen) noexcept {
  return run([&] { return key_.digestEncrypt(out, capacity, in, inLen); });
}
