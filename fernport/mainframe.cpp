// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernport/mainframe.h"

#include <utility>

#include "common/archive.h"
#include "common/gbk.h"
#include "common/logging.h"
#include "common/ui/messageboxprompter.h"
#include "common/ui/nceditor.h"
#include "fernport/messages.h"
#include "serialcore/controllernames.h"
#include "serialcore/serialwire.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QMenu>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace vantor::fernport {

namespace {

QString qs(const char* latin1) { return QString::fromLatin1(latin1); }

// Fernport has always written every slot, an unused one empty; its profile keeps that form.
RecentFilesForm recentForm()
{
    RecentFilesForm form;
    form.writeUnusedSlots = true;
    form.greyWhenEmpty = true;
    return form;
}
}  // namespace

CMainFrame::CMainFrame(FernportSettings& settings, Prompter* prompter, QWidget* parent)
    : QMainWindow(parent), settings_(settings)
{
    if (!prompter) {
        ownPrompter_ = std::make_unique<MessageBoxPrompter>(this);
        prompter = ownPrompter_.get();
    }
    prompter_ = prompter;
    setObjectName(QStringLiteral("FernportMainFrame"));

    askPortSetup_ = [this](const QString& port, int baud) -> std::optional<PortChoice> {
        CCommSetupDlg dlg(port, baud, this);
        if (dlg.exec() != QDialog::Accepted)
            return std::nullopt;
        return dlg.choice();
    };
    askOpenFile_ = [this] { return QFileDialog::getOpenFileName(this, tr("Open"), {}, qs(msg::kNcFileFilter)); };
    askSaveFile_ = [this] { return QFileDialog::getSaveFileName(this, tr("Save As"), path_, qs(msg::kNcFileFilter)); };
    askPartition_ = [this]() -> std::optional<PartChoice> {
        CPartSelDlg dlg(this);
        if (dlg.exec() != QDialog::Accepted)
            return std::nullopt;
        return dlg.choice();
    };
    askFiles_ = [this](PartChoice part) {
        return QFileDialog::getOpenFileNames(this, tr("Add File"), {},
                                             qs(part == PartChoice::Sys ? msg::kSysPartFilter : msg::kUserPartFilter));
    };
    askFolder_ = [this] { return QFileDialog::getExistingDirectory(this, qs(msg::kSelectFolder)); };
    askRename_ = [this](const QString& oldName) -> std::optional<QString> {
        CRenameDlg dlg(oldName, this);
        if (dlg.exec() != QDialog::Accepted)
            return std::nullopt;
        return dlg.newName();
    };
    askHeader_ = [this](const QString& current) -> std::optional<QString> {
        bool ok = false;
        const QString text = QInputDialog::getMultiLineText(this, qs(msg::kCaptionDnc), qs(msg::kDncHeaderPrompt), current, &ok);
        if (!ok)
            return std::nullopt;
        return text;
    };
    dncLog_ = DncLog(DncLog::defaultFolder());
    restart_ = settings_.dncRestartPoint();

    link_.setWriter([this](const QByteArray& bytes) {
        if (comm_.isOpen())
            comm_.write(bytes);
    });
    link_.setPurger([this] { comm_.purge(); });
    link_.setTimerHandler([this](int id) { receiveFlow_->onTimer(id); });
    session_ = std::make_unique<SerialSession>(SerialSession{link_, *prompter_});
    sendFlow_ = std::make_unique<SendFlow>(*session_, static_cast<TransferView&>(*this));
    sendFlow_->setRenameAsker([this](const QString& oldName) { return askRename_(oldName); });
    receiveFlow_ = std::make_unique<ReceiveFlow>(*session_, static_cast<TransferView&>(*this));
    dncXModem_ = std::make_unique<CXModem>(link_, static_cast<XModemObserver&>(*this), XModemVariant::Fernport);

    sendDlg_ = new CSendFileDlg(*sendFlow_, this);
    connect(sendDlg_, &CSendFileDlg::addRequested, this, &CMainFrame::addFileCommand);
    connect(sendDlg_, &CSendFileDlg::sendRequested, this, &CMainFrame::sendCommand);
    connect(sendDlg_, &CSendFileDlg::removeRequested, this, [this](QList<int> rows) { sendFlow_->removeEntries(rows); });
    connect(sendDlg_, &CSendFileDlg::clearRequested, this, [this] { sendFlow_->clearList(); });
    receiveDlg_ = new CReceiveFileDlg(*receiveFlow_, this);
    connect(receiveDlg_, &CReceiveFileDlg::getListRequested, this, &CMainFrame::getListCommand);
    connect(receiveDlg_, &CReceiveFileDlg::receiveRequested, this, &CMainFrame::receiveCommand);

    editor_ = new NcEditor(this);
    editor_->setObjectName(QStringLiteral("CCommView"));
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    editor_->setFont(mono);
    setCentralWidget(editor_);
    connect(editor_, &NcEditor::modificationChanged, this, [this] { updateTitle(); });

    buildActions();
    statusBar()->showMessage(tr("Ready"));

    dncTimer_ = new QTimer(this);
    dncTimer_->setInterval(1000);
    connect(dncTimer_, &QTimer::timeout, this, &CMainFrame::onDncTick);
    pumpTimer_ = new QTimer(this);
    pumpTimer_->setSingleShot(true);
    pumpTimer_->setTimerType(Qt::PreciseTimer);
    connect(pumpTimer_, &QTimer::timeout, this, &CMainFrame::pumpXonXoff);
    connect(&comm_, &CVantorComm::received, this, &CMainFrame::onReceived);

    protocol_ = settings_.dncProtocol();
    protocolXonXoff_->setChecked(protocol_ == DncProtocol::XonXoff);
    protocolXModem_->setChecked(protocol_ == DncProtocol::XModem);
    setDncHeaderMode(settings_.dncHeaderMode());
    updateTitle();
    resize(900, 640);
}

