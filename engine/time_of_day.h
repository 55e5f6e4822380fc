// The one reader of times of day, for stored values, SQL escapes and the SQL functions: each
// accepts its own form, all share the parts, their ranges and the stored text. Internal to
// engine/.
#ifndef VELDA_ENGINE_TIME_OF_DAY_H
#define VELDA_ENGINE_TIME_OF_DAY_H

#include <cstdint>
#include <string>
#include <string_view>

namespace engine::timeofday {

constexpr int64_t kMillisPerDay = 86400000;

enum class Form {
    // "H:M[:S[.f]]": hours, minutes and seconds of one or two digits, one to three of a second.
    Stored,
    // "HH:MM:SS[.f]": the escape {t '...'}; exactly two digits each, one to three of a second.
    Escape,
    // The SQL functions' text: blanks around it, parts of up to three digits, and a 12-hour
    // clock's "AM" or "PM" (any case) at its end.
    Loose,
};

// Milliseconds since midnight of a text of the form; false when it is none (hours above 23,
// minutes or seconds above 59 included). A fraction of one or two digits counts as tenths or
// hundredths of a second.
bool parse(std::string_view text, Form form, int64_t& millis);

// The stored text of a time of day: "HH:MM:SS.mmm".
std::string text(int64_t millis);

}  // namespace engine::timeofday

#endif
