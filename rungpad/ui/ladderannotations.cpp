// SPDX-License-Identifier: GPL-3.0-or-later
// The signal comments and block input labels the ladder shows when comments are on. Both
// sit in space the cell drawing leaves free: a comment between the address and the contact,
// an input label on the input wire just left of the block.
#include "rungpad/compiler/instructions.h"
#include "rungpad/review/annotations.h"
#include "rungpad/ui/ladderpainter.h"

#include <QFontMetricsF>
#include <QHash>
#include <QPainter>

namespace rungpad::ui {

namespace {

constexpr double kCommentTop = 16;      // below the address text, above the contact's verticals
constexpr double kCommentHeight = 10;
constexpr double kLabelTop = 19;        // above the input wire at 32
constexpr int kSmallTextHeight = 9;

const QFont& smallFont()
{
    static const QFont font = [] {
        QFont f;
        f.setFamilies({QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                       QStringLiteral("DejaVu Sans"), QString::fromUtf8("宋体")});
        f.setPixelSize(kSmallTextHeight);
        return f;
    }();
    return font;
}

// Cutting a text to a cell measures glyphs; a screenful repeats the same few comments.
const QString& elided(const QString& text, double width)
{
    static QHash<QString, QString> cache;
    auto it = cache.constFind(text);
    if (it != cache.constEnd())
        return *it;
    if (cache.size() > 4096)
        cache.clear();
    return *cache.insert(text, QFontMetricsF(smallFont()).elidedText(text, Qt::ElideRight, width));
}

}  // namespace

void paintLineAnnotations(QPainter& p, const LadderRow& row, double y0, const LadderPaintStyle& style)
{
    const QPen pen = p.pen();
    const QFont font = p.font();
    p.setFont(smallFont());
    p.setPen(QColor(0, 90, 160));
    const double ascent = QFontMetricsF(smallFont()).ascent();
    for (int c = 0; c < kColumns; ++c) {
        const LadderCell& cell = row[c];
        const double x0 = geo::kGridLeft + geo::kCellWidth * c;
        if (isContact(cell.code) || isCoil(cell.code)) {
            const QString comment = cellComment(cell, *style.comments);
            if (!comment.isEmpty())
                p.drawText(QPointF(x0 + 3, y0 + kCommentTop + ascent - 1), elided(comment, geo::kCellWidth - 6));
        } else if (isFunctionBlockCode(cell.code) && !isCodt(cell.code) && blockColumnOf(cell.code) == 0 && c > 0) {
            const QString label = blockInputLabel(cell.code, blockLineOf(cell.code));
            if (!label.isEmpty())
                p.drawText(QRectF(x0 - geo::kCellWidth + 2, y0 + kLabelTop, geo::kCellWidth - 5, kCommentHeight),
                           Qt::AlignRight | Qt::AlignBottom, label);
        }
    }
    p.setFont(font);
    p.setPen(pen);
}

}  // namespace rungpad::ui
