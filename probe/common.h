// SPDX-License-Identifier: Zlib
// Time, text and failure helpers the probe's parts share.
#pragma once

#include <sys/time.h>

#include <string>

namespace probe {

// Milliseconds on CLOCK_MONOTONIC, the clock Xvfb stamps its events with.
double now_ms();
double ms(const timeval& tv);
[[noreturn]] void die(const std::string& what);
std::string slurp(const std::string& path);
std::string first_line(const std::string& path);
// TEXT as a JSON string, quotes included.
std::string json(const std::string& s);

}  // namespace probe
