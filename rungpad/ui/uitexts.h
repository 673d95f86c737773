// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Every text the editor's windows show, Chinese and English side by side, looked up by name
// with the language index (0 Chinese, 1 English). The file commands' own texts live with
// them (rungpad/files/filemessages.h); the converter's error texts with the converter.
#include <QString>

namespace rungpad::ui {

enum class UiText {
    FrameTitle,
    UntitledDocument,
    // Menus.
    MenuFile, MenuLadder, MenuView, MenuLanguage, MenuWindow, MenuHelp, MenuRecentFiles,
    FileNew, FileOpen, FileClose, FileSave, FileSaveAs,
    GenerateLadder, GenerateOldLadder, GenerateBinary, GenerateInstructionList,
    ImportNotation, ExportNotation,
    Print, PrintPreview, PageSetup, ExportPdf, Exit,
    Convert, LadderInformation,
    ToolBar, LadderToolBar, StatusBar, OutputWindow, NotationWindow, InstructionListWindow,
    ZoomIn, ZoomOut, ZoomReset,
    LanguageChinese, LanguageEnglish,
    WindowCascade, WindowTile, WindowCloseAll,
    About, AboutText,
    // Dock titles.
    OutputWindowTitle, NotationWindowTitle, InstructionListTitle,
    // Questions, dialogs, status bar.
    SaveChanges,
    OpenTitle, SaveAsTitle, PdfFilter,
    InfoTitle, InfoVersion, InfoMachine, InfoModifier, InfoSaveTime,
    StatusPosition,
    NotationCursor, NotationLine, NotationNone,
    PageHeading,
    PdfSaved, PdfFailed, PrintFailed,
    // Editing: the Edit menu, the context menu, the editing dialogs, the cross-reference.
    MenuEdit, EditUndo, EditRedo, EditCut, EditCopy, EditPaste,
    ContactNO, ContactNC, OutputCoil, OutputCoilNot, HorizontalWire, VerticalWire, DeleteNode, DeleteVerticalWire,
    FunctionInstruction, InsertLine, DeleteLine, ModifyNotation, EditCell,
    Find, Replace, FindNext, FindPrevious, GoToLine, CrossReferenceWindow,
    ContextBasic, ContextFunction,
    ElementTitle, FunctionTitle, FunctionHint, InsertLineTitle, InsertLineCount, NotationTitle, NotationAddress,
    FindTitle, ReplaceTitle, FindWhat, ReplaceWith, DirectionUp, DirectionDown, ButtonFindNext, ButtonReplace, ButtonReplaceAll,
    GoToLineTitle, LineNumber, CrossReferenceTitle, CrossReferenceLine,
    UseContact, UseContactNC, UseCoil, UseCoilNot, UseParameter,
    NoAddressAtCursor, VerticalLinkOnBlockLine, LastLineStays,
};

// language 0 selects Chinese, anything else English.
QString uiText(UiText id, int language);

}  // namespace rungpad::ui
