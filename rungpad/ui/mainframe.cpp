// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/ui/mainframe.h"

#include "common/datapaths.h"

#include "common/ui/messageboxprompter.h"
#include "rungpad/files/filemessages.h"
#include "rungpad/files/ladderfile.h"
#include "rungpad/files/languagesetting.h"
#include "rungpad/model/comments.h"
#include "rungpad/ui/errorlocation.h"
#include "rungpad/ui/ladderprint.h"
#include "rungpad/ui/outputwindows.h"
#include "rungpad/ui/reviewfeatures.h"
#include "rungpad/ui/rungpaddialogs.h"
#include "rungpad/ui/rungpaddoc.h"
#include "rungpad/ui/rungpadview.h"
#include "rungpad/ui/simulationmode.h"
#include "rungpad/ui/uitexts.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>

namespace rungpad::ui {

namespace {

// Shortcuts as plain values: a QKeySequence cannot be built before the application is.
struct Keys {
    QKeySequence::StandardKey standard = QKeySequence::UnknownKey;
    int key = 0;
    bool ctrl = false;
    bool shift = false;
};

struct CommandText {
    CMainFrame::Command command;
    UiText text;
    Keys keys;
};

// clang-format off
const CommandText kCommands[] = {
    {CMainFrame::New, UiText::FileNew, {QKeySequence::New}},
    {CMainFrame::Open, UiText::FileOpen, {QKeySequence::Open}},
    {CMainFrame::Close, UiText::FileClose, {}},
    {CMainFrame::Save, UiText::FileSave, {QKeySequence::Save}},
    {CMainFrame::SaveAs, UiText::FileSaveAs, {}},
    {CMainFrame::GenerateLadder, UiText::GenerateLadder, {}},
    {CMainFrame::GenerateOldLadder, UiText::GenerateOldLadder, {}},
    {CMainFrame::GenerateBinary, UiText::GenerateBinary, {}},
    {CMainFrame::GenerateList, UiText::GenerateInstructionList, {QKeySequence::UnknownKey, Qt::Key_M, true}},
    {CMainFrame::ImportNotation, UiText::ImportNotation, {}},
    {CMainFrame::ExportNotation, UiText::ExportNotation, {}},
    {CMainFrame::Print, UiText::Print, {QKeySequence::Print}},
    {CMainFrame::PrintPreview, UiText::PrintPreview, {}},
    {CMainFrame::PageSetup, UiText::PageSetup, {}},
    {CMainFrame::ExportPdf, UiText::ExportPdf, {}},
    {CMainFrame::Exit, UiText::Exit, {}},
    {CMainFrame::Convert, UiText::Convert, {QKeySequence::UnknownKey, Qt::Key_F7}},
    {CMainFrame::LadderInformation, UiText::LadderInformation, {}},
    {CMainFrame::ViewToolBar, UiText::ToolBar, {}},
    {CMainFrame::ViewLadderToolBar, UiText::LadderToolBar, {}},
    {CMainFrame::ViewStatusBar, UiText::StatusBar, {}},
    {CMainFrame::ViewOutput, UiText::OutputWindow, {}},
    {CMainFrame::ViewNotation, UiText::NotationWindow, {}},
    {CMainFrame::ViewList, UiText::InstructionListWindow, {}},
    {CMainFrame::ZoomIn, UiText::ZoomIn, {QKeySequence::ZoomIn}},
    {CMainFrame::ZoomOut, UiText::ZoomOut, {QKeySequence::ZoomOut}},
    {CMainFrame::ZoomReset, UiText::ZoomReset, {QKeySequence::UnknownKey, Qt::Key_0, true}},
    {CMainFrame::LanguageChinese, UiText::LanguageChinese, {}},
    {CMainFrame::LanguageEnglish, UiText::LanguageEnglish, {}},
    {CMainFrame::Cascade, UiText::WindowCascade, {}},
    {CMainFrame::Tile, UiText::WindowTile, {}},
    {CMainFrame::CloseAll, UiText::WindowCloseAll, {}},
    {CMainFrame::About, UiText::About, {}},
    {CMainFrame::Undo, UiText::EditUndo, {QKeySequence::UnknownKey, Qt::Key_Z, true}},
    {CMainFrame::Redo, UiText::EditRedo, {QKeySequence::UnknownKey, Qt::Key_Y, true}},
    {CMainFrame::Cut, UiText::EditCut, {QKeySequence::UnknownKey, Qt::Key_X, true}},
    {CMainFrame::Copy, UiText::EditCopy, {QKeySequence::UnknownKey, Qt::Key_C, true}},
    {CMainFrame::Paste, UiText::EditPaste, {QKeySequence::UnknownKey, Qt::Key_V, true}},
    {CMainFrame::PlaceContactNO, UiText::ContactNO, {QKeySequence::UnknownKey, Qt::Key_Q, true}},
    {CMainFrame::PlaceContactNC, UiText::ContactNC, {QKeySequence::UnknownKey, Qt::Key_W, true}},
    {CMainFrame::PlaceCoil, UiText::OutputCoil, {QKeySequence::UnknownKey, Qt::Key_E, true}},
    {CMainFrame::PlaceCoilNot, UiText::OutputCoilNot, {QKeySequence::UnknownKey, Qt::Key_R, true}},
    {CMainFrame::PlaceWire, UiText::HorizontalWire, {QKeySequence::UnknownKey, Qt::Key_G, true}},
    {CMainFrame::VerticalLink, UiText::VerticalWire, {QKeySequence::UnknownKey, Qt::Key_D, true}},
    {CMainFrame::DeleteNode, UiText::DeleteNode, {QKeySequence::UnknownKey, Qt::Key_Delete}},
    {CMainFrame::DeleteVerticalLink, UiText::DeleteVerticalWire, {QKeySequence::UnknownKey, Qt::Key_D, true, true}},
    {CMainFrame::FunctionInstruction, UiText::FunctionInstruction, {QKeySequence::UnknownKey, Qt::Key_A, true}},
    {CMainFrame::InsertLines, UiText::InsertLine, {QKeySequence::UnknownKey, Qt::Key_Insert}},
    {CMainFrame::DeleteLines, UiText::DeleteLine, {QKeySequence::UnknownKey, Qt::Key_Delete, true}},
    {CMainFrame::ModifyNotation, UiText::ModifyNotation, {QKeySequence::UnknownKey, Qt::Key_T, true}},
    {CMainFrame::EditCell, UiText::EditCell, {QKeySequence::UnknownKey, Qt::Key_F2}},
    {CMainFrame::Find, UiText::Find, {QKeySequence::UnknownKey, Qt::Key_F, true}},
    {CMainFrame::Replace, UiText::Replace, {QKeySequence::UnknownKey, Qt::Key_H, true}},
    {CMainFrame::FindNext, UiText::FindNext, {QKeySequence::UnknownKey, Qt::Key_F3}},
    {CMainFrame::FindPrevious, UiText::FindPrevious, {QKeySequence::UnknownKey, Qt::Key_F3, false, true}},
    {CMainFrame::GoToLine, UiText::GoToLine, {QKeySequence::UnknownKey, Qt::Key_L, true}},
    {CMainFrame::ViewCrossReference, UiText::CrossReferenceWindow, {}},
};
// clang-format on

// Commands that need an open document.
constexpr CMainFrame::Command kDocumentCommands[] = {
    CMainFrame::Close, CMainFrame::Save, CMainFrame::SaveAs, CMainFrame::GenerateLadder,
    CMainFrame::GenerateOldLadder, CMainFrame::GenerateBinary, CMainFrame::GenerateList,
    CMainFrame::ImportNotation, CMainFrame::ExportNotation, CMainFrame::Print, CMainFrame::PrintPreview,
    CMainFrame::ExportPdf, CMainFrame::Convert, CMainFrame::LadderInformation, CMainFrame::ZoomIn,
    CMainFrame::ZoomOut, CMainFrame::ZoomReset, CMainFrame::Cascade, CMainFrame::Tile, CMainFrame::CloseAll,
};

// The bars' places and sizes, beside the language in the editor's own profile section.
const char* kBarStateKey = "VANTORQ5RUNGPAD-SCBar/State";

QSettings profile()
{
    return QSettings(QString::fromLatin1(kSettingsOrganization), QString::fromLatin1(kSettingsApplication));
}

}  // namespace

// A document's child window: closing it asks the frame whether the document may go.
class CChildFrame : public QMdiSubWindow {
public:
    CChildFrame(CMainFrame* frame, CRungpadView* view) : m_frame(frame), m_view(view)
    {
        setAttribute(Qt::WA_DeleteOnClose);
        setWidget(view);
        // Ctrl+W places a normally-closed contact; the child closes with Ctrl+F4 only.
        if (QMenu* menu = systemMenu())
            for (QAction* a : menu->actions())
                if (a->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_W)))
                    a->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F4));
    }
    CRungpadView* view() const { return m_view; }

