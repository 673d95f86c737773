// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/ui/ladderprint.h"

#include "rungpad/ui/ladderpainter.h"
#include "rungpad/ui/printlayout.h"
#include "rungpad/ui/uitexts.h"

#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPrinter>

#include <algorithm>
#include <cstdio>

namespace rungpad::ui {

int printedPageCount(const LadderProgram& ladder)
{
    return std::max(1, (ladder.lineCount() + kLinesPerPage - 1) / kLinesPerPage);
}

void paintLadderPage(QPainter& p, const QRectF& area, const LadderProgram& ladder, int page, int language)
{
    PrintJob job;
    job.ladder = &ladder;
    job.language = language;
    paintPrintPage(p, area, job, page);
}

bool printLadder(QPrinter& printer, const LadderProgram& ladder, int language)
{
    PrintJob job;
    job.ladder = &ladder;
    job.language = language;
    return printJob(printer, job);
}

bool exportLadderPdf(const QString& path, const LadderProgram& ladder, const QString& title, int language)
{
    PrintJob job;
    job.ladder = &ladder;
    job.language = language;
    return exportLadderPdf(path, job, title);
}

bool exportLadderPdf(const QString& path, const PrintJob& job, const QString& title)
{
    // Written beside the target and renamed over it, so a failed export never leaves a
    // half file under the chosen name.
    const QString partial = path + QStringLiteral(".part");
    bool ok = false;
    {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(partial);
        printer.setPageSize(QPageSize(QPageSize::A4));
        printer.setDocName(title);
        ok = printJob(printer, job);
    }
    ok = ok && QFileInfo(partial).size() > 0
        && std::rename(QFile::encodeName(partial).constData(), QFile::encodeName(path).constData()) == 0;
    if (!ok)
        QFile::remove(partial);
    return ok;
}

}  // namespace rungpad::ui
