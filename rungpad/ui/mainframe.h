// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Rungpad's frame: one child window per ladder document, two toolbars, the status bar, the
// output, notation and instruction list windows, the menus of both languages and the
// language switch. Every document command reports through the output window.
#include "common/prompter.h"
#include "common/ui/qttranslations.h"
#include "common/ui/recentfiles.h"
#include "rungpad/compiler/ladderedit.h"
#include "rungpad/files/laddercommands.h"
#include "rungpad/ui/rungpaddialogs.h"
#include "rungpad/ui/ladderclipboard.h"
#include "rungpad/ui/laddergeometry.h"
#include "rungpad/ui/uitexts.h"

#include <QMainWindow>
#include <QPointer>

#include <array>
#include <functional>
#include <memory>

class QAction;
class QActionGroup;
class QDockWidget;
class QLabel;
class QListWidget;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QPlainTextEdit;
class QPrinter;
class QTimer;
class QToolBar;

namespace rungpad::ui {

class COutputWindow;
class CRungpadDoc;
class CRungpadView;
class SimulationMode;
class ReviewFeatures;

struct FrameOptions {
    vantor::Prompter* prompter = nullptr;   // empty: message boxes
    RungpadDialogs* dialogs = nullptr;      // empty: the file and ladder dialogs
    QString programFolder;                  // Diag.mea and LadChi01.txt; empty: the standard data folders
    QString autosaveFolder;                 // empty: "autosave" in the program folder or the user's data folder
    std::function<qint64()> clock;          // milliseconds for the autosave interval; empty: a monotonic clock
};

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    enum Command {
        New, Open, Close, Save, SaveAs,
        GenerateLadder, GenerateOldLadder, GenerateBinary, GenerateList,
        ImportNotation, ExportNotation,
        Print, PrintPreview, PageSetup, ExportPdf, Exit,
        Convert, LadderInformation,
        ViewToolBar, ViewLadderToolBar, ViewStatusBar, ViewOutput, ViewNotation, ViewList,
        ZoomIn, ZoomOut, ZoomReset,
        LanguageChinese, LanguageEnglish,
        Cascade, Tile, CloseAll, About,
        // Editing.
        Undo, Redo, Cut, Copy, Paste,
        PlaceContactNO, PlaceContactNC, PlaceCoil, PlaceCoilNot, PlaceWire, VerticalLink, DeleteNode,
        DeleteVerticalLink, FunctionInstruction, InsertLines, DeleteLines, ModifyNotation, EditCell,
        Find, Replace, FindNext, FindPrevious, GoToLine, ViewCrossReference,
        CommandCount
    };
    static constexpr int kRecentFiles = 4;

    explicit CMainFrame(FrameOptions options = {});
    ~CMainFrame() override;

    int language() const { return m_language; }
    // The language command: stores LANGUAGE, retitles the frame, reloads the menus and
    // retitles the docking windows; Qt's own buttons and dialogs follow.
    void setLanguage(int language);

    CRungpadView* newDocument();
    // A refused file leaves every window and open document as it was.
    bool openFile(const QString& path);
    bool saveActive(bool saveAs = false);
    bool convertActive();
    bool exportPdf(const QString& path);
    // Closes the active child, asking to save a modified document first.
    bool closeActive();

    CRungpadView* activeView() const;
    QList<CRungpadView*> views() const;
    QAction* action(Command command) const { return m_actions[size_t(command)]; }
    QMenu* windowMenu() const { return m_windowMenu; }
    QMenu* recentMenu() const { return m_recentMenu; }
    QStringList recentFiles() const;
    QList<QMenu*> menus() const;

