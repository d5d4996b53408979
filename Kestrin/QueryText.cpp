// The record query's SQL texts.
#include "QueryText.h"

namespace qx::kestrin {
namespace {

void AddLike(std::string& out, const char* head, std::string_view text) {
  out += head;
  out += QuoteLiteralBody(text);
  out += "%') and ";
}

void AddRange(std::string& out, const char* column, std::string_view from, std::string_view to) {
  out += "(";
  out += column;
  out += ">=#";
  out += from;
  out += "# and ";
  out += column;
  out += " <=#";
  out += to;
  out += "#) and ";
}

}  // namespace

bool AnyConditionChecked(const QueryConditions& c) {
  return c.ckbN || c.ckbS || c.ckbM || c.ckbDate || c.ckbA || c.ckbI || c.ckbD || c.ckbAll ||
         c.ckbD2;
}

std::string QuoteLiteralBody(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    out += ch;
    if (ch == '\'') out += '\'';
  }
  return out;
}

std::string BuildWhereClause(const QueryConditions& c) {
  if (c.ckbAll) return {};
  std::string w = " where ";
  // The blanks before "like" differ between columns; the statements keep them as they are.
  if (c.ckbN) AddLike(w, "(FName  like '%", c.edtN);
  if (c.ckbS) AddLike(w, "(FSex like '%", c.edtS);
  if (c.ckbM) AddLike(w, "(FMz like '%", c.edtM);
  if (c.ckbDate) AddRange(w, "FBirth", c.dtpDS, c.dtpDE);
  if (c.ckbA) AddLike(w, "(FAddress  like '%", c.edtA);
  if (c.ckbI) AddLike(w, "(FNo like '%", c.edtI);
  if (c.ckbD) AddLike(w, "(FSendDep  like '%", c.edtD);
  if (c.ckbD2) AddRange(w, "FDate", c.edtD1, c.edtD2);
  w += " 1=1";
  return w;
}

std::string BrowseSql(std::string_view where) {
  std::string s = "select *  from TLog ";
  s += where;
  return s;
}

std::string ExportSql(std::string_view where) {
  std::string s =
      "select FId as ID,FNo as 身份号码,FName as 姓名,"
      "FSex as 性别,FMz as 民族,FBirth as 出生日期,"
      "FAddress as 地址,FSendDep as 发证机关,"
      "FDate as 记录时间  from TLog ";
  s += where;
  return s;
}

std::string PickerDateText(std::string_view date, std::string_view time, bool atMidnight) {
  std::string s(date);
  if (!atMidnight) {
    s += ' ';
    s += time;
  }
  return s;
}

}  // namespace qx::kestrin
