// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The simulated controller's serial side: reads the text commands, answers with prompts,
// listings and control bytes, and turns into an XModem receiver (xdl) or sender (xul) on
// the same engine the PC programs use. It sees only bytes and ticks; the program around it
// owns the line, so another transport can drive the same session.
#include "common/receivedfile.h"
#include "serialcore/linkport.h"
#include "serialcore/xmodem.h"
#include "sim/dncsink.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

namespace vantor::sim {

struct SimFaults {
    char refuseDownload = 0;     // answer xdl with this byte instead of C (0x10, 0x1A, 0x1B, 0x1C)
    char refuseUpload = 0;       // answer xul with this byte instead of the first frame
    bool existsAsks = false;     // xdl of an existing name answers ESC and waits for ACK/NAK/CAN
    int nakBlock = 0;            // receiving: answer the first copy of this block with NAK
    int corruptCrcBlock = 0;     // sending: first copy of this block goes out with a bad CRC
    int duplicateBlock = 0;      // sending: this block goes out again after its ACK
    bool canBeforeC = false;     // first xdl answered with CAN
    bool canAfterC = false;      // first xdl: CAN after the first frame
    int splitPieces = 0;         // sending: frames written in pieces of this many bytes
    bool silent = false;         // answer nothing at all
    bool listEndsWithPrompt = false;  // listing echoes "xls" and ends with the prompt text
};

class SimController : private XModemObserver {
public:
    static constexpr int kDncRestartTimerId = 7101;
    static constexpr int kDncRequestPeriodMs = 1000;

    SimController(LinkPort& port, const QString& root, SimFaults faults);
    // DNC input: no commands, the line only carries XModem streams into the sink, one after
    // another, with a C every second while it waits for the next.
    SimController(LinkPort& port, const QString& root, DncSink& dncSink, SimFaults faults);
    ~SimController() override;

    void onBytes(QByteArrayView bytes);
    void onTimer(int id);

    static QStringList partitions();

private:
    class FaultyPort;
    enum class Mode { Command, Receiving, Sending, AwaitExistsAnswer };

    void handleLine(const QByteArray& line);
    void onChangePartition(const QString& partition);
    void onList();
    void onDelete(const QString& name);
    void onDownload(const QString& name);
    void onUpload(const QString& name);
    void startReceiving();
    void awaitDncStream();
    std::optional<QString> pathFor(const QString& name) const;
    void writeSplit(const QByteArray& bytes);

    bool openReceiveFile() override;
    bool writeBlock(QByteArrayView data) override;
    bool completeReceiveFile() override;
    void blockReceived(int block) override;
    void receiveFinished(ReceiveResult result) override;
    void sendFinished(SendResult result) override;

    LinkPort& line_;
    std::unique_ptr<FaultyPort> port_;
    QString root_;
    SimFaults faults_;
    CXModem xmodem_;
    Mode mode_ = Mode::Command;
    QByteArray lineBuffer_;
    QString partition_ = QStringLiteral("user");
    QString target_;
    ReceivedFile file_;
    DncSink* dncSink_ = nullptr;
    std::unique_ptr<DncStream> dncStream_;
    bool firstDownload_ = true;
    bool canAfterCPending_ = false;
};

}  // namespace vantor::sim
