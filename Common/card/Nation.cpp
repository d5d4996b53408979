// The nation name table.
#include "card/Nation.h"

namespace qx::card {

const std::array<std::u16string_view, kNationCount> NationNames = {
    u"汉",     u"蒙古",   u"回",     u"藏",       u"维吾尔", u"苗",     u"彝",
    u"壮",     u"布依",   u"朝鲜",   u"满",       u"侗",     u"瑶",     u"白",
    u"土家",   u"哈尼",   u"哈萨克", u"傣",       u"黎",     u"傈僳",   u"佤",
    u"畲",     u"高山",   u"拉祜",   u"水",       u"东乡",   u"纳西",   u"景颇",
    u"柯尔克孜", u"土",   u"达斡尔", u"仫佬",     u"羌",     u"布朗",   u"撒拉",
    u"毛南",   u"仡佬",   u"锡伯",   u"阿昌",     u"普米",   u"塔吉克", u"怒",
    u"乌孜别克", u"俄罗斯", u"鄂温克", u"德昂",   u"保安",   u"裕固",   u"京",
    u"塔塔尔", u"独龙",   u"鄂伦春", u"赫哲",     u"门巴",   u"珞巴",   u"基诺",
};

std::u16string_view NationName(int code) {
  if (code < 1 || code > kNationCount) return {};
  return NationNames[static_cast<size_t>(code - 1)];
}

}  // namespace qx::card
