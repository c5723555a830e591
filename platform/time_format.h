// Turns a locale's time-of-day format into one without seconds, and makes a formatted time safe
// to embed in comma-separated, line-based records. Pure functions: thread-safe.
#ifndef VARDOMAR_PLATFORM_TIME_FORMAT_H_
#define VARDOMAR_PLATFORM_TIME_FORMAT_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace vard {

// Returns a strftime format showing hours and minutes in the style of `t_fmt` (a locale's time
// format) with the seconds field removed, together with the separator that joins it to the
// minutes (":%S" in "%H:%M:%S") or, when that separator is not punctuation, the unit text after
// it (the "s" of "%Hh%Mm%Ss"). "%T" and "%r" are expanded first ("%r" through `t_fmt_ampm`). An
// empty or seconds-only format gives "%H:%M".
std::string TimeOfDayFormatWithoutSeconds(std::string_view t_fmt, std::string_view t_fmt_ampm);

// Rewrites the `n` bytes at `text` in place: commas, CR and LF become spaces, and spaces at both
// ends are dropped. Terminates the result and returns its length (at most n). `text` must have
// room for n + 1 bytes.
size_t SanitizeTimeText(char* text, size_t n);

}  // namespace vard

#endif  // VARDOMAR_PLATFORM_TIME_FORMAT_H_
