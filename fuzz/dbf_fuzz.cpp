// The table engine over any bytes: a table file (and a memo file beside it) is opened, every
// column of every row read, located, queried, appended to, deleted from and cut back, and its
// deletion flags put back. Anything may raise epd::Error; nothing may crash or read outside a
// buffer.
//
// Input: two bytes giving the table file's length (little-endian), the table file, and the rest
// as the memo file (written as .dbt and .fpt).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/error.h"
#include "platform/test_support.h"
#include "sql/query.h"
#include "tables/table.h"
#include "tables/table_walk.h"

using namespace epd;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static testing_support::TempDir dir;
  if (size < 2) return 0;
  const std::size_t table_size = std::min<std::size_t>(size - 2, data[0] | (data[1] << 8));
  const std::string table(reinterpret_cast<const char*>(data) + 2, table_size);
  const std::string memo(reinterpret_cast<const char*>(data) + 2 + table_size, size - 2 - table_size);
  const std::string path = dir.path() + "t.dbf";
  testing_support::WriteFile(path, table);
  testing_support::WriteFile(dir.path() + "t.dbt", memo);
  testing_support::WriteFile(dir.path() + "t.fpt", memo);
  try {
    tables::ReadWholeTable(path);
    sql::Query q(dir.path());
    q.SetSql("SELECT * FROM \"t.dbf\" ORDER BY 1 DESC");
    q.Open();
    for (q.First(); !q.Eof(); q.Next())
      for (int i = 0; i < q.FieldCount(); ++i) q.AsString(q.FieldName(i));
    auto t = tables::Table::Open(path);
    if (t->FieldCount() > 0) {
      const std::string first = t->FieldName(0);
      t->Locate(first, {5});
      t->Locate(first, {std::string("a")});
      const std::uint32_t count = t->PhysicalRecordCount();
      t->Append();
      try {
        t->SetAsString(first, "1");
      } catch (const Error&) {
      }
      t->Post();
      const std::string flags = t->DeletionFlags();
      try {
        sql::Query remove(dir.path());
        remove.SetSql("DELETE FROM \"t.dbf\" WHERE " + first + " IS NOT NULL");
        remove.ExecSql();
      } catch (const Error&) {
      }
      t->TruncateRecords(count);
      t->RestoreDeletionFlags(flags);
    }
  } catch (const Error&) {
  }
  return 0;
}
