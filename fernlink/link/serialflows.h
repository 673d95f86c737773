#pragma once
// Fernlink's transfers over the serial link, without windows: reading the controller's
// file list, sending queue rows, receiving and deleting listed files. A page (or the
// command-line tool) owns the rows, feeds the line's bytes and the timer ticks in and shows
// what the observer reports. An Ethernet flow of the same shape can sit beside each one.
#include "common/prompter.h"
#include "fernlink/app/messages.h"
#include "fernlink/app/programstate.h"
#include "fernlink/link/transferrows.h"
#include "fernlink/link/transferstats.h"
#include "serialcore/linkport.h"
#include "serialcore/serialcommands.h"
#include "serialcore/xmodem.h"

#include <QSaveFile>

#include <memory>
#include <vector>

namespace vantor::fernlink {

enum class LogEntry { Deleted, Receiving, Sent };

class FlowObserver {
public:
    virtual ~FlowObserver() = default;
    virtual void rowChanged(int /*row*/) {}
    virtual void rowRemoved(int /*row*/) {}
    virtual void listChanged() {}
    virtual void currentFile(const QString& /*path*/) {}
    virtual void progress(const TransferStatistics&) {}
    virtual void log(LogEntry, const QString& /*text*/) {}
    virtual void finished(bool /*completed*/) {}
};

// What every flow shares: the line, the program-wide state, the questions.
struct SerialContext {
    LinkPort& port;
    ProgramState& state;
    Prompter& prompter;
    QString currentPartition;  // the partition last selected with xcd

    QString text(Msg id) const { return message(id, state.language); }
    // Some languages' texts leave the name out; those stay as they are.
    QString text(Msg id, const QString& arg) const
    {
        const QString t = text(id);
        return t.contains(QLatin1String("%1")) ? t.arg(arg) : t;
    }
};

// Timer ids of the serial flows, shared by one LinkPort.
namespace timers {
constexpr int kSendStats = 11;
constexpr int kSendReply = 12;       // 9 s for the prompt and the controller's C
constexpr int kReceiveStats = 32;
constexpr int kReceiveReply = 34;    // 9 s for the prompt before an upload
constexpr int kList = 33;            // 10 s for the whole listing
constexpr int kDelete = 35;          // 10 s per file
}  // namespace timers

class SerialFlow {
public:
    explicit SerialFlow(SerialContext& context, FlowObserver& observer) : ctx_(context), observer_(observer) {}
    virtual ~SerialFlow() = default;
    virtual void onBytes(QByteArrayView chunk) = 0;
    virtual void onTimer(int id) = 0;
    virtual void stop() = 0;
    virtual OperationState operation() const = 0;
    bool running() const { return running_; }

protected:
    // Refuses (with the system's text) unless the link is serial and nothing runs.
    bool mayStart(OperationKind kind);
    void begin();
    void end(bool completed);

    SerialContext& ctx_;
    FlowObserver& observer_;
    bool running_ = false;
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
    std::unique_ptr<QSaveFile> file_;
    qint64 written_ = 0;
    int index_ = -1;
    int replyTicks_ = 0;
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
class SerialFlowSet {
public:
    SerialFlowSet(LinkPort& port, ProgramState& state, Prompter& prompter, FlowObserver& observer);
    SerialContext context;
    SerialListFlow list;
    SerialSendFlow send;
    SerialReceiveFlow receive;
    SerialDeleteFlow remove;

    void onBytes(QByteArrayView chunk);
    void onTimer(int id);
    void stop();
    SerialFlow* active();
};

}  // namespace vantor::fernlink
