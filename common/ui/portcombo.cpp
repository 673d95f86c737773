// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/ui/portcombo.h"

#include <QComboBox>
#include <QHeaderView>
#include <QStandardItemModel>
#include <QTreeView>

namespace vantor {

void fillPortCombo(QComboBox* combo, const std::vector<std::pair<QString, QString>>& ports)
{
    auto* model = new QStandardItemModel(0, 2, combo);
    for (const auto& [name, description] : ports) {
        auto* nameItem = new QStandardItem(name);
        auto* descriptionItem = new QStandardItem(description);
        nameItem->setToolTip(description);
        descriptionItem->setToolTip(name);
        model->appendRow({nameItem, descriptionItem});
    }
    const QString typed = combo->currentText();
    auto* view = new QTreeView(combo);
    view->setRootIsDecorated(false);
    view->setHeaderHidden(true);
    view->setItemsExpandable(false);
    view->setAllColumnsShowFocus(true);
    combo->setModel(model);
    combo->setView(view);
    combo->setModelColumn(0);
    view->header()->setStretchLastSection(true);
    view->resizeColumnToContents(0);
    view->setMinimumWidth(view->columnWidth(0) + 260);
    if (combo->isEditable())
        combo->setEditText(typed);
}

}  // namespace vantor
