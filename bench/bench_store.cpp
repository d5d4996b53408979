// The log store at the size of years of use (Windows builds, under Wine): lays a store of N rows
// with photos, then measures one figure per run, printed as "name value unit" lines.
//   bench_store lay    FOLDER ROWS   the store and its data link (skipped when it holds ROWS)
//   bench_store first  FOLDER        record query "全部" to the first rows painted; private bytes
//   bench_store query  FOLDER SQLOUT a like and date-range query through the data layer, every
//                                    field of every row read; its SQLite text goes to SQLOUT
//   bench_store export FOLDER        the export of all rows, against writing the same bytes raw
//   bench_store walk   FOLDER ROWS   a store of ROWS rows without photos laid anew, walked forward
//                                    as the export walks it: with none deleted, and with every
//                                    50th row deleted by another program after the open
#include <windows.h>
#include <psapi.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "QueryText.h"
#include "data/CodePage.h"
#include "data/JetSql.h"
#include "data/LogFixture.h"
#include "dbToExcel.h"
#include "qryLog.h"

using namespace qx::kestrin;
namespace fixture = qx::data::fixture;
using Clock = std::chrono::steady_clock;

namespace {

// 张/李/王 with a serial; record times spread over 2009-03-01 .. 2009-06-08, one day a thousand.
constexpr char kBrowseCondition[] =
    " where (FName  like '%\xD5\xC5\x31%') and (FDate>=#2009-03-02# and FDate <=#2009-03-12#) and  1=1";

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Wine leaves PrivateUsage at 0 and fills PagefileUsage from the anonymous memory instead.
double PrivateMb() {
  PROCESS_MEMORY_COUNTERS_EX pmc{};
  pmc.cb = sizeof pmc;
  ::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof pmc);
  return (pmc.PrivateUsage > 0 ? pmc.PrivateUsage : pmc.PagefileUsage) / 1048576.0;
}

// Bounded: a window that never validates keeps WM_PAINT coming.
void Pump() {
  MSG m;
  for (int i = 0; i < 1000 && ::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE); ++i) {
    ::TranslateMessage(&m);
    ::DispatchMessageW(&m);
  }
}

std::string Link(const std::string& folder) { return "FILE NAME=" + folder + "\\DBLink.udl"; }

int Lay(const std::string& folder, int rows) {
  const std::filesystem::path dir = qx::data::PathFromNative8(folder);
  std::filesystem::create_directories(dir);
  const auto db = dir / fixture::kLogDatabaseName;
  if (std::filesystem::exists(db)) {
    TdataMd dm;
    dm.adoLog.SetConnectionString(Link(folder));
    dm.adoLog.Open();
    // A store of an earlier lay whose photos were texts (a blob concatenation gives text) is laid anew.
    dm.qryOutPut.SetSql("select count(*) as n, (select typeof(FPhoto) from TLog where FId=1) as t from TLog");
    dm.qryOutPut.Open();
    if (dm.qryOutPut.Fields(0).AsInteger() == rows && dm.qryOutPut.Fields(1).AsString() == "blob") return 0;
  }
  const auto t0 = Clock::now();
  fixture::LayLogStore(dir);
  // A photo as the desk stores it: a 102 x 126 24-bit BMP, 38,862 bytes (54 of headers).
  const std::string sql =
      "with recursive n(i) as (select 1 union all select i+1 from n where i<" + std::to_string(rows) +
      ") insert into TLog (FNo,FName,FSex,FMZ,FBirth,FAddress,FBegin,FEnd,FSendDep,FDate,FPhoto) select "
      "printf('1101011980%08d', i), substr('张李王', 1 + i % 3, 1)||i, '男', '汉', '1980-01-01',"
      " '北京市东城区景山前街'||i||'号', '2005.01.01', '长期', '北京市公安局东城分局',"
      " strftime('%Y-%m-%d %H:%M:%S', '2009-03-01', '+'||(i*86)||' seconds'),"
      " cast(x'424DCE970000000000003600000028000000660000007E000000010018000000000098970000'||zeroblob(38824)"
      " as blob) from n";
  fixture::ExecSql(db, sql);
  std::printf("lay_rows %d rows\nlay_time %.0f ms\n", rows, Ms(Clock::now() - t0));
  return 0;
}

