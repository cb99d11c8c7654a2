// Whether a terminal's date and time can be real: a record that says otherwise is not attendance.
// And the one way a minute is written ("YYYY-MM-DD HH:MM"), for the store and every reader of it.
#pragma once

#include <cstdio>
#include <string>

namespace movar::store {

inline bool isLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

inline bool isRealDate(int year, int month, int day) {
  constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1) return false;
  return day <= kDays[month - 1] + (month == 2 && isLeap(year) ? 1 : 0);
}

inline bool isRealTime(int hour, int minute, int second = 0) {
  return hour <= 23 && minute <= 59 && second <= 59;
}

inline std::string minuteText(long year, long month, long day, long hour, long minute) {
  char text[48];
  std::snprintf(text, sizeof text, "%04ld-%02ld-%02ld %02ld:%02ld", year, month, day, hour, minute);
  return text;
}

}  // namespace movar::store
