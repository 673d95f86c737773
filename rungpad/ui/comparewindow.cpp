// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/ui/comparewindow.h"

#include "rungpad/review/reviewtexts.h"

#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSplitter>
#include <QWheelEvent>

#include <cmath>

namespace rungpad::ui {

namespace {
constexpr double kSideWidth = geo::kDrawingWidth;
constexpr double kSideGap = 24;
constexpr double kTop = geo::kGridTop;

const QColor kAddedTint(205, 240, 205);
const QColor kRemovedTint(248, 205, 205);
const QColor kChangedTint(255, 246, 200);
const QColor kChangedCell(255, 196, 120);
const QColor kMissingTint(236, 236, 236);
}  // namespace

CCompareView::CCompareView(const LadderProgram& left, const LadderProgram& right, const LadderDiff& diff, QWidget* parent)
    : QAbstractScrollArea(parent), m_left(left), m_right(right), m_diff(diff)
{
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    updateScrollBars();
}

void CCompareView::updateScrollBars()
{
    const int width = int(std::ceil((2 * kSideWidth + kSideGap) * m_scale));
    const int height = int(std::ceil((kTop + geo::kCellHeight * double(m_diff.rows.size()) + geo::kBottomMargin) * m_scale));
    horizontalScrollBar()->setRange(0, std::max(0, width - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    verticalScrollBar()->setRange(0, std::max(0, height - viewport()->height()));
    verticalScrollBar()->setPageStep(viewport()->height());
    verticalScrollBar()->setSingleStep(std::max(1, int(geo::kCellHeight * m_scale)));
}

void CCompareView::setScale(double scale)
{
    m_scale = std::clamp(scale, 0.25, 3.0);
    updateScrollBars();
    viewport()->update();
}

QRect CCompareView::rowRect(int row, bool rightSide) const
{
    const double x = rightSide ? kSideWidth + kSideGap : 0;
    const double y = kTop + geo::kCellHeight * row;
    return QRectF(x * m_scale - horizontalScrollBar()->value(), y * m_scale - verticalScrollBar()->value(),
                  kSideWidth * m_scale, geo::kCellHeight * m_scale)
        .toAlignedRect();
}

QRect CCompareView::cellRect(int row, int column, bool rightSide) const
{
    const QRectF cell = logicalCellRect(row, column);
    const double x = cell.left() + (rightSide ? kSideWidth + kSideGap : 0);
    return QRectF(x * m_scale - horizontalScrollBar()->value(), cell.top() * m_scale - verticalScrollBar()->value(),
                  cell.width() * m_scale, cell.height() * m_scale)
        .toAlignedRect();
}

void CCompareView::showRow(int row)
{
    if (row < 0 || row >= int(m_diff.rows.size()))
        return;
    m_current = row;
    const QRect r = rowRect(row, false);
    if (r.top() < 0 || r.bottom() >= viewport()->height())
        verticalScrollBar()->setValue(verticalScrollBar()->value() + r.center().y() - viewport()->height() / 2);
    viewport()->update();
}

void CCompareView::paintSide(QPainter& p, int row, bool rightSide)
{
    const DiffRow& d = m_diff.rows[size_t(row)];
    const int line = rightSide ? d.right : d.left;
    const double y0 = kTop + geo::kCellHeight * row;
    const QRectF band(0, y0, kSideWidth, geo::kCellHeight);
    if (line < 0) {
        // The other side's line has no partner here.
        p.fillRect(band, QBrush(kMissingTint, Qt::Dense5Pattern));
        return;
    }
    if (d.kind == DiffKind::Added)
        p.fillRect(band, kAddedTint);
    else if (d.kind == DiffKind::Removed)
        p.fillRect(band, kRemovedTint);
    else if (d.kind == DiffKind::Changed) {
        p.fillRect(band, kChangedTint);
        for (int c = 0; c < kColumns; ++c)
            if (d.cells & (1u << c))
                p.fillRect(logicalCellRect(row, c), kChangedCell);
        if (d.cells & DiffRow::kNoteBit)
            p.fillRect(QRectF(geo::kNoteX - 4, y0, kSideWidth - geo::kNoteX, geo::kCellHeight), kChangedCell);
    }
    // The ladder's line drawn where this row is, with its own line number.
    p.save();
    p.translate(0, geo::kCellHeight * (row - line));
    LadderPaintStyle style;
    m_painter.paintLines(p, rightSide ? m_right : m_left, line, line, style);
    p.restore();
}

void CCompareView::paintEvent(QPaintEvent* event)
{
    QPainter p(viewport());
    p.fillRect(event->rect(), Qt::white);
    const double top = (verticalScrollBar()->value() + event->rect().top()) / m_scale;
    const double bottom = (verticalScrollBar()->value() + event->rect().bottom() + 1) / m_scale;
    const int first = std::max(0, int(std::floor((top - kTop) / geo::kCellHeight)));
    const int last = std::min(int(m_diff.rows.size()) - 1, int(std::floor((bottom - kTop) / geo::kCellHeight)));
    p.translate(-horizontalScrollBar()->value(), -verticalScrollBar()->value());
    p.scale(m_scale, m_scale);
    for (int row = first; row <= last; ++row) {
        paintSide(p, row, false);
        p.save();
        p.translate(kSideWidth + kSideGap, 0);
        paintSide(p, row, true);
        p.restore();
    }
    if (m_current >= first && m_current <= last) {
        QPen pen(QColor(30, 90, 200));
        pen.setCosmetic(true);
        pen.setWidth(2);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(1, kTop + geo::kCellHeight * m_current, 2 * kSideWidth + kSideGap - 2, geo::kCellHeight));
    }
}

void CCompareView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void CCompareView::wheelEvent(QWheelEvent* event)
{
    if (event->modifiers() & Qt::ControlModifier) {
        setScale(m_scale * (event->angleDelta().y() > 0 ? 1.25 : 0.8));
        event->accept();
        return;
    }
    QAbstractScrollArea::wheelEvent(event);
}

void CCompareView::scrollContentsBy(int, int) { viewport()->update(); }

CCompareWindow::CCompareWindow(LadderProgram left, QString leftName, LadderProgram right, QString rightName, int language,
                               QWidget* parent)
    : QWidget(parent, Qt::Window), m_leftLadder(std::move(left)), m_rightLadder(std::move(right)),
      m_diff(diffLadders(m_leftLadder, m_rightLadder)), m_differences(m_diff.differences()),
      m_view(new CCompareView(m_leftLadder, m_rightLadder, m_diff)), m_list(new QListWidget),
      m_summary(new QLabel)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(reviewText(ReviewText::CompareTitle, language).arg(leftName, rightName));
    auto* layout = new QGridLayout(this);
    auto* leftTitle = new QLabel(QStringLiteral("<b>%1</b>").arg(leftName.toHtmlEscaped()));
    auto* rightTitle = new QLabel(QStringLiteral("<b>%1</b>").arg(rightName.toHtmlEscaped()));
    layout->addWidget(leftTitle, 0, 0);
    layout->addWidget(rightTitle, 0, 1);
    auto* split = new QSplitter(Qt::Vertical);
    split->addWidget(m_view);
    split->addWidget(m_list);
    split->setStretchFactor(0, 4);
    split->setStretchFactor(1, 1);
    layout->addWidget(split, 1, 0, 1, 2);
    layout->addWidget(m_summary, 2, 0, 1, 2);
    m_summary->setWordWrap(true);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);

