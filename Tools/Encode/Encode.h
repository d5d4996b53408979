// Exported interface of Encode.dll: DES-CBC text cipher and MD5 digests behind a one-byte result.
#pragma once

// Callers link the import library; the DLL itself exports by its .def file.
#ifdef QX_ENCODE_BUILD
#define QX_ENCODE_API
#else
#define QX_ENCODE_API __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Every function returns 1 on success and 0 on failure. The second argument points to the
// capacity of the caller's output buffer; no output is terminated by a NUL.

// Deciphers base64 text of textLen characters; *capacity becomes the number of plain bytes
// (after a too-small capacity: the number of cipher bytes the text decodes to).
QX_ENCODE_API unsigned char __cdecl Decode(unsigned char* out, int* capacity, const char* text, int textLen);

// Enciphers inLen bytes (at most 19999) into base64 text in lines of 76 characters
// joined by CR LF; *capacity becomes the text's length.
QX_ENCODE_API unsigned char __cdecl Encode(char* out, int* capacity, const unsigned char* in, int inLen);

// The MD5 of *inLen bytes as 24 base64 characters; needs a capacity of 26; *capacity becomes 24.
QX_ENCODE_API unsigned char __cdecl getMD5(char* out, int* capacity, const unsigned char* in,
                                           const int* inLen);

// The enciphered MD5 of *inLen bytes: 24 cipher bytes, then zeros up to *capacity (at least 64),
// which is left unchanged.
QX_ENCODE_API unsigned char __cdecl hmac_V2(unsigned char* out, int* capacity, const unsigned char* in,
                                            const int* inLen);

#ifdef __cplusplus
}
#endif
