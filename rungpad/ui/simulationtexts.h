// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The texts of simulation mode, Chinese and English side by side, looked up by name with the
// language index (0 Chinese, 1 English).
#include <QString>

namespace rungpad::ui {

enum class SimText {
    Simulate, Run, Pause, SingleScan, Speed, Period, ToolBarTitle,
    WatchTitle, WatchAddress, WatchValue, WatchAdd, WatchRemove, WatchExport, WatchRunTest,
    NotSimulated, Started, Stopped, BadAddress, LoadFailed, ScanFault,
    TestPassed, TestFailed, TestStep, CsvFilter, TestFilter, ExportDone, ExportFailed,
};

QString simText(SimText id, int language);

}  // namespace rungpad::ui
