// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The frame's documentation and safety features, kept apart from the frame itself: comments
// in the drawing (View menu, remembered) with the cells' tooltips, the print title block and
// cross-reference appendix, the whole-program cross-reference dock and report, Window >
// Compare, autosave with recovery after a crash, and the question before a save would
// overwrite a file someone else changed. The frame calls in at a few places (a view was
// added, before and after a save, printing, language); the rest happens here.
#include "rungpad/review/autosave.h"
#include "rungpad/ui/printlayout.h"

#include <QHash>
#include <QObject>
#include <QPointer>

#include <functional>

class QAction;
class QDockWidget;
class QTimer;

namespace rungpad::ui {

class CCompareWindow;
class CCrossReferencePanel;
class CMainFrame;
class CRungpadDoc;
class CRungpadView;
struct FrameOptions;

class ReviewFeatures : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultAutosaveSeconds = 120;

    ReviewFeatures(CMainFrame* frame, const FrameOptions& options);
    ~ReviewFeatures() override;

    void retranslate();
    void viewAdded(CRungpadView* view);
    // Before a save to `path`: false when the file changed on disk since this document read
    // or wrote it and the user does not want it overwritten.
    bool confirmOverwrite(CRungpadView* view, const QString& path);
    void documentSaved(CRungpadView* view);
    PrintJob printJobFor(CRungpadView* view) const;

    // Copies every modified document whose interval has run out (the timer calls this).
    void autosaveTick();
    void setAutosaveInterval(qint64 milliseconds);
    // Offers each copy a crashed session left; the number of documents recovered.
    int offerRecovery();
    AutosaveStore& autosaveStore() { return m_store; }
    QString autosaveKey(CRungpadView* view) const;

    // Window > Compare with a file: the active document on the left.
    CCompareWindow* compareWith(const QString& path);
    bool exportCrossReference(CRungpadView* view, const QString& path);

    QAction* showCommentsAction() const { return m_showComments; }
    QAction* printAppendixAction() const { return m_printAppendix; }
    QAction* compareAction() const { return m_compare; }
    QAction* exportCrossReferenceAction() const { return m_exportXref; }
    QDockWidget* crossReferenceDock() const { return m_dock; }
    CCrossReferencePanel* crossReferencePanel() const { return m_panel; }
    // Builds the dock's list now (it is otherwise rebuilt shortly after edits).
    void refreshCrossReference();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct DocumentState {
        QString key;
        FileStamp stamp;
    };
    void compareCommand();
    void exportCrossReferenceCommand();
    void scheduleCrossReference();
    void jumpTo(int line, int column);
    void documentChanged(CRungpadDoc* doc);

    CMainFrame* m_frame;
    std::function<qint64()> m_clock;
    AutosaveStore m_store;
    AutosaveSchedule m_schedule;
    QHash<CRungpadDoc*, DocumentState> m_documents;
    QTimer* m_autosaveTimer;
    QTimer* m_xrefTimer;
    QAction* m_showComments;
    QAction* m_printAppendix;
    QAction* m_compare;
    QAction* m_exportXref;
    QAction* m_viewXref;
    QDockWidget* m_dock;
    CCrossReferencePanel* m_panel;
    QPointer<CRungpadView> m_xrefView;
};

}  // namespace rungpad::ui
