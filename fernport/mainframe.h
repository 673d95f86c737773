#pragma once
// Fernport's main window: the NC program editor, the port it owns, and the commands that
// start the transfer flows and DNC runs. Everything the user is asked goes through the
// prompter and the port-setup asker, so tests drive the real window with scripted answers.
#include "common/prompter.h"
#include "fernport/dialogs.h"
#include "fernport/settings.h"
#include "fernport/xonxoffdnc.h"
#include "serialcore/vantorcomm.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>

class QAction;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QTimer;

namespace vantor::fernport {

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    using PortSetupAsker = std::function<std::optional<PortChoice>(const QString& port, int baud)>;
    using FileAsker = std::function<QString()>;

    CMainFrame(FernportSettings& settings, Prompter* prompter = nullptr, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Opens the stored port (or the default one) as the program does at start-up. A session
    // port (given on the command line, e.g. a simulated controller) is opened but not remembered.
    void startUp(std::optional<PortChoice> sessionPort = std::nullopt);

    void setPortSetupAsker(PortSetupAsker asker) { askPortSetup_ = std::move(asker); }
    void setOpenFileAsker(FileAsker asker) { askOpenFile_ = std::move(asker); }
    void setSaveFileAsker(FileAsker asker) { askSaveFile_ = std::move(asker); }

    // Commands, callable from menus, toolbars and tests alike.
    bool openDocument(const QString& path);
    bool saveDocument();
    bool saveDocumentAs(const QString& path);
    void newDocument();
    void setPortCommand();
    void dncCommand();
    void setDncProtocol(DncProtocol protocol);
    void sendFileCommand();
    void receiveFileCommand();

    bool dncActive() const { return dncActive_; }
    DncProtocol dncProtocol() const { return protocol_; }
    QString documentPath() const { return path_; }
    QPlainTextEdit* editor() const { return editor_; }
    CVantorComm& comm() { return comm_; }
    QString portStateText() const;
    QStringList recentFiles() const;
    QComboBox* systemList() const { return system_; }
    CDNCDlg* dncWindow() const { return dncDlg_; }
    const XonXoffDnc* xonXoffRun() const { return xonxoff_.get(); }
    // Cancel in the DNC window, as the user presses it.
    void cancelDnc();

Q_SIGNALS:
    void dncFinished();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildActions();
    bool openPort(const QString& name, int baud, bool remember = true);
    bool ensurePortOpen();
    void onReceived(const QByteArray& chunk);
    void pumpXonXoff();
    void onDncTick();
    void finishDnc();
    void setDncActive(bool active);
    void updateTitle();
    void addRecentFile(const QString& path);
    void rebuildRecentMenu();
    bool maybeSave();
    void printDocument();
    void printPreview();
    void printSetup();
    void showFind(bool replace);

    FernportSettings& settings_;
    std::unique_ptr<Prompter> ownPrompter_;
    Prompter* prompter_;
    CVantorComm comm_;
    PortSetupAsker askPortSetup_;
    FileAsker askOpenFile_;
    FileAsker askSaveFile_;

    QPlainTextEdit* editor_ = nullptr;
    QLabel* portLine_ = nullptr;
    QLabel* baudLine_ = nullptr;
    QComboBox* system_ = nullptr;
    QMenu* recentMenu_ = nullptr;
    QAction* protocolXonXoff_ = nullptr;
    QAction* protocolXModem_ = nullptr;
    QPointer<FindReplaceDlg> find_;
    QString path_;

    DncProtocol protocol_ = DncProtocol::XonXoff;
    bool dncActive_ = false;
    std::unique_ptr<XonXoffDnc> xonxoff_;
    QPointer<CDNCDlg> dncDlg_;
    QTimer* dncTimer_ = nullptr;
    bool pumpScheduled_ = false;
};

}  // namespace vantor::fernport
