// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One open ladder: the document data (ladder, comments, information, converted state), its
// converter with the result of the last conversion, and the undo stack the editing
// commands push onto. Every change to the ladder goes through here so the views hear of it.
#include "rungpad/edit/laddereditor.h"
#include "rungpad/files/compilerconversion.h"
#include "rungpad/files/laddercommands.h"
#include "rungpad/model/ladderdocument.h"

#include <QObject>
#include <QUndoStack>

#include <memory>
#include <optional>

namespace rungpad::ui {

class CRungpadDoc : public QObject {
    Q_OBJECT
public:
    // The edit history keeps this many steps, as the older editor's ring did.
    static constexpr int kUndoLimit = 50;

    explicit CRungpadDoc(int untitledNumber, QObject* parent = nullptr);
    // The stack empties itself on the way out: nobody may hear of it by then.
    ~CRungpadDoc() override { m_undo.blockSignals(true); }

    LadderDocument& data() { return m_data; }
    const LadderDocument& data() const { return m_data; }
    const LadderProgram& ladder() const { return m_data.editLadder; }
    CompilerConversion& conversion() { return m_conversion; }
    QUndoStack* undoStack() { return &m_undo; }
    // Every edit command goes through here: one undo step each, cursor and selection with it.
    LadderEditor& editor() { return *m_editor; }

    // The file commands on this document, reporting through env.
    LadderFileCommands commands(const FileCommandEnvironment& env);

    // Open into this document; a refusal leaves it exactly as it was.
    bool open(const QString& path, const FileCommandEnvironment& env);
    bool save(const QString& path, const FileCommandEnvironment& env);
    // The convert command; the error of a failed run stays available for the frame.
    bool convert(const FileCommandEnvironment& env);
    const std::optional<ConvertError>& lastError() const { return m_lastError; }
    // Instruction lines of the last successful conversion, with their line-number suffix.
    const std::vector<QByteArray>& instructionLines() const { return m_conversion.output().instructionLines; }
    // The last conversion succeeded and nothing was edited since: its list is this ladder's.
    bool instructionListCurrent() const
    {
        return m_data.isConverted() && m_convertedRevision == m_data.editLadder.revision();
    }

    QString path() const { return m_data.pathName; }
    bool hasPath() const { return !m_data.pathName.isEmpty(); }
    // File name, or the untitled name in the given language.
    QString displayName(int language) const;
    bool isModified() const { return m_data.isModified() || !m_undo.isClean(); }
    void setLanguage(int language)
    {
        m_conversion.setLanguage(language);
        m_editor->setLanguage(language);
    }

    // Editing commands call this after they changed the ladder through the model.
    void ladderEdited();
    // After an edit through editor(): the views repaint and take the editor's cursor.
    void editApplied();
    void setInfo(const LadderInfo& info);

Q_SIGNALS:
    void ladderChanged();
    // The ladder changed by an edit, an undo or a redo; the cursor is the editor's.
    void edited();
    void modifiedChanged(bool modified);
    void pathChanged(const QString& path);

private:
    LadderDocument m_data;
    CompilerConversion m_conversion{0};
    QUndoStack m_undo;
    std::unique_ptr<LadderEditor> m_editor;
    std::optional<ConvertError> m_lastError;
    int m_untitledNumber;
    quint64 m_convertedRevision = ~quint64(0);
};

}  // namespace rungpad::ui
