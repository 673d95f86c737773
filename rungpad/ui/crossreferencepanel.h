// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The whole program's cross-reference in a dock: the warnings first, then every address with
// its comment and its reads and writes; a filter over addresses and comments; double-click
// (or Enter) on a use or a warning jumps to its cell. The cursor-address list of the editing
// dock stays beside it for the address under the cursor.
#include "rungpad/review/crossreference.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace rungpad::ui {

class CCrossReferencePanel : public QWidget {
    Q_OBJECT
public:
    explicit CCrossReferencePanel(QWidget* parent = nullptr);

    // Builds the list anew; nullptr ladder empties it.
    void rebuild(const LadderProgram* ladder, const CommentTables* comments, int language);
    const ProgramCrossReference& crossReference() const { return m_xref; }
    QTreeWidget* tree() const { return m_tree; }
    QLineEdit* filter() const { return m_filter; }
    // The warnings group (first item) and the item of an address, for tests and jumps.
    QTreeWidgetItem* warningsItem() const;
    QTreeWidgetItem* addressItem(QByteArrayView address) const;
    // Fills an address item with its uses (done when it is expanded).
    void listUses(QTreeWidgetItem* item);
    void retranslate(int language);

Q_SIGNALS:
    void jumpRequested(int line, int column);

private:
    void applyFilter();
    void activate(QTreeWidgetItem* item);

    QLineEdit* m_filter;
    QTreeWidget* m_tree;
    ProgramCrossReference m_xref;
    int m_language = 0;
};

}  // namespace rungpad::ui
