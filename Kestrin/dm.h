// Unit dm: the data module with the log database connection and the desk's two queries, and
// the in-memory card record that carries a card between the windows and the log store.
#pragma once

#include <string>

#include "Picture.h"
#include "data/Connection.h"
#include "data/Query.h"

namespace qx::kestrin {

// One card; every text is code page 936.
class TShowCardLine {
 public:
  TShowCardLine() = default;
  TShowCardLine(const TShowCardLine&) = delete;
  TShowCardLine& operator=(const TShowCardLine&) = delete;

  std::string PersonName;
  std::string SexText;
  std::string NationText;
  std::string IdNumber;
  std::string BirthDate;    // YYYY-MM-DD
  std::string AddressText;
  std::string ValidFrom;    // YYYY.MM.DD
  std::string ValidTo;
  std::string Authority;
  std::string RecordTime;   // yyyy-mm-dd hh:nn:ss
  Picture CardPhoto;
};

class TdataMd {
 public:
  TdataMd();
  TdataMd(const TdataMd&) = delete;
  TdataMd& operator=(const TdataMd&) = delete;

  // Adds the card to TLog through qrylog, opening it on the whole table when it is closed.
  // Errors of the database or the photo pass to the caller.
  void AppendLogRecord(const TShowCardLine& card);
  // Fills fields 1 to 9 and the photo from qrylog's current row; nothing when it is closed.
  void LoadLogRecord(TShowCardLine& card);
  // True while AppendLogRecord runs: a control bound to qrylog that fails to show what the append
  // opens or stores reports that itself, for the card is logged all the same.
  bool Appending() const { return appending_; }

  // Declared first: the queries go before their connection.
  data::Connection adoLog;
  data::Query qrylog;     // default cursor: browsing, inserting, deleting, printing
  data::Query qryOutPut;  // static cursor: export only

 private:
  bool appending_ = false;
};

}  // namespace qx::kestrin
