// The Encode library's application object: holds the one cipher key and runs every export's frame.
#include "EncodeApp.h"

#include "win/FaultGuard.h"

namespace {

// The key is the first 8 bytes of the MD5 of these 8 characters (no terminator).
constexpr char kPassPhrase[] = "qe#@vt41";
constexpr char kInitVector[] = "47kw93*!";

}  // namespace

EncodeApp::EncodeApp(CipherKey::AcquireFn acquire) : key_(acquire) {}

template <class Body>
unsigned char EncodeApp::run(Body body) noexcept {
  bool ok = false;
  // A hardware fault (a caller's pointer that points nowhere) ends the call like any other
  // failure; the i686 compiler's catch (...) would not see it.
  const bool calm = qx::win::Guarded([&] {
    // A failed set-up leaves the key empty, so the next call tries again.
    if (key_.empty() &&
        !key_.initKey({kPassPhrase, sizeof kPassPhrase - 1}, {kInitVector, sizeof kInitVector - 1}))
      return;
    ok = body();
  });
  if (!calm) {
    key_.dropUnfinished();
    return 0;
  }
  return ok ? 1 : 0;
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
