// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/ui/uitexts.h"

namespace rungpad::ui {

namespace {

struct Entry {
    UiText id;
    const char* chinese;
    const char* english;
};

// The window title keeps the blank after "Rungpad" the older editor showed.
// clang-format off
constexpr Entry kTexts[] = {
    {UiText::FrameTitle, "梯形图编辑器", "Rungpad "},
    {UiText::UntitledDocument, "梯形图%1", "Ladder%1"},
    {UiText::MenuFile, "文件(&F)", "&File"},
    {UiText::MenuLadder, "梯形图(&L)", "&Ladder"},
    {UiText::MenuView, "查看(&V)", "&View"},
    {UiText::MenuLanguage, "语言(&G)", "Lan&guage"},
    {UiText::MenuWindow, "窗口(&W)", "&Window"},
    {UiText::MenuHelp, "帮助(&H)", "&Help"},
    {UiText::MenuRecentFiles, "最近的文件(&R)", "&Recent Files"},
    {UiText::FileNew, "新建(&N)", "&New"},
    {UiText::FileOpen, "打开(&O)...", "&Open..."},
    {UiText::FileClose, "关闭(&C)", "&Close"},
    {UiText::FileSave, "保存(&S)", "&Save"},
    {UiText::FileSaveAs, "另存为(&A)...", "Save &As..."},
    {UiText::GenerateLadder, "生成梯形图文件(&L)...", "Generate &ladder file..."},
    {UiText::GenerateOldLadder, "生成旧版梯形图文件(&G)...", "Generate old ladder &file..."},
    {UiText::GenerateBinary, "生成二进制文件(&B)...", "Generate &binary file..."},
    {UiText::GenerateInstructionList, "生成指令表(&T)", "Generate instruction lis&t"},
    {UiText::ImportNotation, "导入注释(&I)...", "&Import notation..."},
    {UiText::ExportNotation, "导出注释(&E)...", "&Export notation..."},
    {UiText::Print, "打印(&P)...", "&Print..."},
    {UiText::PrintPreview, "打印预览(&V)", "Print Pre&view"},
    {UiText::PageSetup, "打印设置(&U)...", "Print Set&up..."},
    {UiText::ExportPdf, "导出 PDF(&D)...", "Export P&DF..."},
    {UiText::Exit, "退出(&X)", "E&xit"},
    {UiText::Convert, "转换(&V)", "Con&vert"},
    {UiText::LadderInformation, "梯形图信息(&N)...", "Ladder i&nformation..."},
    {UiText::ToolBar, "工具栏(&T)", "&Toolbar"},
    {UiText::LadderToolBar, "梯形图工具栏(&L)", "&Ladder Toolbar"},
    {UiText::StatusBar, "状态栏(&S)", "&Status Bar"},
    {UiText::OutputWindow, "输出窗口(&O)", "&Output Window"},
    {UiText::NotationWindow, "注释窗口(&N)", "&Notation Window"},
    {UiText::InstructionListWindow, "指令表窗口(&I)", "&Instruction List Window"},
    {UiText::ZoomIn, "放大(&Z)", "&Zoom In"},
    {UiText::ZoomOut, "缩小(&U)", "Zoom O&ut"},
    {UiText::ZoomReset, "原始大小(&E)", "R&eset Zoom"},
    {UiText::LanguageChinese, "中文(&C)", "&Chinese"},
    {UiText::LanguageEnglish, "英文(&E)", "&English"},
    {UiText::WindowCascade, "层叠(&C)", "&Cascade"},
    {UiText::WindowTile, "平铺(&T)", "&Tile"},
    {UiText::WindowCloseAll, "全部关闭(&A)", "Close &All"},
    {UiText::About, "关于梯形图编辑器(&A)...", "&About Rungpad..."},
    {UiText::AboutText, "梯形图编辑器\n编辑、检查并转换 PLC 梯形图。", "Rungpad\nEdits, checks and converts PLC ladders."},
    {UiText::OutputWindowTitle, "输出窗口", "Output Window"},
    {UiText::NotationWindowTitle, "注释窗口", "Notation Window"},
    {UiText::InstructionListTitle, "指令表输出窗口", "Repertoire Output Window"},
    {UiText::SaveChanges, "是否保存对 %1 的更改?", "Save changes to %1?"},
    {UiText::OpenTitle, "打开", "Open"},
    {UiText::SaveAsTitle, "另存为", "Save As"},
    {UiText::PdfFilter, "PDF 文件 (*.pdf)|*.pdf||", "PDF file (*.pdf)|*.pdf||"},
    {UiText::InfoTitle, "梯形图信息", "Ladder Information"},
    {UiText::InfoVersion, "版本:", "Version:"},
    {UiText::InfoMachine, "适用机床:", "Applicable machine:"},
    {UiText::InfoModifier, "最后修改人:", "Last modifier:"},
    {UiText::InfoSaveTime, "保存时间:", "Saved:"},
    {UiText::StatusPosition, "行 %1  列 %2", "Line %1  Col %2"},
    {UiText::NotationCursor, "光标处 %1: %2", "At cursor %1: %2"},
    {UiText::NotationLine, "第 %1 行:", "Line %1:"},
    {UiText::NotationNone, "(无注释)", "(no comment)"},
    {UiText::PageHeading, "第 %1 页", "PAGE %1"},
    {UiText::PdfSaved, "PDF 已保存: %1", "PDF saved: %1"},
    {UiText::PdfFailed, "无法写入 PDF 文件!", "Can not write the PDF file!"},
    {UiText::PrintFailed, "打印失败!", "Printing failed!"},
    {UiText::MenuEdit, "编辑(&E)", "&Edit"},
    {UiText::EditUndo, "撤消(&U)", "&Undo"},
    {UiText::EditRedo, "重做(&Y)", "Re&do"},
    {UiText::EditCut, "剪切(&T)", "Cu&t"},
    {UiText::EditCopy, "复制(&C)", "&Copy"},
    {UiText::EditPaste, "粘贴(&P)", "&Paste"},
    {UiText::ContactNO, "常开触点(&P)", "Normally o&pen contact"},
    {UiText::ContactNC, "常闭触点(&C)", "Normally &closed contact"},
    {UiText::OutputCoil, "输出线圈(&O)", "&Output coil"},
    {UiText::OutputCoilNot, "输出线圈取反(&G)", "Ne&gated output coil"},
    {UiText::HorizontalWire, "水平导通线(&H)", "&Horizontal wire"},
    {UiText::VerticalWire, "竖直导通线(&W)", "Vertical &wire"},
    {UiText::DeleteNode, "删除节点(&E)", "Delete nod&e"},
    {UiText::DeleteVerticalWire, "删除竖直线(&R)", "Delete ve&rtical wire"},
    {UiText::FunctionInstruction, "功能指令(&U)...", "F&unction instruction..."},
    {UiText::InsertLine, "插入行(&I)...", "&Insert line..."},
    {UiText::DeleteLine, "删除行(&D)", "&Delete line"},
    {UiText::ModifyNotation, "修改注释(&M)...", "&Modify Notation..."},
    {UiText::EditCell, "编辑元件(&L)...", "Edit e&lement..."},
    {UiText::Find, "查找(&F)...", "&Find..."},
    {UiText::Replace, "替换(&R)...", "&Replace..."},
    {UiText::FindNext, "查找下一个(&N)", "Find &Next"},
    {UiText::FindPrevious, "查找上一个(&V)", "Find Pre&vious"},
    {UiText::GoToLine, "转到行(&G)...", "&Go to Line..."},
    {UiText::CrossReferenceWindow, "交叉引用窗口(&X)", "Cross-&reference Window"},
    {UiText::ContextBasic, "基本指令(&B)", "&Basic dictate"},
    {UiText::ContextFunction, "功能指令(&F)", "&Function dictate"},
    {UiText::ElementTitle, "元件设置", "Element Settings"},
    {UiText::FunctionTitle, "功能指令", "Function Instruction"},
    {UiText::FunctionHint, "在左边的列表框选择或直接在右边的编辑框输入功能指令",
     "Choose from the list on the left or type the function instruction on the right"},
    {UiText::InsertLineTitle, "插入行", "Insert Lines"},
    {UiText::InsertLineCount, "插入行数:", "Number of lines:"},
    {UiText::NotationTitle, "修改注释", "Modify Notation"},
    {UiText::NotationAddress, "%1 的注释:", "Notation of %1:"},
    {UiText::FindTitle, "查找对话框", "Find"},
    {UiText::ReplaceTitle, "替换", "Replace"},
    {UiText::FindWhat, "查找内容:", "Find what:"},
    {UiText::ReplaceWith, "替换为:", "Replace with:"},
    {UiText::DirectionUp, "向上(&U)", "&Up"},
    {UiText::DirectionDown, "向下(&D)", "&Down"},
    {UiText::ButtonFindNext, "查找下一个(&F)", "&Find Next"},
    {UiText::ButtonReplace, "替换(&R)", "&Replace"},
    {UiText::ButtonReplaceAll, "全部替换(&A)", "Replace &All"},
    {UiText::GoToLineTitle, "转到行", "Go to Line"},
    {UiText::LineNumber, "行号 (1-%1):", "Line number (1-%1):"},
    {UiText::CrossReferenceTitle, "交叉引用", "Cross Reference"},
    {UiText::CrossReferenceLine, "第 %1 行 第 %2 列  %3  %4", "Line %1  Col %2  %3  %4"},
    {UiText::UseContact, "常开触点", "contact"},
    {UiText::UseContactNC, "常闭触点", "closed contact"},
    {UiText::UseCoil, "线圈", "coil"},
    {UiText::UseCoilNot, "取反线圈", "negated coil"},
    {UiText::UseParameter, "参数", "parameter"},
    {UiText::NoAddressAtCursor, "光标处没有地址, 无法修改注释。", "No address at the cursor to comment."},
    {UiText::VerticalLinkOnBlockLine, "有功能指令的行不能放竖直导通线。", "A vertical wire cannot go on a line that holds a function block."},
    {UiText::LastLineStays, "梯形图的最后一行不能删除。", "The last line of the ladder stays: nothing to delete."},
};
// clang-format on

}  // namespace

QString uiText(UiText id, int language)
{
    for (const Entry& e : kTexts)
        if (e.id == id)
            return QString::fromUtf8(language == 0 ? e.chinese : e.english);
    return {};
}

}  // namespace rungpad::ui
