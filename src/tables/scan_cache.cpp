#include "tables/scan_cache.h"

#include <algorithm>
#include <cstring>
#include <iterator>

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

bool ScanCache::MayHaveGrown(const FileState& was, const FileState& now) {
  return was.stamp.identity == now.stamp.identity && now.header_count > was.header_count &&
         now.stamp.size > was.stamp.size;
}

void ScanCache::AddBoundaries(const std::vector<Run>& runs, std::uint32_t from, std::uint32_t to, std::uint32_t spacing,
                              const Sample& previous, std::vector<Boundary>* out) {
  std::uint64_t place = (static_cast<std::uint64_t>(from) + spacing - 1) / spacing * spacing;
  auto it = runs.begin();
  for (; place < to; place += spacing) {
    // The first run that begins at or after the place.
    it = std::lower_bound(it, runs.end(), place, [](const Run& r, std::uint64_t p) { return r.first < p; });
    if (it == runs.end()) break;
    const std::uint32_t b = it->first;
    Boundary boundary;
    boundary.record = b;
    boundary.at = Sample{b, true, it->key};
    if (b > 0) {
      boundary.before.record = b - 1;
      if (it != runs.begin() && (it - 1)->first + (it - 1)->count == b) {
        boundary.before.has_key = true;
        boundary.before.key = (it - 1)->key;
      } else if (b == from) {
        boundary.before = previous;
      }  // else the record before holds no value
    }
    out->push_back(boundary);
    // The next place lies past this boundary.
    place = std::max<std::uint64_t>(place, static_cast<std::uint64_t>(b) / spacing * spacing);
  }
}

ScanCache::Sample ScanCache::LastOf(const std::vector<Run>& runs, std::uint32_t from, std::uint32_t to,
                                    const Sample& previous) {
  if (to == from) return previous;
  Sample last{to - 1, false, 0};
  if (!runs.empty() && runs.back().first + runs.back().count == to) {
    last.has_key = true;
    last.key = runs.back().key;
  }
  return last;
}

std::vector<ScanCache::Sample> ScanCache::SamplesOf(const Entry& entry) {
  std::vector<Sample> samples;
  samples.reserve(entry.sampled.size() * 2 + 1);
  auto add = [&samples](const Sample& s) {
    if (samples.empty() || samples.back().record < s.record) samples.push_back(s);
  };
  for (const Boundary& b : entry.sampled) {
    if (b.record > 0) add(b.before);
    add(b.at);
  }
  if (entry.known > 0) add(entry.last);
  return samples;
}

void ScanCache::Coalesce(std::vector<Run>* runs, std::size_t from) {
  std::vector<Run>& r = *runs;
  std::size_t kept = std::max<std::size_t>(from, 1);
  if (kept > r.size()) return;
  for (std::size_t i = kept; i < r.size(); ++i) {
    Run& last = r[kept - 1];
    if (last.key == r[i].key && last.first + last.count == r[i].first) {
      last.count += r[i].count;
    } else {
      r[kept++] = r[i];
    }
  }
  r.resize(kept);
}

void ScanCache::SetEnabled(bool enabled) {
  enabled_ = enabled;
  if (!enabled) Clear();
}

void ScanCache::SetLimits(std::size_t max_runs_per_column, std::size_t max_total_bytes, std::uint32_t min_records) {
  max_runs_per_column_ = max_runs_per_column;
  max_total_bytes_ = max_total_bytes;
  min_records_ = min_records;
  EvictOver(max_total_bytes_);
}

ScanCache::Entries::iterator ScanCache::Locate(const ColumnKey& column) {
  return std::find_if(entries_.begin(), entries_.end(), [&column](const Entry& e) {
    return e.column.field == column.field && e.column.path == column.path;
  });
}

ScanCache::Entries::iterator ScanCache::Erase(Entries::iterator it, bool count_drop) {
  bytes_ -= BytesOf(*it);
  if (count_drop) ++stats_.drops;
  return entries_.erase(it);
}

std::optional<std::vector<RecordRun>> ScanCache::Find(const ColumnKey& column, const FileState& state,
                                                      std::uint64_t value_key) {
  if (!enabled()) return std::nullopt;
  const auto it = Locate(column);
  if (it == entries_.end()) return std::nullopt;
  if (it->column.signature != column.signature) {
    Erase(it, true);
    return std::nullopt;
  }
  if (!(it->state == state)) {
    if (!MayHaveGrown(it->state, state)) Erase(it, true);
    return std::nullopt;
  }
  ++stats_.hits;
  entries_.splice(entries_.begin(), entries_, it);
  const auto& runs = entries_.front().runs;
  auto lo =
      std::lower_bound(runs.begin(), runs.end(), value_key, [](const Run& r, std::uint64_t k) { return r.key < k; });
  std::vector<RecordRun> out;
  for (; lo != runs.end() && lo->key == value_key; ++lo) out.push_back(RecordRun{lo->first, lo->count});
  return out;
}

