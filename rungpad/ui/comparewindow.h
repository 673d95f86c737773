// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Two ladders side by side in one drawing, so they always scroll together: aligned rows,
// added lines tinted green on the right, removed ones red on the left, changed lines yellow
// with their differing cells marked; a list of the differences that jumps to each, and the
// summary with the addresses whose use changed.
#include "rungpad/model/comments.h"
#include "rungpad/model/ladder.h"
#include "rungpad/review/ladderdiff.h"
#include "rungpad/ui/ladderpainter.h"

#include <QAbstractScrollArea>
#include <QWidget>

class QLabel;
class QListWidget;

namespace rungpad::ui {

class CCompareView : public QAbstractScrollArea {
    Q_OBJECT
public:
    CCompareView(const LadderProgram& left, const LadderProgram& right, const LadderDiff& diff, QWidget* parent = nullptr);
    // Where a row's side is drawn now, in viewport pixels.
    QRect rowRect(int row, bool rightSide) const;
    QRect cellRect(int row, int column, bool rightSide) const;
    void showRow(int row);
    int currentRow() const { return m_current; }
    double scale() const { return m_scale; }
    void setScale(double scale);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void updateScrollBars();
    void paintSide(QPainter& p, int row, bool rightSide);

    const LadderProgram& m_left;
    const LadderProgram& m_right;
    const LadderDiff& m_diff;
    LadderPainter m_painter;
    double m_scale = 0.55;
    int m_current = -1;
};

class CCompareWindow : public QWidget {
    Q_OBJECT
public:
    CCompareWindow(LadderProgram left, QString leftName, LadderProgram right, QString rightName, int language,
                   QWidget* parent = nullptr);

    const LadderDiff& diff() const { return m_diff; }
    CCompareView* view() const { return m_view; }
    QListWidget* differenceList() const { return m_list; }
    QLabel* summaryLabel() const { return m_summary; }
    // Shows difference `index` (0-based over the list) and selects it in the list.
    void jumpToDifference(int index);

private:
    LadderProgram m_leftLadder;
    LadderProgram m_rightLadder;
    LadderDiff m_diff;
    std::vector<int> m_differences;
    CCompareView* m_view;
    QListWidget* m_list;
    QLabel* m_summary;
};

}  // namespace rungpad::ui
