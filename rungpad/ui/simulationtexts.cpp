// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/ui/simulationtexts.h"

#include "common/catalogue.h"

namespace rungpad::ui {

namespace {

using Entry = vantor::CatalogueRow<SimText>;

// clang-format off
constexpr Entry kTexts[] = {
    {SimText::Simulate, "仿真运行(&S)", "&Simulate"},
    {SimText::Run, "运行", "Run"},
    {SimText::Pause, "暂停", "Pause"},
    {SimText::SingleScan, "单次扫描", "Single scan"},
    {SimText::Speed, "速度", "Speed"},
    {SimText::Period, "扫描周期", "Scan period"},
    {SimText::ToolBarTitle, "仿真", "Simulation"},
    {SimText::WatchTitle, "监视表", "Watch"},
    {SimText::WatchAddress, "地址", "Address"},
    {SimText::WatchValue, "值", "Value"},
    {SimText::WatchAdd, "监视", "Watch"},
    {SimText::WatchRemove, "移除", "Remove"},
    {SimText::WatchExport, "导出CSV...", "Export CSV..."},
    {SimText::WatchRunTest, "运行测试文件...", "Run test file..."},
    {SimText::NotSimulated, "不仿真", "not simulated"},
    {SimText::Started, "仿真开始", "Simulation started"},
    {SimText::Stopped, "仿真结束", "Simulation ended"},
    {SimText::BadAddress, "地址无效: %1", "Not an address: %1"},
    {SimText::LoadFailed, "第%1行无法仿真: %2", "Line %1 cannot be simulated: %2"},
    {SimText::ScanFault, "扫描中止: %1", "Scan stopped: %1"},
    {SimText::TestPassed, "测试通过: %1 项检查", "Test passed: %1 expectations"},
    {SimText::TestFailed, "测试失败: %1 项检查中 %2 项失败", "Test failed: %2 of %1 expectations"},
    {SimText::TestStep, "第%1行 %2: 期望 %3, 实际 %4", "line %1 %2: expected %3, got %4"},
    {SimText::CsvFilter, "CSV 文件 (*.csv)", "CSV file (*.csv)"},
    {SimText::TestFilter, "梯形图测试文件 (*.txt *.test)", "Ladder test file (*.txt *.test)"},
    {SimText::ExportDone, "已导出 %1 行", "%1 rows exported"},
    {SimText::ExportFailed, "导出失败: %1", "Export failed: %1"},
};
// clang-format on
static_assert(vantor::rowsDistinct(kTexts), "one row per text");

}  // namespace

QString simText(SimText id, int language)
{
    return vantor::catalogueText(kTexts, id, language != 0);
}

}  // namespace rungpad::ui
