// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/ui/mainframe.h"

#include "common/ui/messageboxprompter.h"
#include "fernlink/link/ethernetprotocol.h"
#include "fernlink/ui/addressdialog.h"
#include "fernlink/ui/dncpage.h"
#include "fernlink/ui/loginpage.h"
#include "fernlink/ui/onlineuserspage.h"
#include "fernlink/ui/editorview.h"
#include "fernlink/ui/linkhub.h"
#include "fernlink/ui/operationlogpage.h"
#include "fernlink/ui/outlookbar.h"
#include "fernlink/ui/receivepage.h"
#include "fernlink/ui/sendpage.h"
#include "fernlink/ui/settingspage.h"
#include "fernlink/ui/statisticspage.h"
#include "fernlink/ui/usermanagerpage.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QSplitter>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QTcpSocket>
#include <QToolBar>
#include <QAbstractItemView>

#include <cstring>

#include <cerrno>

namespace vantor::fernlink::ui {

namespace {

constexpr int kOutlookWidth = 140;
constexpr int kPositionPaneWidth = 200;
constexpr int kLampPaneWidth = 18;
// Half an inch on every side, as the editor has always printed.
constexpr qreal kPrintMarginInch = 0.5;
// How often the running server reports its counters to the statistics page.
constexpr int kStatisticsIntervalMs = 5000;

const char kFileFilter[] = "Text Files (*.txt);;CNC Files (*.cnc);;CNC Files (*.nc);;All Files (*)";

QString dataFolder(const QString& given)
{
    if (!given.isEmpty())
        return given;
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("Vantor/Fernlink"));
}

// Which pair of refusals applies: the running operation's kind, serial and Ethernet alike.
int refusalIndex(OperationState state)
{
    switch (kindOf(state)) {
    case OperationKind::Send: return 0;
    case OperationKind::Receive: return 1;
    case OperationKind::Delete: return 2;
    case OperationKind::Dnc: return 3;
    case OperationKind::List: return 4;
    case OperationKind::None: break;
    }
    return -1;
}

// The connect failure as the platform's error number, which is what the message shows (Qt's
// own codes start at 0 for a refused connection, which reads as "no error").
int platformErrorCode(int socketError)
{
    switch (static_cast<QAbstractSocket::SocketError>(socketError)) {
    case QAbstractSocket::ConnectionRefusedError: return ECONNREFUSED;
    case QAbstractSocket::SocketTimeoutError: return ETIMEDOUT;
    case QAbstractSocket::HostNotFoundError: return EHOSTUNREACH;
    case QAbstractSocket::NetworkError: return ENETUNREACH;
    case QAbstractSocket::SocketAccessError: return EACCES;
    case QAbstractSocket::SocketResourceError: return EMFILE;
    case QAbstractSocket::RemoteHostClosedError: return ECONNRESET;
    case QAbstractSocket::AddressInUseError: return EADDRINUSE;
    default: return EIO;
    }
}

bool dncRunning(OperationState s)
{
    return s == OperationState::OpSerialDnc || s == OperationState::OpNetDnc;
}

}  // namespace

