// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernport/dialogs.h"

#include "common/ui/ncdocument.h"
#include "common/ui/nceditor.h"
#include "common/ui/portcombo.h"
#include "serialcore/vantorcomm.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vantor::fernport {

const QList<int>& CCommSetupDlg::baudRates()
{
    static const QList<int> rates = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
    return rates;
}

CCommSetupDlg::CCommSetupDlg(const QString& currentPort, int currentBaud, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("Setup Dialog"));
    setObjectName(QStringLiteral("CCommSetupDlg"));
    port_ = new QComboBox(this);
    port_->setObjectName(QStringLiteral("port"));
    port_->setEditable(true);
    fillPortCombo(port_, CVantorComm::describedPortPairs());
    port_->setEditText(currentPort);
    baud_ = new QComboBox(this);
    baud_->setObjectName(QStringLiteral("baud"));
    baud_->setEditable(true);
    for (int rate : baudRates())
        baud_->addItem(QString::number(rate));
    baud_->setEditText(QString::asprintf("%d", currentBaud));

    auto* form = new QFormLayout;
    form->addRow(tr("Port:"), port_);
    form->addRow(tr("Baudrate:"), baud_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

PortChoice CCommSetupDlg::choice() const
{
    return {port_->currentText().trimmed(), baud_->currentText().trimmed().toInt()};
}

CDNCDlg::CDNCDlg(const QString& path, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("DNC Communication"));
    setObjectName(QStringLiteral("CDNCDlg"));
    setModal(false);
    bytes_ = new QLabel(QStringLiteral("0"), this);
    lines_ = new QLabel(QStringLiteral("0"), this);
    time_ = new QLabel(QStringLiteral("00:00"), this);
    rate_ = new QLabel(QStringLiteral("0"), this);
    auto* form = new QFormLayout;
    auto* name = new QLabel(path, this);
    name->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(tr("File Name:"), name);
    form->addRow(tr("Sent Bytes:"), bytes_);
    form->addRow(tr("Sent Lines:"), lines_);
    form->addRow(tr("Sent time:"), time_);
    form->addRow(tr("Bytes/Sec:"), rate_);
    endedRows_ = new QWidget(this);
    auto* ended = new QFormLayout(endedRows_);
    ended->setContentsMargins(0, 0, 0, 0);
    status_ = new QLabel(endedRows_);
    status_->setObjectName(QStringLiteral("status"));
    status_->setWordWrap(true);
    lastLine_ = new QLabel(endedRows_);
    restartLine_ = new QLabel(endedRows_);
    ended->addRow(status_);
    ended->addRow(tr("Last line sent:"), lastLine_);
    ended->addRow(tr("Restart at line:"), restartLine_);
    endedRows_->hide();
    cancel_ = new QPushButton(tr("&Cancel"), this);
    cancel_->setObjectName(QStringLiteral("cancel"));
    connect(cancel_, &QPushButton::clicked, this, [this] {
        if (ended_)
            closeForGood();
        else
            Q_EMIT cancelRequested();
    });
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(endedRows_);
    layout->addWidget(cancel_, 0, Qt::AlignRight);
    setMinimumWidth(360);
}

void CDNCDlg::showInterrupted(const QString& why, qint64 lastLine, qint64 restartLine)
{
    ended_ = true;
    status_->setText(why);
    lastLine_->setText(QString::number(lastLine));
    restartLine_->setText(QString::number(restartLine));
    endedRows_->show();
    cancel_->setText(tr("Close"));
}

void CDNCDlg::reject()
{
    if (ended_)
        closeForGood();
    else
        Q_EMIT cancelRequested();
}

QString CDNCDlg::statusText() const { return ended_ ? status_->text() : QString(); }
QString CDNCDlg::lastLineText() const { return lastLine_->text(); }
QString CDNCDlg::restartLineText() const { return restartLine_->text(); }

