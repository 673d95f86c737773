// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/edit/undocommands.h"

namespace rungpad {

LadderEditCommand::LadderEditCommand(EditSession& session, LadderChange change, const EditCursor& before,
                                     const EditCursor& after, const QString& text)
    : QUndoCommand(text), m_session(session), m_change(std::move(change)), m_before(before), m_after(after)
{
    m_change.compact();
}

void LadderEditCommand::undo()
{
    m_change.undo(m_session.document.editLadder);
    m_session.cursor = m_before;
    m_session.document.markModified();
    m_alreadyApplied = false;
}

void LadderEditCommand::redo()
{
    if (!m_alreadyApplied)
        m_change.redo(m_session.document.editLadder);
    m_alreadyApplied = false;
    m_session.cursor = m_after;
    m_session.document.markModified();
}

CommentChange::CommentChange(EditSession& session, QByteArray address, QString before, QString after,
                             const EditCursor& cursor, const QString& text)
    : QUndoCommand(text), m_session(session), m_address(std::move(address)), m_before(std::move(before)),
      m_after(std::move(after)), m_cursor(cursor)
{
}

void CommentChange::undo()
{
    m_session.document.comments.setCommentOf(m_address, m_before);
    m_session.cursor = m_cursor;
    m_session.document.markModified();
}

void CommentChange::redo()
{
    m_session.document.comments.setCommentOf(m_address, m_after);
    m_session.cursor = m_cursor;
    m_session.document.markModified();
}

}  // namespace rungpad
