#pragma once

// A moment of the local wall clock.
struct LocalTime {
  int year = 1970;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
  int hour = 0;   // 0..23
  int minute = 0;
  int second = 0;
  int utcOffsetMinutes = 0;  // local time minus UTC
};

LocalTime CurrentLocalTime();
