// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/ui/ladderprint.h"

#include "common/archive.h"
#include "rungpad/ui/ladderpainter.h"
#include "rungpad/ui/printlayout.h"
#include "rungpad/ui/uitexts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>

#include <algorithm>

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

bool exportLadderPdf(const QString& path, const LadderProgram& ladder, const QString& title, int language, QString* error)
{
    PrintJob job;
    job.ladder = &ladder;
    job.language = language;
    return exportLadderPdf(path, job, title, error);
}

bool exportLadderPdf(const QString& path, const PrintJob& job, const QString& title, QString* error)
{
    // The printer writes its file with no word about a failed write, so it renders into a
    // scratch folder; only a document that ends as a PDF must is then put in place by the
    // checked writer, which reports a full disk at the target truthfully.
    QTemporaryDir scratch;
    const QString rendered = scratch.isValid() ? scratch.filePath(QStringLiteral("ladder.pdf")) : QString();
    bool ok = !rendered.isEmpty();
    if (ok) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(rendered);
        printer.setPageSize(QPageSize(QPageSize::A4));
        printer.setDocName(title);
        ok = printJob(printer, job);
    }
    QString why;
    const auto bytes = ok ? vantor::readWholeFile(rendered, &why) : std::nullopt;
    if (!bytes || !bytes->trimmed().endsWith("%%EOF")) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path),
                                                  why.isEmpty() ? QStringLiteral("the PDF could not be rendered") : why);
        return false;
    }
    const vantor::ArchiveFileResult saved = vantor::saveFileAtomically(path, *bytes);
    if (!saved.ok && error)
        *error = saved.error;
    return saved.ok;
}

}  // namespace rungpad::ui
