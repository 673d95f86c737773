// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Fernlink's transfers over the Ethernet link, without windows or sockets: reading the
// controller's file lists, deleting, receiving and sending files. The socket's owner feeds
// the received bytes, the timer ticks and the loss of the connection in; the flows answer
// through a LinkPort (writes, pauses, timers) and report what a page shows.
#include "common/prompter.h"
#include "fernlink/link/ethernetprotocol.h"
#include "fernlink/link/rowloop.h"
#include "fernlink/link/serialflows.h"

#include <memory>
#include <vector>

namespace vantor::fernlink {

class EthernetObserver : public FlowObserver {
public:
    // The connection must be closed and the link shown as lost.
    virtual void dropLink() {}
};

namespace nettimers {
constexpr int kSendStats = 11;
constexpr int kSendReply = 12;        // 9 s for the change of partition before a download
constexpr int kReceiveStats = 32;
constexpr int kForcedEnd = 1001;      // receive and delete: the controller ignored our CAN
constexpr int kSendForcedEnd = 1002;  // send: the controller ignored our CAN
constexpr int kReplyGather = 1010;    // the rest of a reply split across reads
constexpr int kReplyGatherMs = 100;
constexpr int kReceiveForcedEndMs = 2000;
constexpr int kDeleteForcedEndMs = 5000;
constexpr int kSendForcedEndMs = 2000;
}  // namespace nettimers

class EthernetFlow : public RowLoop {
public:
    EthernetFlow(SerialContext& context, EthernetObserver& observer, StopRule stopRule = {}, LoopTimers timers = {})
        : RowLoop(context, observer, LinkType::LinkEthernet, stopRule, timers), netObserver_(observer)
    {
    }
    // The connection closed or failed: the flow ends and the owner drops the link.
    void linkLost();

protected:
    void begin() override;
    void received(QByteArrayView chunk) final;
    void tick(int id) override;
    void forcedEnd() final { linkLost(); }
    // Every end: the reply gathered so far goes.
    void abandon() override;
    // Judges what the gatherer holds, after every read and when the gather wait ends.
    void pump();
    // Judges the head of what the gatherer holds (never empty): true to look again at what
    // is left, false to wait for more.
    virtual bool judge() = 0;
    // Waits for more of a text reply unless it is complete already; true when it is.
    bool replyComplete();
    // A text reply shorter than its word waits a little for the rest; true while it waits.
    bool wordPending();
    // Line ends before a text reply are dropped; true when a word is there to be judged.
    bool wordReady();

    EthernetObserver& netObserver_;  // the same observer, for the loss of the link
    net::ReplyGatherer reply_;
    bool gatherExpired_ = false;
};

class EthernetListFlow : public EthernetFlow {
public:
    using EthernetFlow::EthernetFlow;
    std::vector<RemoteFileRow> rows;

    bool start(bool usb);
    OperationState operation() const override { return OperationState::OpNetList; }

private:
    enum class Step { AwaitScd, AwaitSls, Collect };
    bool judge() override;
    // The listing's bytes up to its CAN; true when the listing ended.
    bool collect();
    void fail(Msg text);
    void selectPass(net::PartitionUse pass);

    Step step_ = Step::AwaitScd;
    net::PartitionUse pass_ = net::PartitionUse::ListUserPass;
    QByteArray listing_;
};

class EthernetDeleteFlow : public EthernetFlow {
public:
    EthernetDeleteFlow(SerialContext& context, EthernetObserver& observer);
    std::vector<RemoteFileRow> rows;

    bool start();
    OperationState operation() const override { return OperationState::OpNetDelete; }

private:
    enum class Step { AwaitScd, AwaitAnswer };
    rowwalk::Next walk() override { return rowwalk::nextSelected(rows, index_); }
    void openRow() override;
    bool judge() override;

    Step step_ = Step::AwaitScd;
    bool firstUsb_ = true;
};

class EthernetReceiveFlow : public EthernetFlow {
public:
    EthernetReceiveFlow(SerialContext& context, EthernetObserver& observer);
    std::vector<RemoteFileRow> rows;

    bool start(const QString& folder);
    OperationState operation() const override { return OperationState::OpNetReceive; }

private:
    enum class Step { AwaitScd, AwaitSul, Stream };
    rowwalk::Next walk() override { return walkToReceive(rows); }
    void openRow() override;
    bool allDone() const override { return allReceived(rows); }
    bool judge() override;
    void answerUpload();
    bool streamFrames();
    void setState(Msg state) { markReceive(rows, state, target_); }
    void beginStream(qint64 size);
    void endFile(Msg state);

    Step step_ = Step::AwaitScd;
    qint64 size_ = 0;
    qint64 written_ = 0;
    qint64 frames_ = 0;
};

class EthernetSendFlow : public EthernetFlow {
public:
    EthernetSendFlow(SerialContext& context, EthernetObserver& observer);
    std::vector<SendRow> rows;
    // Read every file back once the controller holds it and compare; a difference fails the row.
    bool verify = false;
    // Between the EOT and the command that proves the controller read it.
    static constexpr int kProofPauseMs = 30;

    bool start();
    OperationState operation() const override { return OperationState::OpNetSend; }

private:
    // AwaitProof: the EOT is written, the controller's answer to the next command shows it
    // read it. VerifySul and VerifyStream: the file read back.
    enum class Step { AwaitScd, AwaitSdl, Stream, AwaitProof, VerifySul, VerifyStream };
    rowwalk::Next walk() override;
    void openRow() override;
    void leaveRow() override;
    bool judge() override;
    void abandon() override;
    void timedOut() override;
    bool fileWasWritten() const;
    void setState(Msg state) { markSend(rows, state, data_); }
    void notConfirmed(Msg state);
    void writePartitionCommand();
    void answerPartition();
    void openAndDownload();
    void answerDownload(char reply);
    void answerSdl();
    bool streamAnswer();
    void answerVerifySul();
    void sendNextFrame();
    void endOfFile();
    void fileStored();
    void verifyFrames();
    void verified(bool same);

    Step step_ = Step::AwaitScd;
    QByteArray data_;
    QByteArray readBack_;
    qint64 readBackSize_ = 0;
    qint64 position_ = 0;
    int frame_ = 0;
};

// Hands the socket's bytes, ticks and closing to the flow the operation state names.
class EthernetFlowSet
    : public FlowSetOf<EthernetFlow, EthernetListFlow, EthernetSendFlow, EthernetReceiveFlow, EthernetDeleteFlow, EthernetObserver> {
public:
    using FlowSetOf::FlowSetOf;
    // Bytes nobody waits for are read and dropped.
    void onBytes(QByteArrayView chunk);
    void linkLost();
};

}  // namespace vantor::fernlink
