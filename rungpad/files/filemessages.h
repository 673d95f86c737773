// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Texts the file commands show in the output window and in message boxes, Chinese and
// English side by side; the language index 0 selects Chinese, 1 English.
#include <QString>

namespace rungpad {

enum class FileMessage {
    LoadingFile,
    CannotOpenLadder,
    FileLoaded,
    LoadingNotation,
    LoadNotationError,
    NotationLoaded,
    ConvertError,
    SaveFileFail,
    SavingFile,
    FileSaved,
    SavingNotation,
    NotationSaved,
    NotConverted,
    OperationError,
    Succeed,
    UnlawfulInstruction,
    CannotOutputFile,
    OldLadderFailed,
    Saving,
    CannotLoadMean,
    MeanFileWhere,  // %1 the user's data folder, %2 the one for every user
    CannotOpenFile,
    LoadingNote,
    NoteLoaded,
    SavingNote,
    NoteSaved,
    // A write that failed: the file and the system's reason; an output that read back wrong.
    WriteFailedReason,
    OutputMismatch,
    // Dialog filters and titles for the shells.
    OpenLadderFilter,
    LadderFileFilter,
    OldLadderFileFilter,
    BinaryFileFilter,
    InstructionListFilter,
    NotationImportFilter,
    NotationExportFilter,
    // Why an open was refused; %1 is the file, %2 a number or the system's reason.
    OpenMissing,
    OpenUnreadable,
    OpenTruncated,
    OpenTooManyLines,
    OpenNotLadder,
};

QString fileMessage(FileMessage id, int language);

}  // namespace rungpad
