// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Fernlink's transfers over the serial link, without windows: reading the controller's
// file list, sending queue rows, receiving and deleting listed files. A page (or the
// command-line tool) owns the rows, feeds the line's bytes and the timer ticks in and shows
// what the observer reports. An Ethernet flow of the same shape can sit beside each one.
#include "common/atomicfile.h"
#include "common/prompter.h"
#include "fernlink/app/messages.h"
#include "fernlink/app/programstate.h"
#include "fernlink/link/rowloop.h"
#include "fernlink/link/transferflow.h"
#include "fernlink/link/transferrows.h"
#include "fernlink/link/transferstats.h"
#include "serialcore/linkport.h"
#include "serialcore/serialcommands.h"
#include "serialcore/serialwire.h"
#include "serialcore/xmodem.h"

#include <memory>
#include <vector>

namespace vantor::fernlink {

// Timer ids of the serial flows, shared by one LinkPort.
namespace timers {
constexpr int kSendStats = 11;
constexpr int kSendReply = 12;       // 9 s for the prompt and the controller's C
constexpr int kReceiveStats = 32;
constexpr int kReceiveReply = 34;    // 9 s for the prompt before an upload
constexpr int kList = 33;            // 10 s for the whole listing
constexpr int kDelete = 35;          // 10 s per file
}  // namespace timers

class SerialFlow : public RowLoop {
public:
    SerialFlow(SerialContext& context, FlowObserver& observer, StopRule stopRule, LoopTimers timers)
        : RowLoop(context, observer, LinkType::LinkSerial, stopRule, timers)
    {
    }

protected:
    // Idle between rows; WaitPrompt after a change of partition; Transfer once the row's
    // command is out and the controller's answers or frames come.
    enum class Phase { Idle, WaitPrompt, Transfer };
    // Chooses the row's partition and waits for its prompt (a wrong prompt asks again).
    void selectPartition(const QString& word);
    void received(QByteArrayView chunk) override;
    void abandon() override { phase_ = Phase::Idle; }
    // The prompt of the chosen partition came.
    virtual void promptCame() = 0;
    // The controller's bytes in the Transfer phase.
    virtual void transferBytes(QByteArrayView chunk) = 0;

    SerialCommandTransmitter tx_{ctx_.port, wire::kDownloadLinePauseFernlinkMs};
    PromptCheck prompt_;
    Phase phase_ = Phase::Idle;
};

class SerialListFlow : public SerialFlow {
public:
    SerialListFlow(SerialContext& context, FlowObserver& observer);
    std::vector<RemoteFileRow> rows;

    bool start();
    OperationState operation() const override { return OperationState::OpSerialList; }

private:
    void received(QByteArrayView chunk) override;
    void promptCame() override {}
    void transferBytes(QByteArrayView) override {}
    void timedOut() override;
    void listPartition(const QString& partition);
    QString partition_;
    ListingCollector collector_;
};

class SerialSendFlow : public SerialFlow, private XModemObserver {
public:
    SerialSendFlow(SerialContext& context, FlowObserver& observer);
    std::vector<SendRow> rows;

    bool start();
    OperationState operation() const override { return OperationState::OpSerialSend; }

private:
    rowwalk::Next walk() override;
    void openRow() override;
    void promptCame() override;
    void transferBytes(QByteArrayView chunk) override { xmodem_.onSenderBytes(chunk); }
    void timedOut() override;
    void cancelNow() override;
    void abandon() override;
    void openAndDownload();
    // Writes the download command and starts the XModem send; false when the name is refused.
    bool download();
    void setState(Msg state);
    void failRow(const QString& text);

    void sendStarted(int totalBlocks) override;
    void blockSent(int block, int totalBlocks, qint64 bytesSent) override;
    void sendFinished(SendResult result) override;

    CXModem xmodem_;
    QByteArray data_;
};

class SerialReceiveFlow : public SerialFlow, private XModemObserver {
public:
    SerialReceiveFlow(SerialContext& context, FlowObserver& observer);
    std::vector<RemoteFileRow> rows;

    bool start(const QString& folder);
    OperationState operation() const override { return OperationState::OpSerialReceive; }

    static constexpr int kStartPeriodMs = 500;
    static constexpr int kStartRequests = 10;
    static constexpr int kSlowStartPeriodMs = 1000;  // after the quick round, before giving up
    static constexpr int kSlowStartRequests = 50;

    // How much of the last block belongs to the file: the listing's size cuts off the
    // padding, never more.
    static qsizetype keptOfLastBlock(qint64 received, QByteArrayView lastBlock, const QString& announcedSize);

private:
    rowwalk::Next walk() override { return walkToReceive(rows); }
    void openRow() override;
    bool allDone() const override { return allReceived(rows); }
    void promptCame() override;
    void transferBytes(QByteArrayView chunk) override { xmodem_.onReceiverChunk(chunk); }
    void tick(int id) override;
    void timedOut() override;
    void cancelNow() override;
    void upload();
    void setState(Msg state) { markReceive(rows, state, target_); }

    bool openReceiveFile() override;
    bool writeBlock(QByteArrayView data) override;
    bool completeReceiveFile() override;
    void blockReceived(int block) override;
    void badBlock(bool crcError) override;
    void receiveFinished(ReceiveResult result) override;

    CXModem xmodem_;
    QByteArray heldBack_;  // the latest block, not yet in the file
    qint64 written_ = 0;
    bool slowStartRound_ = false;
};

class SerialDeleteFlow : public SerialFlow {
public:
    SerialDeleteFlow(SerialContext& context, FlowObserver& observer);
    std::vector<RemoteFileRow> rows;

    bool start();
    OperationState operation() const override { return OperationState::OpSerialDelete; }

private:
    rowwalk::Next walk() override { return rowwalk::nextSelected(rows, index_); }
    void openRow() override { selectPartition(rows[index_].partition.toLower()); }
    void promptCame() override;
    void transferBytes(QByteArrayView chunk) override;
    void timedOut() override;
    void refused();
};

// Hands the line's bytes and ticks to the flow that the operation state names, and
// answers bytes nobody asked for.
class SerialFlowSet : public FlowSetOf<SerialFlow, SerialListFlow, SerialSendFlow, SerialReceiveFlow, SerialDeleteFlow, FlowObserver> {
public:
    using FlowSetOf::FlowSetOf;
    void onBytes(QByteArrayView chunk);
};

}  // namespace vantor::fernlink
