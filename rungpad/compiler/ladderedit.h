// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Every edit command of the ladder view as a plain function on the ladder, so the view is a
// shell: it asks, calls one function, shows what comes back and pushes the change as one
// undo step (rungpad/edit/laddereditor.h does that last part for it).
//
// API in brief (namespace rungpad):
//   EditContext{ladder, compiler, language}   what the checking commands need; language 0
//                                             Chinese, 1 English (as everywhere in Rungpad).
//   EditResult                                every command's answer:
//       changed     the ladder changed; `change` holds exactly that (undo / redo)
//       refused     nothing changed because a rule or a check said no
//       cursor      cursor and selection after the command (as before when refused)
//       output      lines for the output window ("Checking...", "Accept!", error lines)
//       messageBox  when not empty, show it in a message box ("Operation error!", ...)
//       error       the numbered check error (1011, 1012, ...) when a check refused
//   Placing (menus Ctrl+Q/W/E/R/G, Del, Ctrl+D, Ctrl+Shift+D):
//       placementAllowed(ladder, pos, kind)     ask before opening the element dialog
//       placeElement(ctx, pos, kind, text)      kEmpty = delete node, kHorizontalWire,
//                                               kContactNO/NC and kCoil/kCoilNot with the typed text
//       setVerticalLink / clearVerticalLink(ladder, pos)
//   Re-editing a cell (double-click, Enter, F2):  cellPrompt() for the dialog, editCellText()
//       (contact/coil address, block parameter, CODT value; COMP/COIN/ADD.. format change
//       clears the dependent field; COD capacity rebuilds the CODT lines below).
//   Blocks and lines: insertBlock (Ctrl+A, context menu), insertEmptyLines (Insert),
//       deleteSelectedLines (Ctrl+Del), blockExtent() (lines a block and its table occupy).
//   Clipboard: copyCells / cutCells / pasteCells with CellClip; whole lines also as text
//       for the system clipboard: clipToText / clipFromText (the ladder text form).
//   Find / replace: normaliseSearchText, findNext, replaceNext, replaceAll.
//   Address fields: normaliseAddressField (on focus loss, "%c%05.1f").
//   Cross-reference: crossReferences(ladder, address).
// The commands live in ladderedit.cpp (placing, re-editing, blocks and lines),
// ladderclipboard.cpp and laddersearch.cpp, their shared pieces in editsupport.h.
//   Texts: editMessage(EditMessage, language).
#include "rungpad/compiler/laddercompiler.h"
#include "rungpad/model/editchange.h"
#include "rungpad/model/ladder.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace rungpad {

enum class EditMessage {
    Checking,
    Accept,
    OperationError,
    PatternNotFound,
    ReplaceComplete,
    InputError,        // unknown function instruction name
    BeyondMaxLine,
    CellNotEditable,   // re-edit of a cell that holds no address or parameter
};
QString editMessage(EditMessage id, int language);
// Kind names of the element settings dialog (Chinese as the dialog shows them).
QString elementKindName(quint16 kind, int language);

struct EditContext {
    LadderProgram& ladder;
    LadderCompiler& compiler;
    int language = 0;
};

struct EditResult {
    bool changed = false;
    bool refused = false;
    LadderChange change;
    EditCursor cursor;
    QStringList output;
    QString messageBox;
    std::optional<ConvertError> error;
};

// Placing ------------------------------------------------------------------------------

// The function block rules of placing: false when `kind` (an ElementCode; kEmpty for
// delete node) may not go to `pos` because of a function block on that line.
bool placementAllowed(const LadderProgram& ladder, CellPos pos, quint16 kind);
// Why placementAllowed says no, for the output window and status bar; empty when allowed.
QString placementRefusalText(const LadderProgram& ladder, CellPos pos, quint16 kind, int language);
// Places kind at pos. Contacts and coils check `text` first (address, coil letters,
// reserved coils, one coil per address); coils go to column 9 with the empty cells of the
// line wired. Any placement on the last line adds an empty line after it. Delete node
// removes the whole block (with its CODT table) when pos is a block cell.
EditResult placeElement(const EditContext& ctx, CellPos pos, quint16 kind, QByteArrayView text = {});
// Nothing happens on a line that holds a function block.
EditResult setVerticalLink(LadderProgram& ladder, CellPos pos);
EditResult clearVerticalLink(LadderProgram& ladder, CellPos pos);

// Re-editing ----------------------------------------------------------------------------

