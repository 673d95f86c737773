// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs one of our programs as if the disk under one folder were full or failing: the
// program is started with the fault library (LD_PRELOAD) from the build tree, so the same
// binary users run meets ENOSPC or EIO exactly where the test chose.
#include "common/testing/testfiles.h"

#include <QString>
#include <QStringList>

namespace vantor::testing {

struct DiskFault {
    QString folder;                        // this folder and everything below it
    const char* op = "write";              // write, open, fsync, close or rename
    const char* error = "ENOSPC";          // or "EIO"
    qint64 after = 0;                      // for write: bytes the folder still takes
};

// The fault library; empty when it was not built.
QString diskFaultLibrary();
// LD_PRELOAD for a child: a sanitizer runtime this process carries must come first.
QString preloadWith(const QString& library);
// `environment`: more NAME=value settings for the child (its own HOME, say).
ProgramResult runProgramOnFaultyDisk(const char* name, const QStringList& args, const QString& workDir,
                                     const DiskFault& fault, const QStringList& environment = {}, int timeoutMs = 90000);

}  // namespace vantor::testing
