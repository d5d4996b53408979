// Scenario texts shared by the simulator DLL tests.
#pragma once

namespace simtest {

// Two good cards and a third whose photo is bad; USB ports 1001-1002 and serial port 3.
inline constexpr char kThreeCards[] =
    "[reader]\n"
    "ports = 1001-1002, 3\n"
    "[card]\n"
    u8"name = 张三\n"
    "sex = 1\n"
    "nation = 01\n"
    "birth = 19800101\n"
    u8"address = 北京市东城区景山前街4号\n"
    "id = 110101198001010011\n"
    u8"authority = 北京市公安局东城分局\n"
    "valid_start = 20060101\n"
    u8"valid_end = 长期\n"
    u8"newadd = 北京市海淀区中关村大街1号 \n"
    "[card]\n"
    u8"name = 欧阳娜娜娜娜娜娜娜娜娜娜娜娜娜\n"
    "sex = 2\n"
    "nation = 56\n"
    "birth = 19991231\n"
    u8"address = 云南省景洪市\n"
    "id = 53280119991231002X\n"
    u8"authority = 景洪市公安局\n"
    "valid_start = 20160101\n"
    "valid_end = 20360101\n"
    "chip_hex = 00 0A FF 10\n"
    "[card]\n"
    u8"name = 李四\n"
    "sex = 1\n"
    "nation = 03\n"
    "id = 110101199002020022\n"
    "photo = bad\n";

}  // namespace simtest
