// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The NC program editor on the right of the main window: one program as plain text, written
// back in the encoding and line ends it was read with, with the commands the Edit menu offers. While a controller operation
// runs it is read-only; the file may change on disk meanwhile (a receive into it), so an
// activation compares the file's time and offers to reload.
#include "common/ui/ncdocument.h"
#include "common/ui/nceditor.h"
#include "fernlink/link/dncflow.h"

#include <QDateTime>
#include <QDialog>
#include <QPointer>

class QCheckBox;
class QLineEdit;
class QPrinter;

namespace vantor::fernlink::ui {

class LinkHub;

class CFernlinkView : public NcEditor {
    Q_OBJECT
public:
    explicit CFernlinkView(LinkHub& hub, QWidget* parent = nullptr);

    QString path() const { return path_; }
    // Reads the file into the editor, noting its encoding (GBK or UTF-8) and line ends so a save
    // writes them back; on failure the current text stays and the user is told.
    bool openFile(const QString& path);
    bool saveTo(const QString& path);
    void newDocument();
    // What the DNC page needs to know of the program.
    DncDocument dncDocument() const;

    // The file changed on disk since it was read or written: ask, and reload on Yes.
    void checkFileChanged();

    // While an operation runs: no key edits, no edit commands.
    void setBusy(bool busy);
    bool busy() const { return busy_; }
    // An edit command while busy shows the refusal; true when the edit may go ahead.
    bool mayEdit();

    int caretLine() const;  // 1-based
    QString positionText() const;
    // Caret to the start of that line; false (and nothing moves) when it is beyond the last.
    bool goToLine(int line);

    // The find and replace commands; messages go to the user through the hub.
    bool findNext(const QString& what, bool matchCase);
    bool replaceOne(const QString& what, const QString& with, bool matchCase);
    int replaceAll(const QString& what, const QString& with, bool matchCase);

    // Text pushed by the controller over FTP goes to the end, whatever page is shown.
    void appendOutput(const QString& text);

    void printTo(QPrinter* printer);

Q_SIGNALS:
    void positionChanged();
    void pathChanged();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void rememberFileTime();
    QDateTime fileTime() const;

    LinkHub& hub_;
    NcDocumentFormat format_;
    QString path_;
    QDateTime lastWrite_;
    bool busy_ = false;
};

// Find, or find and replace, over the editor's text.
class CFindReplaceDlg : public QDialog {
    Q_OBJECT
public:
    CFindReplaceDlg(CFernlinkView& view, LinkHub& hub, QWidget* parent = nullptr);
    void setReplaceMode(bool replace);
    bool hasPattern() const;
    void setPattern(const QString& what, const QString& with = {}, bool matchCase = false);

    void findNext();
    void replaceOne();
    void replaceAll();

private:
    CFernlinkView& view_;
    LinkHub& hub_;
    QLineEdit* find_;
    QLineEdit* replace_;
    QWidget* replaceRow_;
    QCheckBox* matchCase_;
};

}  // namespace vantor::fernlink::ui
