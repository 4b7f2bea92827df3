#pragma once

#include <cstdint>
#include <string>

// One typed value: what a field holds once decoded, and what local SQL computes with.
namespace epd::tables {

struct Cell {
  enum Kind : std::uint8_t { kNull, kNumber, kText, kDate, kTimestamp, kBool };
  Kind kind = kNull;
  bool boolean = false;
  double number = 0;      // kNumber
  std::int64_t days = 0;  // kDate, kTimestamp: days since 1970-01-01
  std::int64_t ms = 0;    // kTimestamp: milliseconds into the day
  std::string text;       // kText, code page 1251

  static Cell Null() { return Cell{}; }
  static Cell Number(double v) {
    Cell c;
    c.kind = kNumber;
    c.number = v;
    return c;
  }
  static Cell Text(std::string v) {
    Cell c;
    c.kind = kText;
    c.text = std::move(v);
    return c;
  }
  static Cell Date(std::int64_t d) {
    Cell c;
    c.kind = kDate;
    c.days = d;
    return c;
  }
  static Cell Timestamp(std::int64_t d, std::int64_t ms) {
    Cell c;
    c.kind = kTimestamp;
    c.days = d;
    c.ms = ms;
    return c;
  }
  static Cell Bool(bool v) {
    Cell c;
    c.kind = kBool;
    c.boolean = v;
    return c;
  }
  bool IsNull() const { return kind == kNull; }
};

}  // namespace epd::tables
