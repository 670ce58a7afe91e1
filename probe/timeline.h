// SPDX-License-Identifier: Zlib
// A run that another watcher recorded (tests/wayland_probe.py, which follows
// the program's windows through a Wayland compositor), read back so that the
// same judge judges it. One fact a line, times in ms since the start; texts
// in hexadecimal, so that any byte may be in them:
//   pid N                        the program's process
//   exit MS                      when it ended, and how:
//   status N | signal N
//   output HEX                   what it wrote to standard output
//   libraries LIB,LIB            the SDL libraries mapped into it (names up to ".so")
//   window ID KEY=VALUE...       one of its windows: created, mapped, captioned
//                                and gone (MS, -1 for never) as the watcher
//                                read them, and mapped_early, captioned_early
//                                and gone_early, moments no later than each
//                                (Seen); width, height, shell, and wm_class and
//                                wm_name (HEX)
#pragma once

#include <map>
#include <string>

#include "program.h"

namespace probe {

// Reads PATH into R and WINDOWS; dies on a line it cannot read.
void read_timeline(const std::string& path, Run& r, WindowLog& windows);

}  // namespace probe
