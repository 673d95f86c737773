// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a window test reads back of a menu it built and of the profile it wrote.
#include <QAction>
#include <QSettings>
#include <QStringList>
#include <QWidget>

#include <map>

namespace vantor::testing {

// The texts of a widget's actions (a menu's entries), in order.
inline QStringList actionTexts(const QWidget* widget)
{
    QStringList texts;
    for (const QAction* a : widget->actions())
        texts << a->text();
    return texts;
}

// The values of the keys PREFIX1 to PREFIXcount by number; a key the store does not hold is
// left out, one holding an empty value is not.
inline std::map<int, QString> numberedValues(const QSettings& store, const QString& prefix, int count)
{
    std::map<int, QString> values;
    for (int i = 1; i <= count; ++i) {
        const QString key = prefix + QString::number(i);
        if (store.contains(key))
            values[i] = store.value(key).toString();
    }
    return values;
}

}  // namespace vantor::testing