// What the element settings dialog shows for the cell: the element kind for a contact or
// coil, the parameter's prompt for a block parameter or CODT value; empty when the cell
// holds nothing to edit.
QString cellPrompt(const LadderProgram& ladder, CellPos pos, int language);
bool isEditableCell(const LadderProgram& ladder, CellPos pos);
EditResult editCellText(const EditContext& ctx, CellPos pos, QByteArrayView text);

// Blocks and lines ----------------------------------------------------------------------

struct LineSpan {
    int first = 0;
    int last = 0;
    bool operator==(const LineSpan&) const = default;
};
// The lines of the function block on `line`, a COD block together with the CODT lines
// below it; nullopt when the line holds no block.
std::optional<LineSpan> blockExtent(const LadderProgram& ladder, int line);
// Where lines go in when the user inserts at `line`: never between the lines of a block.
int insertionLine(const LadderProgram& ladder, int line);

// Inserts the block of instruction `code` at the cursor line (a code of the 39; CODT is
// refused, it only comes with a COD capacity).
EditResult insertBlock(LadderProgram& ladder, const EditCursor& at, quint16 code, int language);
// Name typed in the function instruction dialog; unknown names give InputError.
EditResult insertBlockByName(LadderProgram& ladder, const EditCursor& at, QByteArrayView name, int language);
EditResult insertEmptyLines(LadderProgram& ladder, const EditCursor& at, int count, int language);
// The selected lines widened to whole blocks; the last line of the ladder always stays.
EditResult deleteSelectedLines(LadderProgram& ladder, const EditCursor& at);
EditResult setLineNote(LadderProgram& ladder, const EditCursor& at, int line, const QString& text);

// Clipboard ------------------------------------------------------------------------------

struct CellClip {
    int lines = 0;
    int columns = 0;
    std::vector<LadderCell> cells;   // row-major
    std::vector<QString> notes;      // one per line when whole lines were copied
    bool isEmpty() const { return cells.empty(); }
    bool wholeLines() const { return columns == kColumns; }
    const LadderCell& at(int line, int column) const { return cells[size_t(line * columns + column)]; }
};
// nullopt (Operation error!) when the rectangle cuts through a function block.
std::optional<CellClip> copyCells(const LadderProgram& ladder, const CellRange& range);
// Copy, then whole lines are deleted (the last line stays) and other cells cleared.
EditResult cutCells(LadderProgram& ladder, const EditCursor& at, CellClip* clip, int language);
// Whole lines go in above the cursor line; other cells overwrite the rectangle at the
// cursor, refused over function block lines, with block cells, or with coils off column 9.
EditResult pasteCells(LadderProgram& ladder, const EditCursor& at, const CellClip& clip, int language);
// Whole lines in the ladder text form (empty for a partial clip) and back.
QString clipToText(const CellClip& clip);
std::optional<CellClip> clipFromText(const QString& text);

// Find and replace ----------------------------------------------------------------------

// A typed element address is searched in its stored form (x1.2 -> X001.2).
QByteArray normaliseSearchText(QByteArrayView text);
// The next cell after `from` (down: columns then lines; up: the reverse) whose whole text
// equals `text` exactly.
std::optional<CellPos> findCell(const LadderProgram& ladder, CellPos from, QByteArrayView text, bool down);
EditResult findNext(const LadderProgram& ladder, const EditCursor& at, QByteArrayView text, bool down,
                    int language);
// When the cursor cell holds `find`, the replacement goes in after the same check as typing
// it (refused with the error line otherwise); then the search goes on.
EditResult replaceNext(const EditContext& ctx, const EditCursor& at, QByteArrayView find,
                       QByteArrayView replacement, bool down);
// Every cell holding `find`; all or nothing: the first refused cell takes all back.
EditResult replaceAll(const EditContext& ctx, const EditCursor& at, QByteArrayView find,
                      QByteArrayView replacement);

// Address fields: a letter followed only by digits, '-' and a point becomes "%c%05.1f"; a text
// without the point (no bit given) stays as typed.
QByteArray normaliseAddressField(QByteArrayView text);

// Cross-reference -----------------------------------------------------------------------

enum class ReferenceUse { Contact, ContactNC, Coil, CoilNot, Parameter };
struct CrossReference {
    CellPos pos;
    ReferenceUse use = ReferenceUse::Contact;
    quint16 code = 0;   // the cell's code (instruction for parameters)
    QByteArray text;
    bool operator==(const CrossReference&) const = default;
};
// Every contact, coil and block parameter that names the address: a bit address also
// matches a parameter naming its byte (X012.3 and X0012), a byte address every bit of it.
std::vector<CrossReference> crossReferences(const LadderProgram& ladder, QByteArrayView address);

}  // namespace rungpad
