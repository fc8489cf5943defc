#pragma once
#include <QtGlobal>

#include "profile/AtomicFile.h"

// The fault plan in force, for the platform's write code (see AtomicFile::Faults).
namespace AtomicFile::Detail {
// Whether this step of the current write fails; a step fails once.
bool failsAt(Step step);
// How many of chunk bytes the disk takes now: chunk without a plan, 0 when it is full.
qint64 roomFor(qint64 chunk);
}  // namespace AtomicFile::Detail
