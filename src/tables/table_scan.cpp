#include "tables/table_scan.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "tables/field_codec.h"

namespace epd::tables {
namespace {

constexpr std::size_t kBlockBytes = 256u << 10;

using NumberKeyFn = std::uint64_t (*)(double);
constexpr NumberKeyFn NumberKey = &ScanCache::NumberKey;
std::uint64_t TextKey(std::string_view bytes) { return ScanCache::TextKey(bytes); }

// The block a full scan reads into, kept for the next scan: fresh memory costs a page fault per
// page on first touch, a block's worth on every scan. One scan at a time, like the whole engine
// (a scan never starts another).
char* BlockBuffer(std::size_t size) {
  static std::unique_ptr<char[]> buffer;
  static std::size_t capacity = 0;
  if (capacity < size) {
    buffer.reset(new char[size]);  // filled by the reads, never cleared
    capacity = size;
  }
  return buffer.get();
}

// memcmp(a, b, n) == 0 for the few bytes of a field, without a call: words of eight bytes, the
// last one ending at the field's end.
inline bool SameBytes(const char* a, const char* b, std::size_t n) {
  auto word = [](const char* p) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
  };
  if (n < 8) return std::memcmp(a, b, n) == 0;
  for (std::size_t i = 0; i + 8 < n; i += 8)
    if (word(a + i) != word(b + i)) return false;
  return word(a + n - 8) == word(b + n - 8);
}

std::string_view WithoutTrailingBlanksAndNuls(std::string_view t) {
  while (!t.empty() && (t.back() == ' ' || t.back() == '\0')) t.remove_suffix(1);
  return t;
}

// The constant text as the probe compares it: without trailing blanks.
std::string_view WithoutTrailingBlanks(std::string_view t) {
  while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
  return t;
}

// Whether every sampled record still holds what the entry recorded for it; runs of sampled
// records that follow each other are read at once.
bool SamplesHold(TableFile& file, const FieldInfo& field, const std::vector<ScanCache::Sample>& samples) {
  const TableLayout& layout = file.layout();
  const std::uint32_t len = layout.record_length;
  std::vector<char> buffer;
  for (std::size_t i = 0; i < samples.size();) {
    std::size_t j = i + 1;
    while (j < samples.size() && j - i < 4 && samples[j].record == samples[j - 1].record + 1) ++j;
    const std::uint32_t n = static_cast<std::uint32_t>(j - i);
    buffer.resize(static_cast<std::size_t>(n) * len);
    if (file.ReadRecords(samples[i].record, n, buffer.data()) != n) return false;
    for (std::uint32_t k = 0; k < n; ++k) {
      const ScanCache::Sample& s = samples[i + k];
      std::uint64_t key = 0;
      const bool has_key =
          ScanCache::ValueKeyOf(layout, field, buffer.data() + static_cast<std::size_t>(k) * len, &key);
      if (has_key != s.has_key || (has_key && key != s.key)) return false;
    }
    i = j;
  }
  return true;
}

// Records the value keys of the records [from, count), deleted ones too, as a full scan
// records them; answers where the records ended (at an end marker in place of a record, or a
// file shorter than its count).
std::uint32_t RecordKeys(TableFile& file, const FieldInfo& field, std::uint32_t from, std::uint32_t count,
                         ScanCache::Recorder* recorder) {
  const TableLayout& layout = file.layout();
  const std::uint32_t len = layout.record_length;
  const std::uint32_t per_block = static_cast<std::uint32_t>(std::max<std::size_t>(1, kBlockBytes / len));
  char* const buffer = BlockBuffer(static_cast<std::size_t>(std::min(per_block, count - from)) * len);
  for (std::uint32_t first = from; first < count;) {
    const std::uint32_t want = std::min(per_block, count - first);
    const std::uint32_t got = file.ReadRecords(first, want, buffer);
    for (std::uint32_t i = 0; i < got; ++i) {
      const char* rec = buffer + static_cast<std::size_t>(i) * len;
      if (rec[0] == 0x1A) return first + i;
      std::uint64_t key;
      if (ScanCache::ValueKeyOf(layout, field, rec, &key)) recorder->Add(first + i, key);
    }
    if (got < want) return first + got;
    first += got;
  }
  return count;
}

}  // namespace

bool FollowGrowth(TableFile& file, const ScanCache::ColumnKey& column, const ScanCache::FileState& state,
                  std::uint32_t count) {
  ScanCache& cache = ScanCache::Instance();
  std::optional<ScanCache::Growth> growth = cache.GrowthOf(column, state, count);
  if (!growth) return false;
  const TableLayout& layout = file.layout();
  if (column.field >= layout.fields.size() || !SamplesHold(file, layout.fields[column.field], growth->samples)) {
    cache.Drop(column);
    return false;
  }
  ScanCache::Recorder added(cache.MaxRunsPerColumn(), count - growth->known);
  const std::uint32_t end = RecordKeys(file, layout.fields[column.field], growth->known, count, &added);
  // Only what was read from a file that stayed as it was is kept; the entry itself stays as it
  // was too, and the next search follows the file from there.
  const TableFile::State after = file.Observe();
  if (!(ScanCache::FileState{after.stamp, after.stored_count} == state)) return false;
  return cache.Grow(column, growth->before, state, end, std::move(added));
}

