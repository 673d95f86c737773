// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The row loop every transfer flow of both links runs on. It owns the walk over the selected
// rows, the statistics and their tick, the one-second deadline, the user's Stop, the checked
// save of a received file, the rows' states and transfer-log records, and what the observer
// hears of all that. A link contributes its protocol steps: how a row is opened, how its
// frames go, how the controller's answers are read, and what tells the controller to stop.
#include "common/receivedfile.h"
#include "fernlink/link/questionguard.h"
#include "fernlink/link/transferflow.h"
#include "fernlink/link/transferstats.h"
#include "serialcore/deadline.h"

namespace vantor::fernlink {

// The statistics of the file in transfer and the one-second timer that moves them on.
class StatsClock {
public:
    StatsClock(TransferStatistics& stats, int timerId) : stats_(stats), id_(timerId) {}
    void start(LinkPort& port, qint64 size, TransferDirection direction)
    {
        stats_.start(size, direction);
        port.startTimer(id_, 1000, true);
    }
    // The same file again (a new start after the controller's question): the figures go on.
    void resume(LinkPort& port) { port.startTimer(id_, 1000, true); }
    void stop(LinkPort& port)
    {
        if (id_ != 0)
            port.stopTimer(id_);
    }
    // A tick of any timer: true when it was this clock's, and the figures were shown.
    bool tick(int timerId, FlowObserver& observer)
    {
        if (id_ == 0 || timerId != id_)
            return false;
        stats_.tick();
        observer.progress(stats_);
        return true;
    }

private:
    TransferStatistics& stats_;
    int id_;
};

// The checked save of one received file (common's ReceivedFile), told in the link's words:
// what fails is told with the writer's reason and leaves the earlier file (or none) as it was.
class ReceiveFile {
public:
    // Opens the temporary file; a failure is told, and nothing stays open.
    bool open(const QString& target, SerialContext& ctx);
    bool isOpen() const { return file_.isOpen(); }
    bool write(QByteArrayView bytes) { return file_.write(bytes); }
    // Renames the complete file into place. On a failure the writer stays, for tellFailure().
    bool commit() { return file_.commit(); }
    // Renames the complete file into place, or tells why it could not; nothing stays open.
    bool commitOrTell(SerialContext& ctx);
    // Tells a write or rename failure; an open failure was told when it happened.
    void tellFailure(SerialContext& ctx) const;
    // The partial file goes; the target stays as it was.
    void drop() { file_.drop(); }

private:
    ReceivedFile file_;
};

// How a flow answers the user's Stop, which differs by link and is behaviour, not chance.
struct StopRule {
    // The serial flows end at once: the link's own cancel goes out first, and the line's
    // buffers are purged where `purge` says. Ethernet's sending and receiving flows instead
    // tell the controller at their next step and end there; a controller that stays silent
    // for forcedEndMs loses the link.
    bool atNextStep = false;
    bool purge = false;
    int forcedEndTimer = 0;
    int forcedEndMs = 0;
};

// The timers a flow's loop owns; 0 where it has none.
struct LoopTimers {
    int stats = 0;
    int deadline = 0;
    int deadlineSeconds = 0;
};

// The control bytes both links answer the controller with.
namespace controlbytes {
constexpr char kAck = 0x06;
constexpr char kNak = 0x15;
constexpr char kCan = 0x18;
}  // namespace controlbytes

// The refusals of a download both links know, read from each link's own bytes or results.
enum class Refusal { NoRight, NotSuit, Full, Cancelled };

class RowLoop : public TransferFlow {
public:
    RowLoop(SerialContext& context, FlowObserver& observer, LinkType link, StopRule stopRule, LoopTimers timers);
    void onBytes(QByteArrayView chunk) final;
    void onTimer(int id) final;
    void stop() final;

