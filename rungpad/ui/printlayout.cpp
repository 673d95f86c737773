// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/ui/printlayout.h"

#include "rungpad/review/annotations.h"
#include "rungpad/review/crossreference.h"
#include "rungpad/review/reviewtexts.h"
#include "rungpad/ui/ladderpainter.h"
#include "rungpad/ui/ladderprint.h"
#include "rungpad/ui/uitexts.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>

#include <algorithm>
#include <set>

namespace rungpad::ui {

namespace {

// Logical units, as the ladder drawing: a page is the drawing's width wide.
constexpr double kHeadingHeight = 60;
constexpr double kLadderBottom = kHeadingHeight + geo::kGridTop + geo::kCellHeight * kLinesPerPage;
constexpr double kTitleHeight = 110;
constexpr double kGap = 12;
// The shortest page the layout needs; taller pages give the legend more room. The appendix
// is paged on this height, so the page count does not depend on the paper.
constexpr double kMinPageHeight = kLadderBottom + kGap + kTitleHeight;
constexpr double kListLineHeight = 16;
constexpr int kAppendixLinesPerPage = int((kMinPageHeight - kHeadingHeight - kTitleHeight - 2 * kGap) / kListLineHeight);
constexpr double kLegendColumnWidth = geo::kDrawingWidth / 2.0 - 40;

QFont textFont(int pixels)
{
    QFont f = LadderPainter().cellFont();
    f.setPixelSize(pixels);
    return f;
}

void paintTitleBlock(QPainter& p, const PrintJob& job, int page, int pages, double top)
{
    const int lang = job.language;
    const QRectF box(20, top, geo::kDrawingWidth - 40, kTitleHeight - 10);
    QPen pen(Qt::black);
    pen.setWidthF(2);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawRect(box);
    pen.setWidthF(1);
    p.setPen(pen);
    const double rowHeight = box.height() / 2;
    const double colWidth = box.width() / 4;
    p.drawLine(QPointF(box.left(), box.top() + rowHeight), QPointF(box.right(), box.top() + rowHeight));
    // The page number takes the last two cells of the lower row.
    for (int c = 1; c < 4; ++c)
        p.drawLine(QPointF(box.left() + colWidth * c, box.top()),
                   QPointF(box.left() + colWidth * c, c == 3 ? box.top() + rowHeight : box.bottom()));
    auto field = [&](int row, int column, ReviewText label, const QString& value) {
        const QRectF cell(box.left() + colWidth * column + 6, box.top() + rowHeight * row + 3, colWidth - 12, rowHeight - 6);
        p.setFont(textFont(11));
        p.drawText(cell, Qt::AlignLeft | Qt::AlignTop, reviewText(label, lang));
        p.setFont(textFont(16));
        p.drawText(cell, Qt::AlignLeft | Qt::AlignBottom,
                   QFontMetricsF(p.font()).elidedText(value, Qt::ElideRight, cell.width()));
    };
    field(0, 0, ReviewText::TitleFile, job.fileName);
    field(0, 1, ReviewText::TitleVersion, job.info.version);
    field(0, 2, ReviewText::TitleMachine, job.info.machine);
    field(0, 3, ReviewText::TitlePrinted, job.printDate.isValid() ? job.printDate.toString(Qt::ISODate) : QString());
    field(1, 0, ReviewText::TitleModifier, job.info.modifier);
    field(1, 1, ReviewText::TitleSaved, job.info.saveTime);
    const QRectF pageCell(box.left() + colWidth * 2, box.top() + rowHeight, colWidth * 2, rowHeight);
    p.setFont(textFont(20));
    p.drawText(pageCell, Qt::AlignCenter, reviewText(ReviewText::TitlePageOf, lang).arg(page + 1).arg(pages));
}

// The commented signals of the page's lines, in two columns, as far as the height allows.
void paintLegend(QPainter& p, const PrintJob& job, int first, int last, double top, double bottom)
{
    if (!job.comments || bottom - top < 3 * kListLineHeight)
        return;
    std::set<std::pair<QByteArray, QString>> signalsOnPage;
    for (int l = first; l <= last && l < job.ladder->lineCount(); ++l) {
        const LadderRow& row = job.ladder->line(l);
        for (int c = 0; c < kColumns; ++c) {
            const auto a = parseLadderAddress(row[c].text());
            if (!a || a->bit < 0 || isCodt(row[c].code))
                continue;
            const QString comment = job.comments->commentOf(a->text());
            if (!comment.isEmpty())
                signalsOnPage.emplace(a->text(), comment);
        }
    }
    if (signalsOnPage.empty())
        return;
    p.setPen(Qt::black);
    p.setFont(textFont(13));
    p.drawText(QPointF(40, top + kListLineHeight), reviewText(ReviewText::PageSignalsHeading, job.language));
    const int rows = int((bottom - top) / kListLineHeight) - 1;
    int i = 0;
    for (const auto& [address, comment] : signalsOnPage) {
        const int column = i / rows;
        if (column > 1)
            break;
        const double x = 40 + column * (kLegendColumnWidth + 40);
        const double y = top + kListLineHeight * (2 + i % rows);
        p.drawText(QPointF(x, y), QString::fromLatin1(address));
        p.drawText(QPointF(x + 80, y),
                   QFontMetricsF(p.font()).elidedText(comment, Qt::ElideRight, kLegendColumnWidth - 80));
        ++i;
    }
}

}  // namespace

QStringList crossReferenceAppendix(const LadderProgram& ladder, const CommentTables& comments, int language)
{
    QStringList lines = formatCrossReference(buildProgramCrossReference(ladder, comments), language).split(QLatin1Char('\n'));
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

int ladderPageCount(const PrintJob& job) { return job.ladder ? printedPageCount(*job.ladder) : 1; }

int printJobPageCount(const PrintJob& job)
{
    const int appendixPages = int((job.appendix.size() + kAppendixLinesPerPage - 1) / kAppendixLinesPerPage);
    return ladderPageCount(job) + appendixPages;
}

void paintPrintPage(QPainter& p, const QRectF& area, const PrintJob& job, int page)
{
    const double width = geo::kDrawingWidth;
    const double height = std::max(kMinPageHeight, width * area.height() / std::max(1.0, area.width()));
    const double scale = std::min(area.width() / width, area.height() / height);
    const int pages = printJobPageCount(job);
    const int ladderPages = ladderPageCount(job);

    p.save();
    p.translate(area.topLeft());
    p.scale(scale, scale);
    p.setPen(Qt::black);
    p.setFont(textFont(24));
    const bool appendixPage = page >= ladderPages;
    QString heading = uiText(UiText::PageHeading, job.language).arg(page + 1);
    p.drawText(QRectF(0, 0, width, kHeadingHeight), Qt::AlignHCenter | Qt::AlignVCenter, heading);
    if (!appendixPage && job.ladder) {
        const int first = page * kLinesPerPage;
        const int last = first + kLinesPerPage - 1;
        p.save();
        // The page's first line lands just below the heading, wherever it is in the ladder.
        p.translate(0, kHeadingHeight - geo::kCellHeight * first);
        LadderPaintStyle style;
        style.screen = false;
        if (job.showComments)
            style.comments = job.comments;
        LadderPainter().paintLines(p, *job.ladder, first, last, style);
        p.restore();
        paintLegend(p, job, first, last, kLadderBottom + kGap, height - kTitleHeight - kGap);
    } else if (appendixPage) {
        const int from = (page - ladderPages) * kAppendixLinesPerPage;
        p.setFont(textFont(13));
        p.drawText(QPointF(40, kHeadingHeight + kListLineHeight * 0.5),
                   reviewText(ReviewText::AppendixHeading, job.language));
        for (int i = 0; i < kAppendixLinesPerPage && from + i < job.appendix.size(); ++i)
            p.drawText(QPointF(40, kHeadingHeight + kListLineHeight * (i + 2)), job.appendix[from + i]);
    }
    paintTitleBlock(p, job, page, pages, height - kTitleHeight);
    p.restore();
}

bool printJob(QPrinter& printer, const PrintJob& job)
{
    QPainter p;
    if (!p.begin(&printer))
        return false;
    const int pages = printJobPageCount(job);
    int from = 1;
    int to = pages;
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        from = std::max(1, printer.fromPage());
        to = std::min(pages, std::max(from, printer.toPage()));
    }
    const QRectF page = printer.pageRect(QPrinter::DevicePixel);
    const QRectF area = page.translated(-page.topLeft());
    for (int n = from; n <= to; ++n) {
        if (n > from && !printer.newPage())
            return false;
        paintPrintPage(p, area, job, n - 1);
    }
    return p.end();
}

}  // namespace rungpad::ui
