// Base64 text codec of the Encode library: standard alphabet, 76-character lines joined by CR LF.
#pragma once

#include <cstdint>

// Capacity that base64Encode demands for n bytes; always at least 2 more than it writes.
// -1 for a negative n or a demand that does not fit in 32 bits (no capacity can meet it).
int32_t base64RequiredLength(int32_t n);

// Writes the text of n bytes into out; *capacity holds the buffer size and becomes the
// number of characters written. Fails, writing nothing, on a missing pointer, a negative n
// or a capacity below base64RequiredLength(n). No NUL is written.
bool base64Encode(const uint8_t* data, int32_t n, char* out, int32_t* capacity);

// Reads exactly length characters, skipping every byte outside the alphabet. *capacity
// holds the buffer size and becomes the number of bytes the text decodes to, also when
// they do not fit; then only the groups that fitted are written and the result is false.
// A missing out writes nothing, as if its capacity were 0.
bool base64Decode(const char* text, int32_t length, uint8_t* out, int32_t* capacity);
