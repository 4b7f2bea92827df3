// The host keeps the library loaded all day and, between exports, writes its own tables with a
// file handle of its own: it appends the invoices it receives, and now and then does something
// else to them. After each such change every export must give exactly the rows a full reading of
// the host tables gives, and the scan cache must follow the tables that only grew and read the
// others whole.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "export/test_host.h"
#include "tables/scan_cache.h"

namespace epd::exporter {
namespace {

using testing_support::Row;
using testing_support::TestHost;
namespace fs = std::filesystem;

// The host's program as it writes a table: bytes in the dBASE layout through a plain file handle
// of its own; the engine is told nothing.
class HostHand {
 public:
  explicit HostHand(const std::string& path) : path_(platform::SystemPath(path)) {
    const std::string b = Bytes();
    header_ = Le(b, 8, 2);
    record_ = Le(b, 10, 2);
  }
  std::string Bytes() const {
    std::ifstream in(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::uint32_t Count() const { return Le(Bytes(), 4, 4); }
  std::string Record(std::uint32_t n) const { return Bytes().substr(Offset(n), record_); }
  // The first record whose message number (bytes 1 to 10) is `id`.
  std::uint32_t FirstOf(int id) const {
    for (std::uint32_t n = 0; n < Count(); ++n)
      if (Record(n).substr(1, 10) == Number(id)) return n;
    ADD_FAILURE() << "no record of " << id;
    return 0;
  }
  // Records, the end marker after them, then the count in the header: two writes, as appending
  // programs make them.
  void Append(const std::vector<std::string>& records) {
    const std::uint32_t count = Count();
    std::string bytes;
    for (const std::string& r : records) bytes += r;
    Write(Offset(count), bytes + '\x1A');
    Write(4, LeBytes(count + static_cast<std::uint32_t>(records.size())));
  }
  void Write(std::uint64_t at, const std::string& bytes) const {
    std::fstream f(path_, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(at));
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  void WriteInRecord(std::uint32_t n, std::size_t at, const std::string& bytes) const { Write(Offset(n) + at, bytes); }
  // The whole file written again in place (the same file), with `records` only.
  void Rewrite(const std::vector<std::string>& records) const {
    std::string b = Bytes().substr(0, header_);
    b.replace(4, 4, LeBytes(static_cast<std::uint32_t>(records.size())));
    for (const std::string& r : records) b += r;
    std::ofstream(path_, std::ios::binary | std::ios::trunc) << b << '\x1A';
  }
  std::uint64_t Offset(std::uint32_t n) const { return header_ + static_cast<std::uint64_t>(n) * record_; }
  const fs::path& path() const { return path_; }

  static std::string Number(int id) {
    const std::string digits = std::to_string(id);
    return std::string(10 - digits.size(), ' ') + digits;
  }
  static std::string LeBytes(std::uint32_t v) {
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
  }

 private:
  static std::uint32_t Le(const std::string& b, std::size_t at, int n) {
    std::uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
    return v;
  }
  fs::path path_;
  std::uint32_t header_ = 0, record_ = 0;
};

// The columns of testing_support's host tables that these cases write.
constexpr std::size_t kHeaderInvoiceNumber = 73, kHeaderDelivered = 103, kLineItem = 21;

class GrowingHost : public ::testing::Test {
 protected:
  void SetUp() override {
    tables::ScanCache::Instance().Clear();
    tables::ScanCache::Instance().SetLimits(1u << 20, 32u << 20, /*min_records=*/1);
    host_.CreateTables();
    for (int id = 1; id <= 30; ++id) host_.AddInvoice(id, {}, 1 + id % 4);
    host_.Settings("");
    host_.answer_yes = true;  // an invoice exported again replaces its earlier copy
    for (int id : {1, 2}) ExpectAsFullScan(id);
  }
  void TearDown() override {
    tables::ScanCache::Instance().SetLimits(1u << 20, 32u << 20, 2048);
    tables::ScanCache::Instance().Clear();
  }

  std::string cat() const { return host_.epd() + "cat_epd.dbf"; }
  std::string body() const { return host_.epd() + "body_epd.dbf"; }

  // A new invoice's header and `lines` lines, made from the first invoice's records.
  void AppendInvoice(int id, int lines) {
    HostHand header(cat());
    std::string h = header.Record(0);
    h.replace(1, 10, HostHand::Number(id));
    h.replace(kHeaderInvoiceNumber, 10, ("N" + std::to_string(id)).append(9 - std::to_string(id).size(), ' '));
    h[kHeaderDelivered] = '0';
    header.Append({h});
    HostHand body_hand(body());
    std::vector<std::string> records;
    for (int i = 1; i <= lines; ++i) {
      std::string l = body_hand.Record(0);
      l.replace(1, 10, HostHand::Number(id));
      l.replace(kLineItem, 60, Padded("New line " + std::to_string(i) + " of " + std::to_string(id), 60));
      records.push_back(l);
    }
    body_hand.Append(records);
  }
  static std::string Padded(std::string text, std::size_t width) { return text.append(width - text.size(), ' '); }

  // The rows of `table` with this message number, read by walking the whole table.
  static std::vector<Row> RowsOf(const std::string& table, int id, const std::vector<std::string>& columns) {
    std::vector<Row> out;
    for (const Row& r : TestHost::Rows(table)) {
      if (r.at("IDMSG") != std::to_string(id)) continue;
      Row picked;
      for (const std::string& c : columns) picked[c] = r.at(c);
      out.push_back(picked);
    }
    return out;
  }
  // Exports the invoice and compares what the outputs hold of it with a full reading.
  void ExpectAsFullScan(int id) {
    host_.boxes.clear();
    ASSERT_TRUE(host_.Export(id)) << testing_support::BoxTexts(host_);
    const std::vector<std::string> header_columns = {"IDMSG", "INVNUM", "SENDER"};
    const std::vector<std::string> line_columns = {"IDMSG", "ITEMID", "LOCALCOD", "ITEMQTY"};
    EXPECT_EQ(RowsOf(host_.out() + "cat_epd.dbf", id, header_columns), RowsOf(cat(), id, header_columns))
        << "invoice " << id;
    EXPECT_EQ(RowsOf(host_.out() + "body_epd.dbf", id, line_columns), RowsOf(body(), id, line_columns))
        << "invoice " << id;
    EXPECT_EQ(host_.Delivered(id), "1");
  }

  TestHost host_;
};

// One day of the host, in order: each step is something the host's program does to its tables
// between two exports, the invoices exported after it, and how many host tables the cache then
// follows (only grown: the sample held) and reads whole (anything else).
TEST_F(GrowingHost, EveryExportGivesTheRowsOfAFullScan) {
  const auto Range = [](int first, int last) {
    std::vector<int> ids;
    for (int id = first; id <= last; ++id) ids.push_back(id);
    return ids;
  };
  struct Step {
    const char* what;
    std::function<void()> change;
    std::vector<int> exports;
    int followed, read_whole;
  };
  const std::vector<Step> steps = {
      {"appends an invoice", [&] { AppendInvoice(31, 3); }, {31, 3}, 2, 0},
      {"appends two invoices, one after the other",
       [&] {
         AppendInvoice(32, 1);
         AppendInvoice(33, 4);
       },
       {33, 32},
       2,
       0},
      {"marks an old line deleted and appends an invoice",
       [&] {
         HostHand lines(body());
         lines.WriteInRecord(lines.FirstOf(10), 0, "*");
         AppendInvoice(34, 2);
       },
       {34, 10},
       2,
       0},
      {"changes the message number of a sampled old line and appends an invoice",
       [&] {
         HostHand lines(body());
         const std::vector<std::uint32_t> sampled = tables::ScanCache::Instance().SampledRecords(body());
         ASSERT_FALSE(sampled.empty());
         // A sampled line from the middle of the table on, of an invoice with more lines than
         // that one, goes to the next invoice.
         for (std::size_t i = sampled.size() / 2; i < sampled.size(); ++i) {
           const int id = std::stoi(lines.Record(sampled[i]).substr(1, 10));
           if (RowsOf(body(), id, {"IDMSG"}).size() < 2) continue;
           lines.WriteInRecord(sampled[i], 1, HostHand::Number(id + 1));
           break;
         }
         AppendInvoice(35, 2);
       },
       Range(1, 35),  // the line's invoice and the next among them
       1, 1},
      {"takes the deletion back (after a full reading) and appends an invoice",
       [&] {
         HostHand lines(body());
         lines.WriteInRecord(lines.FirstOf(10), 0, " ");
         AppendInvoice(36, 2);
       },
       {36, 10},
       2,
       0},
      {"changes another column of an old line and appends an invoice",
       [&] {
         HostHand lines(body());
         lines.WriteInRecord(lines.FirstOf(12), kLineItem, Padded("Renamed by the host", 60));
         AppendInvoice(37, 1);
       },
       {37, 12},
       2,
       0},
      {"packs the lines table in place, without an old invoice, and appends an invoice",
       [&] {
         HostHand lines(body());
         std::vector<std::string> kept;
         for (std::uint32_t n = 0; n < lines.Count(); ++n)
           if (lines.Record(n).substr(1, 10) != HostHand::Number(5)) kept.push_back(lines.Record(n));
         lines.Rewrite(kept);
         AppendInvoice(38, 4);  // more lines than invoice 5 had: the table grew
       },
       {38, 6, 29},
       1,
       1},
      {"replaces the lines table by another file of the same size and time",
       [&] {
         HostHand lines(body());
         std::string bytes = lines.Bytes();
         const std::uint32_t n = lines.FirstOf(14);
         bytes.replace(lines.Offset(n) + 1, 10, HostHand::Number(21));
         const fs::path other = lines.path().string() + ".new";
         std::ofstream(other, std::ios::binary) << bytes;
         fs::last_write_time(other, fs::last_write_time(lines.path()));
         fs::rename(other, lines.path());
       },
       {14, 21},
       0,
       1},
      {"cuts the last invoice's lines away",
       [&] {
         HostHand lines(body());
         const std::uint32_t count = lines.Count();
         std::vector<std::string> kept;
         for (std::uint32_t n = 0; n < count - 4; ++n) kept.push_back(lines.Record(n));
         lines.Rewrite(kept);
       },
       {37, 36},
       0,
       1},
      {"appends an invoice once more", [&] { AppendInvoice(39, 2); }, {39, 31}, 2, 0},
  };
  const tables::ScanCache& cache = tables::ScanCache::Instance();
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    step.change();
    const tables::ScanCache::Stats before = cache.stats();
    for (int id : step.exports) ExpectAsFullScan(id);
    EXPECT_EQ(cache.stats().grows - before.grows, static_cast<std::uint64_t>(step.followed));
    EXPECT_EQ(cache.stats().stores - before.stores, static_cast<std::uint64_t>(step.read_whole));
  }
}

}  // namespace
}  // namespace epd::exporter
