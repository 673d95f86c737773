// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/ui/rungpaddoc.h"

#include "rungpad/ui/uitexts.h"

#include <QFileInfo>

namespace rungpad::ui {

CRungpadDoc::CRungpadDoc(int untitledNumber, QObject* parent) : QObject(parent), m_untitledNumber(untitledNumber)
{
    // Qt ignores the limit once the stack holds a command.
    m_undo.setUndoLimit(kUndoLimit);
    m_conversion.precheck(m_data);
    // Made before the connection below: its own handler of the clean state sets the
    // document's modified flag first, so the mark the frame reads is already right.
    m_editor = std::make_unique<LadderEditor>(m_data, m_conversion.compiler(), m_undo);
    connect(&m_undo, &QUndoStack::cleanChanged, this, [this] { Q_EMIT modifiedChanged(isModified()); });
    // Undo and redo change the ladder behind the views' back.
    connect(&m_undo, &QUndoStack::indexChanged, this, [this] { editApplied(); });
}

LadderFileCommands CRungpadDoc::commands(const FileCommandEnvironment& env)
{
    m_conversion.setLanguage(env.language);
    return LadderFileCommands(m_data, m_conversion, env);
}

bool CRungpadDoc::open(const QString& path, const FileCommandEnvironment& env)
{
    if (!commands(env).open(path))
        return false;
    m_undo.clear();
    m_lastError.reset();
    Q_EMIT ladderChanged();
    Q_EMIT pathChanged(path);
    Q_EMIT modifiedChanged(false);
    return true;
}

bool CRungpadDoc::save(const QString& path, const FileCommandEnvironment& env)
{
    const bool ok = commands(env).save(path);
    if (ok) {
        m_undo.setClean();
        Q_EMIT pathChanged(path);
        Q_EMIT modifiedChanged(isModified());
    }
    // The conversion inside a save rewrites the header words.
    Q_EMIT ladderChanged();
    return ok;
}

bool CRungpadDoc::convert(const FileCommandEnvironment& env)
{
    const bool ok = commands(env).convert();
    m_lastError = ok ? std::nullopt : m_conversion.compiler().lastError();
    if (ok)
        m_convertedRevision = m_data.editLadder.revision();
    return ok;
}

QString CRungpadDoc::displayName(int language) const
{
    if (hasPath())
        return QFileInfo(m_data.pathName).fileName();
    return uiText(UiText::UntitledDocument, language).arg(m_untitledNumber);
}

void CRungpadDoc::ladderEdited()
{
    m_data.markModified();
    Q_EMIT ladderChanged();
    Q_EMIT modifiedChanged(true);
}

void CRungpadDoc::editApplied()
{
    Q_EMIT ladderChanged();
    Q_EMIT edited();
    Q_EMIT modifiedChanged(isModified());
}

void CRungpadDoc::setInfo(const LadderInfo& info)
{
    if (info.version == m_data.info.version && info.machine == m_data.info.machine
        && info.modifier == m_data.info.modifier)
        return;
    m_data.info.version = info.version;
    m_data.info.machine = info.machine;
    m_data.info.modifier = info.modifier;
    // Ladder information takes no part in the code image: the conversion stays valid.
    m_data.setModified(true);
    Q_EMIT modifiedChanged(true);
}

}  // namespace rungpad::ui
