// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Texts of the review features (cross-reference, comparison, recovery, print title block),
// Chinese and English side by side; language 0 selects Chinese, anything else English. The
// window, the command-line tool and the printout all read them from here.
#include <QString>

namespace rungpad {

enum class ReviewText {
    // Cross-reference: kinds of use and the warnings.
    UseContact, UseContactNC, UseCoil, UseCoilNot, UseSet, UseReset, UseRead, UseWrite, UseNumber,
    AccessRead, AccessWrite,
    WarnWrittenTwice, WarnSetWithoutReset, WarnResetWithoutSet, WarnReadNeverWritten, WarnNumberTwice,
    WarnOutsideCommentArea,
    NumberTimer, NumberTimerB, NumberCounter, NumberEdge,
    XrefHeading, XrefNoWarnings, XrefWarningsHeading, XrefColumns,
    // Comparison.
    DiffAdded, DiffRemoved, DiffChanged, DiffSummary, DiffSame, DiffAddresses, DiffColumns,
    CompareTitle, CompareChooseFile, CompareNeedsDocument,
    // Autosave, recovery, changed on disk.
    RecoverQuestion, RecoverFailed, ChangedOnDisk, AutosaveFailed,
    // Print title block.
    TitleFile, TitleVersion, TitleMachine, TitleModifier, TitleSaved, TitlePageOf, TitlePrinted,
    AppendixHeading, PageSignalsHeading,
    // View and print options.
    ShowComments, PrintCrossReference, CompareCommand, CrossReferenceReport, CrossReferenceAll, XrefWindowCommand,
};

QString reviewText(ReviewText id, int language);

}  // namespace rungpad
