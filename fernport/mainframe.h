// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Fernport's main window: the NC program editor, the port it owns, and the commands that
// start the transfer flows and DNC runs. Everything the user is asked goes through the
// prompter and the port-setup asker, so tests drive the real window with scripted answers.
#include "common/prompter.h"
#include "common/ui/ncdocument.h"
#include "common/ui/recentfiles.h"
#include "fernport/dialogs.h"
#include "fernport/dnclog.h"
#include "fernport/dncstart.h"
#include "fernport/settings.h"
#include "fernport/transferdialogs.h"
#include "fernport/transferflows.h"
#include "fernport/xonxoffdnc.h"
#include "serialcore/linepacer.h"
#include "serialcore/linkdriver.h"
#include "serialcore/vantorcomm.h"
#include "serialcore/xmodem.h"

#include <QMainWindow>
#include <QElapsedTimer>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>

class QAction;
class QComboBox;
class QLabel;
class QTimer;

namespace vantor {
class NcEditor;
}

namespace vantor::fernport {

class CMainFrame : public QMainWindow, private TransferView, private XModemObserver {
    Q_OBJECT
public:
    using PortSetupAsker = std::function<std::optional<PortChoice>(const QString& port, int baud)>;
    using FileAsker = std::function<QString()>;
    using PartitionAsker = std::function<std::optional<PartChoice>()>;
    using FilesAsker = std::function<QStringList(PartChoice)>;
    using FolderAsker = std::function<QString()>;
    using RenameAsker = SendFlow::RenameAsker;
    // The custom DNC start header, given the current one; nullopt when the user cancels.
    using HeaderAsker = std::function<std::optional<QString>(const QString& current)>;