void CDNCDlg::show(std::uint64_t bytes, int lines, const QString& time, std::uint64_t perSecond)
{
    bytes_->setText(QString::number(bytes));
    lines_->setText(QString::number(lines));
    time_->setText(time);
    rate_->setText(QString::number(perSecond));
}

void CDNCDlg::closeForGood()
{
    closing_ = true;
    close();
}

void CDNCDlg::closeEvent(QCloseEvent* event)
{
    if (closing_ || ended_) {
        // Not QDialog's own handling: it asks reject(), which is Cancel here, and keeps the
        // window when that did not hide it.
        event->accept();
        return;
    }
    event->ignore();
    Q_EMIT cancelRequested();
}

QString CDNCDlg::sentBytesText() const { return bytes_->text(); }
QString CDNCDlg::sentLinesText() const { return lines_->text(); }
QString CDNCDlg::sentTimeText() const { return time_->text(); }
QString CDNCDlg::bytesPerSecText() const { return rate_->text(); }

FindReplaceDlg::FindReplaceDlg(NcEditor* editor, bool replace, QWidget* parent)
    : QDialog(parent), editor_(editor)
{
    setObjectName(QStringLiteral("FindReplaceDlg"));
    find_ = new QLineEdit(this);
    replace_ = new QLineEdit(this);
    replaceLabel_ = new QLabel(tr("Replace with:"), this);
    matchCase_ = new QCheckBox(tr("Match &case"), this);
    auto* form = new QFormLayout;
    form->addRow(tr("Find what:"), find_);
    form->addRow(replaceLabel_, replace_);
    auto* next = new QPushButton(tr("&Find Next"), this);
    next->setDefault(true);
    connect(next, &QPushButton::clicked, this, [this] { findNext(); });
    replaceButtons_ = new QWidget(this);
    auto* rb = new QHBoxLayout(replaceButtons_);
    rb->setContentsMargins(0, 0, 0, 0);
    auto* one = new QPushButton(tr("&Replace"), replaceButtons_);
    auto* all = new QPushButton(tr("Replace &All"), replaceButtons_);
    rb->addWidget(one);
    rb->addWidget(all);
    connect(one, &QPushButton::clicked, this, &FindReplaceDlg::replaceOne);
    connect(all, &QPushButton::clicked, this, &FindReplaceDlg::replaceAll);
    auto* close = new QPushButton(tr("Close"), this);
    connect(close, &QPushButton::clicked, this, &QDialog::hide);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(next);
    buttons->addWidget(replaceButtons_);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(matchCase_);
    layout->addLayout(buttons);
    setReplaceMode(replace);
}

void FindReplaceDlg::setReplaceMode(bool replace)
{
    setWindowTitle(replace ? tr("Replace") : tr("Find"));
    replace_->setVisible(replace);
    replaceLabel_->setVisible(replace);
    replaceButtons_->setVisible(replace);
}

bool FindReplaceDlg::hasPattern() const
{
    return !find_->text().isEmpty();
}

bool FindReplaceDlg::findNext()
{
    if (find_->text().isEmpty())
        return false;
    if (findNcText(*editor_, find_->text(), matchCase_->isChecked()))
        return true;
    // Wrap around once, as a user expects from F3 at the end of the program.
    editor_->moveCursor(QTextCursor::Start);
    return findNcText(*editor_, find_->text(), matchCase_->isChecked());
}

void FindReplaceDlg::replaceOne()
{
    if (editor_->isReadOnly())
        return;
    const Qt::CaseSensitivity cs = matchCase_->isChecked() ? Qt::CaseSensitive : Qt::CaseInsensitive;
    if (editor_->hasSelection() && editor_->selectedText().compare(find_->text(), cs) == 0)
        editor_->insertPlainText(replace_->text());
    findNext();
}

void FindReplaceDlg::replaceAll()
{
    if (editor_->isReadOnly() || find_->text().isEmpty())
        return;
    editor_->replaceAll(find_->text(), replace_->text(), matchCase_->isChecked());  // one undo step
}

}  // namespace vantor::fernport