protected:
    void closeEvent(QCloseEvent* event) override
    {
        if (!m_frame->queryClose(m_view)) {
            event->ignore();
            return;
        }
        QMdiSubWindow::closeEvent(event);
    }

private:
    CMainFrame* m_frame;
    CRungpadView* m_view;
};

CMainFrame::CMainFrame(FrameOptions options)
    : m_prompter(options.prompter), m_dialogs(options.dialogs), m_programFolder(options.programFolder),
      m_mdi(new QMdiArea(this))
{
    if (!m_dialogs) {
        m_ownDialogs = std::make_unique<WidgetDialogs>();
        m_dialogs = m_ownDialogs.get();
    }
    if (m_programFolder.isEmpty()) {
        // Installed or not: the user's own copies first, then the shipped ones; a default
        // notation export goes to the user's data folder, never beside the executable.
        m_programFolder = vantor::userDataFolder(QStringLiteral("rungpad"));
        m_dataFolders = vantor::dataFolders(QStringLiteral("rungpad"));
    }
    m_language = storedLanguage();

    m_mdi->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdi->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_mdi);
    connect(m_mdi, &QMdiArea::subWindowActivated, this, [this] {
        updateCommandStates();
        updateCursorInfo();
        refreshInstructionList();
    });

    createActions();
    createMenus();
    createDocks();
    m_simulation = new SimulationMode(this, m_ladderMenu, m_ladderBar);
    m_position = new QLabel(this);
    // Wide enough for the longest position and address, so the pane never cuts them.
    m_position->setMinimumWidth(m_position->fontMetrics().horizontalAdvance(QStringLiteral("Line 0000  Col 10  X000.0000")));
    statusBar()->addPermanentWidget(m_position);
    m_review = new ReviewFeatures(this, options);
    setAcceptDrops(true);
    resize(1100, 760);
    // Where the user left the toolbars and docking windows, and how large they were.
    restoreState(profile().value(QLatin1String(kBarStateKey)).toByteArray());
    action(ViewOutput)->setChecked(!m_outputDock->isHidden());
    action(ViewNotation)->setChecked(!m_notationDock->isHidden());
    action(ViewList)->setChecked(!m_listDock->isHidden());
    action(ViewToolBar)->setChecked(!m_fileBar->isHidden());
    action(ViewLadderToolBar)->setChecked(!m_ladderBar->isHidden());
    setLanguage(m_language);
    updateCommandStates();
}

