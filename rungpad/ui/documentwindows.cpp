// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/ui/documentwindows.h"

#include "rungpad/ui/mainframe.h"
#include "rungpad/ui/outputwindows.h"
#include "rungpad/ui/rungpaddoc.h"
#include "rungpad/ui/rungpadview.h"

#include <QActionGroup>
#include <QDir>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QStatusBar>

namespace rungpad::ui {

QStringList distinctDocumentNames(const QStringList& paths)
{
    std::vector<QStringList> parts;
    for (const QString& p : paths)
        parts.push_back(QDir::fromNativeSeparators(QFileInfo(p).absoluteFilePath()).split(QLatin1Char('/'), Qt::SkipEmptyParts));
    auto tail = [&](int i, int depth) {
        const QStringList& all = parts[size_t(i)];
        return all.mid(std::max<qsizetype>(0, all.size() - depth)).join(QLatin1Char('/'));
    };
    QStringList out;
    for (int i = 0; i < paths.size(); ++i) {
        if (paths[i].isEmpty()) {
            out << QString();
            continue;
        }
        int depth = 1;
        // Grows until no other file shows the same tail, or the whole path is shown.
        for (bool clash = true; clash && depth < parts[size_t(i)].size(); ) {
            clash = false;
            for (int j = 0; j < paths.size() && !clash; ++j)
                clash = j != i && !paths[j].isEmpty() && tail(j, depth).compare(tail(i, depth), Qt::CaseInsensitive) == 0
                    && parts[size_t(j)] != parts[size_t(i)];
            if (clash)
                ++depth;
        }
        out << QDir::toNativeSeparators(tail(i, depth));
    }
    return out;
}

void CMainFrame::refreshInstructionList()
{
    CRungpadView* view = activeView();
    if (view && view->document()->instructionListCurrent()) {
        if (m_listView != view || m_list->document()->isEmpty())
            showInstructionList(view->document()->instructionLines());
        m_listView = view;
        return;
    }
    m_listView = nullptr;
    // Another document's list, or one from before an edit, would be read as this ladder's.
    m_list->clear();
}

void CMainFrame::updateDocumentTitles()
{
    const QList<CRungpadView*> all = views();
    QStringList paths;
    for (CRungpadView* v : all)
        paths << (v->document()->hasPath() ? v->document()->path() : QString());
    const QStringList names = distinctDocumentNames(paths);
    for (int i = 0; i < all.size(); ++i) {
        CRungpadDoc* doc = all[i]->document();
        const QString title = (names[i].isEmpty() ? doc->displayName(m_language) : names[i])
            + (doc->isModified() ? QStringLiteral(" *") : QString());
        for (QMdiSubWindow* w : m_mdi->subWindowList())
            if (w->widget() == all[i] && w->windowTitle() != title)
                w->setWindowTitle(title);
    }
}

void CMainFrame::rebuildWindowMenu()
{
    for (QAction* a : m_windowMenu->actions())
        if (a->property("rungpadDocument").toBool())
            delete a;
    const QList<QMdiSubWindow*> windows = m_mdi->subWindowList();
    if (windows.isEmpty())
        return;
    QAction* separator = m_windowMenu->addSeparator();
    separator->setProperty("rungpadDocument", true);
    for (int i = 0; i < windows.size(); ++i) {
        QMdiSubWindow* w = windows[i];
        // 1..9 as the Alt letters, as every MDI program's Window menu has them.
        const QString label = i < 9 ? QStringLiteral("&%1 %2").arg(i + 1).arg(w->windowTitle())
                                    : QStringLiteral("%1 %2").arg(i + 1).arg(w->windowTitle());
        QAction* a = m_windowMenu->addAction(label);
        a->setProperty("rungpadDocument", true);
        a->setCheckable(true);
        a->setChecked(w == m_mdi->activeSubWindow());
        connect(a, &QAction::triggered, this, [this, w] {
            m_mdi->setActiveSubWindow(w);
            if (auto* v = qobject_cast<CRungpadView*>(w->widget()))
                v->setFocus();
        });
    }
}

void CMainFrame::reportRefusal(const QString& reason)
{
    if (reason.isEmpty())
        return;
    m_output->outputLine(reason);
    statusBar()->showMessage(reason, 8000);
}

}  // namespace rungpad::ui
