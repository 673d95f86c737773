// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/ui/outlookbar.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyledItemDelegate>

namespace vantor::fernlink::ui {

namespace {

const QColor kBarBlue(58, 110, 165);
constexpr int kPageRole = Qt::UserRole + 1;

class OutlookDelegate : public QStyledItemDelegate {
public:
    explicit OutlookDelegate(COutlookBar* bar) : QStyledItemDelegate(bar), bar_(bar) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        // Twice the icon height, with room for the label under the icon.
        const int h = 2 * COutlookBar::kIconSize + option.fontMetrics.height() / 2;
        return {option.rect.width(), h};
    }

    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        p->save();
        p->fillRect(option.rect, kBarBlue);
        const QRect r = option.rect;
        const QRect iconRect(r.left() + (r.width() - COutlookBar::kIconSize) / 2, r.top() + COutlookBar::kIconTop,
                             COutlookBar::kIconSize, COutlookBar::kIconSize);
        const QIcon icon = index.data(Qt::DecorationRole).value<QIcon>();
        icon.paint(p, iconRect);
        if (option.state & QStyle::State_Selected) {
            // A 3-D edge round the chosen icon: raised, sunken while the button is held.
            const QRect edge = iconRect.adjusted(-3, -3, 3, 3);
            const bool sunken = bar_->pressed();
            const QColor light = QColor(255, 255, 255);
            const QColor dark = QColor(20, 40, 70);
            p->setPen(sunken ? dark : light);
            p->drawLine(edge.topLeft(), edge.topRight());
            p->drawLine(edge.topLeft(), edge.bottomLeft());
            p->setPen(sunken ? light : dark);
            p->drawLine(edge.bottomLeft(), edge.bottomRight());
            p->drawLine(edge.topRight(), edge.bottomRight());
        }
        p->setPen(Qt::white);
        const int textTop = iconRect.bottom() + 3;
        const QRect textRect(r.left() + 2, textTop, r.width() - 4, option.fontMetrics.height());
        const QString text = option.fontMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight,
                                                           textRect.width());
        p->drawText(textRect, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine, text);
        p->restore();
    }

private:
    COutlookBar* bar_;
};

QPixmap canvas(int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    return pm;
}

}  // namespace

COutlookBar::COutlookBar(QWidget* parent) : QListWidget(parent)
{
    setObjectName(QStringLiteral("COutlookBar"));
    setItemDelegate(new OutlookDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setFrameShape(QFrame::NoFrame);
    setUniformItemSizes(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Base, kBarBlue);
    pal.setColor(QPalette::Window, kBarBlue);
    pal.setColor(QPalette::Text, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);
}

void COutlookBar::addPageItem(const QIcon& icon, const QString& text, int page)
{
    auto* item = new QListWidgetItem(icon, text, this);
    item->setData(kPageRole, page);
    item->setToolTip(text);
    if (count() == 1)
        setCurrentRow(0);
}

int COutlookBar::pageOf(int row) const
{
    const QListWidgetItem* it = item(row);
    return it ? it->data(kPageRole).toInt() : -1;
}

int COutlookBar::rowOf(int page) const
{
    for (int row = 0; row < count(); ++row)
        if (pageOf(row) == page)
            return row;
    return -1;
}

void COutlookBar::showPage(int page)
{
    const QSignalBlocker block(this);
    const int row = rowOf(page);
    if (row >= 0)
        setCurrentRow(row);
    else
        clearSelection();
    viewport()->update();
}

void COutlookBar::mousePressEvent(QMouseEvent* event)
{
    pressed_ = true;
    QListWidget::mousePressEvent(event);
    viewport()->update();
}

void COutlookBar::mouseReleaseEvent(QMouseEvent* event)
{
    pressed_ = false;
    QListWidget::mouseReleaseEvent(event);
    viewport()->update();
    const QModelIndex at = indexAt(event->position().toPoint());
    if (at.isValid() && event->button() == Qt::LeftButton)
        Q_EMIT pageRequested(pageOf(at.row()));
}

void COutlookBar::keyPressEvent(QKeyEvent* event)
{
    // From the keyboard the arrows mark an item and Enter or Space chooses it.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Space) &&
        currentRow() >= 0) {
        Q_EMIT pageRequested(pageOf(currentRow()));
        return;
    }
    QListWidget::keyPressEvent(event);
}

