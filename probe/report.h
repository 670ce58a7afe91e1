// SPDX-License-Identifier: Zlib
// The probe's report: one JSON line of what it saw, times in milliseconds
// since the program was started.
#pragma once

#include "program.h"

namespace probe {

void report(const Options& o, const Run& r, const WindowLog& windows);
// Writes the window's icon to --save-icon's file, where both are given.
void save_icon(const Options& o, const Run& r, const WindowLog& windows);

}  // namespace probe
