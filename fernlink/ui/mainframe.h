// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Fernlink's one window: the navigation bar on the left, the editor or one page on the
// right, the connection and server commands, the status panes and the tray icon. It owns
// the hub every page works through.
#include "common/prompter.h"
#include "common/ui/qttranslations.h"
#include "common/ui/recentfiles.h"
#include "fernlink/ui/addressdialog.h"
#include "fernlink/app/settings.h"

#include <QMainWindow>
#include <QPointer>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>

class QAction;
class QLabel;
class QMenu;
class QSplitter;
class QStackedWidget;
class QSystemTrayIcon;

namespace vantor::fernlink::ui {

class CFernlinkView;
class CFindReplaceDlg;
class FtpPagesSink;
class COutlookBar;
class LinkHub;
class SettingsPage;

struct MainFrameOptions {
    QString settingsFile;     // empty: the user's profile
    QString dataFolder;       // accounts and user log; empty: the user's data folder
    QString autostartFolder;  // empty: ~/.config/autostart
    QString sessionPort;      // serial port for this run only, not stored
    Prompter* prompter = nullptr;  // empty: message boxes
    // Tests: minimising hides the window although no tray shows an icon.
    bool assumeTray = false;
};

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    enum Page {
        PageEditor = 0,
        PageDnc = 1,
        PageSend = 2,
        PageReceive = 3,
        PageSettings = 4,
        PageUserManager = 5,
        PageOnlineUsers = 6,
        PageStatistics = 7,
        PageOperationLog = 8,  // reached from the View menu
        PageLogin = 10,
    };
    // The state lamps of the last two status panes.
    static constexpr std::array<int, 2> kIconsUp{162, 163};
    static constexpr std::array<int, 2> kIconsDown{163, 164};
    using Octets = std::array<int, 4>;
    using AddressAsker = std::function<std::optional<Octets>(const Octets& initial)>;
    // The address with the controller's TCP port; the recent addresses are offered.
    using ControllerAsker = std::function<std::optional<CAddressDlg::Address>(const CAddressDlg::Address& initial,
                                                                              const QStringList& recent)>;
    using PathAsker = std::function<QString()>;

    explicit CMainFrame(MainFrameOptions options = {}, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // The last start-up steps: show the window, or leave only the tray icon when asked to.
    void startUp();

    LinkHub& hub() { return *hub_; }
    FernlinkSettings& settings() { return settings_; }
    QSettings& settingsStore() { return *store_; }
    CFernlinkView* editor() const { return editor_; }
    SettingsPage* settingsPage() const { return settingsPage_; }
    COutlookBar* outlookBar() const { return outlook_; }
    QWidget* page(int id) const;
    int currentPage() const { return current_; }
    QSystemTrayIcon* trayIcon() const { return tray_; }
    // Menu commands by object name ("actionConnectSerial", ...), for tests and toolbars.
    QAction* action(const QString& name) const;

    void setControllerAsker(ControllerAsker asker) { askAddress_ = std::move(asker); }
    // An asker for the octets alone: the port stays as it is.
    void setAddressAsker(AddressAsker asker);
    void setOpenFileAsker(PathAsker asker) { askOpenFile_ = std::move(asker); }
    void setSaveFileAsker(PathAsker asker) { askSaveFile_ = std::move(asker); }
    // The controller's TCP port (tests use the simulator's).
    void setControllerPort(quint16 port) { settings_.controllerPort = port; }

    // Page switching; false when nothing changed (the same page, or a refusal).
    bool showPage(int page);

    // Commands.
    bool connectSerial();
    void connectEthernet();
    void connectEthernetTo(const QString& address);
    bool connectingEthernet() const { return connecting_; }
    void disconnectLink();
    bool startServer();
    void stopServer();
    void chooseLanguage(Language language);
    bool openDocument(const QString& path, bool fromRecentList = false);
    bool saveDocument();
    bool saveDocumentAs(const QString& path);
    void newDocument();
    void goToLineCommand();
    void showFind(bool replace);
    QStringList recentFiles() const;

    QString linkStatusText() const;
    QString positionText() const;
    QString messageText() const;
    std::array<int, 2> stateIcons() const { return icons_; }

    // Menus, editor and toolbar follow the operation state, the link and the page.
    void updateCommands();

Q_SIGNALS:
    // The user closed the window (not merely hid it in the tray): the program ends.
    void windowClosed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    void buildMenus();
    void buildStatusBar();
    void buildPages();
    void addPage(int id, QWidget* widget);
    void setLinkStatus(const QString& text, bool up);
    // The Ethernet connect ended, either way: the window is usable again. False when none was waiting.
    bool endConnecting();
    void onEthernetConnected();
    void onEthernetFailed(int code);
    void onEthernetDropped();
    bool maybeSave();
    void updatePosition();
    void updateTitle();
    void printDocument();
    void printPreview();
    void printSetup();
    void showFromTray();
    bool mayHideToTray() const;
    QString refusalForClose() const;
    QString refusalForDisconnect() const;

    MainFrameOptions options_;
    std::unique_ptr<QSettings> store_;
    FernlinkSettings settings_;
    std::unique_ptr<Prompter> ownPrompter_;
    // Qt's own buttons and dialogs in the language the window starts with.
    std::unique_ptr<QtTranslations> qtTexts_;
    QLabel* serverLamp_ = nullptr;
    void showServerLamp(bool running);
    std::unique_ptr<LinkHub> hub_;
    std::unique_ptr<FtpPagesSink> ftpSink_;

    QSplitter* splitter_ = nullptr;
    COutlookBar* outlook_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    CFernlinkView* editor_ = nullptr;
    SettingsPage* settingsPage_ = nullptr;
    std::map<int, QWidget*> pages_;
    int current_ = PageEditor;
    QPointer<CFindReplaceDlg> find_;

    QLabel* message_ = nullptr;
    QLabel* position_ = nullptr;
    QLabel* link_ = nullptr;
    QLabel* fixed_ = nullptr;
    std::array<QLabel*, 2> lamps_{};
    std::array<int, 2> icons_ = kIconsDown;

    QMenu* recentMenu_ = nullptr;
    std::unique_ptr<RecentFileList> recent_;
    QList<QAction*> fileActions_;   // off while a page shows or DNC runs
    QList<QAction*> editActions_;   // off while an operation runs
    QAction* goToLine_ = nullptr;
    QSystemTrayIcon* tray_ = nullptr;

    ControllerAsker askAddress_;
    PathAsker askOpenFile_;
    PathAsker askSaveFile_;
    bool connecting_ = false;
    bool dropping_ = false;
};

}  // namespace vantor::fernlink::ui
