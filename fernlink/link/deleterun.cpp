// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/link/deleterun.h"

namespace vantor::fernlink {

void DeleteRun::begin(const std::vector<RemoteFileRow>& rows, bool ethernet)
{
    pending_.clear();
    for (const RemoteFileRow& row : rows) {
        if (!row.selected)
            continue;
        bool numeric = false;
        const qint64 size = row.size.trimmed().toLongLong(&numeric);
        pending_.push_back({row.partition, row.name, numeric ? size : -1});
    }
    ethernet_ = ethernet;
    active_ = true;
    stopAsked_ = false;
    deletedAfterStop_ = false;
    reason_.clear();
}

void DeleteRun::cancel()
{
    pending_.clear();
    active_ = false;
}

TransferRecord DeleteRun::record(const Pending& file, bool ok, const QString& reason) const
{
    TransferRecord r;
    r.time = QDateTime::currentDateTime();
    r.ethernet = ethernet_;
    r.direction = TransferRecord::Direction::Delete;
    r.file = file.partition.isEmpty() ? file.name : file.partition + QLatin1Char('/') + file.name;
    r.size = file.size;
    r.ok = ok;
    r.reason = reason;
    return r;
}

std::optional<TransferRecord> DeleteRun::deleted(const QString& name)
{
    if (!active_)
        return std::nullopt;
    // Files go in order; a name the run skipped past would still be matched by its own report.
    for (auto it = pending_.begin(); it != pending_.end(); ++it) {
        if (it->name != name)
            continue;
        const TransferRecord r = record(*it, true, {});
        pending_.erase(it);
        reason_.clear();
        if (stopAsked_)
            deletedAfterStop_ = true;
        return r;
    }
    return std::nullopt;
}

void DeleteRun::shown(const QString& text)
{
    if (active_)
        reason_ = text;
}

void DeleteRun::stopRequested()
{
    if (active_)
        stopAsked_ = true;
}

std::optional<TransferRecord> DeleteRun::ended(bool completed, const QString& stopText, const QString& lostText)
{
    if (!active_)
        return std::nullopt;
    active_ = false;
    // A Stop that let the file in hand finish stopped before the next one was asked for.
    if (completed || pending_.empty() || (stopAsked_ && deletedAfterStop_ && reason_.isEmpty())) {
        pending_.clear();
        return std::nullopt;
    }
    const Pending file = pending_.front();
    pending_.clear();
    QString reason = reason_;
    if (reason.isEmpty())
        reason = stopAsked_ ? stopText : lostText;
    return record(file, false, reason);
}

}  // namespace vantor::fernlink
