// Straightforward base64 used as the tests' reference: plain RFC 4648 text, then line breaks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

inline std::string PlainBase64(const std::vector<uint8_t>& data) {
  static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string s;
  size_t i = 0;
  for (; i + 3 <= data.size(); i += 3) {
    s += kChars[data[i] >> 2];
    s += kChars[((data[i] & 3) << 4) | (data[i + 1] >> 4)];
    s += kChars[((data[i + 1] & 15) << 2) | (data[i + 2] >> 6)];
    s += kChars[data[i + 2] & 63];
  }
  if (data.size() - i == 1) {
    s += kChars[data[i] >> 2];
    s += kChars[(data[i] & 3) << 4];
    s += "==";
  } else if (data.size() - i == 2) {
    s += kChars[data[i] >> 2];
    s += kChars[((data[i] & 3) << 4) | (data[i + 1] >> 4)];
    s += kChars[(data[i + 1] & 15) << 2];
    s += '=';
  }
  return s;
}

// 76-character lines joined by CR LF, and one more CR LF after a positive multiple of 57 bytes.
inline std::string LinedBase64(const std::vector<uint8_t>& data) {
  const std::string plain = PlainBase64(data);
  std::string s;
  for (size_t i = 0; i < plain.size(); i += 76) {
    if (i > 0) s += "\r\n";
    s += plain.substr(i, 76);
  }
  if (!data.empty() && data.size() % 57 == 0) s += "\r\n";
  return s;
}

inline std::string WithoutLineBreaks(const std::string& text) {
  std::string s;
  for (char c : text)
    if (c != '\r' && c != '\n') s += c;
  return s;
}
