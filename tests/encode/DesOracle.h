// Independent model of the Encode library's cipher for the tests, on OpenSSL's low-level DES.
#pragma once

#include <cstdint>
#include <vector>

// MD5 of the data.
std::vector<uint8_t> OracleMd5(const std::vector<uint8_t>& data);

// DES-CBC with PKCS#5 padding, key = first 8 bytes of MD5("qe#@vt41"), IV "47kw93*!".
std::vector<uint8_t> OracleEncrypt(const std::vector<uint8_t>& plain);

// The same cipher on whole blocks without adding padding (for building bad cipher texts).
std::vector<uint8_t> OracleEncryptBlocks(const std::vector<uint8_t>& blocks);

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed);
