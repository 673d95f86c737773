// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/ui/editorview.h"

#include "common/ui/ncdocument.h"
#include "fernlink/ui/linkhub.h"

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <QVBoxLayout>

namespace vantor::fernlink::ui {

CFernlinkView::CFernlinkView(LinkHub& hub, QWidget* parent) : NcEditor(parent), hub_(hub)
{
    setObjectName(QStringLiteral("CFernlinkView"));
    connect(this, &NcEditor::cursorPositionChanged, this, &CFernlinkView::positionChanged);
    connect(this, &NcEditor::textChanged, this, &CFernlinkView::positionChanged);
}

bool CFernlinkView::openFile(const QString& path)
{
    QString why;
    if (!loadNcFile(*this, format_, path, &why)) {
        hub_.prompter.inform(Severity::Error, hub_.text(Msg::FileCannotOpenSerial).arg(path));
        return false;
    }
    path_ = QFileInfo(path).absoluteFilePath();
    rememberFileTime();
    Q_EMIT pathChanged();
    return true;
}

bool CFernlinkView::saveTo(const QString& path)
{
    // Nothing is written when a character cannot be stored, and a failed write keeps the
    // document modified, so the user can still save it elsewhere.
    const NcSaveResult saved = saveNcFile(*this, format_, path);
    if (saved.badLine > 0) {
        const QString encoding = format_.format().encoding == NcTextFormat::Encoding::Utf8
                                     ? QStringLiteral("UTF-8") : QStringLiteral("GBK");
        hub_.prompter.inform(Severity::Error, hub_.text(Msg::SaveUnencodable)
                                                  .arg(path, QString::number(saved.badLine), saved.badCharacter, encoding));
        return false;
    }
    if (!saved.ok) {
        hub_.prompter.inform(Severity::Error, hub_.text(Msg::SaveFailed).arg(path, saved.writeError));
        return false;
    }
    path_ = QFileInfo(path).absoluteFilePath();
    rememberFileTime();
    Q_EMIT pathChanged();
    return true;
}

void CFernlinkView::newDocument()
{
    clear();
    format_.reset();
    path_.clear();
    lastWrite_ = {};
    Q_EMIT pathChanged();
}

DncDocument CFernlinkView::dncDocument() const
{
    DncDocument d;
    d.path = path_;
    d.modified = isModified();
    d.lines = lineCount();
    d.empty = isEmpty();
    return d;
}

QDateTime CFernlinkView::fileTime() const
{
    return QFileInfo(path_).lastModified();
}

void CFernlinkView::rememberFileTime()
{
    lastWrite_ = path_.isEmpty() ? QDateTime() : fileTime();
}

void CFernlinkView::checkFileChanged()
{
    if (path_.isEmpty() || !QFileInfo::exists(path_))
        return;
    const QDateTime now = fileTime();
    if (now == lastWrite_)
        return;
    // Asked once per change: a No keeps the text and stops asking until the file changes again.
    lastWrite_ = now;
    if (hub_.prompter.ask(hub_.text(Msg::ContentChangedReload), Buttons::YesNo, hub_.text(Msg::EditorCaption)) == Answer::Yes)
        openFile(path_);
}

void CFernlinkView::setBusy(bool busy)
{
    busy_ = busy;
    // Read-only keeps the caret: the user still moves through the program and copies from it.
    setReadOnly(busy);
}

bool CFernlinkView::mayEdit()
{
    if (!busy_)
        return true;
    hub_.prompter.inform(Severity::Warning, hub_.text(Msg::EditWhileBusy));
    return false;
}

void CFernlinkView::keyPressEvent(QKeyEvent* event)
{
    // While an operation runs the editor is read-only: keys change nothing, moving and
    // selecting still work.
    NcEditor::keyPressEvent(event);
    Q_EMIT positionChanged();
}

void CFernlinkView::insertFromMimeData(const QMimeData* source)
{
    if (!mayEdit())
        return;
    NcEditor::insertFromMimeData(source);
}

void CFernlinkView::mouseReleaseEvent(QMouseEvent* event)
{
    NcEditor::mouseReleaseEvent(event);
    Q_EMIT positionChanged();
}

int CFernlinkView::caretLine() const
{
    return caret().line + 1;
}

QString CFernlinkView::positionText() const
{
    return hub_.text(Msg::EditorPosition)
        .arg(caretLine())
        .arg(lineCount())
        .arg(characterCount());
}

bool CFernlinkView::goToLine(int line)
{
    if (line < 1 || line > lineCount())
        return false;
    setCaret({line - 1, 0});
    centerCursor();
    setFocus();
    return true;
}

bool CFernlinkView::findNext(const QString& what, bool matchCase)
{
    return findNcText(*this, what, matchCase);
}

bool CFernlinkView::replaceOne(const QString& what, const QString& with, bool matchCase)
{
    if (what.isEmpty() || !mayEdit())
        return false;
    const Qt::CaseSensitivity cs = matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
    if (hasSelection() && selectedText().compare(what, cs) == 0) {
        insertPlainText(with);
        findNext(what, matchCase);
        return true;
    }
    return findNext(what, matchCase);
}

int CFernlinkView::replaceAll(const QString& what, const QString& with, bool matchCase)
{
    if (what.isEmpty() || !mayEdit())
        return 0;
    return NcEditor::replaceAll(what, with, matchCase);
}

void CFernlinkView::appendOutput(const QString& text)
{
    appendText(text);
}

void CFernlinkView::printTo(QPrinter* printer)
{
    print(printer);
}

CFindReplaceDlg::CFindReplaceDlg(CFernlinkView& view, LinkHub& hub, QWidget* parent)
    : QDialog(parent), view_(view), hub_(hub)
{
    setObjectName(QStringLiteral("CFindReplaceDlg"));
    find_ = new QLineEdit(this);
    find_->setObjectName(QStringLiteral("findWhat"));
    replace_ = new QLineEdit(this);
    replace_->setObjectName(QStringLiteral("replaceWith"));
    matchCase_ = new QCheckBox(hub.text(Msg::MatchCase), this);
    auto* form = new QFormLayout;
    form->addRow(hub.text(Msg::FindWhat), find_);
    replaceRow_ = new QWidget(this);
    auto* rr = new QHBoxLayout(replaceRow_);
    rr->setContentsMargins(0, 0, 0, 0);
    rr->addWidget(new QLabel(hub.text(Msg::ReplaceWith), replaceRow_));
    rr->addWidget(replace_);
    auto* next = new QPushButton(hub.text(Msg::FindNextButton), this);
    next->setDefault(true);
    auto* one = new QPushButton(hub.text(Msg::ReplaceButton), replaceRow_);
    auto* all = new QPushButton(hub.text(Msg::ReplaceAllButton), replaceRow_);
    rr->addWidget(one);
    rr->addWidget(all);
    auto* close = new QPushButton(hub.text(Msg::CloseButton), this);
    connect(next, &QPushButton::clicked, this, &CFindReplaceDlg::findNext);
    connect(one, &QPushButton::clicked, this, &CFindReplaceDlg::replaceOne);
    connect(all, &QPushButton::clicked, this, &CFindReplaceDlg::replaceAll);
    connect(close, &QPushButton::clicked, this, &QDialog::hide);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(next);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(replaceRow_);
    layout->addWidget(matchCase_);
    layout->addLayout(buttons);
    setReplaceMode(false);
}

void CFindReplaceDlg::setReplaceMode(bool replace)
{
    setWindowTitle(replace ? hub_.text(Msg::ReplaceButton) : hub_.text(Msg::FindNextButton));
    replaceRow_->setVisible(replace);
}

bool CFindReplaceDlg::hasPattern() const
{
    return !find_->text().isEmpty();
}

void CFindReplaceDlg::setPattern(const QString& what, const QString& with, bool matchCase)
{
    find_->setText(what);
    replace_->setText(with);
    matchCase_->setChecked(matchCase);
}

void CFindReplaceDlg::findNext()
{
    if (!hasPattern())
        return;
    if (!view_.findNext(find_->text(), matchCase_->isChecked()))
        hub_.prompter.inform(Severity::Information, hub_.text(Msg::FindNotFound));
}

void CFindReplaceDlg::replaceOne()
{
    if (!hasPattern() || view_.busy()) {
        view_.mayEdit();
        return;
    }
    if (!view_.replaceOne(find_->text(), replace_->text(), matchCase_->isChecked()))
        hub_.prompter.inform(Severity::Information, hub_.text(Msg::ReplaceNotFound));
}

void CFindReplaceDlg::replaceAll()
{
    if (!hasPattern() || view_.busy()) {
        view_.mayEdit();
        return;
    }
    const int n = view_.replaceAll(find_->text(), replace_->text(), matchCase_->isChecked());
    hub_.prompter.inform(Severity::Information,
                         n > 0 ? hub_.text(Msg::ReplaceAllCount).arg(n) : hub_.text(Msg::ReplaceAllNone));
}

}  // namespace vantor::fernlink::ui
