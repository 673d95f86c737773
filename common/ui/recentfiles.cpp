// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/ui/recentfiles.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>

namespace vantor {

RecentFileList::RecentFileList(QSettings& store, RecentFilesForm form) : store_(&store), form_(std::move(form)) {}

RecentFileList::RecentFileList(QString organization, QString application, RecentFilesForm form)
    : organization_(std::move(organization)), application_(std::move(application)), form_(std::move(form))
{
}

void RecentFileList::withStore(const std::function<void(QSettings&)>& use) const
{
    if (store_) {
        use(*store_);
        return;
    }
    QSettings store(organization_, application_);
    use(store);
}

QString RecentFileList::key(int slot) const
{
    return form_.section + QStringLiteral("/File%1").arg(slot);
}

QStringList RecentFileList::files() const
{
    QStringList files;
    withStore([&](QSettings& store) {
        for (int slot = 1; slot <= form_.count; ++slot) {
            const QString f = store.value(key(slot)).toString();
            if (!f.isEmpty())
                files << f;
        }
    });
    return files;
}

void RecentFileList::add(const QString& path)
{
    const QString full = QFileInfo(path).absoluteFilePath();
    QStringList files = this->files();
    files.removeAll(full);
    files.prepend(full);
    while (files.size() > form_.count)
        files.removeLast();
    write(files);
}

bool RecentFileList::forget(const QString& path)
{
    QStringList files = this->files();
    if (!files.removeAll(QFileInfo(path).absoluteFilePath()))
        return false;
    write(files);
    return true;
}

void RecentFileList::write(const QStringList& files)
{
    withStore([&](QSettings& store) {
        for (int slot = 1; slot <= form_.count; ++slot) {
            if (slot <= files.size())
                store.setValue(key(slot), files[slot - 1]);
            else if (form_.writeUnusedSlots)
                store.setValue(key(slot), QString());
            else
                store.remove(key(slot));
        }
        if (store_)
            store.sync();
    });
    rebuildMenu();
}

void RecentFileList::showIn(QMenu* menu, std::function<void(const QString&)> open)
{
    menu_ = menu;
    open_ = std::move(open);
    rebuildMenu();
}

void RecentFileList::rebuildMenu()
{
    if (!menu_)
        return;
    menu_->clear();
    const QStringList files = this->files();
    for (int i = 0; i < files.size(); ++i) {
        const QString path = files[i];
        const QString shown = form_.nativeSeparators ? QDir::toNativeSeparators(path) : path;
        QAction* a = menu_->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(shown));
        QObject::connect(a, &QAction::triggered, menu_, [this, path] {
            if (open_)
                open_(path);
        });
    }
    if (form_.greyWhenEmpty)
        menu_->setEnabled(!files.isEmpty());
}

}  // namespace vantor