CMainFrame::~CMainFrame()
{
    // Children first: their close handlers must not reach a half-destroyed frame. The
    // docks and the area report hiding while QWidget's destructor deletes them, when this
    // object is no longer a frame: they are told to stop first.
    for (QMdiSubWindow* w : m_mdi->subWindowList())
        delete w;
    for (QObject* sender : std::initializer_list<QObject*>{m_mdi, m_outputDock, m_notationDock, m_listDock, m_xrefDock,
                                                            m_xref, m_output, m_fileBar, m_ladderBar})
        sender->disconnect(this);
}

QString CMainFrame::text(UiText id) const { return uiText(id, m_language); }

FileCommandEnvironment CMainFrame::env()
{
    FileCommandEnvironment environment{*m_prompter, *m_output, m_language, m_programFolder};
    environment.dataFolders = m_dataFolders;
    return environment;
}

void CMainFrame::createActions()
{
    for (const CommandText& c : kCommands) {
        auto* a = new QAction(this);
        if (c.keys.standard != QKeySequence::UnknownKey)
            a->setShortcut(QKeySequence(c.keys.standard));
        else if (c.keys.key)
            a->setShortcut(QKeySequence(QKeyCombination(
                (c.keys.ctrl ? Qt::ControlModifier : Qt::NoModifier) | (c.keys.shift ? Qt::ShiftModifier : Qt::NoModifier),
                Qt::Key(c.keys.key))));
        m_actions[size_t(c.command)] = a;
        const Command command = c.command;
        connect(a, &QAction::triggered, this, [this, command] { runCommand(command); });
    }
    QStyle* s = style();
    action(New)->setIcon(s->standardIcon(QStyle::SP_FileIcon));
    action(Open)->setIcon(s->standardIcon(QStyle::SP_DialogOpenButton));
    action(Save)->setIcon(s->standardIcon(QStyle::SP_DialogSaveButton));
    action(Print)->setIcon(QIcon::fromTheme(QStringLiteral("document-print")));
    action(Convert)->setIcon(s->standardIcon(QStyle::SP_MediaPlay));
    action(LadderInformation)->setIcon(s->standardIcon(QStyle::SP_FileDialogInfoView));
    action(ZoomIn)->setIcon(QIcon::fromTheme(QStringLiteral("zoom-in")));
    action(ZoomOut)->setIcon(QIcon::fromTheme(QStringLiteral("zoom-out")));
    for (Command c : {ViewToolBar, ViewLadderToolBar, ViewStatusBar, ViewOutput, ViewNotation, ViewList,
                      LanguageChinese, LanguageEnglish})
        action(c)->setCheckable(true);
    createEditActions();
    m_languageGroup = new QActionGroup(this);
    m_languageGroup->addAction(action(LanguageChinese));
    m_languageGroup->addAction(action(LanguageEnglish));
}

