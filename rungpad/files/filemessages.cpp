// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/files/filemessages.h"

#include <iterator>

namespace rungpad {

namespace {

struct Entry {
    FileMessage id;
    const char* chinese;  // UTF-8 source text
    const char* english;
};

// Where the older editor had no Chinese twin the English wording is translated plainly.
constexpr Entry kMessages[] = {
    {FileMessage::LoadingFile, "正在载入文件......", "Loading file..."},
    {FileMessage::CannotOpenLadder, "无法打开梯形图文件!", "Can not open ladder file!"},
    {FileMessage::FileLoaded, "文件载入完成!", "File has be load!"},
    {FileMessage::LoadingNotation, "正在载入注释......", "Loading Notation..."},
    {FileMessage::LoadNotationError, "载入注释失败!", "Load Notation errer!"},
    {FileMessage::NotationLoaded, "注释载入完成!", "Notation has Load!"},
    {FileMessage::ConvertError, "梯形图转换失败!", "Convert error!"},
    {FileMessage::SaveFileFail, "保存文件失败!", "Save file fail!"},
    {FileMessage::SavingFile, "正在保存文件......", "Saving file..."},
    {FileMessage::FileSaved, "文件保存完成.", "File has saved."},
    {FileMessage::SavingNotation, "正在保存注释......", "Saving Notation..."},
    {FileMessage::NotationSaved, "保存注释完成", "Notation has saved!"},
    {FileMessage::NotConverted, "梯形图未转换!", "Please convert the Ladder before!"},
    {FileMessage::OperationError, "保存文件失败!", "Operation error!"},
    {FileMessage::Succeed, "保存文件成功!", "Succeed!"},
    {FileMessage::UnlawfulInstruction, "存在不支持的功能指令!", "unlawful instruction! "},
    {FileMessage::CannotOutputFile, "无法输出梯形图文件!", "Con not output file!"},
    {FileMessage::OldLadderFailed, "梯形图文件输出失败!", "Operation error!"},
    {FileMessage::Saving, "正在保存文件...", "Saving..."},
    {FileMessage::CannotLoadMean, "元件注释载入失败!", "Can not load the mean!"},
    // Diag.mea belongs to the controller and comes with it; the hint says where it goes.
    {FileMessage::MeanFileWhere, "请把数控系统自带的 Diag.mea 复制到 %1 (本用户) 或 %2 (所有用户)。",
     "Copy the controller's own Diag.mea into %1 (for you) or %2 (for every user)."},
    {FileMessage::CannotOpenFile, "打开文件失败!", "Can not open file!"},
    {FileMessage::LoadingNote, "正在载入注释...", "Loading note..."},
    {FileMessage::NoteLoaded, "载入成功!", "succeed!"},
    {FileMessage::SavingNote, "正在保存注释...", "Saving note..."},
    {FileMessage::NoteSaved, "保存完成!", "Complete!"},
    {FileMessage::WriteFailedReason, "无法写入 %1;原有文件保持不变.", "Could not write %1; any earlier file is unchanged."},
    {FileMessage::OutputMismatch, "输出文件 %1 读回的内容与写入的不一致,已将其删除!",
     "The output file %1 did not read back as written and was removed!"},
    {FileMessage::OpenLadderFilter, "梯形图文件 (*.plf;*.grp)|*.plf;*.grp|备份文件 (*.bak)|*.bak|所有文件 (*.*)|*.*||",
     "PLC Lad file (*.plf;*.grp)|*.plf;*.grp|backup file (*.bak)|*.bak|All file(*.*)|*.*||"},
    {FileMessage::LadderFileFilter, "梯形图文件 (*.dat)|*.dat||", "Ladder File (*.dat)|*.dat||"},
    {FileMessage::OldLadderFileFilter, "Lad File (*.grp)|*.grp||", "Lad File (*.grp)|*.grp||"},
    {FileMessage::BinaryFileFilter, "梯图二进制文件 (*.dat)|*.dat||", "Binary File (*.dat)|*.dat||"},
    {FileMessage::InstructionListFilter, "指令表文件 (*.txt)|*.txt||", "stl file (*.txt)|*.txt||"},
    {FileMessage::NotationImportFilter, "文本文件 (*.txt)|*.txt|所有文件 (*.*)|*.*||",
     "Text file (*.txt)|*.txt|All file (*.*)|*.*||"},
    {FileMessage::NotationExportFilter, "文本文件 (*.txt)|*.txt||", "Text file (*.txt)|*.txt||"},
    {FileMessage::OpenMissing, "%1: 文件不存在。", "%1: the file does not exist."},
    {FileMessage::OpenUnreadable, "%1: 文件无法读取 (%2)。", "%1: the file cannot be read (%2)."},
    {FileMessage::OpenTruncated, "%1: 文件不完整, 比其 %2 行所需的短。", "%1: the file is truncated, shorter than its %2 lines need."},
    {FileMessage::OpenTooManyLines, "%1: 文件有 %2 行, 梯形图最多 5000 行。", "%1: the file holds %2 lines, a ladder at most 5000."},
    {FileMessage::OpenNotLadder, "%1: 不是梯形图文件。", "%1: not a ladder file."},
};

}  // namespace

QString fileMessage(FileMessage id, int language)
{
    for (const Entry& e : kMessages) {
        if (e.id == id)
            return QString::fromUtf8(language == 0 ? e.chinese : e.english);
    }
    return {};
}

}  // namespace rungpad
