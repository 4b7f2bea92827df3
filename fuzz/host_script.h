#pragma once

// The second half of the export fuzz target: the host's own program at work between exports,
// driven by the rest of the input. The same changes go to two copies of the host directory; the
// exports of the first run with the scan cache as in the field, those of the second with the
// cache suspended (every search a full reading). After every export both copies must hold the
// same bytes: whatever the cache followed or read again, no export may come out otherwise than
// one that read the tables whole.
//
// The host's changes stay inside what the cache trusts (tables/scan_cache.h): it appends new
// invoices under numbers above every number in its tables, as the host numbers what it receives;
// it changes the message number of an old record only where the cache samples (elsewhere such a
// change, together with an append, is unseen by design); anything else it may do anywhere: other
// bytes of old records, deletion marks set and cleared, a pack in place, a table cut short, a
// table replaced by another file of the same size and time.
//
// Script: 5 bytes per step, the first choosing the step, the others its arguments.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "export/export_driver.h"
#include "export/library_state.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/regional.h"
#include "platform/test_support.h"
#include "tables/dbf_layout.h"
#include "tables/field_codec.h"
#include "tables/scan_cache.h"

namespace epd::fuzzing {

namespace fs = std::filesystem;

inline void Require(bool ok) {
  if (!ok) std::abort();
}

// One host table as bytes, with what the host needs to know of its layout.
struct HostTable {
  std::string path;
  std::string bytes;
  tables::TableLayout layout;
  const tables::FieldInfo* key = nullptr;  // IDMSG, when the table has it
  std::uint32_t count = 0;                 // whole records the header counts

  static std::optional<HostTable> Read(const std::string& path) {
    HostTable t;
    t.path = path;
    t.bytes = testing_support::ReadFile(path);
    try {
      t.layout = tables::ParseLayout(path, reinterpret_cast<const unsigned char*>(t.bytes.data()), t.bytes.size());
    } catch (const Error&) {
      return std::nullopt;
    }
    if (t.bytes.size() < 8 || t.layout.record_length == 0) return std::nullopt;
    const int key = t.layout.FieldIndex("IDMSG");
    if (key >= 0) t.key = &t.layout.fields[static_cast<std::size_t>(key)];
    const auto u = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(t.bytes[i])); };
    const std::uint32_t stored = u(4) | u(5) << 8 | u(6) << 16 | u(7) << 24;
    const std::uint64_t whole = t.bytes.size() > t.layout.header_length
                                    ? (t.bytes.size() - t.layout.header_length) / t.layout.record_length
                                    : 0;
    t.count = static_cast<std::uint32_t>(std::min<std::uint64_t>(stored, whole));
    return t;
  }
  std::size_t Offset(std::uint32_t n) const {
    return layout.header_length + static_cast<std::size_t>(n) * layout.record_length;
  }
  std::string Record(std::uint32_t n) const { return bytes.substr(Offset(n), layout.record_length); }
  std::optional<double> KeyOf(const std::string& record) const {
    double v;
    if (key == nullptr || !tables::DecodeNumber(layout, *key, record.data(), &v)) return std::nullopt;
    return v;
  }
  bool SetKey(std::string* record, double v) const {
    std::string why;
    return key != nullptr && tables::EncodeCell(layout, *key, tables::Cell::Number(v), platform::RegionalFormat{},
                                                record->data(), nullptr, &why);
  }
};

inline void Put(const std::string& path, std::uint64_t at, const std::string& bytes) {
  platform::OpenFile(path, platform::FileMode::kReadWrite)->WriteAt(at, bytes.data(), bytes.size());
}

inline std::string Le32(std::uint32_t v) {
  return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
}

// The host directories, the one whose exports use the cache and the one read whole.
struct HostPair {
  std::string cached, plain;  // base directories
  std::uint8_t options = 0;
  int step = 0;
  int retired = 0;  // files put aside by a replacement, kept so that no inode number comes back
};

// The greatest message number in both tables of a base directory, when every one is a number
// small enough for the next to differ.
inline std::optional<double> LargestNumber(const std::string& base) {
  double largest = 0;
  for (const char* name : {"cat_epd.dbf", "body_epd.dbf"}) {
    const std::optional<HostTable> t = HostTable::Read(base + "ORDERS\\EPD\\" + name);
    if (!t || t->key == nullptr) return std::nullopt;
    for (std::uint32_t n = 0; n < t->count; ++n)
      if (std::optional<double> v = t->KeyOf(t->Record(n))) largest = std::max(largest, *v);
  }
  if (!std::isfinite(largest) || largest > 1e9) return std::nullopt;
  return std::floor(largest);
}