CMainFrame::CMainFrame(MainFrameOptions options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options))
{
    setObjectName(QStringLiteral("CMainFrame"));
    // The profile first: the language decides every text that follows.
    store_ = openSettingsStore(options_.settingsFile);
    settings_ = FernlinkSettings::load(*store_);
    settings_.sessionPort = options_.sessionPort;
    qtTexts_ = std::make_unique<QtTranslations>();
    qtTexts_->setChinese(settings_.language == Language::Chinese);

    Prompter* prompter = options_.prompter;
    if (!prompter) {
        ownPrompter_ = std::make_unique<MessageBoxPrompter>(this, message(Msg::Tip, settings_.language));
        prompter = ownPrompter_.get();
    }
    const QString data = dataFolder(options_.dataFolder);
    QDir().mkpath(data);
    hub_ = std::make_unique<LinkHub>(*prompter, QDir(data).filePath(QStringLiteral("users.dat")),
                                     QDir(data).filePath(QStringLiteral("userlog.dat")), this);
    hub_->state.language = settings_.language;
    hub_->verifyAfterSend = settings_.verifyAfterSend;
    hub_->dncHeaderMode = static_cast<dnc::HeaderMode>(settings_.dncHeaderMode);
    hub_->dncHeader = settings_.dncHeader;
    hub_->users().load();
    hub_->userLog().load();

    askAddress_ = [this](const CAddressDlg::Address& initial, const QStringList& recent) {
        return CAddressDlg::ask(*hub_, initial, recent, this);
    };
    askOpenFile_ = [this] {
        return QFileDialog::getOpenFileName(this, QString(), QFileInfo(editor_->path()).path(), QLatin1String(kFileFilter));
    };
    askSaveFile_ = [this] {
        return QFileDialog::getSaveFileName(this, QString(), editor_->path(), QLatin1String(kFileFilter));
    };

    editor_ = new CFernlinkView(*hub_, this);
    hub_->currentDocument = [this] { return editor_->dncDocument(); };
    connect(editor_, &CFernlinkView::positionChanged, this, &CMainFrame::updatePosition);
    connect(editor_, &CFernlinkView::pathChanged, this, &CMainFrame::updateTitle);
    connect(editor_, &NcEditor::modificationChanged, this, &CMainFrame::updateTitle);

    buildMenus();
    buildStatusBar();

    outlook_ = new COutlookBar(this);
    stack_ = new QStackedWidget(this);
    stack_->setObjectName(QStringLiteral("pageArea"));
    splitter_ = new QSplitter(Qt::Horizontal, this);
    splitter_->addWidget(outlook_);
    splitter_->addWidget(stack_);
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);
    splitter_->setSizes({kOutlookWidth, 100});
    splitter_->setChildrenCollapsible(false);
    setCentralWidget(splitter_);
    addPage(PageEditor, editor_);
    buildPages();

    outlook_->addPageItem(outlookIcon(PageEditor), hub_->text(Msg::OutlookEdit), PageEditor);
    outlook_->addPageItem(outlookIcon(PageDnc), QStringLiteral("DNC"), PageDnc);
    outlook_->addPageItem(outlookIcon(PageSend), hub_->text(Msg::OutlookSend), PageSend);
    outlook_->addPageItem(outlookIcon(PageReceive), hub_->text(Msg::OutlookReceive), PageReceive);
    outlook_->addPageItem(outlookIcon(PageSettings), hub_->text(Msg::OutlookSettings), PageSettings);
    outlook_->addPageItem(outlookIcon(PageUserManager), hub_->text(Msg::UserManagerCaption), PageUserManager);
    outlook_->addPageItem(outlookIcon(PageOnlineUsers), hub_->text(Msg::OutlookOnline), PageOnlineUsers);
    connect(outlook_, &COutlookBar::pageRequested, this, [this](int page) {
        showPage(page);
        outlook_->showPage(current_);  // a refused page leaves the mark where it was
    });

    connect(hub_.get(), &LinkHub::operationStateChanged, this, &CMainFrame::updateCommands);
    connect(hub_.get(), &LinkHub::logged, this, [this](LogEntry entry, const QString& text) {
        if (entry == LogEntry::BatchEnded)
            message_->setText(text);
    });
    connect(hub_.get(), &LinkHub::ethernetDropped, this, &CMainFrame::onEthernetDropped);
    // A serial port that went away shows as closed, with the system's reason.
    connect(hub_.get(), &LinkHub::serialLost, this, [this](const QString& reason) {
        if (hub_->state.link != LinkType::LinkSerial)
            return;
        hub_->state.link = LinkType::LinkNone;
        setLinkStatus(messageChinese(Msg::SerialClosed), false);
        message_->setText(reason);
        updateCommands();
    });
    connect(&hub_->ethernet(), &EthernetLink::connected, this, &CMainFrame::onEthernetConnected);
    connect(&hub_->ethernet(), &EthernetLink::connectFailed, this,
            [this](int code, const QString&) { onEthernetFailed(code); });
    connect(&hub_->server(), &ftp::CFtpServerWnd::cncOutput, editor_, &CFernlinkView::appendOutput);

    tray_ = new QSystemTrayIcon(windowIcon().isNull() ? outlookIcon(PageDnc) : windowIcon(), this);
    tray_->setToolTip(QStringLiteral("Vantor Comm"));
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Context)
            showFromTray();
    });
    if (QSystemTrayIcon::isSystemTrayAvailable())
        tray_->show();

    if (settings_.autoActivate)
        startServer();

    updateTitle();
    updatePosition();
    updateCommands();
    resize(960, 660);
}

CMainFrame::~CMainFrame()
{
    if (connecting_)
        QApplication::restoreOverrideCursor();
    hub_->setReceiver(nullptr);
    hub_->serial().close();
    hub_->ethernet().disconnectFromController();
    // The pages and dialogs hold the hub: they go before it does.
    ftpSink_.reset();
    delete find_.data();
    delete takeCentralWidget();
}

void CMainFrame::startUp()
{
    if (settings_.startInTray && mayHideToTray()) {
        hide();  // only the tray icon shows; a double click brings the window
        return;
    }
    if (settings_.startInTray)
        showMinimized();  // no tray to live in: a minimised window is the nearest
    else
        show();
}

QWidget* CMainFrame::page(int id) const
{
    const auto it = pages_.find(id);
    return it == pages_.end() ? nullptr : it->second;
}

