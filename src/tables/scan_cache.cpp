#include "tables/scan_cache.h"

#include <algorithm>
#include <cstring>

#include "platform/codepage.h"
#include "tables/dbf_layout.h"
#include "tables/field_codec.h"

namespace epd::tables {

ScanCache& ScanCache::Instance() {
  static ScanCache* cache = new ScanCache();  // never destroyed: usable until the process ends
  return *cache;
}

std::string ScanCache::NormalisePath(std::string_view path) {
  std::string out = platform::UpperCp1251(path);
  std::replace(out.begin(), out.end(), '/', '\\');
  return out;
}

std::uint64_t ScanCache::NumberKey(double v) {
  if (v == 0) v = 0;  // -0 and 0 are one value
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return bits;
}

std::uint64_t ScanCache::TextKey(std::string_view bytes) {
  std::uint64_t h = 1469598103934665603ull;
  for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
  return h;
}

bool ScanCache::ValueKeyOf(const TableLayout& layout, const FieldInfo& field, const char* record, std::uint64_t* key) {
  const FieldClass cls = ClassOf(layout, field);
  if (cls == FieldClass::kInteger || cls == FieldClass::kNumber) {
    double v;
    if (!DecodeNumber(layout, field, record, &v)) return false;
    *key = NumberKey(v);
    return true;
  }
  if (cls != FieldClass::kText || layout.coding != TextCoding::kAsIs) return false;
  const std::string_view bytes = TrimmedBytes(field, record);
  if (bytes.empty()) return false;
  *key = TextKey(bytes);
  return true;
}

void ScanCache::SetEnabled(bool enabled) {
  enabled_ = enabled;
  if (!enabled) {
    entries_.clear();
    bytes_ = 0;
  }
}

void ScanCache::SetLimits(std::size_t max_runs_per_column, std::size_t max_total_bytes, std::uint32_t min_records) {
  max_runs_per_column_ = max_runs_per_column;
  max_total_bytes_ = max_total_bytes;
  min_records_ = min_records;
  EvictOver(max_total_bytes_);
}

std::optional<std::vector<RecordRun>> ScanCache::Find(const ColumnKey& column, const FileState& state,
                                                      std::uint64_t value_key) {
  if (!enabled_) return std::nullopt;
  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    if (it->column.path != column.path || it->column.signature != column.signature || it->column.field != column.field)
      continue;
    if (!(it->state == state)) {
      bytes_ -= BytesOf(it->runs);
      entries_.erase(it);
      ++stats_.drops;
      return std::nullopt;
    }
    ++stats_.hits;
    entries_.splice(entries_.begin(), entries_, it);
    const auto& runs = entries_.front().runs;
    auto lo = std::lower_bound(runs.begin(), runs.end(), value_key,
                               [](const Recorder::Run& r, std::uint64_t k) { return r.key < k; });
    std::vector<RecordRun> out;
    for (; lo != runs.end() && lo->key == value_key; ++lo) out.push_back(RecordRun{lo->first, lo->count});
    return out;
  }
  return std::nullopt;
}

void ScanCache::Store(const ColumnKey& column, const FileState& state, Recorder&& recorder) {
  if (recorder.abandoned()) return;
  std::vector<Recorder::Run> runs = std::move(recorder.runs_);
  auto by_key = [](const Recorder::Run& a, const Recorder::Run& b) {
    return a.key != b.key ? a.key < b.key : a.first < b.first;
  };
  // A column whose values grow with the records (message numbers, as a rule) is in order already.
  if (!std::is_sorted(runs.begin(), runs.end(), by_key)) std::sort(runs.begin(), runs.end(), by_key);
  // No shrink_to_fit: the room beyond the runs was taken untouched (the recorder reserves for
  // the largest number of runs at once), and copying the runs into a fitting block would touch
  // as much new memory again, which costs more than the runs' recording.
  const std::size_t bytes = BytesOf(runs);
  if (!enabled_ || bytes > max_total_bytes_) return;
  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    if (it->column.path == column.path && it->column.field == column.field) {
      bytes_ -= BytesOf(it->runs);
      entries_.erase(it);
      break;
    }
  }
  EvictOver(max_total_bytes_ - bytes);
  entries_.push_front(Entry{column, state, std::move(runs)});
  bytes_ += bytes;
  ++stats_.stores;
}

void ScanCache::Forget(std::string_view path) {
  const std::string key = NormalisePath(path);
  for (auto it = entries_.begin(); it != entries_.end();) {
    if (it->column.path == key) {
      bytes_ -= BytesOf(it->runs);
      it = entries_.erase(it);
    } else {
      ++it;
    }
  }
}

bool ScanCache::HasEntries(std::string_view path) const {
  if (entries_.empty()) return false;
  const std::string key = NormalisePath(path);
  for (const Entry& e : entries_)
    if (e.column.path == key) return true;
  return false;
}

void ScanCache::NoteAppend(std::string_view path, const FileState& before, const FileState& after, std::uint32_t first,
                           std::uint32_t count,
                           const std::function<bool(const ColumnKey&, std::uint32_t, std::uint64_t*)>& key_of) {
  const std::string key = NormalisePath(path);
  auto by_key = [](const Recorder::Run& a, const Recorder::Run& b) {
    return a.key != b.key ? a.key < b.key : a.first < b.first;
  };
  for (auto it = entries_.begin(); it != entries_.end();) {
    if (it->column.path != key) {
      ++it;
      continue;
    }
    bool keep = it->state == before;
    std::vector<Recorder::Run>& runs = it->runs;
    const std::size_t bytes_before = BytesOf(runs);
    for (std::uint32_t n = first; keep && n < first + count; ++n) {
      std::uint64_t value;
      if (!key_of(it->column, n - first, &value)) continue;
      // The new record's run goes after every run of its value (they all lie before it); it
      // extends the last of them when that one ends right before it.
      auto at = std::upper_bound(runs.begin(), runs.end(), Recorder::Run{value, n, 0}, by_key);
      if (at != runs.begin()) {
        Recorder::Run& last = *(at - 1);
        if (last.key == value && last.first + last.count == n) {
          ++last.count;
          continue;
        }
      }
      if (runs.size() >= max_runs_per_column_)
        keep = false;
      else
        runs.insert(at, Recorder::Run{value, n, 1});
    }
    bytes_ -= bytes_before;
    if (!keep) {
      it = entries_.erase(it);
      ++stats_.drops;
      continue;
    }
    bytes_ += BytesOf(runs);
    it->state = after;
    ++it;
  }
  EvictOver(max_total_bytes_);
}

void ScanCache::NoteInPlaceWrite(std::string_view path, const FileState& before, const FileState& after,
                                 std::uint32_t changed_begin, std::uint32_t changed_end) {
  const std::string key = NormalisePath(path);
  for (auto it = entries_.begin(); it != entries_.end();) {
    const ColumnKey& c = it->column;
    const bool touched = c.field_offset < changed_end && changed_begin < c.field_offset + c.field_length;
    if (c.path == key && (touched || !(it->state == before))) {
      bytes_ -= BytesOf(it->runs);
      it = entries_.erase(it);
      ++stats_.drops;
      continue;
    }
    if (c.path == key) it->state = after;
    ++it;
  }
}

void ScanCache::Clear() {
  entries_.clear();
  bytes_ = 0;
}

std::size_t ScanCache::MemoryBytes() const { return bytes_; }

void ScanCache::EvictOver(std::size_t budget) {
  while (!entries_.empty() && bytes_ > budget) {
    bytes_ -= BytesOf(entries_.back().runs);
    entries_.pop_back();
  }
}

}  // namespace epd::tables