    CMainFrame(FernportSettings& settings, Prompter* prompter = nullptr, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Opens the stored port (or the default one) as the program does at start-up. A session
    // port (given on the command line, e.g. a simulated controller) is opened but not remembered.
    void startUp(std::optional<PortChoice> sessionPort = std::nullopt);

    void setPortSetupAsker(PortSetupAsker asker) { askPortSetup_ = std::move(asker); }
    void setOpenFileAsker(FileAsker asker) { askOpenFile_ = std::move(asker); }
    void setSaveFileAsker(FileAsker asker) { askSaveFile_ = std::move(asker); }
    void setPartitionAsker(PartitionAsker asker) { askPartition_ = std::move(asker); }
    void setFilesAsker(FilesAsker asker) { askFiles_ = std::move(asker); }
    void setFolderAsker(FolderAsker asker) { askFolder_ = std::move(asker); }
    void setRenameAsker(RenameAsker asker) { askRename_ = std::move(asker); }
    void setHeaderAsker(HeaderAsker asker) { askHeader_ = std::move(asker); }
    // Where the DNC log goes (the user's data folder unless set; empty: no log).
    void setDncLogFolder(const QString& folder) { dncLog_ = DncLog(folder); }

    // Commands, callable from menus, toolbars and tests alike.
    bool openDocument(const QString& path);
    bool saveDocument();
    bool saveDocumentAs(const QString& path);
    void newDocument();
    void setPortCommand();
    void dncCommand();
    // DNC from a line or N block number the user gives.
    void dncFromLineCommand();
    void setDncProtocol(DncProtocol protocol);
    void setDncHeaderMode(dnc::HeaderMode mode);
    // Asks for the custom header and makes it the one in use.
    void customHeaderCommand();
    // The serial line failed (device gone, read or write error, a write that timed out):
    // a running DNC ends with the failure shown and its restart point kept.
    void portFailed(const QString& reason);
    void sendFileCommand();
    void receiveFileCommand();
    // The buttons of the transfer windows, as the user presses them.
    void addFileCommand();
    void sendCommand();
    void getListCommand();
    void receiveCommand();
    void cancelSending();
    void cancelReceiving();

    bool dncActive() const { return dncActive_; }
    DncProtocol dncProtocol() const { return protocol_; }
    QString documentPath() const { return path_; }
    NcEditor* editor() const { return editor_; }
    CVantorComm& comm() { return comm_; }
    QString portStateText() const;
    QStringList recentFiles() const;
    QComboBox* systemList() const { return system_; }
    CDNCDlg* dncWindow() const { return dncDlg_; }
    // The window of the XON/XOFF run cut off last, while the user has not closed it.
    CDNCDlg* interruptedDncWindow() const { return closingDnc_ && closingDnc_->interrupted() ? closingDnc_.data() : nullptr; }
    const XonXoffDnc* xonXoffRun() const { return xonxoff_.get(); }
    // Cancel in the DNC window, as the user presses it.
    void cancelDnc();
    // The run cut off last (also from an earlier session), offered at the next start.
    const DncRestartPoint& dncRestartPoint() const { return restart_; }
    // What the last run put on the wire: header, then the program from its start line.
    const DncPlan& dncPlan() const { return dncPlan_; }

    CSendFileDlg* sendDialog() const { return sendDlg_; }
    CReceiveFileDlg* receiveDialog() const { return receiveDlg_; }
    CProcessDlg* processWindow() const { return processDlg_; }
    CReceivingDlg* receivingWindow() const { return receivingDlg_; }
    const SendFlow& sendFlow() const { return *sendFlow_; }
    ReceiveFlow& receiveFlow() { return *receiveFlow_; }
    int family() const { return session_->family; }

Q_SIGNALS:
    void dncFinished();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildActions();
    bool openPort(const QString& name, int baud, bool remember = true);
    // "Unable to open port!", with how to get the right when the user lacks it.
    QString portFailureText() const;
    bool ensurePortOpen();
    void onReceived(const QByteArray& chunk);
    void pumpXonXoff();
    void onDncTick();
    void finishDnc();
    void setDncActive(bool active);
    void updateTitle();
    bool maybeSave();
    void printDocument();
    void printPreview();
    void printSetup();
    void showFind(bool replace);
    void ensureProcessDlg();
    void destroyProcessDlg();
    void finishDncXModem();
    void startDnc(bool askLine);
    void watchPortErrors();
    // The run ended before the controller had the whole program: the point is kept,
    // logged and shown.
    DncRestartPoint recordInterruption(qint64 taken, qint64 bytesSent, const QString& why);
    void recordCompletion();

    // TransferView
    void entryChanged(int index) override;
    void listChanged() override;
    void progressReset(const QString& name, const QString& partition) override;
    void progressTotal(int totalBlocks) override;
    void progressStep(int position) override;
    void progressNak() override;
    void receivingFile(const QString& name, const QString& folder) override;
    void receivedGood() override;
    void receivedBad() override;
    void sendDone() override;
    void receiveDone() override;
    void listingDone(bool complete) override;
    // XModemObserver of the DNC run
    void sendStarted(int totalBlocks) override;
    void blockSent(int block, int totalBlocks, qint64 bytesSent) override;
    void nakReceived() override;
    void sendFinished(SendResult result) override;

    FernportSettings& settings_;
    std::unique_ptr<Prompter> ownPrompter_;
    Prompter* prompter_;
    CVantorComm comm_;
    PortSetupAsker askPortSetup_;
    FileAsker askOpenFile_;
    FileAsker askSaveFile_;
    PartitionAsker askPartition_;
    FilesAsker askFiles_;
    FolderAsker askFolder_;
    RenameAsker askRename_;
    HeaderAsker askHeader_;

    LinkDriver link_;
    std::unique_ptr<SerialSession> session_;
    std::unique_ptr<SendFlow> sendFlow_;
    std::unique_ptr<ReceiveFlow> receiveFlow_;
    std::unique_ptr<CXModem> dncXModem_;  // one for the program's life: its CAN-retry count is program-wide
    bool dncXModemRun_ = false;
    CSendFileDlg* sendDlg_ = nullptr;
    CReceiveFileDlg* receiveDlg_ = nullptr;
    QPointer<CProcessDlg> processDlg_;
    QPointer<CReceivingDlg> receivingDlg_;

    NcEditor* editor_ = nullptr;
    QLabel* portLine_ = nullptr;
    QLabel* baudLine_ = nullptr;
    QComboBox* system_ = nullptr;
    QMenu* recentMenu_ = nullptr;
    std::unique_ptr<RecentFileList> recent_;
    QAction* protocolXonXoff_ = nullptr;
    QAction* protocolXModem_ = nullptr;
    QAction* headerNone_ = nullptr;
    QAction* headerProgramStart_ = nullptr;
    QAction* headerCustom_ = nullptr;
    QPointer<FindReplaceDlg> find_;
    QString path_;
    NcDocumentFormat format_;  // how the open program was stored: a save writes it back the same way

    DncProtocol protocol_ = DncProtocol::XonXoff;
    bool dncActive_ = false;
    std::unique_ptr<XonXoffDnc> xonxoff_;
    QPointer<CDNCDlg> dncDlg_;
    QPointer<CDNCDlg> closingDnc_;  // closed, its deferred delete not yet run
    QTimer* dncTimer_ = nullptr;
    bool pumpScheduled_ = false;
    void schedulePump(qint64 delayUs = 0);
    // Paces the stream to the line, so an XOFF finds only a few milliseconds of text queued.
    std::unique_ptr<LinePacer> pacer_;
    QElapsedTimer lineClock_;
    QTimer* pumpTimer_ = nullptr;
    bool closeAfterDnc_ = false;  // Exit said Yes to ending the run: close once it has ended
    bool dncAsking_ = false;  // Cancel's question is open: the stream holds until it is answered
    DncPlan dncPlan_;
    DncRestartPoint restart_;
    DncLog dncLog_;
    qint64 xmodemSent_ = 0;   // XModem run: bytes up to the last frame sent
    qint64 xmodemTaken_ = 0;  // ... and up to the frame before it, which the controller acknowledged
    QString portFailure_;     // the port reported a failure that is still to be handled
    qint64 unwritten_ = 0;    // bytes of the stream the failing port did not take
};

}  // namespace vantor::fernport