QAction* CMainFrame::action(const QString& name) const
{
    return findChild<QAction*>(name);
}

void CMainFrame::addPage(int id, QWidget* widget)
{
    pages_[id] = widget;
    stack_->addWidget(widget);
}

void CMainFrame::buildPages()
{
    addPage(PageDnc, new DncPage(*hub_, stack_));
    addPage(PageSend, new SendPage(*hub_, stack_));
    addPage(PageReceive, new ReceivePage(*hub_, stack_));
    settingsPage_ = new SettingsPage(*hub_, settings_, *store_, stack_);
    if (!options_.autostartFolder.isEmpty())
        settingsPage_->setAutostartFolder(options_.autostartFolder);
    connect(settingsPage_, &SettingsPage::serialReopened, this, [this](bool opened) {
        if (opened) {
            setLinkStatus(messageChinese(Msg::SerialOpen), true);
        } else {
            hub_->state.link = LinkType::LinkNone;
            setLinkStatus(messageChinese(Msg::SerialClosed), false);
        }
        updateCommands();
    });
    addPage(PageSettings, settingsPage_);
    addPage(PageUserManager, new UserManagerPage(*hub_, stack_));
    auto* online = new OnlineUsersPage(*hub_, stack_);
    addPage(PageOnlineUsers, online);
    auto* statistics = new StatisticsPage(*hub_, stack_);
    addPage(PageStatistics, statistics);
    addPage(PageOperationLog, new OperationLogPage(*hub_, stack_));
    auto* login = new LoginPage(*hub_, stack_);
    connect(login, &LoginPage::loginLevelChanged, this, &CMainFrame::updateCommands);
    addPage(PageLogin, login);
    // The window is the server's event sink; the statistics and online-user pages show what it hears.
    ftpSink_ = std::make_unique<FtpPagesSink>(hub_->server(), statistics, online);
}