void ScanCache::Store(const ColumnKey& column, const FileState& state, std::uint32_t known, Recorder&& recorder) {
  if (recorder.abandoned() || !enabled()) return;
  Entry entry{column, state, known, std::move(recorder.runs_), {}, std::max<std::uint32_t>(1, known / kPlaces), {}};
  // The samples come from the runs in record order, as the scan recorded them.
  AddBoundaries(entry.runs, 0, known, entry.spacing, Sample{}, &entry.sampled);
  entry.last = LastOf(entry.runs, 0, known, Sample{});
  // A column whose values grow with the records (message numbers, as a rule) is in order already.
  if (!std::is_sorted(entry.runs.begin(), entry.runs.end(), ByKey))
    std::sort(entry.runs.begin(), entry.runs.end(), ByKey);
  // No shrink_to_fit: the room beyond the runs was taken untouched (the recorder reserves for
  // the largest number of runs at once), and copying the runs into a fitting block would touch
  // as much new memory again, which costs more than the runs' recording.
  const std::size_t bytes = BytesOf(entry);
  if (bytes > max_total_bytes_) return;
  if (const auto it = Locate(column); it != entries_.end()) Erase(it, false);
  EvictOver(max_total_bytes_ - bytes);
  entries_.push_front(std::move(entry));
  bytes_ += bytes;
  ++stats_.stores;
}

std::optional<ScanCache::Growth> ScanCache::GrowthOf(const ColumnKey& column, const FileState& state,
                                                     std::uint32_t count) {
  if (!enabled()) return std::nullopt;
  const auto it = Locate(column);
  if (it == entries_.end() || it->state == state) return std::nullopt;
  if (it->column.signature != column.signature || !MayHaveGrown(it->state, state) || count <= it->known) {
    Erase(it, true);
    return std::nullopt;
  }
  return Growth{it->state, it->known, SamplesOf(*it)};
}

bool ScanCache::Grow(const ColumnKey& column, const FileState& before, const FileState& state, std::uint32_t end,
                     Recorder&& added) {
  auto it = Locate(column);
  if (it == entries_.end()) return false;
  if (!(it->state == before) || end < it->known || added.abandoned()) {
    Erase(it, true);
    return false;
  }
  const std::size_t bytes_before = BytesOf(*it);
  const bool kept = Extend(*it, std::move(added.runs_), end);
  bytes_ = bytes_ - bytes_before + BytesOf(*it);
  if (!kept) {
    Erase(it, true);
    return false;
  }
  it->state = state;
  ++stats_.grows;
  entries_.splice(entries_.begin(), entries_, it);
  EvictOver(max_total_bytes_);
  return Locate(column) != entries_.end();
}

void ScanCache::Drop(const ColumnKey& column) {
  if (const auto it = Locate(column); it != entries_.end()) Erase(it, true);
}

std::vector<std::uint32_t> ScanCache::SampledRecords(std::string_view path) const {
  const std::string key = NormalisePath(path);
  std::vector<std::uint32_t> records;
  for (const Entry& e : entries_)
    if (e.column.path == key)
      for (const Sample& s : SamplesOf(e)) records.push_back(s.record);
  std::sort(records.begin(), records.end());
  records.erase(std::unique(records.begin(), records.end()), records.end());
  return records;
}

void ScanCache::Forget(std::string_view path) {
  const std::string key = NormalisePath(path);
  for (auto it = entries_.begin(); it != entries_.end();) it = it->column.path == key ? Erase(it, false) : ++it;
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
  for (auto it = entries_.begin(); it != entries_.end();) {
    if (it->column.path != key) {
      ++it;
      continue;
    }
    bool keep = it->state == before && it->known == first;
    if (keep) {
      Recorder added(max_runs_per_column_, count);
      for (std::uint32_t n = 0; n < count; ++n) {
        std::uint64_t value;
        if (key_of(it->column, n, &value)) added.Add(first + n, value);
      }
      const std::size_t bytes_before = BytesOf(*it);
      keep = !added.abandoned() && Extend(*it, std::move(added.runs_), first + count);
      bytes_ = bytes_ - bytes_before + BytesOf(*it);
    }
    if (!keep) {
      it = Erase(it, true);
      continue;
    }
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
      it = Erase(it, true);
      continue;
    }
    if (c.path == key) it->state = after;
    ++it;
  }
}

bool ScanCache::Extend(Entry& entry, std::vector<Run>&& added, std::uint32_t end) {
  AddBoundaries(added, entry.known, end, entry.spacing, entry.last, &entry.sampled);
  if (entry.sampled.size() > 2 * kPlaces) {
    // Every other place goes, and the places lie twice as far apart from now on.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < entry.sampled.size(); i += 2) entry.sampled[kept++] = entry.sampled[i];
    entry.sampled.resize(kept);
    entry.spacing = entry.spacing > 0x7FFFFFFFu ? entry.spacing : entry.spacing * 2;
  }
  entry.last = LastOf(added, entry.known, end, entry.last);
  entry.known = end;
  if (added.empty()) return true;
  if (!std::is_sorted(added.begin(), added.end(), ByKey)) std::sort(added.begin(), added.end(), ByKey);
  std::vector<Run>& runs = entry.runs;
  if (runs.size() + added.size() > max_runs_per_column_) return false;
  if (runs.empty() || runs.back().key <= added.front().key) {
    // Values that grow with the records: the new runs go after all the others.
    runs.insert(runs.end(), added.begin(), added.end());
    Coalesce(&runs, runs.size() - added.size());
    return true;
  }
  std::vector<Run> merged;
  merged.reserve(runs.size() + added.size());
  std::merge(runs.begin(), runs.end(), added.begin(), added.end(), std::back_inserter(merged), ByKey);
  Coalesce(&merged, 1);
  runs = std::move(merged);
  return true;
}

void ScanCache::Clear() {
  entries_.clear();
  bytes_ = 0;
}

std::size_t ScanCache::MemoryBytes() const { return bytes_; }

void ScanCache::EvictOver(std::size_t budget) {
  while (!entries_.empty() && bytes_ > budget) Erase(std::prev(entries_.end()), false);
}

}  // namespace epd::tables
