// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/ui/ladderprint.h"

#include "common/archive.h"
#include "rungpad/ui/ladderpainter.h"
#include "rungpad/ui/uitexts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>

#include <algorithm>

namespace rungpad::ui {

namespace {
constexpr double kHeadingHeight = 60;   // logical units above the first line of a page
}

int printedPageCount(const LadderProgram& ladder)
{
    return std::max(1, (ladder.lineCount() + kLinesPerPage - 1) / kLinesPerPage);
}

void paintLadderPage(QPainter& p, const QRectF& area, const LadderProgram& ladder, int page, int language)
{
    const int first = page * kLinesPerPage;
    const int last = first + kLinesPerPage - 1;
    const double logicalHeight = kHeadingHeight + geo::kCellHeight * kLinesPerPage + geo::kGridTop;
    const double scale = std::min(area.width() / geo::kDrawingWidth, area.height() / logicalHeight);

    p.save();
    p.translate(area.topLeft());
    p.scale(scale, scale);
    const LadderPainter painter;
    QFont heading = painter.cellFont();
    heading.setPixelSize(24);
    p.setFont(heading);
    p.setPen(Qt::black);
    p.drawText(QRectF(0, 0, geo::kDrawingWidth, kHeadingHeight), Qt::AlignHCenter | Qt::AlignVCenter,
               uiText(UiText::PageHeading, language).arg(page + 1));
    // The page's first line lands just below the heading, wherever it is in the ladder.
    p.translate(0, kHeadingHeight - geo::kCellHeight * first);
    LadderPaintStyle style;
    style.screen = false;
    painter.paintLines(p, ladder, first, last, style);
    p.restore();
}

bool printLadder(QPrinter& printer, const LadderProgram& ladder, int language)
{
    QPainter p;
    if (!p.begin(&printer))
        return false;
    const int pages = printedPageCount(ladder);
    int from = 1;
    int to = pages;
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        from = std::max(1, printer.fromPage());
        to = std::min(pages, std::max(from, printer.toPage()));
    }
    const QRectF area = printer.pageRect(QPrinter::DevicePixel).translated(-printer.pageRect(QPrinter::DevicePixel).topLeft());
    for (int page = from; page <= to; ++page) {
        if (page > from && !printer.newPage())
            return false;
        paintLadderPage(p, area, ladder, page - 1, language);
    }
    return p.end();
}

bool exportLadderPdf(const QString& path, const LadderProgram& ladder, const QString& title, int language, QString* error)
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
        ok = printLadder(printer, ladder, language);
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