void CMainFrame::buildMenus()
{
    QStyle* st = style();
    auto add = [this](QMenu* menu, const char* name, Msg text, auto slot, QKeySequence keys = {}) {
        QAction* a = menu->addAction(hub_->text(text));
        a->setObjectName(QLatin1String(name));
        if (!keys.isEmpty())
            a->setShortcut(keys);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    auto refreshOnShow = [this](QMenu* menu) { connect(menu, &QMenu::aboutToShow, this, &CMainFrame::updateCommands); };

    QMenu* file = menuBar()->addMenu(hub_->text(Msg::MenuFile));
    refreshOnShow(file);
    QAction* newAct = add(file, "actionNew", Msg::MenuNew, [this] { newDocument(); }, QKeySequence::New);
    QAction* openAct = add(file, "actionOpen", Msg::MenuOpen, [this] {
        if (dncRunning(hub_->state.operation)) {
            hub_->prompter.inform(Severity::Warning, hub_->text(Msg::DncCantOpenFile));
            return;
        }
        if (!maybeSave())
            return;
        const QString path = askOpenFile_();
        if (!path.isEmpty())
            openDocument(path);
    }, QKeySequence::Open);
    QAction* saveAct = add(file, "actionSave", Msg::MenuSave, [this] { saveDocument(); }, QKeySequence::Save);
    QAction* saveAsAct = add(file, "actionSaveAs", Msg::MenuSaveAs, [this] {
        const QString path = askSaveFile_();
        if (!path.isEmpty())
            saveDocumentAs(path);
    });
    file->addSeparator();
    QAction* printAct = add(file, "actionPrint", Msg::MenuPrint, [this] { printDocument(); }, QKeySequence::Print);
    QAction* previewAct = add(file, "actionPrintPreview", Msg::MenuPrintPreview, [this] { printPreview(); });
    QAction* setupAct = add(file, "actionPrintSetup", Msg::MenuPrintSetup, [this] { printSetup(); });
    file->addSeparator();
    recentMenu_ = file->addMenu(hub_->text(Msg::MenuRecentFiles));
    recentMenu_->setObjectName(QStringLiteral("recentMenu"));
    recent_ = std::make_unique<RecentFileList>(*store_, RecentFilesForm{.count = kRecentFileCount});
    recent_->showIn(recentMenu_, [this](const QString& f) {
        if (dncRunning(hub_->state.operation)) {
            hub_->prompter.inform(Severity::Warning, hub_->text(Msg::DncCantOpenRecent));
            return;
        }
        if (maybeSave())
            openDocument(f, true);
    });
    file->addSeparator();
    add(file, "actionExit", Msg::MenuExit, [this] { close(); });
    fileActions_ = {newAct, openAct, saveAct, saveAsAct, printAct, previewAct, setupAct, recentMenu_->menuAction()};

    QMenu* edit = menuBar()->addMenu(hub_->text(Msg::MenuEdit));
    refreshOnShow(edit);
    QAction* undoAct = add(edit, "actionUndo", Msg::MenuUndo, [this] { if (editor_->mayEdit()) editor_->undo(); }, QKeySequence::Undo);
    edit->addSeparator();
    QAction* cutAct = add(edit, "actionCut", Msg::MenuCut, [this] { if (editor_->mayEdit()) editor_->cut(); }, QKeySequence::Cut);
    QAction* copyAct = add(edit, "actionCopy", Msg::MenuCopy, [this] { editor_->copy(); }, QKeySequence::Copy);
    QAction* pasteAct = add(edit, "actionPaste", Msg::MenuPaste, [this] { if (editor_->mayEdit()) editor_->paste(); }, QKeySequence::Paste);
    // Ctrl+A selects in whatever has the focus: the rows of a list, or the program's text.
    add(edit, "actionSelectAll", Msg::MenuSelectAll, [this] {
        auto* view = qobject_cast<QAbstractItemView*>(QApplication::focusWidget());
        if (view && view->selectionMode() != QAbstractItemView::NoSelection && view->selectionMode() != QAbstractItemView::SingleSelection)
            view->selectAll();
        else
            editor_->selectAll();
    }, QKeySequence::SelectAll);
    edit->addSeparator();
    QAction* findAct = add(edit, "actionFind", Msg::MenuFind, [this] { showFind(false); }, QKeySequence::Find);
    QAction* nextAct = add(edit, "actionFindNext", Msg::MenuFindNext, [this] {
        if (find_ && find_->hasPattern())
            find_->findNext();
        else
            showFind(false);
    }, QKeySequence(Qt::Key_F3));
    QAction* replaceAct = add(edit, "actionReplace", Msg::MenuReplace, [this] { showFind(true); }, QKeySequence(Qt::CTRL | Qt::Key_H));
    edit->addSeparator();
    goToLine_ = add(edit, "actionGoToLine", Msg::MenuGoToLine, [this] { goToLineCommand(); }, QKeySequence(Qt::CTRL | Qt::Key_G));
    editActions_ = {undoAct, cutAct, copyAct, pasteAct, findAct, nextAct, replaceAct};

    QMenu* link = menuBar()->addMenu(hub_->text(Msg::MenuConnect));
    refreshOnShow(link);
    QAction* serialAct = add(link, "actionConnectSerial", Msg::MenuConnectSerial, [this] { connectSerial(); }, QKeySequence(Qt::Key_F5));
    QAction* netAct = add(link, "actionConnectNet", Msg::MenuConnectNet, [this] { connectEthernet(); }, QKeySequence(Qt::Key_F6));
    QAction* offAct = add(link, "actionDisconnect", Msg::MenuDisconnect, [this] { disconnectLink(); }, QKeySequence(Qt::Key_F8));

    QMenu* server = menuBar()->addMenu(hub_->text(Msg::MenuServer));
    refreshOnShow(server);
    QAction* startAct = add(server, "actionStartServer", Msg::MenuStartServer, [this] { startServer(); });
    QAction* stopAct = add(server, "actionStopServer", Msg::MenuStopServer, [this] { stopServer(); });

    // The statistics, login and operation log pages have no item in the bar; they live here.
    QMenu* view = menuBar()->addMenu(hub_->text(Msg::MenuView));
    QToolBar* tools = addToolBar(hub_->text(Msg::MenuToolbar));
    tools->setObjectName(QStringLiteral("standardToolbar"));
    tools->setIconSize(QSize(16, 16));
    view->addAction(tools->toggleViewAction());
    QAction* statusAct = view->addAction(hub_->text(Msg::MenuStatusBar));
    statusAct->setCheckable(true);
    statusAct->setChecked(true);
    connect(statusAct, &QAction::toggled, this, [this](bool on) { statusBar()->setVisible(on); });
    view->addSeparator();
    add(view, "actionShowLogin", Msg::LoginCaption, [this] { showPage(PageLogin); outlook_->showPage(current_); });
    add(view, "actionShowStatistics", Msg::StatisticsTitle, [this] { showPage(PageStatistics); outlook_->showPage(current_); });
    add(view, "actionShowOperationLog", Msg::OperationLogTitle, [this] { showPage(PageOperationLog); outlook_->showPage(current_); });
    // The pages of the bar, Ctrl+1 to Ctrl+7 in the bar's order.
    view->addSeparator();
    const std::pair<int, Msg> barPages[] = {{PageEditor, Msg::OutlookEdit},       {PageDnc, Msg::DncCaption},
                                            {PageSend, Msg::OutlookSend},         {PageReceive, Msg::OutlookReceive},
                                            {PageSettings, Msg::OutlookSettings}, {PageUserManager, Msg::UserManagerCaption},
                                            {PageOnlineUsers, Msg::OutlookOnline}};
    int key = Qt::Key_1;
    for (const auto& [pageId, title] : barPages) {
        QAction* a = view->addAction(hub_->text(title));
        a->setObjectName(QStringLiteral("actionPage%1").arg(pageId));
        a->setShortcut(QKeySequence(Qt::CTRL | Qt::Key(key++)));
        connect(a, &QAction::triggered, this, [this, pageId] {
            showPage(pageId);
            outlook_->showPage(current_);
        });
    }

    QMenu* language = menuBar()->addMenu(hub_->text(Msg::MenuLanguage));
    QAction* english = language->addAction(QStringLiteral("English"));
    english->setObjectName(QStringLiteral("actionEnglish"));
    connect(english, &QAction::triggered, this, [this] { chooseLanguage(Language::English); });
    QAction* chinese = language->addAction(QStringLiteral("中文"));
    chinese->setObjectName(QStringLiteral("actionChinese"));
    connect(chinese, &QAction::triggered, this, [this] { chooseLanguage(Language::Chinese); });

    QMenu* help = menuBar()->addMenu(hub_->text(Msg::MenuHelp));
    add(help, "actionAbout", Msg::MenuAbout, [this] {
        QMessageBox::about(this, hub_->text(Msg::MenuAbout),
                           QStringLiteral("<b>Fernlink</b><br>%1").arg(QApplication::applicationVersion()));
    });

    newAct->setIcon(st->standardIcon(QStyle::SP_FileIcon));
    openAct->setIcon(st->standardIcon(QStyle::SP_DialogOpenButton));
    saveAct->setIcon(st->standardIcon(QStyle::SP_DialogSaveButton));
    serialAct->setIcon(stateIcon(kIconsUp[0]));
    netAct->setIcon(st->standardIcon(QStyle::SP_DriveNetIcon));
    offAct->setIcon(stateIcon(kIconsDown[1]));
    startAct->setIcon(st->standardIcon(QStyle::SP_MediaPlay));
    stopAct->setIcon(st->standardIcon(QStyle::SP_MediaStop));
    for (QAction* a : {newAct, openAct, saveAct})
        tools->addAction(a);
    tools->addSeparator();
    for (QAction* a : {serialAct, netAct, offAct})
        tools->addAction(a);
    tools->addSeparator();
    tools->addAction(startAct);
    tools->addAction(stopAct);
}

void CMainFrame::buildStatusBar()
{
    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("messagePane"));
    position_ = new QLabel(this);
    position_->setObjectName(QStringLiteral("positionPane"));
    position_->setFixedWidth(kPositionPaneWidth);
    link_ = new QLabel(hub_->text(Msg::LinkNotConnected), this);
    link_->setObjectName(QStringLiteral("linkPane"));
    link_->setMinimumWidth(110);
    fixed_ = new QLabel(this);
    fixed_->setObjectName(QStringLiteral("fixedPane"));
    statusBar()->addWidget(message_, 1);
    statusBar()->addPermanentWidget(position_);
    statusBar()->addPermanentWidget(link_);
    statusBar()->addPermanentWidget(fixed_);
    for (int i = 0; i < 2; ++i) {
        lamps_[i] = new QLabel(this);
        lamps_[i]->setObjectName(QStringLiteral("statePane%1").arg(i + 1));
        lamps_[i]->setFixedWidth(kLampPaneWidth);
        statusBar()->addPermanentWidget(lamps_[i]);
    }
    // The pair above follows whatever changed last, the link or the FTP server; this lamp
    // is the server's alone, so the two can be told apart.
    serverLamp_ = new QLabel(this);
    serverLamp_->setObjectName(QStringLiteral("serverPane"));
    serverLamp_->setFixedWidth(kLampPaneWidth);
    statusBar()->addPermanentWidget(serverLamp_);
    showServerLamp(false);
    setLinkStatus(hub_->text(Msg::LinkNotConnected), false);
}

