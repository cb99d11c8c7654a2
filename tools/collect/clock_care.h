// Clock care: a terminal's clock set from the PC's local time, at most once a day, right after a
// good download of it. Whether a day has passed is read from the collection log (its last good
// clock row), so a restarted collector does not set it again.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "collect/target.h"
#include "platform/platform.h"
#include "store/store.h"

namespace movar::collect {

// The seven bytes the terminal takes (year within the century, month, day, hour, minute, second,
// weekday from Sunday = 0), each in BCD.
struct ClockBytes {
  std::int32_t values[7];
};
ClockBytes clockBytes(const std::tm& local);

// Due when the terminal's last good clock setting finished a day or more before `nowUtc`
// ("YYYY-MM-DD HH:MM:SS"), or it never had one.
bool clockDue(const std::optional<std::string>& lastSet, const std::string& nowUtc);

// Sets the clock of `target` when due and logs the setting as a clock row; none when not due.
// A store that cannot be read or written is a failed setting's reason, never a throw.
std::optional<store::Attempt> careForClock(Platform& platform, const Target& target, store::Store& store);

}  // namespace movar::collect
