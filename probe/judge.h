// SPDX-License-Identifier: Zlib
// Judging a run against the expectations given on the command line.
#pragma once

#include "program.h"

namespace probe {

// Says on standard error each expectation the run broke, and returns how many.
int judge(const Options& o, const Run& r, const WindowLog& windows);

}  // namespace probe
