// The Encode library's application object: holds the one cipher key and runs every export's frame.
#pragma once

#include "CipherKey.h"

class EncodeApp {
 public:
  explicit EncodeApp(CipherKey::AcquireFn acquire = &CryptAcquireContextA);
  EncodeApp(const EncodeApp&) = delete;
  EncodeApp& operator=(const EncodeApp&) = delete;

  // Bodies of the exports, behind the frame: set the key up if it is empty, then run the body.
  // Each returns 1 on success and 0 on any failure, a hardware fault included; nothing is thrown.
  unsigned char decode(unsigned char* out, int* capacity, const char* text, int textLen) noexcept;
  unsigned char encode(char* out, int* capacity, const unsigned char* in, int inLen) noexcept;
  unsigned char getMD5(char* out, int* capacity, const unsigned char* in, const int* inLen) noexcept;
  unsigned char hmacV2(unsigned char* out, int* capacity, const unsigned char* in, const int* inLen) noexcept;

  const CipherKey& key() const { return key_; }

 private:
  template <class Body>
  unsigned char run(Body body) noexcept;

  CipherKey key_;
};