void CMainFrame::createMenus()
{
    m_fileMenu = menuBar()->addMenu(QString());
    for (Command c : {New, Open, Close, Save, SaveAs})
        m_fileMenu->addAction(action(c));
    m_fileMenu->addSeparator();
    for (Command c : {GenerateLadder, GenerateOldLadder, GenerateBinary, GenerateList})
        m_fileMenu->addAction(action(c));
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(action(ImportNotation));
    m_fileMenu->addAction(action(ExportNotation));
    m_fileMenu->addSeparator();
    for (Command c : {Print, PrintPreview, PageSetup, ExportPdf})
        m_fileMenu->addAction(action(c));
    m_fileMenu->addSeparator();
    m_recentMenu = m_fileMenu->addMenu(QString());
    vantor::RecentFilesForm recentForm;
    recentForm.count = kRecentFiles;
    recentForm.nativeSeparators = true;
    recentForm.greyWhenEmpty = true;
    m_recent = std::make_unique<vantor::RecentFileList>(QString::fromLatin1(kSettingsOrganization),
                                                        QString::fromLatin1(kSettingsApplication), recentForm);
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(action(Exit));

    m_editMenu = menuBar()->addMenu(QString());
    for (Command c : {Undo, Redo})
        m_editMenu->addAction(action(c));
    m_editMenu->addSeparator();
    for (Command c : {Cut, Copy, Paste})
        m_editMenu->addAction(action(c));
    m_editMenu->addSeparator();
    for (Command c : {Find, Replace, FindNext, FindPrevious, GoToLine})
        m_editMenu->addAction(action(c));

    m_ladderMenu = menuBar()->addMenu(QString());
    for (Command c : {PlaceContactNO, PlaceContactNC, PlaceCoil, PlaceCoilNot, PlaceWire, VerticalLink, DeleteNode,
                      DeleteVerticalLink})
        m_ladderMenu->addAction(action(c));
    m_ladderMenu->addSeparator();
    for (Command c : {FunctionInstruction, EditCell, InsertLines, DeleteLines, ModifyNotation})
        m_ladderMenu->addAction(action(c));
    m_ladderMenu->addSeparator();
    m_ladderMenu->addAction(action(Convert));
    m_ladderMenu->addAction(action(LadderInformation));

    m_viewMenu = menuBar()->addMenu(QString());
    for (Command c : {ViewToolBar, ViewLadderToolBar, ViewStatusBar})
        m_viewMenu->addAction(action(c));
    m_viewMenu->addSeparator();
    for (Command c : {ViewOutput, ViewNotation, ViewList, ViewCrossReference})
        m_viewMenu->addAction(action(c));
    m_viewMenu->addSeparator();
    for (Command c : {ZoomIn, ZoomOut, ZoomReset})
        m_viewMenu->addAction(action(c));

    m_languageMenu = menuBar()->addMenu(QString());
    m_languageMenu->addAction(action(LanguageChinese));
    m_languageMenu->addAction(action(LanguageEnglish));

    m_windowMenu = menuBar()->addMenu(QString());
    for (Command c : {Cascade, Tile, CloseAll})
        m_windowMenu->addAction(action(c));
    connect(m_windowMenu, &QMenu::aboutToShow, this, &CMainFrame::rebuildWindowMenu);

    m_helpMenu = menuBar()->addMenu(QString());
    m_helpMenu->addAction(action(About));

    m_fileBar = addToolBar(QString());
    m_fileBar->setObjectName(QStringLiteral("fileToolBar"));
    for (Command c : {New, Open, Save, Print})
        m_fileBar->addAction(action(c));
    m_ladderBar = addToolBar(QString());
    m_ladderBar->setObjectName(QStringLiteral("ladderToolBar"));
    for (Command c : {Convert, LadderInformation, ZoomIn, ZoomOut})
        m_ladderBar->addAction(action(c));
    m_ladderBar->addSeparator();
    for (Command c : {PlaceContactNO, PlaceContactNC, PlaceCoil, PlaceCoilNot, PlaceWire, VerticalLink})
        m_ladderBar->addAction(action(c));
    createContextMenu();
    action(ViewToolBar)->setChecked(true);
    action(ViewLadderToolBar)->setChecked(true);
    connect(m_fileBar, &QToolBar::visibilityChanged, this, [this] { action(ViewToolBar)->setChecked(!m_fileBar->isHidden()); });
    connect(m_ladderBar, &QToolBar::visibilityChanged, this,
            [this] { action(ViewLadderToolBar)->setChecked(!m_ladderBar->isHidden()); });
    action(ViewStatusBar)->setChecked(true);
    m_recent->showIn(m_recentMenu, [this](const QString& path) { openFile(path); });
    addToolbarIcons();
}

void CMainFrame::createDocks()
{
    m_output = new COutputWindow(this);
    m_list = new QPlainTextEdit(this);
    m_list->setReadOnly(true);
    m_list->setFont(fixedPitchFont());
    m_list->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_notation = new QPlainTextEdit(this);
    m_notation->setReadOnly(true);

    auto dock = [this](QWidget* content, const char* name, Qt::DockWidgetArea area) {
        auto* d = new QDockWidget(this);
        d->setObjectName(QLatin1String(name));
        d->setWidget(content);
        addDockWidget(area, d);
        return d;
    };
    m_outputDock = dock(m_output, "outputWindow", Qt::BottomDockWidgetArea);
    m_listDock = dock(m_list, "instructionListWindow", Qt::RightDockWidgetArea);
    m_notationDock = dock(m_notation, "notationWindow", Qt::BottomDockWidgetArea);
    m_xref = new QListWidget(this);
    m_xrefTimer = new QTimer(this);
    m_xrefTimer->setSingleShot(true);
    m_xrefTimer->setInterval(0);
    connect(m_xrefTimer, &QTimer::timeout, this, &CMainFrame::updateCrossReference);
    m_xref->setFont(fixedPitchFont());
    m_xrefDock = dock(m_xref, "crossReferenceWindow", Qt::RightDockWidgetArea);
    splitDockWidget(m_outputDock, m_notationDock, Qt::Horizontal);
    resizeDocks({m_outputDock}, {180}, Qt::Vertical);
    resizeDocks({m_listDock}, {300}, Qt::Horizontal);

    auto follow = [this](QDockWidget* d, Command c) {
        // Hidden by the user, not merely off screen with the frame.
        connect(d, &QDockWidget::visibilityChanged, this, [this, d, c] { action(c)->setChecked(!d->isHidden()); });
        action(c)->setChecked(true);
    };
    follow(m_outputDock, ViewOutput);
    follow(m_notationDock, ViewNotation);
    follow(m_listDock, ViewList);
    follow(m_xrefDock, ViewCrossReference);
    connect(m_xref, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) { gotoCrossReference(m_xref->row(item)); });
    connect(m_xrefDock, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        if (visible)
            updateCrossReference();
    });
    connect(m_output, &COutputWindow::wantsShowing, this, [this] {
        if (m_outputDock->isHidden())
            m_outputDock->show();
    });
    connect(m_output, &COutputWindow::lineDoubleClicked, this, &CMainFrame::gotoErrorLine);
}