QIcon outlookIcon(int page)
{
    QPixmap pm = canvas(COutlookBar::kIconSize);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor paper(250, 250, 240);
    const QColor ink(30, 50, 80);
    const QColor accent(255, 200, 60);
    p.setPen(QPen(ink, 1.5));
    switch (page) {
    case 0: {  // a sheet of program text
        p.setBrush(paper);
        p.drawRect(QRectF(7, 3, 18, 26));
        for (int y = 9; y <= 23; y += 4)
            p.drawLine(QPointF(10, y), QPointF(22, y));
        break;
    }
    case 1: {  // a tape running into the machine
        p.setBrush(QColor(200, 210, 220));
        p.drawRect(QRectF(14, 6, 15, 20));
        p.setBrush(accent);
        p.drawRect(QRectF(2, 12, 14, 8));
        p.setPen(QPen(ink, 1));
        for (int x = 4; x < 15; x += 3)
            p.drawEllipse(QPointF(x, 16), 0.8, 0.8);
        break;
    }
    case 2:
    case 3: {  // PC and controller with an arrow between them
        p.setBrush(paper);
        p.drawRect(QRectF(2, 6, 11, 9));
        p.setBrush(QColor(200, 210, 220));
        p.drawRect(QRectF(19, 16, 11, 11));
        QPainterPath arrow;
        if (page == 2) {
            arrow.moveTo(9, 19); arrow.lineTo(16, 19); arrow.lineTo(16, 16); arrow.lineTo(19, 21);
            arrow.lineTo(16, 26); arrow.lineTo(16, 23); arrow.lineTo(9, 23);
        } else {
            arrow.moveTo(23, 12); arrow.lineTo(16, 12); arrow.lineTo(16, 15); arrow.lineTo(13, 10);
            arrow.lineTo(16, 5); arrow.lineTo(16, 8); arrow.lineTo(23, 8);
        }
        arrow.closeSubpath();
        p.setBrush(accent);
        p.drawPath(arrow);
        break;
    }
    case 4: {  // a gear
        p.setBrush(QColor(200, 210, 220));
        for (int i = 0; i < 8; ++i) {
            p.save();
            p.translate(16, 16);
            p.rotate(i * 45);
            p.drawRect(QRectF(-2.5, -14, 5, 6));
            p.restore();
        }
        p.drawEllipse(QPointF(16, 16), 9, 9);
        p.setBrush(kBarBlue);
        p.drawEllipse(QPointF(16, 16), 3.5, 3.5);
        break;
    }
    case 5:
    case 6: {  // one person, or two for those online
        auto person = [&p, &paper](qreal x, qreal y, qreal s) {
            p.setBrush(paper);
            p.drawEllipse(QPointF(x, y), 4.5 * s, 4.5 * s);
            p.drawChord(QRectF(x - 9 * s, y + 5 * s, 18 * s, 18 * s), 0, 180 * 16);
        };
        if (page == 6) {
            person(22, 8, 0.8);
            person(11, 11, 1.0);
            p.setBrush(QColor(90, 220, 90));
            p.drawEllipse(QPointF(26, 26), 3, 3);
        } else {
            person(16, 9, 1.1);
        }
        break;
    }
    default:
        p.setBrush(paper);
        p.drawEllipse(QPointF(16, 16), 12, 12);
        break;
    }
    return QIcon(pm);
}

QIcon stateIcon(int id)
{
    QPixmap pm = canvas(16);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QColor lamp = QColor(150, 150, 150);
    if (id == 162)
        lamp = QColor(40, 200, 60);
    else if (id == 164)
        lamp = QColor(220, 40, 40);
    QRadialGradient g(QPointF(6, 6), 8);
    g.setColorAt(0, lamp.lighter(170));
    g.setColorAt(1, lamp);
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.setBrush(g);
    p.drawEllipse(QRectF(2, 2, 12, 12));
    return QIcon(pm);
}

}  // namespace vantor::fernlink::ui
