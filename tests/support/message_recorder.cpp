// SPDX-License-Identifier: GPL-3.0-or-later
// The recorder is header-only; this file keeps the support library non-empty.
#include "tests/support/message_recorder.h"
