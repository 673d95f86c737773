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
#include "fernlink/link/transferflow.h"
#include "fernlink/link/transferrows.h"
#include "fernlink/link/transferstats.h"
#include "serialcore/linkport.h"
#include "serialcore/serialcommands.h"
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

class SerialFlow : public TransferFlow {
public:
    SerialFlow(SerialContext& context, FlowObserver& observer) : TransferFlow(context, observer, LinkType::LinkSerial) {}
};

class SerialListFlow : public SerialFlow {
public:
    using SerialFlow::SerialFlow;
    std::vector<RemoteFileRow> rows;

    bool start();
    void onBytes(QByteArrayView chunk) override;
    void onTimer(int id) override;
    void stop() override;
    OperationState operation() const override { return OperationState::OpSerialList; }

private:
    void listPartition(const QString& partition);
    QString partition_;
    ListingCollector collector_;
    int ticks_ = 0;
};

class SerialSendFlow : public SerialFlow, private XModemObserver {
public:
    SerialSendFlow(SerialContext& context, FlowObserver& observer);
    std::vector<SendRow> rows;
    TransferStatistics stats;

    bool start();
    void onBytes(QByteArrayView chunk) override;
    void onTimer(int id) override;
    void stop() override;
    OperationState operation() const override { return OperationState::OpSerialSend; }

private:
    enum class Phase { Idle, WaitPrompt, WaitTransfer };
    void nextRow();
    void selectPartition();
    void openAndDownload();
    void setState(Msg state);
    void finish(bool completed);

    void sendStarted(int totalBlocks) override;
    void blockSent(int block, int totalBlocks, qint64 bytesSent) override;
    void sendFinished(SendResult result) override;

    SerialCommandTransmitter tx_;
    CXModem xmodem_;
    PromptCheck prompt_;
    Phase phase_ = Phase::Idle;
    int index_ = -1;
    int replyTicks_ = 0;
    QByteArray data_;
};

class SerialReceiveFlow : public SerialFlow, private XModemObserver {
public:
    SerialReceiveFlow(SerialContext& context, FlowObserver& observer);
    std::vector<RemoteFileRow> rows;
    TransferStatistics stats;

    bool start(const QString& folder);
    void onBytes(QByteArrayView chunk) override;
    void onTimer(int id) override;
    void stop() override;
    OperationState operation() const override { return OperationState::OpSerialReceive; }

    static constexpr int kStartPeriodMs = 500;
    static constexpr int kStartRequests = 10;
    static constexpr int kSlowStartPeriodMs = 1000;  // after the quick round, before giving up
    static constexpr int kSlowStartRequests = 50;

    // How much of the last block belongs to the file: the listing's size cuts off the
    // padding, never more.
    static qsizetype keptOfLastBlock(qint64 received, QByteArrayView lastBlock, const QString& announcedSize);

private:
    enum class Phase { Idle, WaitPrompt, Receiving };
    void nextRow();
    void upload();
    void setState(Msg state);

    bool openReceiveFile() override;
    bool writeBlock(QByteArrayView data) override;
    bool completeReceiveFile() override;
    void blockReceived(int block) override;
    void badBlock(bool crcError) override;
    void receiveFinished(ReceiveResult result) override;

    SerialCommandTransmitter tx_;
    CXModem xmodem_;
    PromptCheck prompt_;
    Phase phase_ = Phase::Idle;
    QString folder_;
    QString target_;
    std::unique_ptr<AtomicFileWriter> file_;
    QByteArray heldBack_;  // the latest block, not yet in the file
    qint64 written_ = 0;
    int index_ = -1;
    int replyTicks_ = 0;
    bool slowStartRound_ = false;
};

class SerialDeleteFlow : public SerialFlow {
public:
    SerialDeleteFlow(SerialContext& context, FlowObserver& observer);
    std::vector<RemoteFileRow> rows;

    bool start();
    void onBytes(QByteArrayView chunk) override;
    void onTimer(int id) override;
    void stop() override;
    OperationState operation() const override { return OperationState::OpSerialDelete; }

private:
    enum class Phase { Idle, WaitPrompt, WaitReply, Pausing };
    void nextRow();

    SerialCommandTransmitter tx_;
    PromptCheck prompt_;
    Phase phase_ = Phase::Idle;
    int index_ = -1;
    int ticks_ = 0;
    bool stopRequested_ = false;
};

// Hands the line's bytes and ticks to the flow that the operation state names, and
// answers bytes nobody asked for.
class SerialFlowSet : public FlowSetOf<SerialFlow, SerialListFlow, SerialSendFlow, SerialReceiveFlow, SerialDeleteFlow, FlowObserver> {
public:
    using FlowSetOf::FlowSetOf;
    void onBytes(QByteArrayView chunk);
};

}  // namespace vantor::fernlink