    COutputWindow* outputWindow() const { return m_output; }
    QPlainTextEdit* instructionListWindow() const { return m_list; }
    QPlainTextEdit* notationWindow() const { return m_notation; }
    QDockWidget* outputDock() const { return m_outputDock; }
    QDockWidget* notationDock() const { return m_notationDock; }
    QDockWidget* instructionListDock() const { return m_listDock; }
    QDockWidget* crossReferenceDock() const { return m_xrefDock; }
    QListWidget* crossReferenceList() const { return m_xref; }
    // The right-button menu of the ladder (Modify Notation, Basic and Function dictate).
    QMenu* contextMenu() const { return m_contextMenu; }
    QLabel* positionLabel() const { return m_position; }
    QMdiArea* mdiArea() const { return m_mdi; }
    SimulationMode* simulation() const { return m_simulation; }
    // Comments in the drawing, print title block and appendix, the whole-program
    // cross-reference, Compare, autosave and recovery (reviewfeatures.cpp).
    ReviewFeatures* review() const { return m_review; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    friend class CChildFrame;
    friend class SimulationMode;
    friend class ReviewFeatures;

    void createActions();
    void createMenus();
    void createDocks();
    void retranslate();
    void runCommand(Command command);
    void updateCommandStates();
    void updateCursorInfo();
    void showInstructionList(const std::vector<QByteArray>& lines);
    void gotoErrorLine(const QString& text);
    // documentwindows.cpp: the instruction list of the active document (cleared when it is
    // not current), titles that tell same-named files apart, the Window menu's documents,
    // and why a placement was refused.
    void refreshInstructionList();
    void updateDocumentTitles();
    void rebuildWindowMenu();
    void reportRefusal(const QString& reason);
    // toolbaricons.cpp: the drawn icons of the element, block and edit commands, their
    // toolbar buttons, and tooltips that keep each command's text and shortcut.
    void addToolbarIcons();
    void updateToolTips();
    QMdiSubWindow* addChild(CRungpadDoc* document);
    bool queryClose(CRungpadView* view);
    bool saveView(CRungpadView* view, bool saveAs);
    void updateChildTitle(CRungpadView* view);
    bool requireConverted(CRungpadView* view);
    void generate(Command command);
    void importNotation();
    void exportNotation();
    void editLadderInfo();
    void print();
    void printPreview();
    void exportPdfCommand();
    QString defaultFolder(CRungpadView* view) const;
    FileCommandEnvironment env();
    QString text(UiText id) const;

    // Editing (editcommands.cpp): each command is one call on the document's editor.
    void createEditActions();
    void createContextMenu();
    void runEditCommand(Command command);
    void connectEditing(CRungpadView* view);
    void showEditResult(CRungpadView* view, const EditResult& result);
    void placeElement(CRungpadView* view, quint16 kind, const QString& typed = {});
    void editCursorCell(CRungpadView* view, const QString& typed);
    void insertFunction(CRungpadView* view);
    void insertBlock(CRungpadView* view, quint16 code);
    void copyCells(CRungpadView* view, bool cut);
    void pasteCells(CRungpadView* view);
    void modifyNotation(CRungpadView* view);
    void findOrReplace(CRungpadView* view, bool replace);
    void findAgain(CRungpadView* view, bool down);
    void goToLine(CRungpadView* view);
    void updateCrossReference();
    // The list is rebuilt when the event loop is idle: a search through the whole ladder
    // need not hold up the repaint of an edit or a cursor move.
    void scheduleCrossReference();
    void gotoCrossReference(int row);

    vantor::Prompter* m_prompter;
    std::unique_ptr<vantor::Prompter> m_ownPrompter;
    RungpadDialogs* m_dialogs;
    std::unique_ptr<RungpadDialogs> m_ownDialogs;
    QString m_programFolder;
    QStringList m_dataFolders;   // where Diag.mea and LadChi01.txt are looked for first
    int m_language = 0;
    int m_untitledCount = 0;
    vantor::QtTranslations m_qtTranslations;
    // Made on first use: asking the print system for its default printer can take a while,
    // and start-up need not wait for it.
    std::unique_ptr<QPrinter> m_printer;
    QPrinter& printer();

    QMdiArea* m_mdi;
    std::array<QAction*, CommandCount> m_actions{};
    QActionGroup* m_languageGroup = nullptr;
    QMenu* m_fileMenu = nullptr;
    QMenu* m_ladderMenu = nullptr;
    QMenu* m_viewMenu = nullptr;
    QMenu* m_languageMenu = nullptr;
    QMenu* m_windowMenu = nullptr;
    QMenu* m_helpMenu = nullptr;
    QMenu* m_recentMenu = nullptr;
    std::unique_ptr<vantor::RecentFileList> m_recent;
    QMenu* m_editMenu = nullptr;
    QMenu* m_contextMenu = nullptr;
    QMenu* m_basicMenu = nullptr;
    QMenu* m_functionMenu = nullptr;
    QToolBar* m_fileBar = nullptr;
    QToolBar* m_ladderBar = nullptr;
    COutputWindow* m_output = nullptr;
    QPlainTextEdit* m_list = nullptr;
    QPlainTextEdit* m_notation = nullptr;
    QDockWidget* m_outputDock = nullptr;
    QDockWidget* m_notationDock = nullptr;
    QDockWidget* m_listDock = nullptr;
    QLabel* m_position = nullptr;
    QPointer<CRungpadView> m_convertedView;
    QPointer<CRungpadView> m_listView;   // whose instruction list the window shows
    QListWidget* m_xref = nullptr;
    QTimer* m_xrefTimer = nullptr;
    QString m_notationText;
    QDockWidget* m_xrefDock = nullptr;
    QByteArray m_xrefAddress;
    QPointer<CRungpadView> m_xrefView;
    std::vector<CellPos> m_xrefCells;
    FindRequest m_find;
    // The last copy of any document; what the system clipboard holds decides a paste.
    LadderClipboard m_clipboard;
    SimulationMode* m_simulation = nullptr;
    ReviewFeatures* m_review = nullptr;
};

}  // namespace rungpad::ui