// Applies one step of the host to the tables of `base`; answers the files it changed.
// `sampled`: the records the cache samples of the table the step works on.
inline std::vector<std::string> HostStep(HostPair& pair, const std::string& base, const std::uint8_t* a,
                                         const std::vector<std::uint32_t>& sampled) {
  const std::string epd = base + "ORDERS\\EPD\\";
  const std::string path = epd + (a[1] & 1 ? "body_epd.dbf" : "cat_epd.dbf");
  std::optional<HostTable> t = HostTable::Read(path);
  if (!t) return {};
  const std::uint32_t len = t->layout.record_length;
  switch (a[0] % 9) {
    case 0: {  // a new invoice: one header and some lines, numbered above all others
      const std::optional<double> largest = LargestNumber(base);
      if (!largest) return {};
      std::vector<std::string> changed;
      for (const char* name : {"cat_epd.dbf", "body_epd.dbf"}) {
        std::optional<HostTable> table = HostTable::Read(epd + name);
        if (!table || table->count == 0) return changed;
        const int records = name[0] == 'c' ? 1 : 1 + a[2] % 4;
        std::string added;
        for (int i = 0; i < records; ++i) {
          std::string r = table->Record((a[3] + static_cast<std::uint32_t>(i)) % table->count);
          r[0] = ' ';
          if (!table->SetKey(&r, *largest + 1 + a[4] % 2)) return changed;
          added += r;
        }
        // The records and the end marker, then the header's count: two writes.
        Put(table->path, table->Offset(table->count), added + '\x1A');
        Put(table->path, 4, Le32(table->count + static_cast<std::uint32_t>(records)));
        changed.push_back(table->path);
      }
      return changed;
    }
    case 1: {  // another byte of an old record
      if (t->count == 0 || len < 2) return {};
      const std::uint32_t n = a[2] % t->count;
      const std::uint32_t at = 1 + a[3] % (len - 1);
      if (t->key != nullptr && at >= t->key->offset && at < t->key->offset + t->key->length) return {};
      Put(path, t->Offset(n) + at, std::string(1, static_cast<char>(a[4])));
      return {path};
    }
    case 2: {  // the message number of a sampled record: of another record, or one more
      if (t->count == 0) return {};
      const std::uint32_t n = sampled.empty() ? a[2] % t->count : sampled[a[2] % sampled.size()];
      if (n >= t->count) return {};
      std::string r = t->Record(n);
      const std::optional<double> other = t->KeyOf(t->Record(a[3] % t->count));
      if (!t->SetKey(&r, a[4] % 2 && other ? *other : t->KeyOf(r).value_or(0) + 1)) return {};
      Put(path, t->Offset(n), r);
      return {path};
    }
    case 3: {  // a deletion mark set or cleared
      if (t->count == 0) return {};
      const std::uint32_t n = a[2] % t->count;
      Put(path, t->Offset(n), t->bytes[t->Offset(n)] == '*' ? " " : "*");
      return {path};
    }
    case 4:    // a pack in place: the deleted records go, the others move up
    case 6: {  // cut short by some records
      std::string kept;
      std::uint32_t records = 0;
      for (std::uint32_t n = 0; n < t->count; ++n) {
        const bool cut = a[0] % 9 == 6 ? n + 1 + a[2] % 4 > t->count : t->bytes[t->Offset(n)] == '*';
        if (cut) continue;
        kept += t->Record(n);
        ++records;
      }
      std::string bytes = t->bytes.substr(0, t->layout.header_length) + kept + '\x1A';
      bytes.replace(4, 4, Le32(records));
      testing_support::WriteFile(path, bytes);  // the same file, written anew
      return {path};
    }
    case 5: {  // another file of the same size and time in its place, one number changed
      std::string bytes = t->bytes;
      if (t->count > 0) {
        const std::uint32_t n = a[2] % t->count;
        std::string r = t->Record(n);
        if (t->SetKey(&r, a[3])) bytes.replace(t->Offset(n), len, r);
      }
      const fs::path native = platform::SystemPath(path);
      const auto when = fs::last_write_time(native);
      testing_support::WriteFile(path + ".new", bytes);
      fs::last_write_time(platform::SystemPath(path + ".new"), when);
      platform::RenameFile(path, base + "retired" + std::to_string(++pair.retired));
      platform::RenameFile(path + ".new", path);
      return {};  // its time is the old one
    }
    default: return {};
  }
}

