// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/ui/receivepage.h"

#include "fernlink/ui/sortablelist.h"
#include "fernlink/ui/transferprogress.h"

#include <algorithm>
#include <QShortcut>
#include <QApplication>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

namespace vantor::fernlink::ui {

ReceivePage::ReceivePage(LinkHub& hub, QWidget* parent)
    : QWidget(parent),
      hub_(hub),
      prompter_(hub, deleteRun_),
      flows_(hub, prompter_, *this),
      list_(new SortableList(this)),
      progress_(new TransferProgress(hub, this))
{
    list_->setColumns({QStringLiteral(" "), hub.text(Msg::ColFileName), hub.text(Msg::ColFileSize), hub.text(Msg::ColSavePath),
                       hub.text(Msg::ColState)},
                      {50, 100, 150, 100, 100});
    list_->setNumericColumn(ColSize);

    auto* buttons = new QHBoxLayout;
    auto button = [&](Msg text, void (ReceivePage::*slot)()) {
        auto* b = new QPushButton(hub.text(text), this);
        connect(b, &QPushButton::clicked, this, slot);
        buttons->addWidget(b);
    };
    button(Msg::ReceiveButtonCncList, &ReceivePage::getCncList);
    button(Msg::ReceiveButtonUsbList, &ReceivePage::getUsbList);
    button(Msg::ReceiveButtonDeleteList, &ReceivePage::deleteFromList);
    button(Msg::ReceiveButtonDeleteFile, &ReceivePage::deleteFiles);
    buttons->addStretch(1);
    button(Msg::ReceiveButtonReceive, &ReceivePage::receive);
    button(Msg::ButtonStop, &ReceivePage::stop);
    // F9 receives, Shift+F9 stops, wherever the focus is in the window while the page shows.
    new QShortcut(QKeySequence(kStartKey), this, this, &ReceivePage::receive, Qt::WindowShortcut);
    new QShortcut(QKeySequence(kStopKey), this, this, &ReceivePage::stop, Qt::WindowShortcut);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
    layout->addWidget(progress_);

    chooseFolder = [this] { return QFileDialog::getExistingDirectory(this, hub_.text(Msg::SelectFolder)); };

    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    // Delete takes rows off this list only; the controller's files are deleted by the button.
    auto* removeKey = new QShortcut(QKeySequence::Delete, list_, this, [this] { deleteFromList(); }, Qt::WidgetShortcut);
    removeKey->setObjectName(QStringLiteral("removeKey"));
    connect(list_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu(this);
        fillContextMenu(menu);
        menu.exec(list_->viewport()->mapToGlobal(at));
    });
}

void ReceivePage::fillContextMenu(QMenu& menu)
{
    const bool idle = hub_.state.idle();
    const bool linked = hub_.state.link != LinkType::LinkNone;
    const bool chosen = !list_->selectedRows().empty();
    const OperationKind running = kindOf(hub_.state.operation);
    const bool listBusy = running == OperationKind::Receive || running == OperationKind::Delete || running == OperationKind::List;
    auto item = [&](Msg text, void (ReceivePage::*slot)(), bool enabled) {
        QAction* a = menu.addAction(hub_.text(text), this, slot);
        a->setEnabled(enabled);
    };
    item(Msg::ReceiveButtonCncList, &ReceivePage::getCncList, idle && linked);
    item(Msg::ReceiveButtonUsbList, &ReceivePage::getUsbList, idle && hub_.state.link == LinkType::LinkEthernet);
    menu.addSeparator();
    item(Msg::ReceiveButtonReceive, &ReceivePage::receive, idle && linked && chosen);
    item(Msg::ReceiveButtonDeleteFile, &ReceivePage::deleteFiles, idle && linked && chosen && hub_.loginLevel != 0);
    item(Msg::ReceiveButtonDeleteList, &ReceivePage::deleteFromList, !listBusy && chosen);
    item(Msg::RowSelectAll, &ReceivePage::selectAll, list_->rowCount() > 0);
    menu.addSeparator();
    item(Msg::ButtonStop, &ReceivePage::stop, job_ != Job::None);
}

ReceivePage::~ReceivePage()
{
    if (waitCursor_)
        QApplication::restoreOverrideCursor();
    if (hub_.receiver() == this)
        hub_.setReceiver(nullptr);
}

// ---------------------------------------------------------------- rows

std::vector<RemoteFileRow> ReceivePage::rowsFromList() const
{
    std::vector<RemoteFileRow> rows;
    for (int i = 0; i < list_->rowCount(); ++i)
        rows.push_back({list_->text(i, ColName), list_->text(i, ColSize), list_->text(i, ColPartition), list_->text(i, ColState),
                        list_->isRowSelected(i)});
    return rows;
}

std::vector<RemoteFileRow>& ReceivePage::jobRows()
{
    const bool net = flows_.running == LinkType::LinkEthernet;
    switch (job_) {
    case Job::List: return net ? flows_.ethernet.list.rows : flows_.serial.list.rows;
    case Job::Delete: return net ? flows_.ethernet.remove.rows : flows_.serial.remove.rows;
    case Job::Receive:
    case Job::None: break;
    }
    return net ? flows_.ethernet.receive.rows : flows_.serial.receive.rows;
}