    // The figures of the file in transfer (sending and receiving flows).
    TransferStatistics stats;

protected:
    // ---- what each flow contributes
    // Moves index_ on to the next row to work on.
    virtual rowwalk::Next walk() { return rowwalk::Next::NoneLeft; }
    // The first protocol step for rows[index_].
    virtual void openRow() {}
    // Before the walk moves on, or the loop ends: what the last row held.
    virtual void leaveRow() {}
    // The controller's bytes while the flow runs.
    virtual void received(QByteArrayView chunk) = 0;
    // Any tick the loop does not own (the statistics, the deadline and the forced end are its own).
    virtual void tick(int /*id*/) {}
    // The deadline ran out.
    virtual void timedOut() {}
    // Stop at once (serial): what tells the controller, before the purge.
    virtual void cancelNow() {}
    // The Ethernet controller did not answer after a Stop within the forced end's time.
    virtual void forcedEnd() {}
    // Every end: what the flow half did (a file sent but not confirmed, a read-back) is told
    // or dropped, and the flow's own timers stop.
    virtual void abandon() {}
    // The walk found no row left: whether the operation did all it was asked.
    virtual bool allDone() const { return true; }

    // ---- the loop
    // Refuses like mayStartOn, else starts on the first row.
    template <typename Row>
    bool startRows(OperationKind kind, const std::vector<Row>& rows, Msg noneSelected, std::optional<Msg> confirm = {})
    {
        if (!mayStartOn(kind, rows, noneSelected, confirm))
            return false;
        begin();
        stopRequested_ = false;
        index_ = -1;
        // The walk's questions are part of the start's step.
        ctx_.prompter.run([this] { nextRow(); });
        return true;
    }
    // A receive into folder: the walk stops at each row that may go there (into target_).
    bool startReceiving(const std::vector<RemoteFileRow>& rows, const QString& folder)
    {
        folder_ = folder;
        return startRows(OperationKind::Receive, rows, Msg::ReceiveSelectFile);
    }
    rowwalk::Next walkToReceive(std::vector<RemoteFileRow>& rows)
    {
        return rowwalk::nextReceiveRow(rows, index_, folder_, &target_, ctx_, observer_);
    }
    void nextRow();
    // Ends the operation: the save file dropped unless committed, every timer of the loop
    // stopped, and the observer told.
    void finish(bool completed);
    void purgeLine();
    bool stopRequested() const { return stopRequested_; }

    // ---- rows
    // The row's state shown and, but for "unsend", recorded with the bytes that went.
    void markSend(std::vector<SendRow>& rows, Msg state, const QByteArray& data);
    void recordSend(const SendRow& row, const QByteArray& data);
    void logFailed(const SendRow& row);
    // The row's state shown and recorded; a received file is recorded as it lies on disk.
    void markReceive(std::vector<RemoteFileRow>& rows, Msg state, const QString& target);
    bool allReceived(const std::vector<RemoteFileRow>& rows) const;
    void fileComplete();
    // A refusal of the download: one table for both links, whose one difference is the
    // state a row refused for want of rights shows (noRightState).
    void refused(std::vector<SendRow>& rows, Refusal refusal, Msg noRightState, const QByteArray& data);
    // The controller holds a file of the row's name and the user chose: an overwrite and a
    // rename are answered here, the link then sends again; a skip moves on to the next row.
    rowwalk::Existing existingName(std::vector<SendRow>& rows);
    // The controller deleted the row, or refused to.
    void rowDeleted(std::vector<RemoteFileRow>& rows);
    void deleteRefused(const RemoteFileRow& row);

    StatsClock clock_;
    Deadline deadline_;
    ReceiveFile file_;
    QString folder_;  // where a receive saves its files
    QString target_;  // the file of the row received now
    int index_ = -1;

private:
    const StopRule stopRule_;
    bool stopRequested_ = false;
};

namespace rowwalk {
// Moves index on to the next selected row.
Next nextSelected(const std::vector<RemoteFileRow>& rows, int& index);
}  // namespace rowwalk

}  // namespace vantor::fernlink