    QString summary = diffSummary(m_diff, language);
    if (!m_diff.addresses.empty()) {
        QStringList addresses;
        for (const QByteArray& a : m_diff.addresses)
            addresses << QString::fromLatin1(a);
        summary += QStringLiteral("\n") + reviewText(ReviewText::DiffAddresses, language).arg(addresses.join(QLatin1Char(' ')));
    }
    m_summary->setText(summary);

    auto number = [](int line) {
        return line < 0 ? QStringLiteral("----") : QStringLiteral("%1").arg(line + 1, 4, 10, QLatin1Char('0'));
    };
    for (int index : m_differences) {
        const DiffRow& r = m_diff.rows[size_t(index)];
        const ReviewText kind = r.kind == DiffKind::Added ? ReviewText::DiffAdded
            : r.kind == DiffKind::Removed                 ? ReviewText::DiffRemoved
                                                          : ReviewText::DiffChanged;
        QString text = QStringLiteral("%1  %2 | %3").arg(reviewText(kind, language), number(r.left), number(r.right));
        if (r.kind == DiffKind::Changed) {
            QStringList columns;
            for (int c = 0; c < kColumns; ++c)
                if (r.cells & (1u << c))
                    columns << QString::number(c + 1);
            if (r.cells & DiffRow::kNoteBit)
                columns << QStringLiteral(";");
            text += QStringLiteral("  ") + reviewText(ReviewText::DiffColumns, language).arg(columns.join(QLatin1Char(',')));
        }
        m_list->addItem(text);
    }
    connect(m_list, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) { jumpToDifference(m_list->row(item)); });
    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row < int(m_differences.size()))
            m_view->showRow(m_differences[size_t(row)]);
    });
    resize(1400, 820);
}

void CCompareWindow::jumpToDifference(int index)
{
    if (index < 0 || index >= int(m_differences.size()))
        return;
    if (m_list->currentRow() != index)
        m_list->setCurrentRow(index);
    m_view->showRow(m_differences[size_t(index)]);
}

}  // namespace rungpad::ui