void CMainFrame::retranslate()
{
    static const QRegularExpression mnemonic(QStringLiteral("\\(&.\\)|&|\\.\\.\\."));
    for (const CommandText& c : kCommands) {
        const QString t = uiText(c.text, m_language);
        action(c.command)->setText(t);
        // Toolbar buttons carry no mnemonic and no "...".
        action(c.command)->setIconText(QString(t).remove(mnemonic).trimmed());
    }
    m_fileMenu->setTitle(text(UiText::MenuFile));
    m_ladderMenu->setTitle(text(UiText::MenuLadder));
    m_viewMenu->setTitle(text(UiText::MenuView));
    m_languageMenu->setTitle(text(UiText::MenuLanguage));
    m_windowMenu->setTitle(text(UiText::MenuWindow));
    m_helpMenu->setTitle(text(UiText::MenuHelp));
    m_recentMenu->setTitle(text(UiText::MenuRecentFiles));
    m_fileBar->setWindowTitle(text(UiText::ToolBar).remove(QLatin1Char('&')));
    m_ladderBar->setWindowTitle(text(UiText::LadderToolBar).remove(QLatin1Char('&')));
    m_outputDock->setWindowTitle(text(UiText::OutputWindowTitle));
    m_notationDock->setWindowTitle(text(UiText::NotationWindowTitle));
    m_listDock->setWindowTitle(text(UiText::InstructionListTitle));
    m_xrefDock->setWindowTitle(text(UiText::CrossReferenceTitle));
    m_editMenu->setTitle(text(UiText::MenuEdit));
    m_basicMenu->setTitle(text(UiText::ContextBasic));
    m_functionMenu->setTitle(text(UiText::ContextFunction));
    m_xrefAddress.clear();
    updateCrossReference();
    if (m_review)
        m_review->retranslate();
    setWindowTitle(text(UiText::FrameTitle));
    updateToolTips();
    for (CRungpadView* v : views()) {
        v->document()->setLanguage(m_language);
        updateChildTitle(v);
    }
    if (m_simulation)
        m_simulation->retranslate();
    updateCursorInfo();
}

void CMainFrame::setLanguage(int language)
{
    m_language = language == 1 ? 1 : 0;
    storeLanguage(m_language);
    // Qt's own catalogue missing leaves only its buttons in English; ours is built in.
    m_qtTranslations.setChinese(m_language == 0);
    if (!m_prompter || m_ownPrompter) {
        m_ownPrompter = std::make_unique<vantor::MessageBoxPrompter>(this, text(UiText::FrameTitle).trimmed());
        m_prompter = m_ownPrompter.get();
    }
    action(m_language == 0 ? LanguageChinese : LanguageEnglish)->setChecked(true);
    retranslate();
}

void CMainFrame::runCommand(Command command)
{
    CRungpadView* view = activeView();
    switch (command) {
    case New: newDocument(); break;
    case Open: {
        const QString path = m_dialogs->openFileName(this, text(UiText::OpenTitle),
                                                     fileMessage(FileMessage::OpenLadderFilter, m_language));
        if (!path.isEmpty())
            openFile(path);
        break;
    }
    case Close: closeActive(); break;
    case Save: saveActive(false); break;
    case SaveAs: saveActive(true); break;
    case GenerateLadder:
    case GenerateOldLadder:
    case GenerateBinary:
    case GenerateList: generate(command); break;
    case ImportNotation: importNotation(); break;
    case ExportNotation: exportNotation(); break;
    case Print: print(); break;
    case PrintPreview: printPreview(); break;
    case PageSetup: m_dialogs->pageSetup(this, printer()); break;
    case ExportPdf: exportPdfCommand(); break;
    case Exit: close(); break;
    case Convert: convertActive(); break;
    case LadderInformation: editLadderInfo(); break;
    case ViewToolBar: m_fileBar->setVisible(action(command)->isChecked()); break;
    case ViewLadderToolBar: m_ladderBar->setVisible(action(command)->isChecked()); break;
    case ViewStatusBar: statusBar()->setVisible(action(command)->isChecked()); break;
    case ViewOutput: m_outputDock->setVisible(action(command)->isChecked()); break;
    case ViewNotation: m_notationDock->setVisible(action(command)->isChecked()); break;
    case ViewList: m_listDock->setVisible(action(command)->isChecked()); break;
    case ViewCrossReference: m_xrefDock->setVisible(action(command)->isChecked()); break;
    case ZoomIn:
        if (view)
            view->zoomIn();
        break;
    case ZoomOut:
        if (view)
            view->zoomOut();
        break;
    case ZoomReset:
        if (view)
            view->setScale(CRungpadView::kDefaultScale);
        break;
    case LanguageChinese: setLanguage(0); break;
    case LanguageEnglish: setLanguage(1); break;
    case Cascade: m_mdi->cascadeSubWindows(); break;
    case Tile: m_mdi->tileSubWindows(); break;
    case CloseAll: m_mdi->closeAllSubWindows(); break;
    case About:
        QMessageBox::about(this, text(UiText::FrameTitle), text(UiText::AboutText));
        break;
    case CommandCount: break;
    default: runEditCommand(command); break;
    }
}

