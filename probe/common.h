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
// A library by its file's or soname's name up to ".so": libSDL-1.2 for
// libSDL-1.2.so.0 and for libSDL-1.2.so.1.2.60; "" for a file that is no
// shared library.
std::string library_name(const std::string& file);
// The ELF machine and word size of the file at PATH, "183/64" say ("" if it
// is no ELF file).
std::string elf_machine(const std::string& path);
// TEXT as a JSON string, quotes included.
std::string json(const std::string& s);

}  // namespace probe