void CMainFrame::showServerLamp(bool running)
{
    serverLamp_->setPixmap(stateIcon(running ? kIconsUp[0] : kIconsDown[1]).pixmap(16, 16));
    serverLamp_->setToolTip(hub_->text(running ? Msg::ServerRunning : Msg::ServerStopped).trimmed());
    serverLamp_->setProperty("running", running);
}

void CMainFrame::setLinkStatus(const QString& text, bool up)
{
    for (QLabel* lamp : lamps_)
        lamp->setToolTip(text);
    link_->setText(text);
    icons_ = up ? kIconsUp : kIconsDown;
    for (int i = 0; i < 2; ++i)
        lamps_[i]->setPixmap(stateIcon(icons_[i]).pixmap(16, 16));
}

QString CMainFrame::linkStatusText() const
{
    return link_->text();
}

QString CMainFrame::positionText() const
{
    return position_->text();
}

QString CMainFrame::messageText() const
{
    return message_->text();
}

void CMainFrame::updatePosition()
{
    position_->setText(editor_->positionText());
}

void CMainFrame::updateTitle()
{
    const QString path = editor_->path();
    const QString name = path.isEmpty() ? hub_->text(Msg::Untitled) : QFileInfo(path).fileName();
    setWindowTitle(name + (editor_->isModified() ? QStringLiteral("*") : QString()) + QStringLiteral(" - Fernlink"));
}

