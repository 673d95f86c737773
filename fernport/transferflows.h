// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Fernport's file transfers without windows: the send list and its run, the controller's
// file list and the receive of chosen entries. The flows talk to the line through a
// LinkDriver (queued, paced writes; the GUI thread never sleeps), ask through the prompter
// and report to a TransferView, so the windows and the tests drive the same objects.
#include "common/receivedfile.h"
#include "common/prompter.h"
#include "serialcore/deadline.h"
#include "serialcore/linkdriver.h"
#include "serialcore/serialcommands.h"
#include "serialcore/xmodem.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vantor::fernport {

// What both flows share for the life of the program: the line, the questions, the family
// chosen at the last Send File and the partition last selected on the controller.
struct SerialSession {
    LinkDriver& driver;
    Prompter& prompter;
    int family = 0;
    QString partition;
};

// The windows' side of a flow. Indexes are positions in the flow's entries.
class TransferView {
public:
    virtual ~TransferView() = default;
    virtual void entryChanged(int /*index*/) {}
    virtual void listChanged() {}
    // "Sending" window.
    virtual void progressReset(const QString& /*name*/, const QString& /*partition*/) {}
    virtual void progressTotal(int /*totalBlocks*/) {}
    virtual void progressStep(int /*position*/) {}
    virtual void progressNak() {}
    // "Receiving" window.
    virtual void receivingFile(const QString& /*name*/, const QString& /*folder*/) {}
    virtual void receivedGood() {}
    virtual void receivedBad() {}
    // The flow is over (finished, failed or cancelled); the list window comes back.
    virtual void sendDone() {}
    virtual void receiveDone() {}
    virtual void listingDone(bool /*complete*/) {}
};

struct SendEntry {
    QString path;       // on the PC
    QString name;       // on the controller
    QString partition;  // "user", "sys" or "bios"
    QString state;
};

struct ReceiveEntry {
    QString name;
    QString partition;
    QString state;
};

// Runs queued steps once the line has taken everything written before them.
class LineSequencer : public QObject {
    Q_OBJECT
public:
    explicit LineSequencer(LinkDriver& driver);
    void afterQueue(std::function<void()> step);
    void forget() { pending_ = nullptr; }

private:
    LinkDriver& driver_;
    std::function<void()> pending_;
};

class SendFlow : public QObject, private XModemObserver {
    Q_OBJECT
public:
    // Asked for a new name while the controller-name rule refuses one; nullopt or an empty
    // name skips the file.
    using RenameAsker = std::function<std::optional<QString>(const QString& oldName)>;
    static constexpr qint64 kMaxFileSize = 50LL * 1024 * 1024;
    static constexpr int kPauseBetweenFilesMs = 300;

    SendFlow(SerialSession& session, TransferView& view);
    ~SendFlow() override;

    void setRenameAsker(RenameAsker asker) { askRename_ = std::move(asker); }

    // List editing. addFiles takes at most the family's limit and returns how many it added.
    int addFiles(const QStringList& paths, const QString& partition);
    // An upgrade folder replaces the list with the files its config.ini names.
    bool addUpgradeFolder(const QString& folder);
    void removeEntries(QList<int> rows);
    void clearList();
    const std::vector<SendEntry>& entries() const { return entries_; }

    // Sends the whole list, or only the document open in the editor.
    bool start();
    bool startEdited(const QString& documentPath);
    void onBytes(QByteArrayView chunk);
    // Ends the run at once: CAN to the controller, the list keeps its marks.
    void cancel();
    bool active() const { return phase_ != Phase::Idle; }
    int current() const { return index_; }

private:
    enum class Phase { Idle, WaitPrompt, Commanding, Transfer };
    std::optional<QString> acceptedName(const QString& fileName, const QString& partition);
    void selectPartition(const QString& partition);
    void sendOneFile();
    void download();
    void nextFile();
    void finish();
    void fail(const QString& text);

    void sendStarted(int totalBlocks) override;
    void blockSent(int block, int totalBlocks, qint64 bytesSent) override;
    void nakReceived() override;
    void canRetryRequested() override;
    void sendFinished(SendResult result) override;

    SerialSession& session_;
    TransferView& view_;
    SerialCommandTransmitter tx_;
    CXModem xmodem_;
    PromptCheck prompt_;
    LineSequencer seq_;
    RenameAsker askRename_;
    std::vector<SendEntry> entries_;
    Phase phase_ = Phase::Idle;
    bool editedOnly_ = false;
    int index_ = 0;
};

class ReceiveFlow : public QObject, private XModemObserver {
    Q_OBJECT
public:
    static constexpr int kListTimerId = 3;
    static constexpr int kListTickMs = 2000;
    static constexpr int kListTicks = 6;
    static constexpr int kStartPeriodMs = 1500;
    static constexpr int kStartRequests = 21;
    static constexpr int kPauseBetweenFilesMs = 100;

    ReceiveFlow(SerialSession& session, TransferView& view);
    ~ReceiveFlow() override;

    // Lists "user", then "sys"; entries come sorted by name once both are in.
    void getList();
    bool listing() const { return listing_; }
    // rows: the chosen entries in list order; folder: where the files go.
    bool receive(QList<int> rows, const QString& folder);
    bool receiving() const { return !queue_.isEmpty(); }
    void onBytes(QByteArrayView chunk);
    void onTimer(int id);
    void cancel();

    std::vector<ReceiveEntry>& entries() { return entries_; }

private:
    void listPartition(const QString& partition);
    void listingComplete();
    void endListing(bool complete);
    void receiveOne();
    void mark(const QString& state);
    void nextReceived();

    bool openReceiveFile() override;
    bool writeBlock(QByteArrayView data) override;
    // The writer's reason, or the plain "could not be completed" when there is none.
    void tellNotSaved();
    void blockReceived(int block) override;
    void badBlock(bool crcError) override;
    void receiveFinished(ReceiveResult result) override;

    SerialSession& session_;
    TransferView& view_;
    SerialCommandTransmitter tx_;
    CXModem xmodem_;
    ListingCollector collector_;
    LineSequencer seq_;
    std::vector<ReceiveEntry> entries_;
    bool listing_ = false;
    QString listed_;
    Deadline listDeadline_{kListTimerId, kListTicks, kListTickMs};
    QList<int> queue_;
    int pos_ = 0;
    QString folder_;
    QString target_;
    ReceivedFile file_;
};

}  // namespace vantor::fernport
