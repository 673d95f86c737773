// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Fernlink's transfers over the Ethernet link, without windows or sockets: reading the
// controller's file lists, deleting, receiving and sending files. The socket's owner feeds
// the received bytes, the timer ticks and the loss of the connection in; the flows answer
// through a LinkPort (writes, pauses, timers) and report what a page shows.
#include "common/prompter.h"
#include "fernlink/link/ethernetprotocol.h"
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

class EthernetFlow : public TransferFlow {
public:
    EthernetFlow(SerialContext& context, EthernetObserver& observer)
        : TransferFlow(context, observer, LinkType::LinkEthernet), netObserver_(observer)
    {
    }
    void onBytes(QByteArrayView chunk) final;
    // The connection closed or failed: the flow ends and the owner drops the link.
    void linkLost();

protected:
    void begin();
    void end(bool completed);
    // Judges what the gatherer holds; called after every read and when the gather wait ends.
    virtual void pump() = 0;
    virtual void abandon() {}
    // Waits for more of a text reply unless it is complete already; true when it is.
    bool replyComplete();
    // A text reply shorter than its word waits a little for the rest; true while it waits.
    bool wordPending();
    void gatherTimedOut();

    EthernetObserver& netObserver_;  // the same observer, for the loss of the link
    net::ReplyGatherer reply_;
    bool gatherExpired_ = false;
};

class EthernetListFlow : public EthernetFlow {
public:
    using EthernetFlow::EthernetFlow;
    std::vector<RemoteFileRow> rows;

    bool start(bool usb);
    void onTimer(int id) override;
    void stop() override;
    OperationState operation() const override { return OperationState::OpNetList; }

private:
    enum class Step { AwaitScd, AwaitSls, Collect };
    void pump() override;
    void fail(Msg text);
    void selectPass(net::PartitionUse pass);

    Step step_ = Step::AwaitScd;
    net::PartitionUse pass_ = net::PartitionUse::ListUserPass;
    QByteArray listing_;
};

class EthernetDeleteFlow : public EthernetFlow {
public:
    using EthernetFlow::EthernetFlow;
    std::vector<RemoteFileRow> rows;

    bool start();
    void onTimer(int id) override;
    void stop() override;
    OperationState operation() const override { return OperationState::OpNetDelete; }

private:
    enum class Step { AwaitScd, AwaitAnswer };
    void pump() override;
    void nextRow();
    void finish(bool completed);

    Step step_ = Step::AwaitScd;
    int index_ = -1;
    bool firstUsb_ = true;
    bool stopRequested_ = false;
};

class EthernetReceiveFlow : public EthernetFlow {
public:
    using EthernetFlow::EthernetFlow;
    std::vector<RemoteFileRow> rows;
    TransferStatistics stats;

    bool start(const QString& folder);
    void onTimer(int id) override;
    void stop() override;
    OperationState operation() const override { return OperationState::OpNetReceive; }

private:
    enum class Step { AwaitScd, AwaitSul, Stream };
    void pump() override;
    void abandon() override;
    void nextRow();
    void setState(Msg state);
    void beginStream(qint64 size);
    void endFile(Msg state);
    void finish(bool completed);

    Step step_ = Step::AwaitScd;
    QString folder_;
    QString target_;
    std::unique_ptr<AtomicFileWriter> file_;
    qint64 size_ = 0;
    qint64 written_ = 0;
    qint64 frames_ = 0;
    int index_ = -1;
    bool stopRequested_ = false;
};

class EthernetSendFlow : public EthernetFlow {
public:
    using EthernetFlow::EthernetFlow;
    std::vector<SendRow> rows;
    TransferStatistics stats;
    // Read every file back once the controller holds it and compare; a difference fails the row.
    bool verify = false;
    // Between the EOT and the command that proves the controller read it.
    static constexpr int kProofPauseMs = 30;

    bool start();
    void onTimer(int id) override;
    void stop() override;
    OperationState operation() const override { return OperationState::OpNetSend; }

private:
    // AwaitProof: the EOT is written, the controller's answer to the next command shows it
    // read it. VerifySul and VerifyStream: the file read back.
    enum class Step { AwaitScd, AwaitSdl, Stream, AwaitProof, VerifySul, VerifyStream };
    void pump() override;
    void abandon() override;
    void nextRow();
    void setState(Msg state);
    void recordRow();
    void writePartitionCommand();
    void openAndDownload();
    void answerDownload(char reply);
    void sendNextFrame();
    void endOfFile();
    void fileStored();
    void verifyFrames();
    void verified(bool same);
    void finish(bool completed);

    Step step_ = Step::AwaitScd;
    QByteArray data_;
    QByteArray readBack_;
    qint64 readBackSize_ = 0;
    qint64 position_ = 0;
    int index_ = -1;
    int replyTicks_ = 0;
    int frame_ = 0;
    bool stopRequested_ = false;
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