void CMainFrame::updateCommands()
{
    const OperationState op = hub_->state.operation;
    const bool idle = hub_->state.idle();
    const bool onEditor = current_ == PageEditor;
    editor_->setBusy(!idle);
    for (QAction* a : fileActions_)
        a->setEnabled(onEditor && !dncRunning(op));
    for (QAction* a : editActions_)
        a->setEnabled(onEditor && idle);
    goToLine_->setEnabled(onEditor);
    const bool linked = hub_->state.link != LinkType::LinkNone;
    action(QStringLiteral("actionConnectSerial"))->setEnabled(!linked && !connecting_);
    action(QStringLiteral("actionConnectNet"))->setEnabled(!linked && !connecting_);
    action(QStringLiteral("actionDisconnect"))->setEnabled(linked);
    const bool running = hub_->server().isRunning();
    action(QStringLiteral("actionStartServer"))->setEnabled(!running);
    action(QStringLiteral("actionStopServer"))->setEnabled(running);
}

bool CMainFrame::showPage(int page)
{
    if (page == current_ || !pages_.count(page))
        return false;
    if (page == PageUserManager && hub_->loginLevel != 2) {
        hub_->prompter.inform(Severity::Warning, messageChinese(Msg::NoRightForUserManager), hub_->text(Msg::UserManagerCaption));
        return false;
    }
    current_ = page;
    editor_->setEnabled(page == PageEditor);
    stack_->setCurrentWidget(pages_[page]);
    if (page == PageEditor) {
        editor_->setFocus();
        updatePosition();
        editor_->checkFileChanged();
    }
    updateCommands();
    return true;
}

bool CMainFrame::connectSerial()
{
    if (hub_->state.link == LinkType::LinkEthernet || connecting_)
        return false;
    const QString port = settings_.activePort();
    const int baud = settings_.baud() > 0 ? settings_.baud() : CVantorComm::kDefaultBaud;
    CVantorComm& serial = hub_->serial();
    serial.setPort(port, baud);
    if (serial.isOpen())
        serial.close();
    if (!serial.open()) {
        setLinkStatus(messageChinese(Msg::SerialClosed), false);
        message_->setText(serial.lastError());
        if (serial.lastErrorIsPermission()) {
            // The status line is too narrow for the remedy: it says the cause in the window's
            // language, and the box shows the whole command.
            const QString hint = hub_->text(Msg::SerialNeedsDialout)
                                     .arg(port, qEnvironmentVariable("USER", QStringLiteral("$USER")));
            message_->setText(hint.section(QLatin1Char('\n'), 0, 0));
            hub_->prompter.inform(Severity::Error, hint);
        }
        updateCommands();
        return false;
    }
    hub_->state.link = LinkType::LinkSerial;
    setLinkStatus(messageChinese(Msg::SerialOpen), true);
    message_->clear();
    updateCommands();
    return true;
}

void CMainFrame::setAddressAsker(AddressAsker asker)
{
    askAddress_ = [asker = std::move(asker)](const CAddressDlg::Address& initial,
                                             const QStringList&) -> std::optional<CAddressDlg::Address> {
        const auto octets = asker(initial.octets);
        if (!octets)
            return std::nullopt;
        return CAddressDlg::Address{*octets, initial.port};
    };
}

void CMainFrame::connectEthernet()
{
    if (connecting_)
        return;
    const auto address = askAddress_({settings_.address, settings_.controllerPort}, settings_.recentAddresses);
    if (!address)
        return;
    settings_.rememberAddress(*store_, address->octets, address->port);
    connectEthernetTo(settings_.addressText());
}

void CMainFrame::connectEthernetTo(const QString& address)
{
    if (connecting_)
        return;
    connecting_ = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // Nothing else may start while the connect waits (at most the link's 2 s limit).
    menuBar()->setEnabled(false);
    centralWidget()->setEnabled(false);
    for (QToolBar* bar : findChildren<QToolBar*>())
        bar->setEnabled(false);
    updateCommands();
    hub_->ethernet().connectTo(address, quint16(settings_.controllerPort));
}

