// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The transfer log's lines of one delete run. A delete flow reports each file the controller
// deleted and ends the run at the first refusal, time-out, lost link or Stop, after showing
// why; from that this makes one line per file deleted and one for the file the run was on
// when it ended short. Files the run never reached get no line: nothing was asked for them.
// The window's receive page and fernlink-cli feed it what their flows report.
#include "fernlink/link/transferlog.h"
#include "fernlink/link/transferrows.h"

#include <deque>
#include <optional>
#include <vector>

namespace vantor::fernlink {

class DeleteRun {
public:
    // The run starts on these rows; the selected ones are the files it deletes, in order.
    void begin(const std::vector<RemoteFileRow>& rows, bool ethernet);
    // The run did not start after all (refused, or the user said No): no lines.
    void cancel();
    bool active() const { return active_; }

    // The controller deleted the file of this name: its line.
    std::optional<TransferRecord> deleted(const QString& name);
    // A message the run showed; the last one after the last deletion is why it ended short.
    void shown(const QString& text);
    // The user asked to stop. A file deleted after this means the run stopped between files.
    void stopRequested();
    // The run is over: the line of the file it was on when it ended short, if any. When no
    // message said why, the reason is stopText after a Stop, else lostText (the link went
    // away without a word).
    std::optional<TransferRecord> ended(bool completed, const QString& stopText, const QString& lostText);

private:
    struct Pending {
        QString partition;
        QString name;
        qint64 size = -1;
    };
    TransferRecord record(const Pending& file, bool ok, const QString& reason) const;

    std::deque<Pending> pending_;
    bool ethernet_ = false;
    bool active_ = false;
    bool stopAsked_ = false;
    bool deletedAfterStop_ = false;
    QString reason_;
};

}  // namespace vantor::fernlink