int First(const std::string& folder) {
  TdataMd dm;
  dm.adoLog.SetConnectionString(Link(folder));
  dm.adoLog.Open();
  const double before = PrivateMb();
  TForm_qryLog form(dm);
  if (!form.CreateModeless()) return 2;
  ::ShowWindow(form.hwnd(), SW_SHOW);
  ::UpdateWindow(form.hwnd());
  Pump();
  form.ckbAll.SetChecked(true);
  const auto t0 = Clock::now();
  ::SendMessageW(form.btnQry.hwnd(), BM_CLICK, 0, 0);
  ::UpdateWindow(form.hwnd());  // the grid paints its first rows
  ::UpdateWindow(form.DBLogQry.hwnd());
  const double ms = Ms(Clock::now() - t0);
  Pump();
  std::printf("first_rows %.1f ms\nrows %d\nfirst_row_name %s\nprivate_before %.1f MB\nprivate_after %.1f MB\n", ms,
              form.DBLogQry.RowCount(), qx::data::Utf8FromCp936(dm.qrylog.FieldByName("FName").AsString()).c_str(),
              before, PrivateMb());
  // Walk to the end as an operator paging down would, then the figure again.
  const int rows = form.DBLogQry.RowCount();
  ::SendMessageW(form.DBLogQry.hwnd(), LVM_ENSUREVISIBLE, rows > 0 ? rows - 1 : 0, FALSE);
  ::UpdateWindow(form.DBLogQry.hwnd());
  dm.qrylog.Last();
  Pump();
  std::printf("private_after_last %.1f MB\n", PrivateMb());
  return 0;
}

int Query(const std::string& folder, const std::string& sqlOut) {
  TdataMd dm;
  dm.adoLog.SetConnectionString(Link(folder));
  dm.adoLog.Open();
  const std::string jet = BrowseSql(kBrowseCondition);
  {
    std::ofstream out(qx::data::PathFromNative8(sqlOut), std::ios::binary);
    out << qx::data::Utf8FromCp936(qx::data::TranslateJetSql(jet)) << ";\n";
  }
  double best = 1e99;
  long long bytes = 0;
  int rows = 0;
  for (int run = 0; run < 3; ++run) {
    const auto t0 = Clock::now();
    qx::data::Query q(&dm.adoLog);
    q.SetSql(jet);
    q.Open();
    bytes = 0;
    for (q.First(); !q.Eof(); q.Next())
      for (int i = 0; i < q.FieldCount(); ++i)
        bytes += q.Fields(i).Type() == qx::data::FieldType::Blob ? static_cast<long long>(q.Fields(i).AsBlob().size())
                                                                 : static_cast<long long>(q.Fields(i).AsString().size());
    rows = q.RecordCount();
    best = std::min(best, Ms(Clock::now() - t0));
  }
  std::printf("query_rows %d\nquery_bytes %lld\nquery_layer %.1f ms\n", rows, bytes, best);
  return 0;
}

// Sink that keeps each record, to write the same records raw afterwards.
class KeepSink : public biff::ByteSink {
 public:
  void Write(const std::uint8_t* data, std::size_t size) override {
    bytes.insert(bytes.end(), data, data + size);
    sizes.push_back(static_cast<std::uint32_t>(size));
  }
  std::vector<std::uint8_t> bytes;
  std::vector<std::uint32_t> sizes;
};

