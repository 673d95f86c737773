// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// No lost work: when a modified document is copied to the user's data folder, what is left
// there after a crash, and whether the file on disk changed under an open document.
//
// AutosaveSchedule is the clock part, with time handed in (milliseconds of any monotonic
// clock): a document's first modification after its last copy starts its interval, so a
// crash costs at most one interval of work. AutosaveStore keeps the copies: one ladder file
// (the .plf layout, comments included) and one small description per document, in a folder
// that only this program writes, never beside the user's file. Each running session holds a
// lock there; copies of a session whose lock nobody holds any more are what a crash left.
#include "common/archive.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <map>
#include <memory>
#include <vector>

class QLockFile;

namespace rungpad {

class AutosaveSchedule {
public:
    explicit AutosaveSchedule(qint64 intervalMs) : m_interval(intervalMs) {}
    qint64 interval() const { return m_interval; }
    void setInterval(qint64 intervalMs) { m_interval = intervalMs; }

    // The document changed at `now`; a change while one is already waiting keeps the
    // earlier time.
    void modified(quintptr document, qint64 now);
    // Saved, closed or copied: nothing waits for it any more.
    void clear(quintptr document);
    // Documents whose waiting change is at least one interval old, oldest first; they
    // count as copied (call modified() again if the copy failed).
    std::vector<quintptr> due(qint64 now);
    bool waiting(quintptr document) const { return m_pending.count(document) != 0; }

private:
    qint64 m_interval;
    std::map<quintptr, qint64> m_pending;
};

// What a file was when the document read or wrote it, to tell whether someone else has
// written it since.
struct FileStamp {
    bool exists = false;
    qint64 size = 0;
    QByteArray digest;
    bool operator==(const FileStamp&) const = default;
};
FileStamp stampOf(const QString& path);
FileStamp stampOfBytes(QByteArrayView bytes);

struct AutosaveEntry {
    QString key;            // names the files in the folder
    QString ladderFile;     // the copy, a .plf file
    QString originalPath;   // the document's own file; empty for an untitled document
    QString displayName;
    QDateTime savedAt;
    // The original file as the document last read or wrote it, so a save after recovery
    // still notices someone else's change.
    FileStamp originalStamp;
};

class AutosaveStore {
public:
    // folder: created when missing.
    explicit AutosaveStore(const QString& folder);
    ~AutosaveStore();
    AutosaveStore(const AutosaveStore&) = delete;
    AutosaveStore& operator=(const AutosaveStore&) = delete;

    const QString& folder() const { return m_folder; }
    // A key of this session for a new document.
    QString newKey();
    // Writes the copy and its description atomically; on failure the previous copy stays.
    vantor::ArchiveFileResult write(const QString& key, QByteArrayView ladderBytes, const QString& originalPath,
                                    const QString& displayName, const QDateTime& now, const FileStamp& originalStamp = {});
    void remove(const QString& key);
    // Copies left by sessions that are no longer running, newest first.
    std::vector<AutosaveEntry> leftovers() const;

private:
    QString m_folder;
    QString m_session;
    int m_next = 0;
    std::unique_ptr<QLockFile> m_lock;
};


}  // namespace rungpad
