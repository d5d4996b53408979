// Exported functions of Encode.dll and the library's application object.
#include "Encode.h"
#include "EncodeApp.h"

static_assert(sizeof(int) == 4, "counts are signed 32-bit");

namespace {

// Built when the library is loaded, destroyed (with the key) when it is unloaded.
EncodeApp theApp;

}  // namespace

extern "C" unsigned char __cdecl Decode(unsigned char* out, int* capacity, const char* text, int textLen) {
  try {
    return theApp.decode(out, capacity, text, textLen);
  } catch (...) {
    return 0;
  }
}

extern "C" unsigned char __cdecl Encode(char* out, int* capacity, const unsigned char* in, int inLen) {
  try {
    return theApp.encode(out, capacity, in, inLen);
  } catch (...) {
    return 0;
  }
}

extern "C" unsigned char __cdecl getMD5(char* out, int* capacity, const unsigned char* in, const int* inLen) {
  try {
    return theApp.getMD5(out, capacity, in, inLen);
  } catch (...) {
    return 0;
  }
}

extern "C" unsigned char __cdecl hmac_V2(unsigned char* out, int* capacity, const unsigned char* in,
                                         const int* inLen) {
  try {
    return theApp.hmacV2(out, capacity, in, inLen);
  } catch (...) {
    return 0;
  }
}
