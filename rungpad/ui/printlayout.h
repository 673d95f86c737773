// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A printout that stands on its own at the machine: every page keeps the 25 ladder lines and
// its "PAGE n" heading, and adds a title block (file, ladder information, page n of m, print
// date); the comments are drawn as on screen when they are shown; the page's remaining height
// lists the commented signals of its lines; an optional appendix carries the cross-reference
// list. Printing, the preview and Export PDF all draw through here.
#include "rungpad/model/comments.h"
#include "rungpad/model/ladder.h"
#include "rungpad/model/ladderdocument.h"

#include <QDate>
#include <QString>
#include <QStringList>

class QPainter;
class QPrinter;
class QRectF;

namespace rungpad::ui {

struct PrintJob {
    const LadderProgram* ladder = nullptr;
    const CommentTables* comments = nullptr;   // the page legend; the cells too with showComments
    LadderInfo info;
    QString fileName;
    QDate printDate;
    bool showComments = false;
    int language = 0;
    QStringList appendix;   // lines of the cross-reference appendix; empty: none
};

// The appendix lines of a ladder's cross-reference list.
QStringList crossReferenceAppendix(const LadderProgram& ladder, const CommentTables& comments, int language);

int ladderPageCount(const PrintJob& job);
int printJobPageCount(const PrintJob& job);
// Page `page` (0-based, ladder pages first, then the appendix) into `area` (device units).
void paintPrintPage(QPainter& painter, const QRectF& area, const PrintJob& job, int page);
// Every page, or the printer's chosen range; false when the device refuses.
bool printJob(QPrinter& printer, const PrintJob& job);

}  // namespace rungpad::ui
