#pragma once
// Time as the components compute with it.
#include <cstdint>

namespace nb {

// Millisecond tick: CLOCK_MONOTONIC in milliseconds, low 32 bits.
uint32_t TickCount();
// Local date and time as days since 1899-12-30.
double Now();
// Splits the time-of-day part of a date-time (whole days dropped).
void DecodeTime(double dateTime, uint16_t& hour, uint16_t& minute, uint16_t& second, uint16_t& msec);
// Local date and time, broken down.
struct TDateParts {
    int Year, Month, Day, Hour, Minute, Second;
};
TDateParts DecodeDateTime(double dateTime);
// Seconds since 1970-01-01 00:00 UTC of a UTC date and time (a server's MDTM, for instance).
int64_t UnixSecondsOfUtc(const TDateParts& utc);

uint32_t CurrentProcessId();

}  // namespace nb
