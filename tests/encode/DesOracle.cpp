// Independent model of the Encode library's cipher for the tests, on OpenSSL's low-level DES.
#define OPENSSL_SUPPRESS_DEPRECATED
#include "DesOracle.h"

#include <openssl/des.h>
#include <openssl/evp.h>

#include <cstring>
#include <random>
#include <stdexcept>

std::vector<uint8_t> OracleMd5(const std::vector<uint8_t>& data) {
  std::vector<uint8_t> digest(EVP_MAX_MD_SIZE);
  unsigned int len = 0;
  if (EVP_Digest(data.data(), data.size(), digest.data(), &len, EVP_md5(), nullptr) != 1)
    throw std::runtime_error("EVP_Digest failed");
  digest.resize(len);
  return digest;
}

std::vector<uint8_t> OracleEncryptBlocks(const std::vector<uint8_t>& blocks) {
  if (blocks.size() % 8 != 0) throw std::invalid_argument("whole blocks only");
  const std::string phrase = "qe#@vt41";
  const std::vector<uint8_t> hash = OracleMd5({phrase.begin(), phrase.end()});
  DES_cblock key;
  std::memcpy(key, hash.data(), 8);
  DES_key_schedule schedule;
  DES_set_key_unchecked(&key, &schedule);
  DES_cblock iv;
  std::memcpy(iv, "47kw93*!", 8);
  std::vector<uint8_t> out(blocks.size());
  if (!blocks.empty())
    DES_ncbc_encrypt(blocks.data(), out.data(), static_cast<long>(blocks.size()), &schedule, &iv,
                     DES_ENCRYPT);
  return out;
}

std::vector<uint8_t> OracleEncrypt(const std::vector<uint8_t>& plain) {
  std::vector<uint8_t> padded = plain;
  const size_t pad = 8 - plain.size() % 8;
  padded.insert(padded.end(), pad, static_cast<uint8_t>(pad));
  return OracleEncryptBlocks(padded);
}

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}