bool CanProbe(const TableLayout& layout, int field, const Cell& constant) {
  if (field < 0 || static_cast<std::size_t>(field) >= layout.fields.size()) return false;
  const FieldClass cls = ClassOf(layout, layout.fields[static_cast<std::size_t>(field)]);
  if ((cls == FieldClass::kInteger || cls == FieldClass::kNumber) && constant.kind == Cell::kNumber) return true;
  // Character bytes are compared as stored only where no code page conversion stands between.
  return cls == FieldClass::kText && constant.kind == Cell::kText && layout.coding == TextCoding::kAsIs;
}

TableScan::TableScan(TableFile& file, std::optional<EqualityProbe> probe, RecordTest accept, bool record_runs)
    : file_(file), accept_(std::move(accept)), record_runs_(record_runs), probe_(std::move(probe)) {
  if (probe_) {
    if (probe_->constant.kind == Cell::kNumber) {
      probe_number_ = probe_->constant.number;
      probe_key_ = NumberKey(probe_number_);
    } else {
      probe_text_ = std::string(WithoutTrailingBlanks(probe_->constant.text));
      probe_key_ = TextKey(WithoutTrailingBlanksAndNuls(probe_text_));
    }
  }
}

bool TableScan::ProbeMatches(const char* record, std::uint64_t* key, bool* has_key) const {
  const TableLayout& layout = file_.layout();
  const FieldInfo& f = layout.fields[static_cast<std::size_t>(probe_->field)];
  if (probe_->constant.kind == Cell::kNumber) {
    double v;
    *has_key = DecodeNumber(layout, f, record, &v);
    if (!*has_key) return false;
    *key = NumberKey(v);
    return v == probe_number_;
  }
  const std::string_view bytes = TrimmedBytes(f, record);
  *has_key = !bytes.empty();
  if (!*has_key) return false;
  *key = TextKey(bytes);
  return bytes == probe_text_;
}

bool TableScan::Accept(const char* record) const { return !accept_ || accept_(record); }

void TableScan::ReadRuns(const std::vector<RecordRun>& runs,
                         const std::function<void(std::uint32_t, const char*)>& visit) {
  const std::uint32_t len = file_.layout().record_length;
  const std::uint32_t per_block = static_cast<std::uint32_t>(std::max<std::size_t>(1, kBlockBytes / len));
  std::unique_ptr<char[]> buffer;  // filled by the reads, never cleared
  std::size_t capacity = 0;
  for (const RecordRun& run : runs) {
    for (std::uint32_t done = 0; done < run.count;) {
      const std::uint32_t want = std::min(per_block, run.count - done);
      if (capacity < static_cast<std::size_t>(want) * len) {
        capacity = static_cast<std::size_t>(want) * len;
        buffer.reset(new char[capacity]);
      }
      const std::uint32_t got = file_.ReadRecords(run.first + done, want, buffer.get());
      for (std::uint32_t i = 0; i < got; ++i) {
        const char* rec = buffer.get() + static_cast<std::size_t>(i) * len;
        if (rec[0] == '*' || rec[0] == 0x1A) continue;
        std::uint64_t key;
        bool has_key;
        if (!ProbeMatches(rec, &key, &has_key) || !Accept(rec)) continue;
        visit(run.first + done + i, rec);
      }
      if (got < want) return;
      done += got;
    }
  }
}

