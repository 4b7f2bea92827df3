#include "host_appender.h"

#include <memory>
#include <stdexcept>

#include "platform/coding.h"
#include "platform/files.h"
#include "platform/regional.h"
#include "tables/cell.h"
#include "tables/field_codec.h"
#include "tables/table_file.h"

namespace epd::bench {
namespace {

// One host table as the host's program writes it: a file handle of its own, records as bytes.
class HostTable {
 public:
  explicit HostTable(const std::string& path)
      : layout_(tables::TableFile::Open(path, tables::TableFile::Access::kRead)->layout()),
        file_(platform::OpenFile(path, platform::FileMode::kReadWrite)) {}

  std::uint32_t Count() {
    unsigned char b[4] = {0, 0, 0, 0};
    file_->ReadAt(4, b, 4);
    return platform::GetLe32(b);
  }
  std::string Records(std::uint32_t first, std::uint32_t n) {
    std::string bytes(static_cast<std::size_t>(n) * layout_.record_length, '\0');
    bytes.resize(file_->ReadAt(Offset(first), bytes.data(), bytes.size()));
    return bytes;
  }
  std::uint32_t record_length() const { return layout_.record_length; }
  double Number(const std::string& record, const char* column) const {
    const int index = layout_.FieldIndex(column);
    double v = 0;
    if (index < 0 || !tables::DecodeNumber(layout_, layout_.fields[static_cast<std::size_t>(index)], record.data(), &v))
      throw std::runtime_error(std::string("no number in ") + column);
    return v;
  }

  // The records and the end marker after them, then the header's count.
  void Append(const std::string& records) {
    const std::uint32_t count = Count();
    const std::string bytes = records + '\x1A';
    file_->WriteAt(Offset(count), bytes.data(), bytes.size());
    WriteCount(count + static_cast<std::uint32_t>(records.size() / layout_.record_length));
  }
  void Put(std::uint32_t n, const std::string& record) { file_->WriteAt(Offset(n), record.data(), record.size()); }
  void CutTo(std::uint32_t count) {
    WriteCount(count);
    file_->WriteAt(Offset(count), "\x1A", 1);
    file_->Truncate(Offset(count) + 1);
  }
  // Stores a number in the named column of a record (one of this table's records in bytes).
  void SetNumber(std::string* record, const char* column, double value) const {
    const int index = layout_.FieldIndex(column);
    if (index < 0) return;
    std::string why;
    if (!tables::EncodeCell(layout_, layout_.fields[static_cast<std::size_t>(index)], tables::Cell::Number(value),
                            platform::RegionalFormat{',', "dd.MM.yyyy"}, record->data(), nullptr, &why))
      throw std::runtime_error("cannot store " + std::to_string(value) + " in " + column);
  }

 private:
  std::uint64_t Offset(std::uint32_t n) const {
    return layout_.header_length + static_cast<std::uint64_t>(n) * layout_.record_length;
  }
  void WriteCount(std::uint32_t count) {
    unsigned char b[4];
    platform::PutLe32(b, count);
    file_->WriteAt(4, b, 4);
  }

  tables::TableLayout layout_;
  std::unique_ptr<platform::File> file_;
};

std::string Epd(const std::string& base, const char* name) { return base + "ORDERS\\EPD\\" + name; }

std::string ReadWhole(const std::string& path) {
  auto file = platform::OpenFile(path, platform::FileMode::kRead);
  std::string bytes(static_cast<std::size_t>(file->Size()), '\0');
  bytes.resize(file->ReadAt(0, bytes.data(), bytes.size()));
  return bytes;
}

void WriteWhole(const std::string& path, const std::string& bytes) {
  platform::OpenFile(path, platform::FileMode::kCreate)->WriteAt(0, bytes.data(), bytes.size());
}

}  // namespace

std::vector<std::string> AppendInvoices(const std::string& base, std::int32_t first_id, std::uint32_t invoices,
                                        std::uint32_t lines) {
  HostTable headers(Epd(base, "cat_epd.dbf"));
  HostTable body(Epd(base, "body_epd.dbf"));
  const std::string header_model = headers.Records(headers.Count() - 1, 1);
  const std::uint32_t line_count = body.Count();
  const std::string line_models = body.Records(line_count - std::min(lines, line_count), std::min(lines, line_count));
  std::vector<std::string> appended;
  for (std::uint32_t k = 0; k < invoices; ++k) {
    const double id = first_id + static_cast<std::int32_t>(k);
    std::string header = header_model;
    headers.SetNumber(&header, "IDMSG", id);
    headers.SetNumber(&header, "BRECQ", lines);
    headers.SetNumber(&header, "DLVCHN", 0);
    std::string records;
    for (std::uint32_t i = 0; i < lines; ++i) {
      std::string line = line_models.substr((i % (line_models.size() / body.record_length())) * body.record_length(),
                                            body.record_length());
      body.SetNumber(&line, "IDMSG", id);
      records += line;
    }
    // Received one by one: each invoice's header, then its lines.
    headers.Append(header);
    body.Append(records);
    appended.push_back(header);
  }
  return appended;
}

void ListInvoices(const std::string& base, const std::vector<std::string>& headers) {
  const std::string path = Epd(base, "epdct.dbf");
  const std::uint32_t header_length =
      tables::TableFile::Open(path, tables::TableFile::Access::kRead)->layout().header_length;
  std::string bytes = ReadWhole(path).substr(0, header_length);
  unsigned char count[4];
  platform::PutLe32(count, static_cast<std::uint32_t>(headers.size()));
  bytes.replace(4, 4, reinterpret_cast<const char*>(count), 4);
  for (const std::string& h : headers) bytes += h;
  WriteWhole(path, bytes + '\x1A');
}

void RenumberLastLine(const std::string& base, std::int32_t id) {
  HostTable body(Epd(base, "body_epd.dbf"));
  const std::uint32_t last = body.Count() - 1;
  std::string line = body.Records(last, 1);
  body.SetNumber(&line, "IDMSG", id);
  body.Put(last, line);
}

HostTables Remember(const std::string& base) {
  HostTables t;
  HostTable headers(Epd(base, "cat_epd.dbf"));
  HostTable body(Epd(base, "body_epd.dbf"));
  t.invoices = headers.Count();
  t.lines = body.Count();
  t.last_header = headers.Records(t.invoices - 1, 1);
  t.last_line = body.Records(t.lines - 1, 1);
  t.list = ReadWhole(Epd(base, "epdct.dbf"));
  t.next_invoice = static_cast<std::int32_t>(headers.Number(t.last_header, "IDMSG")) + 1;
  return t;
}

void PutBack(const std::string& base, const HostTables& t) {
  HostTable headers(Epd(base, "cat_epd.dbf"));
  HostTable body(Epd(base, "body_epd.dbf"));
  if (headers.Count() != t.invoices) headers.CutTo(t.invoices);
  if (body.Count() != t.lines) body.CutTo(t.lines);
  if (headers.Records(t.invoices - 1, 1) != t.last_header) headers.Put(t.invoices - 1, t.last_header);
  if (body.Records(t.lines - 1, 1) != t.last_line) body.Put(t.lines - 1, t.last_line);
  if (ReadWhole(Epd(base, "epdct.dbf")) != t.list) WriteWhole(Epd(base, "epdct.dbf"), t.list);
}

}  // namespace epd::bench
