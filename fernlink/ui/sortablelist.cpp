// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/ui/sortablelist.h"

#include <QHeaderView>

#include <algorithm>

namespace vantor::fernlink::ui {

SortableList::SortableList(QWidget* parent) : QTreeWidget(parent)
{
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSortingEnabled(false);  // the order is ours: numbering follows it
    // Columns narrower than the control: the last one takes the rest.
    header()->setStretchLastSection(true);
    header()->setSectionsClickable(true);
    header()->setSortIndicatorShown(false);  // until the first sort
    connect(header(), &QHeaderView::sectionClicked, this, &SortableList::sortRowsBy);
    setStyleSheet(QStringLiteral("QTreeWidget { background: rgb(200, 200, 200); }"));
}

void SortableList::setColumns(const QStringList& headings, const QList<int>& widths)
{
    setColumnCount(static_cast<int>(headings.size()));
    setHeaderLabels(headings);
    for (int i = 0; i < widths.size(); ++i)
        setColumnWidth(i, widths[i]);
}

void SortableList::setNumericColumn(int column)
{
    if (!numeric_.contains(column))
        numeric_.append(column);
}

void SortableList::insertRow(int row, const QStringList& texts)
{
    auto* item = new QTreeWidgetItem;
    for (int c = 0; c < texts.size() && c + 1 < columnCount(); ++c)
        item->setText(c + 1, texts[c]);
    insertTopLevelItem(std::clamp(row, 0, rowCount()), item);
    renumber();
}

void SortableList::removeRow(int row)
{
    delete takeTopLevelItem(row);
    renumber();
}

void SortableList::clearRows()
{
    clear();
}

QString SortableList::text(int row, int column) const
{
    const QTreeWidgetItem* item = topLevelItem(row);
    return item ? item->text(column) : QString();
}

void SortableList::setText(int row, int column, const QString& text)
{
    if (QTreeWidgetItem* item = topLevelItem(row))
        item->setText(column, text);
}

std::vector<int> SortableList::selectedRows() const
{
    std::vector<int> rows;
    for (int i = 0; i < rowCount(); ++i)
        if (topLevelItem(i)->isSelected())
            rows.push_back(i);
    return rows;
}

bool SortableList::isRowSelected(int row) const
{
    const QTreeWidgetItem* item = topLevelItem(row);
    return item && item->isSelected();
}

void SortableList::setRowSelected(int row, bool selected)
{
    if (QTreeWidgetItem* item = topLevelItem(row))
        item->setSelected(selected);
}

bool SortableList::less(const QTreeWidgetItem* a, const QTreeWidgetItem* b, int column) const
{
    if (numeric_.contains(column))
        return a->text(column).trimmed().toLongLong() < b->text(column).trimmed().toLongLong();
    return a->text(column) < b->text(column);
}

void SortableList::sortRowsBy(int column)
{
    if (column < 0 || column >= columnCount())
        return;
    ascending_ = column == sortColumn_ ? !ascending_ : true;
    sortColumn_ = column;
    std::vector<QTreeWidgetItem*> items;
    std::vector<QTreeWidgetItem*> selected;
    while (rowCount() > 0) {
        QTreeWidgetItem* item = topLevelItem(0);
        if (item->isSelected())
            selected.push_back(item);
        items.push_back(takeTopLevelItem(0));
    }
    std::stable_sort(items.begin(), items.end(), [&](const QTreeWidgetItem* a, const QTreeWidgetItem* b) {
        return ascending_ ? less(a, b, column) : less(b, a, column);
    });
    for (QTreeWidgetItem* item : items)
        addTopLevelItem(item);
    for (QTreeWidgetItem* item : selected)
        item->setSelected(true);
    header()->setSortIndicatorShown(true);
    header()->setSortIndicator(column, ascending_ ? Qt::AscendingOrder : Qt::DescendingOrder);
    renumber();
}

void SortableList::renumber()
{
    for (int i = 0; i < rowCount(); ++i)
        topLevelItem(i)->setText(0, QStringLiteral(" %1").arg(i + 1));
}

}  // namespace vantor::fernlink::ui