bool CMainFrame::endConnecting()
{
    if (!connecting_)
        return false;
    connecting_ = false;
    QApplication::restoreOverrideCursor();
    menuBar()->setEnabled(true);
    centralWidget()->setEnabled(true);
    for (QToolBar* bar : findChildren<QToolBar*>())
        bar->setEnabled(true);
    return true;
}

void CMainFrame::onEthernetConnected()
{
    if (!endConnecting())
        return;
    hub_->state.link = LinkType::LinkEthernet;
    setLinkStatus(hub_->text(Msg::EthernetConnected), true);
    updateCommands();
}

void CMainFrame::onEthernetFailed(int code)
{
    if (!endConnecting())
        return;
    hub_->ethernet().disconnectFromController();
    link_->setText(hub_->text(Msg::ConnectFailedStatus));
    updateCommands();
    // The system's own words for the number follow the controller software's text.
    const int number = platformErrorCode(code);
    hub_->prompter.inform(Severity::Error, hub_->text(Msg::UnableToConnect).arg(number) + QStringLiteral(" (")
                                               + QString::fromLocal8Bit(std::strerror(number)) + QLatin1Char(')'));
}

void CMainFrame::onEthernetDropped()
{
    if (dropping_)
        return;
    dropping_ = true;
    hub_->ethernet().disconnectFromController();
    if (hub_->state.link == LinkType::LinkEthernet)
        hub_->state.link = LinkType::LinkNone;
    hub_->state.operation = OperationState::OpIdle;
    setLinkStatus(hub_->text(Msg::EthernetDisconnected), false);
    dropping_ = false;
    hub_->operationChanged();
    updateCommands();
}

QString CMainFrame::refusalForClose() const
{
    static constexpr Msg refusals[] = {Msg::CloseWhileSend, Msg::CloseWhileReceive, Msg::CloseWhileDelete,
                                       Msg::CloseWhileDnc, Msg::CloseWhileList};
    const int i = refusalIndex(hub_->state.operation);
    return i < 0 ? QString() : hub_->text(refusals[i]);
}

QString CMainFrame::refusalForDisconnect() const
{
    static constexpr Msg refusals[] = {Msg::DisconnectWhileSend, Msg::DisconnectWhileReceive,
                                       Msg::DisconnectWhileDelete, Msg::DisconnectWhileDnc, Msg::DisconnectWhileList};
    const int i = refusalIndex(hub_->state.operation);
    return i < 0 ? QString() : hub_->text(refusals[i]);
}

void CMainFrame::disconnectLink()
{
    const QString refusal = refusalForDisconnect();
    if (!refusal.isEmpty()) {
        hub_->prompter.inform(Severity::Warning, refusal);
        return;
    }
    const LinkType was = hub_->state.link;
    hub_->state.link = LinkType::LinkNone;
    if (was == LinkType::LinkEthernet) {
        onEthernetDropped();
        return;
    }
    hub_->serial().close();
    setLinkStatus(messageChinese(Msg::SerialClosed), false);
    updateCommands();
}

bool CMainFrame::startServer()
{
    ftp::CFtpServerWnd& server = hub_->server();
    if (server.isRunning())
        return true;
    server.setPort(settings_.ftpPort);
    server.setMaxUsers(settings_.maxUsers);
    server.setIdleTimeout(settings_.maxTimeout);
    server.setPassivePorts(ftp::parsePassivePorts(settings_.pasvPorts).value_or(ftp::PassivePorts{}));
    server.setStatisticsInterval(kStatisticsIntervalMs);
    if (!server.start()) {
        message_->setText(server.lastError());
        if (server.portNeedsPrivilege())
            hub_->prompter.inform(Severity::Error, hub_->text(Msg::ServerPortNeedsPrivilege)
                                                       .arg(settings_.ftpPort)
                                                       .arg(QCoreApplication::applicationFilePath()));
        updateCommands();
        return false;
    }
    setLinkStatus(hub_->text(Msg::ServerRunning), true);
    showServerLamp(true);
    updateCommands();
    return true;
}

void CMainFrame::stopServer()
{
    if (!hub_->server().isRunning())
        return;
    hub_->server().stop();
    setLinkStatus(hub_->text(Msg::ServerStopped), false);
    showServerLamp(false);
    updateCommands();
}

void CMainFrame::chooseLanguage(Language language)
{
    FernlinkSettings::saveLanguage(*store_, language);
    // The texts change at the next start; the notice is in the language chosen.
    hub_->prompter.inform(Severity::Information, language == Language::English
                                                     ? messageEnglish(Msg::RestartToApply)
                                                     : messageChinese(Msg::RestartToApply));
}

