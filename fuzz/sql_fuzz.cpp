// The local SQL over any statement text, run against a small table that is written afresh for
// every input. Anything may raise epd::Error; nothing may crash.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/error.h"
#include "platform/test_support.h"
#include "sql/query.h"

using namespace epd;

namespace {

// IDMSG N(11), NAME C(10), SUMMA N(9,2), DT D, OK L; three records, one deleted.
std::string SmallTable() {
  std::string h(32, '\0');
  h[0] = 0x03, h[1] = 124, h[2] = 1, h[3] = 1, h[4] = 3;
  h[8] = static_cast<char>(32 * 6 + 1), h[10] = 1 + 11 + 10 + 9 + 8 + 1;
  const struct {
    const char* name;
    char type;
    int length, decimals;
  } fields[] = {
      {"IDMSG", 'N', 11, 0}, {"NAME", 'C', 10, 0}, {"SUMMA", 'N', 9, 2}, {"DT", 'D', 8, 0}, {"OK", 'L', 1, 0}};
  for (const auto& f : fields) {
    std::string d(32, '\0');
    d.replace(0, std::string(f.name).size(), f.name);
    d[11] = f.type, d[16] = static_cast<char>(f.length), d[17] = static_cast<char>(f.decimals);
    h += d;
  }
  h += '\x0D';
  auto record = [](char flag, std::string id, std::string name, std::string sum, std::string date, char ok) {
    return std::string(1, flag) + std::string(11 - id.size(), ' ') + id + name + std::string(10 - name.size(), ' ') +
           std::string(9 - sum.size(), ' ') + sum + date + ok;
  };
  h += record(' ', "5", "\xC0\xEF\xF2\xE5\xEA\xE0", "10.50", "20240114", 'T');
  h += record(' ', "-7", "\xA8\xEB\xEA\xE0", "-0.25", "20020228", 'F');
  h += record('*', "99", "gone", "1.00", "        ", '?');
  h += '\x1A';
  return h;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static testing_support::TempDir dir;
  static const std::string table = SmallTable();
  testing_support::WriteFile(dir.path() + "t.dbf", table);
  const std::string sql(reinterpret_cast<const char*>(data), size);
  try {
    sql::Query q(dir.path());
    q.SetSql(sql);
    q.SetParam("p", 5);
    q.SetParam("s", std::string("\xC0\xEF\xF2\xE5\xEA\xE0"));
    q.SetParam("d", 2.5);
    if (sql.find_first_not_of(" \t\r\n") != std::string::npos &&
        (sql[sql.find_first_not_of(" \t\r\n")] | 0x20) == 's') {
      q.Open();
      for (q.First(); !q.Eof(); q.Next())
        for (int i = 0; i < q.FieldCount(); ++i) q.AsString(q.FieldName(i));
    } else {
      q.ExecSql();
    }
  } catch (const Error&) {
  }
  return 0;
}