int Export(const std::string& folder) {
  TdataMd dm;
  dm.adoLog.SetConnectionString(Link(folder));
  dm.adoLog.Open();
  dm.qryOutPut.SetSql(ExportSql(""));
  dm.qryOutPut.Open();
  const std::wstring file = qx::data::PathFromNative8(folder + "\\export.xls").wstring();
  double best = 1e99;
  biff::SheetStats stats;
  for (int run = 0; run < 3; ++run) {
    const auto t0 = Clock::now();
    dm.qryOutPut.Requery();
    TDS2Excel x(dm.qryOutPut);
    stats = x.ExportToFile(file, true);
    best = std::min(best, Ms(Clock::now() - t0));
  }
  // The same bytes, written raw: in 64 KB pieces as the exporter's sink writes them, and at once.
  KeepSink keep;
  {
    TDS2Excel x(dm.qryOutPut);
    x.WithHeader = true;
    x.ExportToStream(keep);
  }
  const std::wstring rawFile = qx::data::PathFromNative8(folder + "\\raw.xls").wstring();
  auto rawWrite = [&](std::size_t piece) {
    ::DeleteFileW(rawFile.c_str());
    const auto t0 = Clock::now();
    HANDLE h = ::CreateFileW(rawFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD done = 0;
    for (std::size_t at = 0; at < keep.bytes.size(); at += piece)
      ::WriteFile(h, keep.bytes.data() + at, static_cast<DWORD>(std::min(piece, keep.bytes.size() - at)), &done,
                  nullptr);
    ::CloseHandle(h);
    return Ms(Clock::now() - t0);
  };
  double raw = 1e99, rawOne = 1e99;
  for (int run = 0; run < 3; ++run) {
    raw = std::min(raw, rawWrite(64 * 1024));
    rawOne = std::min(rawOne, rawWrite(keep.bytes.size()));
  }
  ::DeleteFileW(rawFile.c_str());
  // Where the export's time goes: the walk of the query alone, every cell read, nothing written.
  double walk = 1e99;
  for (int run = 0; run < 3; ++run) {
    const auto t0 = Clock::now();
    dm.qryOutPut.Requery();
    int n = 0;
    std::size_t sum = 0;
    for (dm.qryOutPut.First(); !dm.qryOutPut.Eof() && n < 65535; dm.qryOutPut.Next(), ++n)
      for (int i = 0; i < dm.qryOutPut.FieldCount(); ++i) sum += dm.qryOutPut.Fields(i).AsString().size();
    walk = std::min(walk, Ms(Clock::now() - t0));
    if (sum == 0) std::printf("(no cells)\n");
  }
  const double cells = (static_cast<double>(stats.rows) + 1) * dm.qryOutPut.FieldCount();
  std::printf("export_rows %zu of %d\nexport_bytes %zu\nexport_time %.1f ms\nraw_write_64k %.1f ms\n"
              "raw_write_one %.1f ms\nquery_walk %.1f ms\ncells_per_second %.0f\n",
              stats.rows, dm.qryOutPut.RecordCount(), keep.bytes.size(), best, raw, rawOne, walk,
              cells / (best / 1000));
  return 0;
}

// Statements started on a connection, counted by SQLite's trace.
int CountStatement(unsigned, void* count, void*, void*) {
  ++*static_cast<int*>(count);
  return 0;
}

// The store's texts are UTF-8, as the desk writes them.
int Walk(const std::string& folder, int rows) {
  const std::filesystem::path dir = qx::data::PathFromNative8(folder);
  std::filesystem::create_directories(dir);
  std::filesystem::remove(dir / fixture::kLogDatabaseName);
  const auto db = fixture::LayLogStore(dir);
  fixture::ExecSql(db, "with recursive n(i) as (select 1 union all select i+1 from n where i<" + std::to_string(rows) +
                           ") insert into TLog (FNo,FName,FSex,FMZ,FBirth,FAddress,FSendDep,FDate) select "
                           u8"printf('1101011980%08d', i), substr('张李王', 1 + i % 3, 1)||i, '男', '汉', '1980-01-01',"
                           u8" '北京市东城区景山前街'||i||'号', '北京市公安局东城分局',"
                           " strftime('%Y-%m-%d %H:%M:%S', '2009-03-01', '+'||(i*86)||' seconds') from n;"
                           "create table Saved as select * from TLog");
  TdataMd dm;
  dm.adoLog.SetConnectionString(Link(folder));
  dm.adoLog.Open();
  const struct {
    const char* name;
    const char* gone;
  } cases[] = {{"none", "0"}, {"two_percent", "FId % 50 = 0"}};
  for (const auto& c : cases) {
    double best = 1e99;
    int statements = 0, walked = 0;
    for (int run = 0; run < 3; ++run) {
      qx::data::Query q(&dm.adoLog, qx::data::CursorKind::Static);
      q.SetSql(ExportSql(""));
      q.Open();
      fixture::ExecSql(db, std::string("delete from TLog where ") + c.gone);
      statements = walked = 0;
      std::size_t sum = 0;
      sqlite3_trace_v2(dm.adoLog.Handle(), SQLITE_TRACE_STMT, CountStatement, &statements);
      const auto t0 = Clock::now();
      for (q.First(); !q.Eof(); q.Next(), ++walked)
        for (int i = 0; i < q.FieldCount(); ++i) sum += q.Fields(i).AsString().size();
      best = std::min(best, Ms(Clock::now() - t0));
      sqlite3_trace_v2(dm.adoLog.Handle(), 0, nullptr, nullptr);
      if (sum == 0) std::printf("(no cells)\n");
      fixture::ExecSql(db, "insert into TLog select * from Saved where FId not in (select FId from TLog)");
    }
    std::printf("walk_rows_%s %d rows\nwalk_statements_%s %d statements\nwalk_time_%s %.1f ms\n", c.name, walked,
                c.name, statements, c.name, best);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const std::string mode = argc > 2 ? argv[1] : "";
    if (mode == "lay" && argc > 3) return Lay(argv[2], std::atoi(argv[3]));
    if (mode == "first") return First(argv[2]);
    if (mode == "query" && argc > 3) return Query(argv[2], argv[3]);
    if (mode == "export") return Export(argv[2]);
    if (mode == "walk" && argc > 3) return Walk(argv[2], std::atoi(argv[3]));
    std::fprintf(stderr, "usage: bench_store lay|first|query|export|walk FOLDER [ROWS|SQLOUT]\n");
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_store: %s\n", e.what());
    return 1;
  }
}
