// SPDX-License-Identifier: GPL-3.0-or-later
// Icons of the element, block and edit commands (drawn for Rungpad: rungpad/ui/icons/*.svg,
// rendered to PNG by icons/render.sh) and the toolbar buttons that show them. The command's
// text stays as the button's tooltip, with its shortcut.
#include "rungpad/ui/mainframe.h"

#include <QAction>
#include <QIcon>
#include <QToolBar>

namespace rungpad::ui {

namespace {
struct CommandIcon {
    CMainFrame::Command command;
    const char* name;
};
constexpr CommandIcon kIcons[] = {
    {CMainFrame::PlaceContactNO, "contact-no"},   {CMainFrame::PlaceContactNC, "contact-nc"},
    {CMainFrame::PlaceCoil, "coil"},               {CMainFrame::PlaceCoilNot, "coil-not"},
    {CMainFrame::PlaceWire, "wire"},               {CMainFrame::VerticalLink, "vertical-link"},
    {CMainFrame::DeleteNode, "delete-node"},       {CMainFrame::DeleteVerticalLink, "delete-vertical-link"},
    {CMainFrame::FunctionInstruction, "function"}, {CMainFrame::InsertLines, "insert-lines"},
    {CMainFrame::DeleteLines, "delete-lines"},     {CMainFrame::Undo, "undo"},
    {CMainFrame::Redo, "redo"},                    {CMainFrame::Cut, "cut"},
    {CMainFrame::Copy, "copy"},                    {CMainFrame::Paste, "paste"},
    {CMainFrame::Find, "find"},
};

QIcon toolbarIcon(const char* name)
{
    QIcon icon;
    for (int size : {24, 48})
        icon.addFile(QStringLiteral(":/rungpad/toolbar/png/%1/%2.png").arg(size).arg(QLatin1String(name)), QSize(size, size));
    return icon;
}
}  // namespace

void CMainFrame::addToolbarIcons()
{
    for (const CommandIcon& i : kIcons)
        action(i.command)->setIcon(toolbarIcon(i.name));
    m_ladderBar->addSeparator();
    for (Command c : {DeleteNode, DeleteVerticalLink, FunctionInstruction, InsertLines, DeleteLines})
        m_ladderBar->addAction(action(c));
    m_fileBar->addSeparator();
    for (Command c : {Undo, Redo, Cut, Copy, Paste, Find})
        m_fileBar->addAction(action(c));
}

void CMainFrame::updateToolTips()
{
    for (QToolBar* bar : {m_fileBar, m_ladderBar}) {
        for (QAction* a : bar->actions()) {
            if (a->isSeparator())
                continue;
            const QString keys = a->shortcut().toString(QKeySequence::NativeText);
            a->setToolTip(keys.isEmpty() ? a->iconText() : QStringLiteral("%1 (%2)").arg(a->iconText(), keys));
        }
    }
}

}  // namespace rungpad::ui
