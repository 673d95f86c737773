// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Printing a ladder: 25 lines a page, each page headed "PAGE n" ("第 n 页"), drawn by the
// same painter as the screen so paper and window agree.
#include "rungpad/model/ladder.h"

#include <QString>

class QPagedPaintDevice;
class QPainter;
class QPrinter;
class QRectF;

namespace rungpad::ui {

struct PrintJob;

inline constexpr int kLinesPerPage = 25;

int printedPageCount(const LadderProgram& ladder);
// Draws page `page` (0-based) into `area` of an active painter (device units).
void paintLadderPage(QPainter& painter, const QRectF& area, const LadderProgram& ladder, int page, int language);
// Every page of the ladder, or the printer's chosen range; false when the device refuses.
bool printLadder(QPrinter& printer, const LadderProgram& ladder, int language);
// The whole ladder as a PDF file (A4), replacing `path` atomically; on failure `error` says
// which file and why ("<file>: No space left on device") and any earlier file is unchanged.
bool exportLadderPdf(const QString& path, const LadderProgram& ladder, const QString& title, int language,
                     QString* error = nullptr);
// The same with the title block, comments and appendix of a print job.
bool exportLadderPdf(const QString& path, const PrintJob& job, const QString& title, QString* error = nullptr);

}  // namespace rungpad::ui
