#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Dates as day numbers (days since 1970-01-01, proleptic Gregorian calendar) and their texts in
// the user's short date form, given as a Windows picture ("dd.MM.yyyy", "M/d/yy", ...).
namespace epd::tables {

std::int64_t DaysFromCivil(int year, int month, int day);
void CivilFromDays(std::int64_t days, int* year, int* month, int* day);
bool IsValidDate(int year, int month, int day);

std::string FormatDate(std::int64_t days, std::string_view picture);
// The time of day as H:mm:ss.
std::string FormatTime(std::int64_t ms_of_day);

// Reads a date in the order of day, month and year that the picture gives, with any of its
// separators, 1 or 2 digit days and months, 2 or 4 digit years (2 digits: the year within 50
// years of the current one). False when the text is no valid date.
bool ParseDate(std::string_view text, std::string_view picture, std::int64_t* days);
// A date as above, optionally followed by a blank and a time H:mm[:ss].
bool ParseDateTime(std::string_view text, std::string_view picture, std::int64_t* days, std::int64_t* ms_of_day);
// True when ParseDate reads the text FormatDate writes for any valid date back as that date: the
// picture is day, month and four-digit year in some order ("d" or "dd", "M" or "MM", "yyyy"),
// with one ASCII punctuation character between them.
bool DateTextRoundTrips(std::string_view picture);

std::int64_t TodayDays();

}  // namespace epd::tables
