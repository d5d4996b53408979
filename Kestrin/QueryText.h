// The record query's SQL texts: the selection built from the checked conditions, and the
// browsing and export statements over it. Texts are code page 936 bytes.
#pragma once

#include <string>
#include <string_view>

namespace qx::kestrin {

// What the condition boxes of the record query hold. The date texts are the pickers' values
// as the platform writes them in the user's locale (see PickerDateText).
struct QueryConditions {
  bool ckbN = false, ckbS = false, ckbM = false, ckbDate = false, ckbA = false, ckbI = false,
       ckbD = false, ckbD2 = false, ckbAll = false;
  std::string edtN, edtS, edtM, edtA, edtI, edtD;
  std::string dtpDS, dtpDE;  // birth date range
  std::string edtD1, edtD2;  // record date range
};

bool AnyConditionChecked(const QueryConditions& c);

// The text as the body of a '...' literal: every ' doubled, so whatever the operator typed
// stays inside the literal. GBK trail bytes are never 0x27, so bytes can be scanned singly.
std::string QuoteLiteralBody(std::string_view text);

// "" for "全部" (it wins over any other box); else " where " + the checked conditions' clauses
// + " 1=1". The caller checks AnyConditionChecked first.
std::string BuildWhereClause(const QueryConditions& c);

// "select *  from TLog " + where.
std::string BrowseSql(std::string_view where);
// The export statement with the sheet's Chinese column titles as aliases, + where.
std::string ExportSql(std::string_view where);

// A picker's value as it enters a date literal: the short date, and the long time behind a
// blank only when the time is not midnight.
std::string PickerDateText(std::string_view date, std::string_view time, bool atMidnight);

}  // namespace qx::kestrin