void ReceivePage::showRows(const std::vector<RemoteFileRow>& rows)
{
    list_->clearRows();
    for (const RemoteFileRow& row : rows)
        list_->insertRow(list_->rowCount(), {row.name, row.size, row.partition, row.state});
}

void ReceivePage::rowChanged(int row)
{
    const std::vector<RemoteFileRow>& rows = jobRows();
    if (row < 0 || row >= static_cast<int>(rows.size()) || row >= list_->rowCount())
        return;
    list_->setText(row, ColSize, rows[row].size);
    list_->setText(row, ColState, rows[row].state);
    if (job_ != Job::Receive)
        return;
    const QString& state = rows[row].state;
    batch_[row] = state;
    for (Msg failure : {Msg::StateReceiveError, Msg::StateUnableToCreate, Msg::StateReceiveNoRight, Msg::StateUnableToReceive})
        if (state == hub_.text(failure))
            hub_.log(LogEntry::Failed, rows[row].name + QStringLiteral(": ") + state);
}

void ReceivePage::rowRemoved(int row)
{
    if (row >= 0 && row < list_->rowCount())
        list_->removeRow(row);
}

void ReceivePage::listChanged()
{
    if (job_ == Job::List)
        showRows(jobRows());
}

// ---------------------------------------------------------------- commands

bool ReceivePage::mayBegin(Job job, LinkType link)
{
    const bool net = link == LinkType::LinkEthernet;
    TransferFlow* flow = nullptr;
    OperationKind kind = OperationKind::Receive;
    switch (job) {
    case Job::List:
        flow = net ? static_cast<TransferFlow*>(&flows_.ethernet.list) : &flows_.serial.list;
        kind = OperationKind::List;
        break;
    case Job::Delete:
        flow = net ? static_cast<TransferFlow*>(&flows_.ethernet.remove) : &flows_.serial.remove;
        kind = OperationKind::Delete;
        break;
    case Job::Receive:
    case Job::None:
        flow = net ? static_cast<TransferFlow*>(&flows_.ethernet.receive) : &flows_.serial.receive;
        break;
    }
    return flow->mayStart(kind);
}

bool ReceivePage::begin(Job job, LinkType link)
{
    // A refusal leaves the page's job, rows and the link's replies with what runs.
    if (!mayBegin(job, link))
        return false;
    previousReceiver_ = hub_.receiver();
    job_ = job;
    flows_.running = link;
    hub_.setReceiver(this);
    list_->setEnabled(false);
    return true;
}

void ReceivePage::refused()
{
    hub_.setReceiver(previousReceiver_);
    job_ = Job::None;
    list_->setEnabled(true);
}

void ReceivePage::getCncList()
{
    getList(false);
}

void ReceivePage::getUsbList()
{
    getList(true);
}

void ReceivePage::getList(bool usb)
{
    const LinkType link = hub_.state.link;
    if (link == LinkType::LinkNone) {
        hub_.prompter.inform(Severity::Warning, hub_.text(Msg::PleaseConnect));
        return;
    }
    if (usb && link == LinkType::LinkSerial) {
        hub_.prompter.inform(Severity::Warning, hub_.text(Msg::UsbListNeedsEthernet));
        return;
    }
    const LinkType previousLink = flows_.running;
    if (!begin(Job::List, link))
        return;
    const bool started = link == LinkType::LinkEthernet ? flows_.ethernet.list.start(usb) : flows_.serial.list.start();
    if (!started) {
        flows_.running = previousLink;
        refused();
        return;
    }
    if (job_ == Job::List && !waitCursor_) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        waitCursor_ = true;
    }
    hub_.operationChanged();
}

void ReceivePage::receive()
{
    const LinkType link = hub_.state.link;
    if (list_->selectedRows().empty()) {
        hub_.prompter.inform(Severity::Warning, hub_.text(Msg::ReceiveSelectFile));
        return;
    }
    if (link == LinkType::LinkNone) {
        hub_.prompter.inform(Severity::Warning, hub_.text(Msg::PleaseConnect));
        return;
    }
    if (!hub_.state.idle()) {
        hub_.prompter.inform(Severity::Warning, hub_.text(busyMessage(OperationKind::Receive, kindOf(hub_.state.operation))));
        return;
    }
    const QString folder = chooseFolder();
    if (folder.isEmpty())
        return;
    const LinkType previousLink = flows_.running;
    const std::vector<RemoteFileRow> rows = rowsFromList();
    // The send page (or the operator) may have changed the controller's partition since
    // this page last chose one: choose it again for the first file.
    flows_.serial.context.currentPartition.clear();
    if (!begin(Job::Receive, link))
        return;
    jobRows() = rows;
    batch_.clear();
    batchSelected_ = int(std::count_if(rows.begin(), rows.end(), [](const RemoteFileRow& r) { return r.selected; }));
    const bool started = link == LinkType::LinkEthernet ? flows_.ethernet.receive.start(folder) : flows_.serial.receive.start(folder);
    if (!started) {
        flows_.running = previousLink;
        refused();
        return;
    }
    hub_.operationChanged();
}

