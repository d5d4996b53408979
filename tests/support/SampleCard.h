// The card most tests read: a man of the Han nation with a dated validity.
#pragma once
#include "card/CardTextBlock.h"

namespace qx::test {

inline qx::card::CardTextInput SampleCardInput() {
  qx::card::CardTextInput c;
  c.name = u"张三";
  c.sex = u"1";
  c.nation = u"01";
  c.birth = u"19800101";
  c.address = u"北京市东城区景山前街4号";
  c.id = u"110101198001010011";
  c.authority = u"北京市公安局东城分局";
  c.validStart = u"20060101";
  c.validEnd = u"20260101";
  return c;
}

}  // namespace qx::test