void CMainFrame::updateCommandStates()
{
    const bool hasDocument = activeView() != nullptr;
    for (Command c : kDocumentCommands)
        action(c)->setEnabled(hasDocument);
    for (int c = Undo; c <= GoToLine; ++c)
        action(Command(c))->setEnabled(hasDocument);
    if (CRungpadView* view = activeView()) {
        action(Undo)->setEnabled(view->document()->undoStack()->canUndo());
        action(Redo)->setEnabled(view->document()->undoStack()->canRedo());
    }
    // The empty workspace has the shorter menu bar of the older editor.
    m_ladderMenu->menuAction()->setVisible(hasDocument);
    m_editMenu->menuAction()->setVisible(hasDocument);
    m_windowMenu->menuAction()->setVisible(hasDocument);
    if (m_simulation)
        m_simulation->lockEditing();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event)
{
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            openFile(url.toLocalFile());
    event->acceptProposedAction();
}

CRungpadView* CMainFrame::activeView() const
{
    QMdiSubWindow* w = m_mdi->activeSubWindow();
    if (!w && !m_mdi->subWindowList().isEmpty())
        w = m_mdi->currentSubWindow();
    return w ? qobject_cast<CRungpadView*>(w->widget()) : nullptr;
}

QList<CRungpadView*> CMainFrame::views() const
{
    QList<CRungpadView*> out;
    for (QMdiSubWindow* w : m_mdi->subWindowList())
        if (auto* v = qobject_cast<CRungpadView*>(w->widget()))
            out << v;
    return out;
}

QList<QMenu*> CMainFrame::menus() const
{
    return {m_fileMenu, m_ladderMenu, m_viewMenu, m_languageMenu, m_windowMenu, m_helpMenu, m_editMenu};
}

QMdiSubWindow* CMainFrame::addChild(CRungpadDoc* document)
{
    document->setLanguage(m_language);
    auto* view = new CRungpadView(document);
    document->setParent(view);
    auto* child = new CChildFrame(this, view);
    m_mdi->addSubWindow(child);
    connect(view, &CRungpadView::cursorMoved, this, [this, view] {
        if (view == activeView()) {
            updateCursorInfo();
            scheduleCrossReference();
        }
    });
    connectEditing(view);
    m_review->viewAdded(view);
    connect(document, &CRungpadDoc::modifiedChanged, this, [this, view] { updateChildTitle(view); });
    connect(document, &CRungpadDoc::pathChanged, this, [this, view] { updateChildTitle(view); });
    connect(child, &QObject::destroyed, this, [this] {
        // After the child has gone from the area's list; closing a document re-applies the
        // language, as opening does.
        QTimer::singleShot(0, this, [this] {
            updateCommandStates();
            retranslate();
        });
    });
    updateChildTitle(view);
    child->showMaximized();
    m_mdi->setActiveSubWindow(child);
    view->setFocus();
    updateCommandStates();
    updateCursorInfo();
    return child;
}

void CMainFrame::updateChildTitle(CRungpadView*)
{
    // A new path can make another window's title ambiguous: all are named again.
    updateDocumentTitles();
}

CRungpadView* CMainFrame::newDocument()
{
    m_output->clearOutput();
    auto* doc = new CRungpadDoc(++m_untitledCount);
    QMdiSubWindow* child = addChild(doc);
    retranslate();
    return qobject_cast<CRungpadView*>(child->widget());
}

bool CMainFrame::openFile(const QString& path)
{
    const QString wanted = QFileInfo(path).absoluteFilePath();
    for (QMdiSubWindow* w : m_mdi->subWindowList()) {
        auto* v = qobject_cast<CRungpadView*>(w->widget());
        if (v && v->document()->hasPath() && QFileInfo(v->document()->path()).absoluteFilePath() == wanted) {
            m_mdi->setActiveSubWindow(w);
            return true;
        }
    }
    m_output->clearOutput();
    // Loaded into a document of its own: a refused file never touches an open one, and no
    // empty window appears that Save would write over the file.
    auto doc = std::make_unique<CRungpadDoc>(0);
    if (!doc->open(path, env())) {
        if (!QFileInfo::exists(path))
            m_recent->forget(path);
        return false;
    }
    addChild(doc.release());
    m_recent->add(path);
    retranslate();
    return true;
}

bool CMainFrame::closeActive()
{
    QMdiSubWindow* w = m_mdi->activeSubWindow();
    if (!w)
        return false;
    return w->close();
}

bool CMainFrame::queryClose(CRungpadView* view)
{
    if (!view->document()->isModified())
        return true;
    for (QMdiSubWindow* w : m_mdi->subWindowList())
        if (w->widget() == view)
            m_mdi->setActiveSubWindow(w);
    const vantor::Answer answer = m_prompter->ask(
        text(UiText::SaveChanges).arg(view->document()->displayName(m_language)), vantor::Buttons::YesNoCancel);
    if (answer == vantor::Answer::Cancel)
        return false;
    if (answer == vantor::Answer::No)
        return true;
    return saveView(view, false);
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    for (CRungpadView* v : views()) {
        if (!queryClose(v)) {
            event->ignore();
            return;
        }
    }
    // Each document has had its answer; none is asked twice while the children go.
    for (QMdiSubWindow* w : m_mdi->subWindowList())
        delete w;
    profile().setValue(QLatin1String(kBarStateKey), saveState());
    event->accept();
}

