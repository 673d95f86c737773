// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/review/reviewtexts.h"

#include "common/catalogue.h"

#include <array>
#include <utility>

namespace rungpad {

namespace {

using Entry = vantor::CatalogueRow<ReviewText>;

// clang-format off
constexpr Entry kTexts[] = {
    {ReviewText::UseContact, "常开触点", "contact"},
    {ReviewText::UseContactNC, "常闭触点", "NC contact"},
    {ReviewText::UseCoil, "线圈", "coil"},
    {ReviewText::UseCoilNot, "取反线圈", "negated coil"},
    {ReviewText::UseSet, "置位", "SET"},
    {ReviewText::UseReset, "复位", "RST"},
    {ReviewText::UseRead, "%1 读", "%1 reads"},
    {ReviewText::UseWrite, "%1 写", "%1 writes"},
    {ReviewText::UseNumber, "%1 号", "%1 number"},
    {ReviewText::AccessRead, "读", "read"},
    {ReviewText::AccessWrite, "写", "write"},
    {ReviewText::WarnWrittenTwice, "%1 在多处被写入(双线圈): %2", "%1 is written in more than one place (double coil): %2"},
    {ReviewText::WarnSetWithoutReset, "%1 有置位而无复位: %2", "%1 is SET but never RST: %2"},
    {ReviewText::WarnResetWithoutSet, "%1 有复位而无置位: %2", "%1 is RST but never SET: %2"},
    {ReviewText::WarnReadNeverWritten, "%1 被读取但从未写入: %2", "%1 is read but never written: %2"},
    {ReviewText::WarnNumberTwice, "%1 %2 重复使用: %3", "%1 %2 is used more than once: %3"},
    {ReviewText::WarnOutsideCommentArea, "%1 不在注释文件描述的区域内: %2", "%1 lies outside the areas the comment files describe: %2"},
    {ReviewText::NumberTimer, "定时器", "timer"},
    {ReviewText::NumberTimerB, "TMRB定时器", "TMRB timer"},
    {ReviewText::NumberCounter, "计数器", "counter"},
    {ReviewText::NumberEdge, "边沿", "edge"},
    {ReviewText::XrefHeading, "交叉引用表", "Cross-reference list"},
    {ReviewText::XrefWindowCommand, "全部地址交叉引用表(&A)", "Cross-reference of &All Addresses"},
    {ReviewText::XrefNoWarnings, "没有警告。", "No warnings."},
    {ReviewText::XrefWarningsHeading, "警告", "Warnings"},
    {ReviewText::XrefColumns, "地址,注释,行,列,用途,读写", "address,comment,line,column,use,access"},
    {ReviewText::DiffAdded, "增加", "added"},
    {ReviewText::DiffRemoved, "删除", "removed"},
    {ReviewText::DiffChanged, "修改", "changed"},
    {ReviewText::DiffSummary, "增加 %1 行, 删除 %2 行, 修改 %3 行", "%1 lines added, %2 removed, %3 changed"},
    {ReviewText::DiffSame, "两个梯形图相同。", "The two ladders are the same."},
    {ReviewText::DiffAddresses, "用途改变的地址: %1", "Addresses whose use changed: %1"},
    {ReviewText::DiffColumns, "列 %1", "columns %1"},
    {ReviewText::CompareTitle, "比较: %1 与 %2", "Compare: %1 with %2"},
    {ReviewText::CompareChooseFile, "选择要比较的梯形图", "Choose the ladder to compare with"},
    {ReviewText::CompareNeedsDocument, "请先打开一个梯形图。", "Open a ladder first."},
    {ReviewText::RecoverQuestion, "上次运行意外结束, 找到 %1 的自动保存 (%2)。恢复吗?",
     "Rungpad ended unexpectedly last time. An autosave of %1 from %2 was found. Recover it?"},
    {ReviewText::RecoverFailed, "自动保存无法读取: %1", "The autosave could not be read: %1"},
    {ReviewText::ChangedOnDisk, "%1 在打开后已被其他程序修改。仍然覆盖吗?",
     "%1 has been changed on disk since it was opened. Overwrite it anyway?"},
    {ReviewText::AutosaveFailed, "自动保存失败: %1", "Autosave failed: %1"},
    {ReviewText::TitleFile, "文件", "File"},
    {ReviewText::TitleVersion, "版本", "Version"},
    {ReviewText::TitleMachine, "适用机床", "Machine"},
    {ReviewText::TitleModifier, "修改人", "Modified by"},
    {ReviewText::TitleSaved, "保存时间", "Saved"},
    {ReviewText::TitlePageOf, "第 %1 页 共 %2 页", "Page %1 of %2"},
    {ReviewText::TitlePrinted, "打印日期", "Printed"},
    {ReviewText::AppendixHeading, "附录: 交叉引用表", "Appendix: cross-reference list"},
    {ReviewText::PageSignalsHeading, "本页信号", "Signals on this page"},
    {ReviewText::ShowComments, "在梯形图中显示注释(&C)", "Show &Comments in the Ladder"},
    {ReviewText::PrintCrossReference, "打印附交叉引用表(&W)", "Print &With Cross-reference Appendix"},
    {ReviewText::CompareCommand, "比较梯形图(&P)...", "Com&pare Ladders..."},
    {ReviewText::CrossReferenceReport, "导出交叉引用表(&M)...", "Export Cross-reference Su&mmary..."},
    {ReviewText::CrossReferenceAll, "全部地址", "All addresses"},
};
// clang-format on
static_assert(vantor::rowsDistinct(kTexts), "one row per text");

}  // namespace

QString reviewText(ReviewText id, int language)
{
    return vantor::catalogueText(kTexts, id, language != 0);
}

}  // namespace rungpad
