// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A module's bilingual catalogue: one row per user-visible text, Chinese and English side by
// side, looked up by the module's own enumeration.
#include <QString>

#include <cstddef>

namespace vantor {

template <typename Id>
struct CatalogueRow {
    Id id;
    const char* chinese;  // UTF-8
    const char* english;
};

// The row of id: at once where the rows follow the enumeration's order, by a search where
// they do not; nullptr where the catalogue has no row for it.
template <typename Id, std::size_t N>
constexpr const CatalogueRow<Id>* findRow(const CatalogueRow<Id> (&rows)[N], Id id)
{
    const auto at = static_cast<std::size_t>(id);
    if (at < N && rows[at].id == id)
        return &rows[at];
    for (const CatalogueRow<Id>& row : rows)
        if (row.id == id)
            return &row;
    return nullptr;
}

// The text of id in English or Chinese; empty where the catalogue has no row for it.
template <typename Id, std::size_t N>
QString catalogueText(const CatalogueRow<Id> (&rows)[N], Id id, bool english)
{
    const CatalogueRow<Id>* row = findRow(rows, id);
    return row ? QString::fromUtf8(english ? row->english : row->chinese) : QString();
}

// For a static_assert beside each catalogue: no id has two rows, so the quick look-up and
// the search always agree.
template <typename Id, std::size_t N>
constexpr bool rowsDistinct(const CatalogueRow<Id> (&rows)[N])
{
    for (std::size_t i = 0; i < N; ++i)
        for (std::size_t j = i + 1; j < N; ++j)
            if (rows[i].id == rows[j].id)
                return false;
    return true;
}

// For a catalogue that must hold every id in order, row i for the i-th.
template <typename Id, std::size_t N>
constexpr bool rowsInOrder(const CatalogueRow<Id> (&rows)[N])
{
    for (std::size_t i = 0; i < N; ++i)
        if (static_cast<std::size_t>(rows[i].id) != i)
            return false;
    return true;
}

}  // namespace vantor
