// In-process view of what Cardpost's units log: new lines of the log files since a mark.
#pragma once
#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "CardpostHarness.h"
#include "Log.h"
#include "TestSupport.h"
#include "card/Gbk.h"
#include "win/Text.h"

namespace qx::test {

// Where LogWrite puts its lines in this process: the trimmed console folder, else ours.
inline std::wstring UnitLogBase() {
  std::string base = qx::card::TrimAnsi(GetConsoleDir());
  if (base.empty()) base = GetModuleDir();
  return qx::win::MultiToWide(base);
}

// Marks the end of every log file at construction; Messages() gives what came after.
class UnitLog {
 public:
  UnitLog() : base_(UnitLogBase()) {
    // LogWrite only creates the hour's folder; the folders above it must be there.
    ::CreateDirectoryW(base_.c_str(), nullptr);
    ::CreateDirectoryW((base_ + L"\\Logs").c_str(), nullptr);
    for (const std::wstring& f : Files()) marks_[f] = ReadText(f).size();
  }

  // Messages (stamp removed), UTF-8, in order of file and line.
  std::vector<std::string> Messages() const {
    std::vector<std::string> out;
    for (const std::wstring& f : Files()) {
      std::string text = ReadText(f);
      auto mark = marks_.find(f);
      if (mark != marks_.end()) text.erase(0, mark->second);
      for (const std::string& raw : SplitLines(text)) {
        auto line = SplitStamp(GbkToUtf8(raw));
        out.push_back(line ? line->message : GbkToUtf8(raw));
      }
    }
    return out;
  }

 private:
  std::vector<std::wstring> Files() const {
    std::vector<std::wstring> out;
    std::vector<std::wstring> hours = ListFiles(base_ + L"\\Logs");
    std::sort(hours.begin(), hours.end());
    for (const std::wstring& hour : hours) {
      const std::wstring dir = base_ + L"\\Logs\\" + hour;
      std::vector<std::wstring> files = ListFiles(dir, L"*.log");
      std::sort(files.begin(), files.end());
      for (const std::wstring& f : files) out.push_back(dir + L"\\" + f);
    }
    return out;
  }

  std::wstring base_;
  std::map<std::wstring, size_t> marks_;
};

}  // namespace qx::test
