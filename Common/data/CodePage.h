// The desk's texts are code page 936 (GBK); the store holds UTF-8, as an OLE DB provider hands
// Unicode columns to an ANSI program. These convert at the data layer's edge.
#pragma once

#include <string>
#include <string_view>

namespace qx::data {

// Bytes that are not text of the source encoding become a replacement character; ASCII
// passes unchanged (the fast path for numbers and dates).
std::string Utf8FromCp936(std::string_view gbk);
std::string Cp936FromUtf8(std::string_view utf8);

}  // namespace qx::data
