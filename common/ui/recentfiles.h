// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Recent File list of a desktop program: "FileN" keys under one section of its profile,
// newest first, shown as the numbered entries of a File submenu. Each program has written
// its profile the same way for years, so the few ways they differ are named in the form.
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>

class QMenu;
class QSettings;

namespace vantor {

struct RecentFilesForm {
    QString section = QStringLiteral("Recent File List");
    int count = 4;
    // Every slot is written, an unused one as an empty value, instead of its key being removed.
    bool writeUnusedSlots = false;
    // The menu shows paths with the platform's separators instead of as stored.
    bool nativeSeparators = false;
    // The submenu is greyed while nothing is listed; otherwise the program's commands decide.
    bool greyWhenEmpty = false;
};

class RecentFileList {
public:
    // A profile the program keeps open: every change is written through and synced.
    RecentFileList(QSettings& store, RecentFilesForm form);
    // A profile opened afresh, as QSettings(organization, application), for every read and write.
    RecentFileList(QString organization, QString application, RecentFilesForm form);

    // The listed paths, newest first; an empty slot left by any older writer is passed over.
    QStringList files() const;
    // Puts the file, by its full path, at the top; the oldest past the count drops off.
    void add(const QString& path);
    // Takes the file off the list; false when it was not listed.
    bool forget(const QString& path);

    // The submenu that shows the list from now on; choosing an entry hands its path to open.
    void showIn(QMenu* menu, std::function<void(const QString&)> open);

private:
    void withStore(const std::function<void(QSettings&)>& use) const;
    QString key(int slot) const;
    void write(const QStringList& files);
    void rebuildMenu();

    QSettings* store_ = nullptr;
    QString organization_;
    QString application_;
    RecentFilesForm form_;
    QPointer<QMenu> menu_;
    std::function<void(const QString&)> open_;
};

}  // namespace vantor
