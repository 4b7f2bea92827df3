#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// Finds a name in a list of names without regard to letter case (code page 1251) by hashing,
// instead of comparing it with every name: column lookups by name happen for every field of
// every record a program reads or writes. The first of equal names wins, as in a walk of the
// list. An index built for another number of names than the list now holds is not used.
namespace epd::tables {

class NameIndex {
 public:
  // `name_at(i)` gives the i-th name as a string_view.
  template <typename NameAt>
  void Build(std::size_t count, NameAt name_at) {
    slots_.assign(SlotCountFor(count), -1);
    built_for_ = count;
    for (std::size_t i = 0; i < count; ++i) {
      const std::string_view name = name_at(i);
      std::size_t s = Hash(name) & (slots_.size() - 1);
      bool duplicate = false;
      for (; slots_[s] >= 0; s = (s + 1) & (slots_.size() - 1))
        if (SameName(name_at(static_cast<std::size_t>(slots_[s])), name)) duplicate = true;
      if (!duplicate) slots_[s] = static_cast<std::int32_t>(i);
    }
  }

  // The position of the name among `count` names, or -1.
  template <typename NameAt>
  int Find(std::string_view name, std::size_t count, NameAt name_at) const {
    if (built_for_ != count || slots_.empty()) {
      for (std::size_t i = 0; i < count; ++i)
        if (SameName(name_at(i), name)) return static_cast<int>(i);
      return -1;
    }
    for (std::size_t s = Hash(name) & (slots_.size() - 1); slots_[s] >= 0; s = (s + 1) & (slots_.size() - 1))
      if (SameName(name_at(static_cast<std::size_t>(slots_[s])), name)) return slots_[s];
    return -1;
  }

 private:
  static std::size_t SlotCountFor(std::size_t count);
  static std::uint32_t Hash(std::string_view name);
  static bool SameName(std::string_view a, std::string_view b);

  std::vector<std::int32_t> slots_;
  std::size_t built_for_ = 0;
};

}  // namespace epd::tables
