// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The list control of the send and receive pages: column 0 numbers the rows (" 1", " 2", ...),
// every other column holds the row's own text, and a click on a header sorts by that column,
// ascending first and reversed on each further click of the same header. Columns marked
// numeric compare as integers, the others by characters.
#include <QStringList>
#include <QTreeWidget>

#include <vector>

namespace vantor::fernlink::ui {

class SortableList : public QTreeWidget {
    Q_OBJECT
public:
    explicit SortableList(QWidget* parent = nullptr);

    // Headings and widths of every column, the number column included.
    void setColumns(const QStringList& headings, const QList<int>& widths);
    void setNumericColumn(int column);

    int rowCount() const { return topLevelItemCount(); }
    // texts: columns 1 onwards; a short list leaves the rest empty.
    void insertRow(int row, const QStringList& texts);
    void removeRow(int row);
    void clearRows();
    QString text(int row, int column) const;
    void setText(int row, int column, const QString& text);

    std::vector<int> selectedRows() const;  // ascending
    bool isRowSelected(int row) const;
    void setRowSelected(int row, bool selected);

    // What a click on the header of `column` does.
    void sortRowsBy(int column);
    int sortedColumn() const { return sortColumn_; }
    bool sortedAscending() const { return ascending_; }

private:
    void renumber();
    bool less(const QTreeWidgetItem* a, const QTreeWidgetItem* b, int column) const;

    QList<int> numeric_;
    int sortColumn_ = -1;
    bool ascending_ = true;
};

}  // namespace vantor::fernlink::ui