CMainFrame::~CMainFrame()
{
    if (xonxoff_)
        xonxoff_->requestStop();
    link_.clear();
    comm_.close();
    delete dncDlg_.data();
    delete closingDnc_.data();
}

void CMainFrame::buildActions()
{
    QStyle* st = style();
    QMenu* file = menuBar()->addMenu(tr("&File"));
    auto add = [this](QMenu* menu, const QString& text, QKeySequence keys, auto slot, const QIcon& icon = {}) {
        QAction* a = menu->addAction(icon, text);
        if (!keys.isEmpty())
            a->setShortcut(keys);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    QAction* newAct = add(file, tr("&New"), QKeySequence::New, [this] { newDocument(); }, st->standardIcon(QStyle::SP_FileIcon));
    newAct->setObjectName(QStringLiteral("actionNew"));
    QAction* openAct = add(file, tr("&Open..."), QKeySequence::Open, [this] {
        if (!maybeSave())
            return;
        const QString path = askOpenFile_();
        if (!path.isEmpty())
            openDocument(path);
    }, st->standardIcon(QStyle::SP_DialogOpenButton));
    QAction* saveAct = add(file, tr("&Save"), QKeySequence::Save, [this] { saveDocument(); }, st->standardIcon(QStyle::SP_DialogSaveButton));
    add(file, tr("Save &As..."), {}, [this] {
        const QString path = askSaveFile_();
        if (!path.isEmpty())
            saveDocumentAs(path);
    });
    file->addSeparator();
    QAction* printAct = add(file, tr("&Print..."), QKeySequence::Print, [this] { printDocument(); });
    add(file, tr("Print Pre&view"), {}, [this] { printPreview(); });
    add(file, tr("P&rint Setup..."), {}, [this] { printSetup(); });
    file->addSeparator();
    recentMenu_ = file->addMenu(tr("Recent File"));
    recent_ = std::make_unique<RecentFileList>(QStringLiteral("Local AppWizard-Generated Applications"),
                                               QStringLiteral("Fernport"), recentForm());
    recent_->showIn(recentMenu_, [this](const QString& f) {
        if (maybeSave())
            openDocument(f);
    });
    file->addSeparator();
    add(file, tr("E&xit"), {}, [this] { close(); });

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    add(edit, tr("&Undo"), QKeySequence::Undo, [this] { editor_->undo(); });
    edit->addSeparator();
    QAction* cutAct = add(edit, tr("Cu&t"), QKeySequence::Cut, [this] { editor_->cut(); });
    QAction* copyAct = add(edit, tr("&Copy"), QKeySequence::Copy, [this] { editor_->copy(); });
    QAction* pasteAct = add(edit, tr("&Paste"), QKeySequence::Paste, [this] { editor_->paste(); });
    add(edit, tr("Paste &Special..."), {}, [this] { editor_->paste(); });
    edit->addSeparator();
    add(edit, tr("Select A&ll"), QKeySequence::SelectAll, [this] { editor_->selectAll(); });
    add(edit, tr("&Find..."), QKeySequence::Find, [this] { showFind(false); });
    add(edit, tr("F&ind Next"), QKeySequence(Qt::Key_F3), [this] {
        if (find_ && find_->hasPattern())
            find_->findNext();
        else
            showFind(false);
    });
    add(edit, tr("R&eplace"), QKeySequence(Qt::CTRL | Qt::Key_H), [this] { showFind(true); });

    QMenu* port = menuBar()->addMenu(tr("&Series Port"));
    QAction* setup = add(port, tr("&Setup"), {}, [this] { setPortCommand(); });
    setup->setStatusTip(qs(msg::kPromptSetup));

    QMenu* op = menuBar()->addMenu(tr("&Operation"));
    QAction* send = add(op, tr("&Send File"), {}, [this] { sendFileCommand(); });
    send->setStatusTip(qs(msg::kPromptSend));
    QAction* receive = add(op, tr("&Receive FIle"), {}, [this] { receiveFileCommand(); });
    receive->setStatusTip(qs(msg::kPromptReceive));
    QAction* dnc = add(op, tr("&DNC Communication"), {}, [this] { dncCommand(); });
    dnc->setStatusTip(qs(msg::kPromptDnc));
    QMenu* proto = op->addMenu(tr("DNC &Protocol"));
    protocolXonXoff_ = add(proto, tr("Xon/Xoff"), {}, [this] { setDncProtocol(DncProtocol::XonXoff); });
    protocolXModem_ = add(proto, tr("XModem"), {}, [this] { setDncProtocol(DncProtocol::XModem); });
    protocolXonXoff_->setCheckable(true);
    protocolXModem_->setCheckable(true);
    QAction* fromLine = add(op, tr("DNC From &Line..."), {}, [this] { dncFromLineCommand(); });
    fromLine->setObjectName(QStringLiteral("actionDncFromLine"));
    QMenu* header = op->addMenu(tr("DNC Start &Header"));
    headerNone_ = add(header, tr("&None"), {}, [this] { setDncHeaderMode(dnc::HeaderMode::None); });
    headerProgramStart_ = add(header, tr("&Program Start (up to the first motion)"), {},
                              [this] { setDncHeaderMode(dnc::HeaderMode::ProgramStart); });
    headerCustom_ = add(header, tr("&Custom..."), {}, [this] { customHeaderCommand(); });
    for (QAction* a : {headerNone_, headerProgramStart_, headerCustom_})
        a->setCheckable(true);

    QMenu* view = menuBar()->addMenu(tr("&View"));
    QMenu* help = menuBar()->addMenu(tr("&Help"));
    QAction* about = add(help, tr("&About CommQ5A..."), {}, [this] {
        QMessageBox::about(this, tr("About Fernport"),
                           tr("<b>Fernport</b><br>Version %1<br>Serial file transfer, DNC and NC editing for Vantor controllers.")
                               .arg(QApplication::applicationVersion()));
    });

    // Standard toolbar.
    QToolBar* standard = addToolBar(tr("Standard"));
    standard->setObjectName(QStringLiteral("standardToolbar"));
    standard->setIconSize(QSize(16, 15));
    cutAct->setIcon(st->standardIcon(QStyle::SP_DialogDiscardButton));
    copyAct->setIcon(st->standardIcon(QStyle::SP_FileDialogContentsView));
    pasteAct->setIcon(st->standardIcon(QStyle::SP_DialogApplyButton));
    printAct->setIcon(st->standardIcon(QStyle::SP_DriveHDIcon));
    about->setIcon(st->standardIcon(QStyle::SP_MessageBoxInformation));
    for (QAction* a : {newAct, openAct, saveAct})
        standard->addAction(a);
    standard->addSeparator();
    for (QAction* a : {cutAct, copyAct, pasteAct})
        standard->addAction(a);
    standard->addSeparator();
    standard->addAction(printAct);
    standard->addAction(about);
    standard->addSeparator();
    auto* systemSlot = new QWidget(standard);
    auto* sl = new QHBoxLayout(systemSlot);
    sl->setContentsMargins(4, 0, 4, 0);
    sl->addWidget(new QLabel(tr("System:"), systemSlot));
    system_ = new QComboBox(systemSlot);
    system_->setObjectName(QStringLiteral("CSeleteBar"));
    for (const char* model : kControllerModels)
        system_->addItem(qs(model));
    const int stored = system_->findText(settings_.system());
    system_->setCurrentIndex(stored >= 0 ? stored : 0);
    connect(system_, &QComboBox::currentTextChanged, this, [this](const QString& text) { settings_.storeSystem(text); });
    system_->setMinimumWidth(150);
    sl->addWidget(system_);
    standard->addWidget(systemSlot);

    // Large toolbar with text labels under the buttons.
    QToolBar* large = new QToolBar(tr("Operation"), this);
    large->setObjectName(QStringLiteral("largeToolbar"));
    large->setIconSize(QSize(32, 32));
    large->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    addToolBarBreak();
    addToolBar(large);
    auto* logo = new QLabel(large);
    logo->setObjectName(QStringLiteral("CLogoDlg"));
    logo->setFixedSize(80, 80);
    logo->setAlignment(Qt::AlignCenter);
    logo->setText(QStringLiteral("<b style='font-size:18pt;color:#1b5e20'>FP</b>"));
    large->addWidget(logo);
    QAction* dncBtn = large->addAction(st->standardIcon(QStyle::SP_MediaPlay), tr("DNC Communic"));
    connect(dncBtn, &QAction::triggered, this, [this] { dncCommand(); });
    QAction* sendBtn = large->addAction(st->standardIcon(QStyle::SP_ArrowUp), tr("Send File"));
    connect(sendBtn, &QAction::triggered, this, [this] { sendFileCommand(); });
    QAction* recvBtn = large->addAction(st->standardIcon(QStyle::SP_ArrowDown), tr("Receive File"));
    connect(recvBtn, &QAction::triggered, this, [this] { receiveFileCommand(); });
    QAction* portBtn = large->addAction(st->standardIcon(QStyle::SP_ComputerIcon), tr("Set Port"));
    connect(portBtn, &QAction::triggered, this, [this] { setPortCommand(); });
    auto* state = new QWidget(large);
    state->setObjectName(QStringLiteral("CStateDlg"));
    state->setMinimumSize(160, 80);  // wider for the long device paths of Linux
    auto* stl = new QVBoxLayout(state);
    portLine_ = new QLabel(qs(msg::kPortUnknown), state);
    baudLine_ = new QLabel(qs(msg::kBaudUnknown), state);
    stl->addWidget(portLine_);
    stl->addWidget(baudLine_);
    large->addWidget(state);

    view->addAction(standard->toggleViewAction());
    view->addAction(large->toggleViewAction());
    QAction* statusAct = view->addAction(tr("&Status Bar"));
    statusAct->setCheckable(true);
    statusAct->setChecked(true);
    connect(statusAct, &QAction::toggled, this, [this](bool on) { statusBar()->setVisible(on); });
}

void CMainFrame::startUp(std::optional<PortChoice> sessionPort)
{
    if (comm_.isOpen())
        return;
    const bool opened = sessionPort ? openPort(sessionPort->name, sessionPort->baud, false)
                                    : openPort(settings_.port(), settings_.baudRate());
    if (!opened)
        prompter_->inform(Severity::Warning, portFailureText());
}

bool CMainFrame::openPort(const QString& name, int baud, bool remember)
{
    comm_.close();
    comm_.setPort(name, baud);
    if (!comm_.open()) {
        statusBar()->showMessage(comm_.lastError(), 5000);
        return false;
    }
    watchPortErrors();
    portLine_->setText(QStringLiteral("Port:") + name);
    baudLine_->setText(QString::asprintf("Baud:%d", baud));
    if (remember)
        settings_.storePort(name, baud);
    return true;
}

QString CMainFrame::portFailureText() const
{
    // The status bar would cut the remedy off; the message box shows it whole.
    if (!comm_.lastErrorIsPermission())
        return qs(msg::kUnableToOpenPort);
    return qs(msg::kUnableToOpenPort) + QStringLiteral("\n\n")
           + qs(msg::kPortNeedsDialout).arg(comm_.portName(), qEnvironmentVariable("USER", QStringLiteral("$USER")));
}

QString CMainFrame::portStateText() const
{
    return portLine_->text() + QLatin1Char('\n') + baudLine_->text();
}

bool CMainFrame::ensurePortOpen()
{
    if (comm_.isOpen())
        return true;
    const auto choice = askPortSetup_(comm_.portName(), comm_.baudRate());
    if (choice && openPort(choice->name, choice->baud))
        return true;
    prompter_->inform(Severity::Error, portFailureText(), qs(msg::kCaptionError));
    return false;
}

void CMainFrame::setPortCommand()
{
    if (dncActive_)
        return;
    const auto choice = askPortSetup_(comm_.portName(), comm_.baudRate());
    if (!choice)
        return;
    if (!openPort(choice->name, choice->baud))
        prompter_->inform(Severity::Error, portFailureText(), qs(msg::kCaptionError));
}

void CMainFrame::sendFileCommand()
{
    if (dncActive_)
        return;
    session_->family = familyFromSystemText(system_->currentText());
    if (!ensurePortOpen())
        return;
    sendDlg_->refresh();
    sendDlg_->open();
}

void CMainFrame::receiveFileCommand()
{
    if (dncActive_)
        return;
    if (!ensurePortOpen())
        return;
    receiveDlg_->refresh();
    receiveDlg_->open();
}

void CMainFrame::addFileCommand()
{
    if (sendFlow_->active())
        return;
    const auto part = askPartition_();
    if (!part)
        return;
    if (*part == PartChoice::Upgrade) {
        const QString folder = askFolder_();
        if (!folder.isEmpty())
            sendFlow_->addUpgradeFolder(folder);
        return;
    }
    const QStringList files = askFiles_(*part);
    if (!files.isEmpty())
        sendFlow_->addFiles(files, QLatin1String(*part == PartChoice::Sys ? wire::kPartSys : wire::kPartUser));
}

void CMainFrame::sendCommand()
{
    if (sendFlow_->active())
        return;
    const bool editedOnly = sendDlg_->editedOnly();
    if (!editedOnly && sendFlow_->entries().empty())
        return;
    sendDlg_->hide();
    const bool started = editedOnly ? sendFlow_->startEdited(path_) : sendFlow_->start();
    if (!started) {
        sendDlg_->open();
        return;
    }
    if (processDlg_)
        processDlg_->show();
}

void CMainFrame::getListCommand()
{
    if (receiveFlow_->listing() || receiveFlow_->receiving())
        return;
    receiveDlg_->setBusy(true);
    receiveFlow_->getList();
}

void CMainFrame::receiveCommand()
{
    if (receiveFlow_->listing() || receiveFlow_->receiving())
        return;
    const QList<int> rows = receiveDlg_->selectedRows();
    if (rows.isEmpty())
        return;
    const QString folder = askFolder_();
    if (folder.isEmpty())
        return;
    receiveDlg_->hide();
    if (!receiveFlow_->receive(rows, folder))
        receiveDlg_->open();
}

void CMainFrame::cancelSending()
{
    if (!(dncXModemRun_ || sendFlow_->active()))
        return;
    if (prompter_->ask(qs(msg::kEndCommunication), Buttons::YesNo, qs(dncXModemRun_ ? msg::kCaptionDnc : msg::kCaptionSend))
        != Answer::Yes)
        return;
    if (dncXModemRun_) {
        link_.clear();
        dncXModem_->cancelSend();
        recordInterruption(xmodemTaken_, xmodemSent_, qs(msg::kDncReasonCancelled));
        finishDncXModem();
        return;
    }
    sendFlow_->cancel();
}

void CMainFrame::cancelReceiving()
{
    if (!receiveFlow_->receiving())
        return;
    if (prompter_->ask(qs(msg::kEndCommunication), Buttons::YesNo, qs(msg::kCaptionReceive)) != Answer::Yes)
        return;
    receiveFlow_->cancel();
}

void CMainFrame::ensureProcessDlg()
{
    if (!processDlg_) {
        processDlg_ = new CProcessDlg(this);
        connect(processDlg_, &CProcessDlg::cancelRequested, this, &CMainFrame::cancelSending);
    }
    processDlg_->show();
    processDlg_->raise();
}

void CMainFrame::destroyProcessDlg()
{
    if (!processDlg_)
        return;
    processDlg_->hide();
    processDlg_->deleteLater();
    processDlg_ = nullptr;
}

void CMainFrame::entryChanged(int index)
{
    sendDlg_->refreshEntry(index);
    receiveDlg_->refreshEntry(index);
}

void CMainFrame::listChanged()
{
    sendDlg_->refresh();
    receiveDlg_->refresh();
}

void CMainFrame::progressReset(const QString& name, const QString& partition)
{
    ensureProcessDlg();
    processDlg_->reset(name, partition);
}

void CMainFrame::progressTotal(int totalBlocks)
{
    if (processDlg_)
        processDlg_->setTotal(totalBlocks);
}

void CMainFrame::progressStep(int position)
{
    if (processDlg_)
        processDlg_->step(position);
}

void CMainFrame::progressNak()
{
    if (processDlg_)
        processDlg_->countNak();
}

void CMainFrame::receivingFile(const QString& name, const QString& folder)
{
    if (!receivingDlg_) {
        receivingDlg_ = new CReceivingDlg(this);
        connect(receivingDlg_, &CReceivingDlg::cancelRequested, this, &CMainFrame::cancelReceiving);
    }
    receivingDlg_->setFile(name, QDir::toNativeSeparators(folder + QLatin1Char('/')));
    receivingDlg_->show();
}

void CMainFrame::receivedGood()
{
    if (receivingDlg_)
        receivingDlg_->countGood();
}

void CMainFrame::receivedBad()
{
    if (receivingDlg_)
        receivingDlg_->countBad();
}

void CMainFrame::sendDone()
{
    destroyProcessDlg();
    sendDlg_->refresh();
    sendDlg_->open();
}

void CMainFrame::receiveDone()
{
    if (receivingDlg_) {
        receivingDlg_->hide();
        receivingDlg_->deleteLater();
        receivingDlg_ = nullptr;
    }
    receiveDlg_->refresh();
    receiveDlg_->open();
}

void CMainFrame::listingDone(bool)
{
    receiveDlg_->setBusy(false);
}

void CMainFrame::newDocument()
{
    if (dncActive_ || !maybeSave())
        return;
    editor_->clear();
    format_.reset();
    path_.clear();
    updateTitle();
}

bool CMainFrame::openDocument(const QString& path)
{
    if (dncActive_)
        return false;
    QString why;
    if (!loadNcFile(*editor_, format_, path, &why)) {
        prompter_->inform(Severity::Error, qs(msg::kFileCannotBeOpen).arg(path));
        return false;
    }
    path_ = QFileInfo(path).absoluteFilePath();
    recent_->add(path_);
    updateTitle();
    return true;
}

bool CMainFrame::saveDocument()
{
    if (path_.isEmpty()) {
        const QString path = askSaveFile_();
        return !path.isEmpty() && saveDocumentAs(path);
    }
    return saveDocumentAs(path_);
}

bool CMainFrame::saveDocumentAs(const QString& path)
{
    // The program's bytes are the program: its encoding and line ends are written back as
    // read, and a character the encoding cannot hold stops the save before anything is written.
    const NcSaveResult saved = saveNcFile(*editor_, format_, path);
    if (saved.badLine > 0) {
        const QString encoding = format_.format().encoding == NcTextFormat::Encoding::Utf8
                                     ? QStringLiteral("UTF-8") : QStringLiteral("GBK");
        prompter_->inform(Severity::Error, qs(msg::kSaveUnencodable)
                                               .arg(path, QString::number(saved.badLine), saved.badCharacter, encoding));
        return false;
    }
    if (!saved.ok) {
        prompter_->inform(Severity::Error, tr("Can not save %1: %2").arg(path, saved.writeError));
        return false;
    }
    path_ = QFileInfo(path).absoluteFilePath();
    recent_->add(path_);
    updateTitle();
    return true;
}

bool CMainFrame::maybeSave()
{
    if (!editor_->isModified())
        return true;
    const Answer a = prompter_->ask(tr("Save changes to %1?").arg(path_.isEmpty() ? tr("Untitled") : QFileInfo(path_).fileName()),
                                    Buttons::YesNoCancel);
    if (a == Answer::Cancel)
        return false;
    return a == Answer::No || saveDocument();
}

void CMainFrame::updateTitle()
{
    const QString name = path_.isEmpty() ? tr("Untitled") : QFileInfo(path_).fileName();
    setWindowTitle(name + (editor_->isModified() ? QStringLiteral("*") : QString()) + QStringLiteral(" - Fernport"));
}

QStringList CMainFrame::recentFiles() const
{
    return recent_->files();
}

void CMainFrame::printDocument()
{
    QPrinter printer;
    printer.setPageMargins(QMarginsF(0.5, 0.5, 0.5, 0.5), QPageLayout::Inch);
    QPrintDialog dlg(&printer, this);
    if (dlg.exec() == QDialog::Accepted)
        editor_->print(&printer);
}

void CMainFrame::printPreview()
{
    QPrinter printer;
    printer.setPageMargins(QMarginsF(0.5, 0.5, 0.5, 0.5), QPageLayout::Inch);
    QPrintPreviewDialog dlg(&printer, this);
    connect(&dlg, &QPrintPreviewDialog::paintRequested, editor_, [this](QPrinter* p) { editor_->print(p); });
    dlg.exec();
}

void CMainFrame::printSetup()
{
    QPrinter printer;
    QPageSetupDialog dlg(&printer, this);
    dlg.exec();
}

void CMainFrame::showFind(bool replace)
{
    if (!find_)
        find_ = new FindReplaceDlg(editor_, replace, this);
    find_->setReplaceMode(replace);
    find_->show();
    find_->raise();
    find_->activateWindow();
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    // Exit during an XON/XOFF run is its Cancel: Yes ends the run and the program, No keeps both.
    if (dncActive_ && xonxoff_ && !dncAsking_) {
        cancelDnc();
        if (dncActive_) {
            // Yes lets the line being sent finish first; the window closes when the run has ended.
            closeAfterDnc_ = xonxoff_ && xonxoff_->stoppedByUser();
            event->ignore();
            return;
        }
    }
    if (dncActive_ || sendFlow_->active() || receiveFlow_->receiving() || !maybeSave()) {
        event->ignore();
        return;
    }
    // The port goes with the window: the program must not outlive it holding the line.
    comm_.close();
    // So does the window a cut-off run left open: it has no parent, and would keep the
    // program running without its main window.
    if (closingDnc_)
        closingDnc_->closeForGood();
    event->accept();
}

}  // namespace vantor::fernport
