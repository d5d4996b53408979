// What the record query's export is expected to hold, shared by the export and window tests.
#pragma once

#include <array>
#include <string>

#include "QueryText.h"

namespace {

// ID 身份号码 姓名 性别 民族 出生日期 地址 发证机关 记录时间, code page 936.
const std::array<std::string, 9> kExportHeaders = {
    "ID",
    "\xC9\xED\xB7\xDD\xBA\xC5\xC2\xEB",
    "\xD0\xD5\xC3\xFB",
    "\xD0\xD4\xB1\xF0",
    "\xC3\xF1\xD7\xE5",
    "\xB3\xF6\xC9\xFA\xC8\xD5\xC6\xDA",
    "\xB5\xD8\xD6\xB7",
    "\xB7\xA2\xD6\xA4\xBB\xFA\xB9\xD8",
    "\xBC\xC7\xC2\xBC\xCA\xB1\xBC\xE4",
};

}  // namespace
