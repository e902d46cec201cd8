// The clock and calendar: the current time, local time and its formatting, and the conversion of a
// local date and time to a time value with the platform's daylight saving. The system asks the clock
// only through these calls, so tests can pin both the time and the time zone.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>

namespace win {

// Seconds since 1970 (UTC): the pinned time while a ScopedFixedNow lives, else the system clock.
std::time_t Now();

// Pins Now() to the given time for the guard's life; guards nest (the inner one wins, and the
// outer one's time comes back when it ends). Meant for tests, on one thread.
class [[nodiscard]] ScopedFixedNow {
public:
    explicit ScopedFixedNow(std::time_t now);
    ~ScopedFixedNow();
    ScopedFixedNow(const ScopedFixedNow&) = delete;
    ScopedFixedNow& operator=(const ScopedFixedNow&) = delete;

private:
    bool hadPrevious_;
    std::time_t previous_;
};

// Sets the time zone (the TZ variable, e.g. "Europe/Berlin" or "UTC0") for the guard's life and
// restores the one before. Meant for tests, on one thread.
class [[nodiscard]] ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* timeZone);
    ~ScopedTimeZone();
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    bool hadPrevious_;
    std::string previous_;
};

// The local calendar time of t (localtime_r); false when t cannot be represented.
bool LocalTime(std::time_t t, std::tm& out);

// strftime into the buffer: the number of characters written without the zero, or 0 when the text
// does not fit (the buffer then holds "" when size > 0).
size_t FormatTime(char* buffer, size_t size, const char* format, const std::tm& time);

// The local time of t in the format (strftime conversions); "" when t cannot be represented.
std::string FormatLocalTime(std::time_t t, const char* format);

// mktime: the time value of the local calendar time, whose fields are normalised in place; with
// tm_isdst < 0 the platform decides whether daylight saving applies. -1 when not representable.
std::time_t MakeLocalTime(std::tm& time);

// The time value of a local date and time (month 1-12), daylight saving decided by the platform.
std::time_t MakeLocalTime(int year, int month, int day, int hour, int minute, int second);

}  // namespace win