// The message number step `a` exports: of a header record, or the newest.
inline std::optional<std::int32_t> InvoiceOf(const std::string& base, const std::uint8_t* a) {
  const std::optional<HostTable> t = HostTable::Read(base + "ORDERS\\EPD\\cat_epd.dbf");
  if (!t || t->count == 0) return a[2] % 8;
  const std::optional<double> v = t->KeyOf(t->Record(a[1] & 1 ? t->count - 1 : a[2] % t->count));
  if (!v || *v != std::floor(*v) || std::fabs(*v) > 2e9) return a[2] % 8;
  return static_cast<std::int32_t>(*v);
}

// Both directories hold the same bytes in the host tables, the outputs and the code table.
inline void RequireSame(const HostPair& pair) {
  for (const char* name : {"ORDERS\\EPD\\cat_epd.dbf", "ORDERS\\EPD\\body_epd.dbf"})
    Require(testing_support::ReadFile(pair.cached + name) == testing_support::ReadFile(pair.plain + name));
  const bool codes = platform::FileExists(pair.cached + "DATA\\AtachList.dbf");
  Require(codes == platform::FileExists(pair.plain + "DATA\\AtachList.dbf"));
  if (codes)
    Require(testing_support::ReadFile(pair.cached + "DATA\\AtachList.dbf") ==
            testing_support::ReadFile(pair.plain + "DATA\\AtachList.dbf"));
  const fs::path a = platform::SystemPath(pair.cached + "OUT"), b = platform::SystemPath(pair.plain + "OUT");
  std::vector<fs::path> files;
  for (const auto& e : fs::recursive_directory_iterator(a))
    if (e.is_regular_file()) files.push_back(fs::relative(e.path(), a));
  std::size_t in_b = 0;
  for (const auto& e : fs::recursive_directory_iterator(b)) in_b += e.is_regular_file() ? 1 : 0;
  Require(files.size() == in_b);
  for (const fs::path& f : files) {
    Require(fs::exists(b / f));
    Require(testing_support::ReadFile((a / f).string()) == testing_support::ReadFile((b / f).string()));
  }
}

// Runs `work` on the plain directory with the cache suspended, then on the cached one.
template <typename Work>
auto OnBoth(HostPair& pair, Work work) {
  tables::ScanCache& cache = tables::ScanCache::Instance();
  exporter::InitializeEPD(pair.plain);
  cache.SetSuspended(true);
  auto plain = work();
  cache.SetSuspended(false);
  exporter::InitializeEPD(pair.cached);
  auto cached = work();
  return std::make_pair(plain, cached);
}

inline void RunScript(HostPair& pair, const std::uint8_t* script, std::size_t size) {
  const auto epoch = fs::file_time_type::clock::now() - std::chrono::hours(24 * 365);
  for (std::size_t at = 0; at + 5 <= size; at += 5) {
    const std::uint8_t* a = script + at;
    const int kind = a[0] % 9;
    if (kind == 7) {
      const std::optional<std::int32_t> id = InvoiceOf(pair.cached, a);
      const auto [plain, cached] = OnBoth(pair, [&] { return exporter::ExportInvoice(*id).what; });
      Require(plain == cached);
      RequireSame(pair);
    } else if (kind == 8) {
      const auto [plain, cached] = OnBoth(pair, [] { return exporter::ExportNewEPD(); });
      Require(plain == cached);
      RequireSame(pair);
    } else {
      const std::string table = std::string("ORDERS\\EPD\\") + (a[1] & 1 ? "body_epd.dbf" : "cat_epd.dbf");
      const std::vector<std::uint32_t> sampled = tables::ScanCache::Instance().SampledRecords(pair.cached + table);
      // Every change of the host gets a time of its own, as changes made one after the other do.
      const auto when = epoch + std::chrono::seconds(++pair.step);
      for (const std::string& file : HostStep(pair, pair.cached, a, sampled))
        fs::last_write_time(platform::SystemPath(file), when);
      for (const std::string& file : HostStep(pair, pair.plain, a, sampled))
        fs::last_write_time(platform::SystemPath(file), when);
    }
  }
}

}  // namespace epd::fuzzing
