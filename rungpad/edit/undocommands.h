// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One undo command per kind of ladder edit. Each holds only what its edit changed (a
// LadderChange) plus the cursor and selection before and after, so undo puts the user back
// where they were. Commands are pushed after the edit has happened: the first redo() that
// QUndoStack::push() makes is skipped.
#include "rungpad/model/editchange.h"
#include "rungpad/model/ladderdocument.h"

#include <QUndoCommand>

namespace rungpad {

// Where a command puts the cursor back; the editor owns it.
struct EditSession {
    LadderDocument& document;
    EditCursor cursor;
};

enum class EditCommandId {
    CellChange = 1,
    LinesInserted,
    LinesDeleted,
    BlockInserted,
    BlockDeleted,
    CodCapacity,
    Paste,
    ReplaceAll,
    LineNote,
    CommentChange,
};

class LadderEditCommand : public QUndoCommand {
public:
    LadderEditCommand(EditSession& session, LadderChange change, const EditCursor& before, const EditCursor& after,
                      const QString& text);
    void undo() override;
    void redo() override;
    const LadderChange& change() const { return m_change; }
    // Heap bytes of this step (undo memory budget).
    size_t memoryBytes() const { return sizeof(*this) + m_change.memoryBytes(); }

private:
    EditSession& m_session;
    LadderChange m_change;
    EditCursor m_before;
    EditCursor m_after;
    bool m_alreadyApplied = true;   // the edit happened before the push
};

// The kinds the view pushes; id() tells them apart (no two steps ever merge: one user
// action is one step).
#define RUNGPAD_EDIT_COMMAND(Name)                                                          \
    class Name final : public LadderEditCommand {                                           \
    public:                                                                                 \
        using LadderEditCommand::LadderEditCommand;                                         \
        int id() const override { return int(EditCommandId::Name); }                        \
    };
RUNGPAD_EDIT_COMMAND(CellChange)
RUNGPAD_EDIT_COMMAND(LinesInserted)
RUNGPAD_EDIT_COMMAND(LinesDeleted)
RUNGPAD_EDIT_COMMAND(BlockInserted)
RUNGPAD_EDIT_COMMAND(BlockDeleted)
RUNGPAD_EDIT_COMMAND(CodCapacity)
RUNGPAD_EDIT_COMMAND(Paste)
RUNGPAD_EDIT_COMMAND(ReplaceAll)
RUNGPAD_EDIT_COMMAND(LineNote)
#undef RUNGPAD_EDIT_COMMAND

// Modify notation: the comment of an address in the document's comment tables.
class CommentChange final : public QUndoCommand {
public:
    CommentChange(EditSession& session, QByteArray address, QString before, QString after, const EditCursor& cursor,
                  const QString& text);
    void undo() override;
    void redo() override;
    int id() const override { return int(EditCommandId::CommentChange); }

private:
    EditSession& m_session;
    QByteArray m_address;
    QString m_before;
    QString m_after;
    EditCursor m_cursor;
};

}  // namespace rungpad