QString CMainFrame::defaultFolder(CRungpadView* view) const
{
    if (view && view->document()->hasPath())
        return QFileInfo(view->document()->path()).absolutePath();
    return QDir::currentPath();
}

bool CMainFrame::saveActive(bool saveAs)
{
    CRungpadView* view = activeView();
    return view && saveView(view, saveAs);
}

bool CMainFrame::saveView(CRungpadView* view, bool saveAs)
{
    CRungpadDoc* doc = view->document();
    QString path = doc->path();
    if (saveAs || path.isEmpty()) {
        const QString proposed = doc->hasPath()
            ? path
            : QDir(defaultFolder(view)).filePath(doc->displayName(m_language) + QStringLiteral(".plf"));
        path = m_dialogs->saveFileName(this, text(UiText::SaveAsTitle), proposed,
                                       fileMessage(FileMessage::OpenLadderFilter, m_language), QStringLiteral("plf"));
        if (path.isEmpty())
            return false;
    }
    if (!m_review->confirmOverwrite(view, path))
        return false;
    LadderInfo info = doc->data().info;
    if (m_dialogs->editLadderInfo(this, info, m_language))
        doc->setInfo(info);
    m_output->clearOutput();
    if (!doc->save(path, env()))
        return false;
    m_review->documentSaved(view);
    m_recent->add(path);
    updateChildTitle(view);
    return true;
}

bool CMainFrame::convertActive()
{
    CRungpadView* view = activeView();
    if (!view)
        return false;
    m_output->clearOutput();
    m_convertedView = view;
    const bool ok = view->document()->convert(env());
    if (ok)
        showInstructionList(view->document()->instructionLines());
    else
        m_list->clear();   // never leave another ladder's list standing beside an error
    m_listView = ok ? view : nullptr;
    return ok;
}

void CMainFrame::showInstructionList(const std::vector<QByteArray>& lines)
{
    m_list->clear();
    if (m_listDock->isHidden())
        m_listDock->show();
    QString all;
    all.reserve(qsizetype(lines.size()) * 40);
    for (const QByteArray& line : lines) {
        // The "  %4d" line-number suffix is not shown.
        all += QString::fromLatin1(line.left(std::max<qsizetype>(0, line.size() - 6)));
        all += QLatin1Char('\n');
    }
    if (!all.isEmpty())
        all.chop(1);
    m_list->setPlainText(all);
}

void CMainFrame::gotoErrorLine(const QString& lineText)
{
    const auto error = parseErrorLine(lineText);
    if (!error)
        return;
    CRungpadView* view = m_convertedView ? m_convertedView.data() : activeView();
    if (!view)
        return;
    for (QMdiSubWindow* w : m_mdi->subWindowList())
        if (w->widget() == view)
            m_mdi->setActiveSubWindow(w);
    view->setCursorCell(errorCell(view->document()->ladder(), *error));
    view->setFocus();
}

void CMainFrame::updateCursorInfo()
{
    CRungpadView* view = activeView();
    if (!view) {
        m_position->clear();
        m_notation->clear();
        m_notationText.clear();
        return;
    }
    const CellPos c = view->cursorCell();
    const QByteArray address = view->cursorAddress();
    const QString position = text(UiText::StatusPosition).arg(c.line + 1, 4, 10, QLatin1Char('0')).arg(c.column + 1)
                        + (address.isEmpty() ? QString() : QStringLiteral("  ") + QString::fromLatin1(address));
    if (m_position->text() != position)
        m_position->setText(position);

    const CommentTables& comments = view->document()->data().comments;
    auto commentText = [&](const QByteArray& a) {
        const QString comment = comments.commentOf(a);
        return comment.isEmpty() ? text(UiText::NotationNone) : comment;
    };
    QStringList lines;
    if (!address.isEmpty())
        lines << text(UiText::NotationCursor).arg(QString::fromLatin1(address), commentText(address));
    lines << text(UiText::NotationLine).arg(c.line + 1, 4, 10, QLatin1Char('0'));
    const LadderRow& row = view->document()->ladder().line(c.line);
    QList<QByteArray> seen;
    for (int col = 0; col < kColumns; ++col) {
        const QByteArray a = row[col].text();
        if (a.isEmpty() || seen.contains(a) || !commentKeyOfText(a))
            continue;
        seen << a;
        lines << QStringLiteral("  %1  %2").arg(QString::fromLatin1(a), commentText(a));
    }
    // An edit reports the cursor more than once; the pane is laid out again only on a change.
    const QString notation = lines.join(QLatin1Char('\n'));
    if (notation != m_notationText) {
        m_notationText = notation;
        m_notation->setPlainText(notation);
    }
}

bool CMainFrame::requireConverted(CRungpadView* view)
{
    if (view->document()->data().isConverted())
        return true;
    m_prompter->inform(vantor::Severity::Warning, fileMessage(FileMessage::NotConverted, m_language));
    return false;
}

