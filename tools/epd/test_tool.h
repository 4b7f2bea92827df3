#pragma once

// What the tests of the epd tool share: a copy of the sample host in a folder of the test's own,
// the tool run as a program on it, and small dBASE tables made to order.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "dbf/dbf_writer.h"
#include "platform/codepage.h"
#include "tables/table.h"

namespace epd::tool_testing {

namespace fs = std::filesystem;

struct Result {
  int code = -1;
  std::string out;
  std::string err;
};

inline std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline std::string Quote(const std::string& arg) {
  std::string q = "'";
  for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

class EpdTool : public ::testing::Test {
 protected:
  void SetUp() override {
    work_ = fs::temp_directory_path() / ("epd-tool-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(work_);
    fs::create_directories(work_);
    fs::copy(fs::path(EPD_SOURCE_DIR) / "examples" / "host", host(), fs::copy_options::recursive);
    fs::create_directories(work_ / "export");
  }
  void TearDown() override { fs::remove_all(work_); }

  fs::path host() const { return work_ / "host"; }
  std::string base() const { return host().string(); }
  fs::path exported(const std::string& name) const { return work_ / "export" / name; }

  // Runs epd with the arguments; stdin is empty, so nothing can wait for an answer. `as` goes
  // before the program (a command that runs it as another user).
  Result Run(const std::vector<std::string>& args, const std::string& as = {}) {
    std::string command = as + Quote(std::string(EPD_BINARY_DIR) + "/tools/epd/epd");
    for (const std::string& a : args) command += " " + Quote(a);
    command += " </dev/null >" + Quote((work_ / "out").string()) + " 2>" + Quote((work_ / "err").string());
    int status = std::system(command.c_str());
    Result r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = Slurp(work_ / "out");
    r.err = Slurp(work_ / "err");
    return r;
  }

  void PointExportAtWork() {
    Result r = Run({"settings", "--base", base(), "set", "EPD", "Export_Dir", (work_ / "export").string()});
    ASSERT_EQ(r.code, 0) << r.err;
  }

  fs::path work_;
};

inline bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A path in the library's form: "\"-separated, code page 1251.
inline std::string ProgramForm(const fs::path& path) {
  std::string text = epd::platform::Utf8ToCp1251(path.string());
  std::replace(text.begin(), text.end(), '/', '\\');
  return text;
}

using Cells = std::vector<std::pair<std::string, std::string>>;  // column -> text (UTF-8)

// A dBASE III table with the columns and rows given; `language` is its language driver byte.
inline void MakeTable(const fs::path& path, const epd::dbf::TDBFFieldDefs& columns, const std::vector<Cells>& rows,
                      char language = 0) {
  ASSERT_TRUE(epd::dbf::CreateDBFFile(ProgramForm(path), 4, 0, columns));
  if (language != 0) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(29);
    f.put(language);
  }
  auto table = epd::tables::Table::Open(ProgramForm(path));
  for (const Cells& row : rows) {
    table->Append();
    for (const auto& [column, text] : row) table->SetAsString(column, epd::platform::Utf8ToCp1251(text));
    table->Post();
  }
  table->Close();
}

}  // namespace epd::tool_testing
