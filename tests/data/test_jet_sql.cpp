// Jet dialect translation.
#include <gtest/gtest.h>

#include "data/DataError.h"
#include "data/JetSql.h"

#ifdef _WIN32
#include "win/RunTimeError.h"
#endif

using namespace qx::data;

TEST(JetSql, Translation) {
  struct Case {
    const char* jet;
    const char* sqlite;
  } cases[] = {
      // The record query's own texts.
      {"select *  from TLog  where (FBirth>=#1980-1-1# and FBirth <=#1980/12/31#) and  1=1",
       "select *  from TLog  where (FBirth>='1980-01-01' and FBirth <='1980-12-31 00:00:00') and  1=1"},
      {"(FDate>=#2009-03-02# and FDate <=#2009-03-03#) and ",
       "(FDate>='2009-03-02' and FDate <='2009-03-03 00:00:00') and "},
      // Times, US order, AM/PM.
      {"FDate<=#2010-12-31 23:59:59#", "FDate<='2010-12-31 23:59:59'"},
      {"FDate < #12/31/2010 9:05#", "FDate < '2010-12-31 09:05:00'"},
      {"FDate=#2010/2/28 12:00:00 AM#", "FDate='2010-02-28'"},
      {"FDate>#2010-2-28 12:30 pm#", "FDate>'2010-02-28 12:30:00'"},
      {"FDate >  #2000-02-29#", "FDate >  '2000-02-29 00:00:00'"},
      {"FDate<>#2000-02-29#", "FDate<>'2000-02-29'"},
      // Quoted text is never read: '#', quotes and GBK bytes pass as they are.
      {"FName like '%#1#%' and FNo='it''s #2010-1-1#'", "FName like '%#1#%' and FNo='it''s #2010-1-1#'"},
      {"[odd #name]=\"#x#\"", "[odd #name]=\"#x#\""},
      {"FName like '%\xD5\xC5%'", "FName like '%\xD5\xC5%'"},
      {"select FNo as \xC9\xED\xB7\xDD from TLog", "select FNo as \xC9\xED\xB7\xDD from TLog"},
      // A trail byte 0x5B is not the start of a bracketed name.
      {"select 1 as \x81\x5B, #2001-01-01# as d", "select 1 as \x81\x5B, '2001-01-01' as d"},
      // A lead byte without a trail byte stands alone: the quote behind it ends the text, as
      // SQLite reads it.
      {"FName like '%\xB0' and FBirth=#2001-01-01#", "FName like '%\xB0' and FBirth='2001-01-01'"},
  };
  for (const Case& c : cases) EXPECT_EQ(TranslateJetSql(c.jet), c.sqlite) << c.jet;
}

TEST(JetSql, RejectedLiterals) {
  for (const char* bad : {"FDate>=#2010-13-01#", "FDate>=#2010-02-30#", "FDate>=#2009-02-29#",
                          "FDate>=#10-1-1#", "FDate>=#2010-1-1 24:00#", "FDate>=#2010-1-1 10:61#",
                          "FDate>=#2010-1-1 13:00 PM#", "FDate>=#2010-1-1x#", "FDate>=#2010.1.1#",
                          "FDate>=##", "FDate>=#2010-1-1", "FName='open"})
    EXPECT_THROW(TranslateJetSql(bad), DataError) << bad;
}

// The literal comes from the user's date format, which may hold Chinese: the message is UTF-8
// throughout, as every message of the data layer, and shows as written.
TEST(JetSql, RejectedLiteralIsNamedInTheMessage) {
  try {
    TranslateJetSql("FDate>=#2009\xC4\xEA" "3\xD4\xC2" "2\xC8\xD5#");
    FAIL() << "no error";
  } catch (const DataError& e) {
    EXPECT_EQ(std::string(e.what()), u8"无效的日期常量 #2009年3月2日#");
#ifdef _WIN32
    EXPECT_EQ(qx::win::ErrorText(e), L"无效的日期常量 #2009年3月2日#");
#endif
  }
}

TEST(JetSql, KeySelect) {
  struct Case {
    const char* sql;
    const char* keys;  // "" : the rows have no keys to read them by later
  } cases[] = {
      {"select *  from TLog  where (FName  like '%a%') and  1=1",
       "SELECT rowid from TLog  where (FName  like '%a%') and  1=1"},
      {"select FId as ID,FNo as \xE8\xBA\xAB,FDate as d  from TLog ", "SELECT rowid from TLog "},
      {"SELECT (select 1 from T) as x, 'from' as y FROM TLog", "SELECT rowid FROM TLog"},
      {"select [from], \"from\" from TLog -- from\n where 1", "SELECT rowid from TLog -- from\n where 1"},
      {"select distinct FName from TLog", ""},
      {"select all FName from TLog", ""},
      {"select FName from TLog union select FNo from TLog", ""},
      {"select FName from TLog group by FName", ""},
      {"with t as (select 1) select * from t", ""},
      {"select 1", ""},
      {"select 'unterminated from TLog", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(KeySelectSql(c.sql), c.keys) << c.sql;
}