bool CMainFrame::openDocument(const QString& path, bool fromRecentList)
{
    if (dncRunning(hub_->state.operation)) {
        hub_->prompter.inform(Severity::Warning,
                              hub_->text(fromRecentList ? Msg::DncCantOpenRecent : Msg::DncCantOpenFile));
        return false;
    }
    if (!editor_->openFile(path))
        return false;
    recent_->add(editor_->path());
    updatePosition();
    return true;
}

bool CMainFrame::saveDocument()
{
    if (editor_->path().isEmpty()) {
        const QString path = askSaveFile_();
        return !path.isEmpty() && saveDocumentAs(path);
    }
    return saveDocumentAs(editor_->path());
}

bool CMainFrame::saveDocumentAs(const QString& path)
{
    if (!editor_->saveTo(path))
        return false;
    recent_->add(editor_->path());
    return true;
}

void CMainFrame::newDocument()
{
    if (dncRunning(hub_->state.operation) || !maybeSave())
        return;
    editor_->newDocument();
    updatePosition();
}

bool CMainFrame::maybeSave()
{
    if (!editor_->isModified())
        return true;
    const QString name = editor_->path().isEmpty() ? hub_->text(Msg::Untitled) : QFileInfo(editor_->path()).fileName();
    const Answer a = hub_->prompter.ask(hub_->text(Msg::SaveChangesQuestion).arg(name), Buttons::YesNoCancel);
    if (a == Answer::Cancel)
        return false;
    return a == Answer::No || saveDocument();
}

void CMainFrame::goToLineCommand()
{
    if (current_ != PageEditor)
        return;
    const int last = editor_->lineCount();
    const std::optional<QString> answer = hub_->prompter.askText(
        hub_->text(Msg::GoToLinePrompt).arg(editor_->caretLine()).arg(last), QString::number(editor_->caretLine()));
    if (!answer)
        return;
    bool ok = false;
    const int line = answer->trimmed().toInt(&ok);
    if (!ok || line < 1)
        return;
    if (line > last) {
        hub_->prompter.inform(Severity::Warning, hub_->text(Msg::DncNumberTooBig));
        return;
    }
    editor_->goToLine(line);
}

void CMainFrame::showFind(bool replace)
{
    if (!find_)
        find_ = new CFindReplaceDlg(*editor_, *hub_, this);
    find_->setReplaceMode(replace);
    find_->show();
    find_->raise();
    find_->activateWindow();
}

QStringList CMainFrame::recentFiles() const
{
    return recent_->files();
}

void CMainFrame::printDocument()
{
    QPrinter printer;
    printer.setPageMargins(QMarginsF(kPrintMarginInch, kPrintMarginInch, kPrintMarginInch, kPrintMarginInch),
                           QPageLayout::Inch);
    QPrintDialog dlg(&printer, this);
    if (dlg.exec() == QDialog::Accepted)
        editor_->printTo(&printer);
}

void CMainFrame::printPreview()
{
    QPrinter printer;
    printer.setPageMargins(QMarginsF(kPrintMarginInch, kPrintMarginInch, kPrintMarginInch, kPrintMarginInch),
                           QPageLayout::Inch);
    QPrintPreviewDialog dlg(&printer, this);
    connect(&dlg, &QPrintPreviewDialog::paintRequested, editor_, &CFernlinkView::printTo);
    dlg.exec();
}

void CMainFrame::printSetup()
{
    QPrinter printer;
    QPageSetupDialog dlg(&printer, this);
    dlg.exec();
}

bool CMainFrame::mayHideToTray() const
{
    return options_.assumeTray || (tray_ && tray_->isVisible());
}

void CMainFrame::showFromTray()
{
    showNormal();
    raise();
    activateWindow();
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    const QString refusal = refusalForClose();
    if (!refusal.isEmpty()) {
        hub_->prompter.inform(Severity::Warning, refusal);
        event->ignore();
        return;
    }
    if (!maybeSave()) {
        event->ignore();
        return;
    }
    // The log is worth a word but not worth keeping the program open for.
    if (!hub_->userLog().save())
        hub_->prompter.inform(Severity::Error, hub_->text(Msg::FileNotSaved).arg(hub_->userLog().lastError()));
    if (tray_)
        tray_->hide();
    event->accept();
    Q_EMIT windowClosed();
}

void CMainFrame::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    // Minimising sends the window to the tray; it lives on there.
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized) && mayHideToTray())
        QTimer::singleShot(0, this, [this] { hide(); });
}

bool CMainFrame::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate && current_ == PageEditor)
        QTimer::singleShot(0, editor_, [this] { editor_->checkFileChanged(); });
    return QMainWindow::event(event);
}

}  // namespace vantor::fernlink::ui