void ReceivePage::deleteFiles()
{
    // Deleting on the controller is gated as sending to it is.
    if (hub_.loginLevel == 0) {
        hub_.prompter.inform(Severity::Warning, hub_.text(Msg::SendNeedLogin), hub_.text(Msg::DeleteFileCaption));
        return;
    }
    const LinkType link = hub_.state.link;
    if (list_->selectedRows().empty()) {
        hub_.prompter.inform(Severity::Warning, hub_.text(Msg::DeleteSelectItem));
        return;
    }
    if (link == LinkType::LinkNone) {
        hub_.prompter.inform(Severity::Warning, hub_.text(Msg::PleaseConnect));
        return;
    }
    const LinkType previousLink = flows_.running;
    const std::vector<RemoteFileRow> rows = rowsFromList();
    if (!begin(Job::Delete, link))
        return;
    jobRows() = rows;
    deleteRun_.begin(rows, link == LinkType::LinkEthernet);
    const bool started = link == LinkType::LinkEthernet ? flows_.ethernet.remove.start() : flows_.serial.remove.start();
    if (!started) {
        deleteRun_.cancel();
        flows_.running = previousLink;
        refused();
        return;
    }
    hub_.operationChanged();
}

void ReceivePage::deleteFromList()
{
    const std::vector<int> rows = list_->selectedRows();
    if (rows.empty()) {
        hub_.prompter.inform(Severity::Warning, hub_.text(Msg::ReceiveDeleteListSelect), hub_.text(Msg::ReceiveCaption));
        return;
    }
    const OperationKind running = kindOf(hub_.state.operation);
    if (running == OperationKind::Receive || running == OperationKind::Delete || running == OperationKind::List) {
        hub_.prompter.inform(Severity::Warning, hub_.text(busyMessage(OperationKind::Delete, running)));
        return;
    }
    if (hub_.prompter.ask(hub_.text(Msg::ReceiveDeleteListConfirm), Buttons::YesNo) != Answer::Yes)
        return;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        list_->removeRow(*it);
}

void ReceivePage::selectAll()
{
    for (int i = 0; i < list_->rowCount(); ++i)
        list_->setRowSelected(i, true);
}

void ReceivePage::stop()
{
    if (job_ == Job::None)
        return;
    if (job_ == Job::Delete)
        deleteRun_.stopRequested();
    flows_.stop();
}

// ---------------------------------------------------------------- what the flows report

void ReceivePage::currentFile(const QString& path)
{
    progress_->setCurrentFile(path);
}

void ReceivePage::progress(const TransferStatistics& stats)
{
    progress_->showStatistics(stats);
}

void ReceivePage::log(LogEntry entry, const QString& text)
{
    hub_.log(entry, text);
    if (entry == LogEntry::Deleted && job_ == Job::Delete)
        if (const auto record = deleteRun_.deleted(text))
            hub_.record(*record);
}

void ReceivePage::finished(bool completed)
{
    if (job_ == Job::Delete)
        if (const auto record = deleteRun_.ended(completed, hub_.text(Msg::StateDeleteStopped),
                                                 hub_.text(flows_.running == LinkType::LinkSerial ? Msg::SerialLineLost
                                                                                                   : Msg::EthernetDisconnected)))
            hub_.record(*record);
    if (job_ == Job::List)
        showRows(jobRows());
    else
        progress_->showEnded();
    if (job_ == Job::Receive) {
        int received = 0;
        int failed = 0;
        for (const auto& [row, state] : batch_)
            (state == hub_.text(Msg::StateReceived) ? received : failed) += 1;
        hub_.log(LogEntry::BatchEnded, hub_.text(Msg::BatchReceiveSummary)
                                           .arg(received)
                                           .arg(std::max(0, batchSelected_ - received - failed))
                                           .arg(failed));
    }
    job_ = Job::None;
    if (waitCursor_) {
        QApplication::restoreOverrideCursor();
        waitCursor_ = false;
    }
    list_->setEnabled(true);
    hub_.operationChanged();
}

void ReceivePage::dropLink()
{
    hub_.dropEthernet();
}

// ---------------------------------------------------------------- the link

void ReceivePage::linkBytes(QByteArrayView chunk)
{
    flows_.onBytes(chunk);
}

void ReceivePage::linkTimer(int id)
{
    flows_.onTimer(id);
}

void ReceivePage::linkClosed()
{
    if (!flows_.ethernetLost())
        dropLink();
}

void ReceivePage::linkReadError()
{
    flows_.ethernetLost();
}

void ReceivePage::serialLost()
{
    if (flows_.serialLost())
        hub_.prompter.inform(Severity::Error, hub_.text(Msg::SerialLineLost), hub_.text(Msg::ReceiveCaption));
}

}  // namespace vantor::fernlink::ui