// Reads the records [0, count) block by block. `probe(record, key)` answers 1 for a record that
// passes the probe, 0 for one that does not and -1 for one whose probed field is blank; it sets
// *key (when `key` is not null) to the field's value key for the recorder.
template <typename Probe>
std::uint32_t TableScan::ScanBlocks(std::uint32_t count, ScanCache::Recorder* recorder, Probe probe,
                                    const std::function<void(std::uint32_t, const char*)>& visit) {
  const std::uint32_t len = file_.layout().record_length;
  const std::uint32_t per_block = static_cast<std::uint32_t>(std::max<std::size_t>(1, kBlockBytes / len));
  char* const buffer =
      BlockBuffer(static_cast<std::size_t>(std::min(per_block, std::max<std::uint32_t>(count, 1))) * len);
  // The probed field's bytes of the record probed last, and what the probe said of them: the
  // records of one value usually follow each other (an invoice's lines), and the same bytes
  // give the same answer without being decoded again.
  const FieldInfo* probed = probe_ ? &file_.layout().fields[static_cast<std::size_t>(probe_->field)] : nullptr;
  std::string last_bytes;
  bool have_last = false;
  int last_outcome = 0;
  std::uint64_t last_key = 0;
  for (std::uint32_t first = 0; first < count;) {
    const std::uint32_t want = std::min(per_block, count - first);
    const std::uint32_t got = file_.ReadRecords(first, want, buffer);
    for (std::uint32_t i = 0; i < got; ++i) {
      const char* rec = buffer + static_cast<std::size_t>(i) * len;
      if (rec[0] == 0x1A) return first + i;  // the end marker where a record should be: the table ends here
      // A deleted record is recorded with the rest, so that what an entry says does not depend
      // on deletion marks, which anyone may set or clear; it is never visited.
      const bool deleted = rec[0] == '*';
      if (deleted && recorder == nullptr) continue;
      std::uint64_t key;
      int outcome;
      if (probed != nullptr && have_last && SameBytes(rec + probed->offset, last_bytes.data(), probed->length)) {
        outcome = last_outcome;
        key = last_key;
      } else {
        outcome = probe(rec, recorder ? &key : nullptr);
        if (probed != nullptr) {
          last_bytes.assign(rec + probed->offset, probed->length);
          have_last = true;
          last_outcome = outcome;
          last_key = recorder ? key : 0;
        }
      }
      if (recorder && outcome >= 0) recorder->Add(first + i, key);
      if (deleted || outcome <= 0 || !Accept(rec)) continue;
      visit(first + i, rec);
    }
    if (got < want) return first + got;
    first += got;
  }
  return count;
}

void TableScan::Run(const std::function<void(std::uint32_t, const char*)>& visit) {
  used_cache_ = false;
  ScanCache& cache = ScanCache::Instance();
  const TableLayout& layout = file_.layout();
  // The state of the open file itself (not of whatever its path names now), in two calls.
  const TableFile::State now = file_.Observe();
  state_known_ = true;
  state_ = ScanCache::FileState{now.stamp, now.stored_count};
  const std::uint32_t count = now.count;

  ScanCache::ColumnKey column;
  const bool cacheable = probe_ && state_known_ && cache.enabled();
  if (cacheable) {
    const FieldInfo& f = layout.fields[static_cast<std::size_t>(probe_->field)];
    column = ScanCache::ColumnKey{ScanCache::NormalisePath(file_.path()), layout.signature,
                                  static_cast<std::uint32_t>(probe_->field), f.offset, f.length};
    std::optional<std::vector<RecordRun>> runs = cache.Find(column, state_, probe_key_);
    if (!runs && FollowGrowth(file_, column, state_, count)) runs = cache.Find(column, state_, probe_key_);
    if (runs) {
      used_cache_ = true;
      ReadRuns(*runs, visit);
      return;
    }
  }
  std::optional<ScanCache::Recorder> recorder;
  // Room for a run per record, the most there can be, taken at once: the memory is touched only
  // as far as runs are recorded, and growing the runs' vector would copy them again and again.
  if (cacheable && record_runs_ && count >= cache.MinRecords()) recorder.emplace(cache.MaxRunsPerColumn(), count);

  ScanCache::Recorder* rec = recorder ? &*recorder : nullptr;
  const FieldInfo* f = probe_ ? &layout.fields[static_cast<std::size_t>(probe_->field)] : nullptr;
  std::uint32_t known = 0;
  if (!probe_) {
    known = ScanBlocks(
        count, nullptr, [](const char*, std::uint64_t*) { return 1; }, visit);
  } else if (probe_->constant.kind == Cell::kNumber && (f->type == 'N' || f->type == 'F')) {
    // Numbers as they are stored in nearly every file, blanks and digits, are read right here;
    // any other form goes through the full decoding.
    const double constant = probe_number_;
    const TableLayout* l = &layout;
    known = ScanBlocks(
        count, rec,
        [f, l, constant](const char* record, std::uint64_t* key) {
          std::int64_t v;
          if (DecodePlainInteger(*f, record, &v)) {
            // Compared as the double the full condition compares, so that both always agree.
            const double d = static_cast<double>(v);
            if (key) *key = NumberKey(d);
            return d == constant ? 1 : 0;
          }
          double d;
          if (!DecodeNumber(*l, *f, record, &d)) return -1;
          if (key) *key = NumberKey(d);
          return d == constant ? 1 : 0;
        },
        visit);
  } else {
    known = ScanBlocks(
        count, rec,
        [this](const char* record, std::uint64_t* key) {
          std::uint64_t k;
          bool has_key;
          const bool match = ProbeMatches(record, &k, &has_key);
          if (!has_key) return -1;
          if (key) *key = k;
          return match ? 1 : 0;
        },
        visit);
  }
  if (recorder && !recorder->abandoned()) {
    // Only what was read from an unchanged file is kept.
    const TableFile::State after = file_.Observe();
    if (ScanCache::FileState{after.stamp, after.stored_count} == state_)
      cache.Store(column, state_, known, std::move(*recorder));
  }
}

}  // namespace epd::tables
