// The clock (with a pin for tests), the time zone guard, and thin wrappers of the C calendar calls.
#include "win/Time.h"

#include <cstdlib>

namespace win {

namespace {

bool pinned = false;
std::time_t pinnedNow = 0;

}  // namespace

std::time_t Now() { return pinned ? pinnedNow : std::time(nullptr); }

ScopedFixedNow::ScopedFixedNow(std::time_t now) : hadPrevious_(pinned), previous_(pinnedNow) {
    pinned = true;
    pinnedNow = now;
}

ScopedFixedNow::~ScopedFixedNow() {
    pinned = hadPrevious_;
    pinnedNow = previous_;
}

ScopedTimeZone::ScopedTimeZone(const char* timeZone) {
    const char* old = std::getenv("TZ");
    hadPrevious_ = old != nullptr;
    if (old != nullptr) previous_ = old;
    ::setenv("TZ", timeZone != nullptr ? timeZone : "", 1);
    ::tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
    if (hadPrevious_) {
        ::setenv("TZ", previous_.c_str(), 1);
    } else {
        ::unsetenv("TZ");
    }
    ::tzset();
}

bool LocalTime(std::time_t t, std::tm& out) { return ::localtime_r(&t, &out) != nullptr; }

size_t FormatTime(char* buffer, size_t size, const char* format, const std::tm& time) {
    if (buffer == nullptr || size == 0) return 0;
    if (format == nullptr) {
        buffer[0] = '\0';
        return 0;
    }
    size_t n = std::strftime(buffer, size, format, &time);
    if (n == 0) buffer[0] = '\0';
    return n;
}

std::string FormatLocalTime(std::time_t t, const char* format) {
    std::tm local{};
    if (format == nullptr || *format == '\0' || !LocalTime(t, local)) return {};
    for (size_t size = 128; size <= 65536; size *= 4) {
        std::string buffer(size, '\0');
        size_t n = std::strftime(buffer.data(), size, format, &local);
        if (n > 0) {
            buffer.resize(n);
            return buffer;
        }
    }
    return {};  // only conversions that give nothing, or a text beyond any sensible length
}

std::time_t MakeLocalTime(std::tm& time) { return std::mktime(&time); }

std::time_t MakeLocalTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm time{};
    time.tm_year = year - 1900;
    time.tm_mon = month - 1;
    time.tm_mday = day;
    time.tm_hour = hour;
    time.tm_min = minute;
    time.tm_sec = second;
    time.tm_isdst = -1;
    return std::mktime(&time);
}

}  // namespace win