void CMainFrame::generate(Command command)
{
    CRungpadView* view = activeView();
    if (!view || !requireConverted(view))
        return;
    CRungpadDoc* doc = view->document();
    const QString docPath = doc->hasPath() ? doc->path()
                                           : QDir(defaultFolder(view)).filePath(doc->displayName(m_language) + QStringLiteral(".plf"));
    if (command == GenerateLadder || command == GenerateOldLadder) {
        LadderInfo info = doc->data().info;
        if (m_dialogs->editLadderInfo(this, info, m_language))
            doc->setInfo(info);
    }
    QString path;
    switch (command) {
    case GenerateLadder:
        path = m_dialogs->saveFileName(this, text(UiText::SaveAsTitle), withExtension(docPath, QStringLiteral(".grp")),
                                       fileMessage(FileMessage::LadderFileFilter, m_language), QStringLiteral("grp"));
        break;
    case GenerateOldLadder:
        path = m_dialogs->saveFileName(this, text(UiText::SaveAsTitle), withExtension(docPath, QStringLiteral(".grp")),
                                       fileMessage(FileMessage::OldLadderFileFilter, m_language), QStringLiteral("grp"));
        break;
    case GenerateBinary:
        path = m_dialogs->saveFileName(this, text(UiText::SaveAsTitle),
                                       QDir(defaultFolder(view)).filePath(QStringLiteral("Ladbin.dat")),
                                       fileMessage(FileMessage::BinaryFileFilter, m_language), QStringLiteral("dat"));
        break;
    default:
        path = m_dialogs->saveFileName(this, text(UiText::SaveAsTitle), withExtension(docPath, QStringLiteral(".txt")),
                                       fileMessage(FileMessage::InstructionListFilter, m_language), QStringLiteral("txt"));
        break;
    }
    if (path.isEmpty())
        return;
    LadderFileCommands commands = doc->commands(env());
    switch (command) {
    case GenerateLadder: commands.generateLadderFile(path); break;
    case GenerateOldLadder: commands.generateOldLadderFile(path); break;
    case GenerateBinary: commands.generateBinaryFile(path); break;
    default: commands.generateInstructionList(path); break;
    }
}

void CMainFrame::importNotation()
{
    CRungpadView* view = activeView();
    if (!view)
        return;
    const QString path = m_dialogs->openFileName(this, text(UiText::OpenTitle),
                                                 fileMessage(FileMessage::NotationImportFilter, m_language));
    if (path.isEmpty())
        return;
    if (view->document()->commands(env()).importNotation(path))
        Q_EMIT view->document()->modifiedChanged(true);
    updateCursorInfo();
}

void CMainFrame::exportNotation()
{
    CRungpadView* view = activeView();
    if (!view)
        return;
    const QString path = m_dialogs->saveFileName(this, text(UiText::SaveAsTitle),
                                                 QDir(defaultFolder(view)).filePath(QStringLiteral("LadChi01.txt")),
                                                 fileMessage(FileMessage::NotationExportFilter, m_language),
                                                 QStringLiteral("txt"));
    if (!path.isEmpty())
        view->document()->commands(env()).exportNotation(path);
}

void CMainFrame::editLadderInfo()
{
    CRungpadView* view = activeView();
    if (!view)
        return;
    LadderInfo info = view->document()->data().info;
    if (m_dialogs->editLadderInfo(this, info, m_language))
        view->document()->setInfo(info);
}

void CMainFrame::print()
{
    CRungpadView* view = activeView();
    if (!view || !m_dialogs->choosePrinter(this, printer()))
        return;
    if (!printJob(printer(), m_review->printJobFor(view)))
        m_prompter->inform(vantor::Severity::Error, text(UiText::PrintFailed));
}

void CMainFrame::printPreview()
{
    CRungpadView* view = activeView();
    if (!view)
        return;
    QPrintPreviewDialog dialog(&printer(), this);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this,
            [this, view](QPrinter* printer) { printJob(*printer, m_review->printJobFor(view)); });
    dialog.exec();
}

QPrinter& CMainFrame::printer()
{
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *m_printer;
}

bool CMainFrame::exportPdf(const QString& path)
{
    CRungpadView* view = activeView();
    if (!view)
        return false;
    QString why;
    const bool ok = exportLadderPdf(path, m_review->printJobFor(view), view->document()->displayName(m_language), &why);
    if (ok) {
        m_output->outputLine(text(UiText::PdfSaved).arg(QDir::toNativeSeparators(path)));
    } else {
        m_prompter->inform(vantor::Severity::Error, text(UiText::PdfFailed) + QLatin1Char('\n') + why);
        m_output->outputLine(text(UiText::PdfFailed));
        m_output->outputLine(why);
    }
    return ok;
}

void CMainFrame::exportPdfCommand()
{
    CRungpadView* view = activeView();
    if (!view)
        return;
    const QString docPath = view->document()->hasPath()
        ? view->document()->path()
        : QDir(defaultFolder(view)).filePath(view->document()->displayName(m_language) + QStringLiteral(".plf"));
    const QString path = m_dialogs->saveFileName(this, text(UiText::SaveAsTitle), withExtension(docPath, QStringLiteral(".pdf")),
                                                 text(UiText::PdfFilter), QStringLiteral("pdf"));
    if (!path.isEmpty())
        exportPdf(path);
}

QStringList CMainFrame::recentFiles() const
{
    return m_recent->files();
}

}  // namespace rungpad::ui
