// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/review/autosave.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStringList>

#include <algorithm>

namespace rungpad {

namespace {
const QString kLadderSuffix = QStringLiteral(".plf");
const QString kInfoSuffix = QStringLiteral(".autosave");
const QString kLockSuffix = QStringLiteral(".lock");

// "session-n": the session is everything before the last '-'.
QString sessionOf(const QString& key) { return key.left(key.lastIndexOf(QLatin1Char('-'))); }
}  // namespace

void AutosaveSchedule::modified(quintptr document, qint64 now) { m_pending.emplace(document, now); }

void AutosaveSchedule::clear(quintptr document) { m_pending.erase(document); }

std::vector<quintptr> AutosaveSchedule::due(qint64 now)
{
    std::vector<std::pair<qint64, quintptr>> ready;
    for (const auto& [doc, since] : m_pending)
        if (now - since >= m_interval)
            ready.emplace_back(since, doc);
    std::sort(ready.begin(), ready.end());
    std::vector<quintptr> out;
    for (const auto& [since, doc] : ready) {
        m_pending.erase(doc);
        out.push_back(doc);
    }
    return out;
}

AutosaveStore::AutosaveStore(const QString& folder) : m_folder(folder)
{
    QDir().mkpath(m_folder);
    m_session = QStringLiteral("s%1x%2")
                    .arg(QCoreApplication::applicationPid())
                    .arg(QDateTime::currentMSecsSinceEpoch(), 0, 36);
    m_lock = std::make_unique<QLockFile>(QDir(m_folder).filePath(m_session + kLockSuffix));
    m_lock->tryLock(0);
}

AutosaveStore::~AutosaveStore() = default;

QString AutosaveStore::newKey() { return QStringLiteral("%1-%2").arg(m_session).arg(++m_next); }

vantor::ArchiveFileResult AutosaveStore::write(const QString& key, QByteArrayView ladderBytes, const QString& originalPath,
                                               const QString& displayName, const QDateTime& now,
                                               const FileStamp& originalStamp)
{
    const QDir dir(m_folder);
    if (!dir.exists())
        QDir().mkpath(m_folder);
    vantor::ArchiveFileResult r = vantor::saveFileAtomically(dir.filePath(key + kLadderSuffix), ladderBytes, true);
    if (!r.ok)
        return r;
    // The description last: a copy is offered only once its ladder is whole.
    QString info = QStringLiteral("path=%1\nname=%2\ntime=%3\n").arg(originalPath, displayName, now.toString(Qt::ISODate));
    if (originalStamp.exists)
        info += QStringLiteral("stamp=%1 %2\n").arg(originalStamp.size).arg(QString::fromLatin1(originalStamp.digest.toHex()));
    return vantor::saveFileAtomically(dir.filePath(key + kInfoSuffix), info.toUtf8(), true);
}

void AutosaveStore::remove(const QString& key)
{
    const QDir dir(m_folder);
    QFile::remove(dir.filePath(key + kInfoSuffix));
    QFile::remove(dir.filePath(key + kLadderSuffix));
}

std::vector<AutosaveEntry> AutosaveStore::leftovers() const
{
    std::vector<AutosaveEntry> out;
    const QDir dir(m_folder);
    QStringList running;
    QStringList ended;
    for (const QString& name : dir.entryList({QStringLiteral("*") + kInfoSuffix}, QDir::Files)) {
        const QString key = name.chopped(kInfoSuffix.size());
        const QString session = sessionOf(key);
        if (session == m_session || running.contains(session))
            continue;
        if (!ended.contains(session)) {
            // A session still running holds its lock; a crashed one left it stale or none.
            QLockFile probe(dir.filePath(session + kLockSuffix));
            probe.setStaleLockTime(0);   // judged by its owner's life alone, not by its age
            if (!probe.tryLock(0)) {
                running << session;
                continue;
            }
            probe.unlock();
            ended << session;
        }
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::ReadOnly) || !QFileInfo::exists(dir.filePath(key + kLadderSuffix)))
            continue;
        AutosaveEntry e;
        e.key = key;
        e.ladderFile = dir.filePath(key + kLadderSuffix);
        for (const QString& line : QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1String("path=")))
                e.originalPath = line.mid(5);
            else if (line.startsWith(QLatin1String("name=")))
                e.displayName = line.mid(5);
            else if (line.startsWith(QLatin1String("time=")))
                e.savedAt = QDateTime::fromString(line.mid(5), Qt::ISODate);
            else if (line.startsWith(QLatin1String("stamp="))) {
                const QStringList parts = line.mid(6).split(QLatin1Char(' '));
                if (parts.size() == 2)
                    e.originalStamp = {true, parts[0].toLongLong(), QByteArray::fromHex(parts[1].toLatin1())};
            }
        }
        out.push_back(e);
    }
    std::sort(out.begin(), out.end(), [](const AutosaveEntry& a, const AutosaveEntry& b) { return a.savedAt > b.savedAt; });
    return out;
}

FileStamp stampOfBytes(QByteArrayView bytes)
{
    return {true, bytes.size(), QCryptographicHash::hash(bytes, QCryptographicHash::Sha1)};
}

FileStamp stampOf(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return stampOfBytes(f.readAll());
}

}  // namespace rungpad
