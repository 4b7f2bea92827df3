#include "config/field_catalogue.h"

namespace epd::config {
namespace {

constexpr std::string_view kNumeric[] = {kTypeNone, kTypeInteger, kTypeFloat, kTypeString};
constexpr std::string_view kDate[] = {kTypeNone, kTypeString, kTypeDate};
constexpr std::string_view kText[] = {kTypeNone, kTypeString};
constexpr std::string_view kGnvls[] = {kTypeNone, kTypeInteger, kTypeFloat, kTypeString, kTypeBoolean, ""};
constexpr std::string_view kCurSign[] = {kTypeNone, kTypeInteger, kTypeString};
constexpr std::string_view kAltCod[] = {kTypeNone, kTypeString, kTypeInteger};
constexpr std::string_view kIdWare[] = {kTypeNone, kTypeFloat, kTypeString};

}  // namespace

std::span<const std::string_view> OfferedTypes(TypeList list) {
  switch (list) {
    case TypeList::kNumeric: return kNumeric;
    case TypeList::kDate: return kDate;
    case TypeList::kText: return kText;
    case TypeList::kGnvls: return kGnvls;
    case TypeList::kCurSign: return kCurSign;
    case TypeList::kAltCod: return kAltCod;
    case TypeList::kIdWare: return kIdWare;
  }
  return {};
}

PositionRange PositionsOfKind(int kind) {
  switch (kind) {
    case 1: return {0, kHeaderFieldCount - 1};
    case 2: return {kFirstLinePosition, kFieldCount - 1};
    case 3: return {0, kFieldCount - 1};
    default: return {0, -1};
  }
}

}  // namespace epd::config
