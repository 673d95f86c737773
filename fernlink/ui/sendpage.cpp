// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/ui/sendpage.h"

#include "common/gbk.h"

#include "fernlink/link/filelist_store.h"
#include "fernlink/ui/addfilesdialog.h"
#include "fernlink/ui/renamedialog.h"
#include "fernlink/ui/sendrowdialog.h"
#include "fernlink/ui/sortablelist.h"
#include "fernlink/ui/transferprogress.h"
#include "serialcore/controllernames.h"

#include <algorithm>
#include <tuple>
#include <QShortcut>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

namespace vantor::fernlink::ui {

namespace {

QStringList rowTexts(const SendRow& row)
{
    return {checkMarkText(row.sendable), row.path, row.targetName, QString::number(row.size), row.partition, row.state};
}

QStringList itemTexts(const CFileListItem& item)
{
    return {item.checkMark, item.path, item.targetName, item.size, item.partition, item.state};
}

const QString kListFilter = QStringLiteral("Text Files (*.dat);;All Files (*)");

}  // namespace

SendPage::SendPage(LinkHub& hub, QWidget* parent)
    : QWidget(parent),
      hub_(hub),
      prompter_(*this),
      flows_(hub, prompter_, *this),
      list_(new SortableList(this)),
      progress_(new TransferProgress(hub, this))
{
    list_->setColumns({QStringLiteral("    "), QStringLiteral("    "), hub.text(Msg::ColFilePath), hub.text(Msg::ColSaveName),
                       hub.text(Msg::ColFileSize), hub.text(Msg::ColSavePath), hub.text(Msg::ColState)},
                      {50, 80, 150, 100, 100, 100, 100});
    list_->setNumericColumn(ColSize);

    auto* buttons = new QHBoxLayout;
    auto button = [&](Msg text, void (SendPage::*slot)()) {
        auto* b = new QPushButton(hub.text(text), this);
        connect(b, &QPushButton::clicked, this, slot);
        buttons->addWidget(b);
        return b;
    };
    button(Msg::SendButtonAdd, &SendPage::add);
    button(Msg::SendButtonRemove, &SendPage::removeSelected);
    button(Msg::SendButtonClear, &SendPage::clearList);
    button(Msg::SendButtonLoadList, &SendPage::loadList);
    button(Msg::SendButtonSaveList, &SendPage::saveList);
    buttons->addStretch(1);
    sendButton_ = button(Msg::SendButtonSend, &SendPage::send);
    QPushButton* stopButton = button(Msg::ButtonStop, &SendPage::stop);
    // F9 sends, Shift+F9 stops, wherever the focus is in the window while the page shows;
    // a hidden page's keys do nothing. The button tips say so.
    for (auto [b, key, slot] : {std::tuple{sendButton_, kStartKey, &SendPage::send}, std::tuple{stopButton, kStopKey, &SendPage::stop}}) {
        new QShortcut(QKeySequence(key), this, this, slot, Qt::WindowShortcut);
        b->setToolTip(QKeySequence(key).toString(QKeySequence::NativeText));
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
    layout->addWidget(progress_);

    chooseFiles = [this](TargetArea last) -> std::optional<FileChoice> {
        AddFilesDialog dialog(hub_, last, this);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return FileChoice{dialog.selectedFiles(), dialog.area()};
    };
    chooseSavePath = [this] {
        QFileDialog dialog(this);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilter(kListFilter);
        dialog.setDefaultSuffix(QStringLiteral("dat"));
        dialog.selectFile(QString::fromLatin1(kFileListDefaultName));
        return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
    };
    chooseLoadPath = [this] { return QFileDialog::getOpenFileName(this, QString(), QString(), kListFilter); };
    chooseRowEdit = [this](const RowEdit& current) -> std::optional<RowEdit> {
        SendRowDialog dialog(hub_, current.path, current.targetName, current.area, this);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return RowEdit{dialog.path(), dialog.targetName(), dialog.area()};
    };
    askNewName = [this](const QString& oldName, const QString& partition) -> std::optional<QString> {
        RenameDialog dialog(hub_, oldName, partition, this);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return dialog.newName();
    };

    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { editSelected(); });
    // Delete takes the selected rows off the queue (after the usual question).
    auto* removeKey = new QShortcut(QKeySequence::Delete, list_, this, [this] { removeSelected(); }, Qt::WidgetShortcut);
    removeKey->setObjectName(QStringLiteral("removeKey"));
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu(this);
        fillContextMenu(menu);
        menu.exec(list_->viewport()->mapToGlobal(at));
    });
}

void SendPage::fillContextMenu(QMenu& menu)
{
    const bool busy = sending();
    const bool mine = flows_.running == LinkType::LinkEthernet ? flows_.ethernet.send.running() : flows_.serial.send.running();
    const bool rows = list_->rowCount() > 0;
    const bool chosen = !list_->selectedRows().empty();
    auto item = [&](Msg text, void (SendPage::*slot)(), bool enabled) {
        QAction* a = menu.addAction(hub_.text(text), this, slot);
        a->setEnabled(enabled);
    };
    item(Msg::SendButtonAdd, &SendPage::add, !busy);
    item(Msg::SendButtonRemove, &SendPage::removeSelected, !busy && chosen);
    item(Msg::SendButtonClear, &SendPage::clearList, !busy && rows);
    item(Msg::MenuEditRow, &SendPage::editSelected, !busy && chosen);
    item(Msg::RowSelectAll, &SendPage::selectAll, rows);
    menu.addSeparator();
    item(Msg::SendButtonLoadList, &SendPage::loadList, !busy);
    item(Msg::SendButtonSaveList, &SendPage::saveList, true);
    menu.addSeparator();
    item(Msg::SendButtonSend, &SendPage::send, hub_.state.idle() && chosen);
    menu.actions().last()->setShortcut(QKeySequence(kStartKey));
    item(Msg::ButtonStop, &SendPage::stop, mine);
    menu.actions().last()->setShortcut(QKeySequence(kStopKey));
}

SendPage::~SendPage()
{
    if (hub_.receiver() == this)
        hub_.setReceiver(nullptr);
}

// ---------------------------------------------------------------- the queue

bool SendPage::sending() const
{
    return kindOf(hub_.state.operation) == OperationKind::Send;
}

bool SendPage::refuseWhileSending(Msg text)
{
    if (!sending())
        return false;
    hub_.prompter.inform(Severity::Warning, hub_.text(text));
    return true;
}

bool SendPage::queued(const QString& path) const
{
    for (int i = 0; i < list_->rowCount(); ++i)
        if (list_->text(i, ColPath).compare(path, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

void SendPage::insertTop(const QStringList& texts)
{
    list_->insertRow(0, texts);
}

void SendPage::add()
{
    if (refuseWhileSending(Msg::SendAddWhileSending))
        return;
    const auto choice = chooseFiles(lastArea_);
    if (!choice)
        return;
    lastArea_ = choice->area;
    addFiles(choice->paths, choice->area);
}

void SendPage::addFiles(const QStringList& paths, TargetArea area)
{
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (!info.isFile())
            continue;
        const QString full = info.absoluteFilePath();
        if (queued(full)) {
            hub_.prompter.inform(Severity::Warning, hub_.text(Msg::ListFileAlreadyQueued).arg(full));
            continue;
        }
        insertTop(rowTexts(makeSendRow(full, info.fileName(), info.size(), area, hub_.text(Msg::StateUnsend))));
    }
}

void SendPage::removeSelected()
{
    if (refuseWhileSending(Msg::SendRemoveWhileSending))
        return;
    const std::vector<int> rows = list_->selectedRows();
    if (rows.empty()) {
        hub_.prompter.inform(Severity::Warning, hub_.text(Msg::DeleteSelectItem));
        return;
    }
    if (hub_.prompter.ask(hub_.text(Msg::SendRemoveConfirm), Buttons::YesNo, hub_.text(Msg::DeleteFileCaption)) != Answer::Yes)
        return;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        list_->removeRow(*it);
}

void SendPage::clearList()
{
    if (list_->rowCount() == 0)
        return;
    if (refuseWhileSending(Msg::SendClearWhileSending))
        return;
    if (hub_.prompter.ask(hub_.text(Msg::SendClearConfirm), Buttons::YesNo) != Answer::Yes)
        return;
    list_->clearRows();
}

void SendPage::selectAll()
{
    for (int i = 0; i < list_->rowCount(); ++i)
        list_->setRowSelected(i, true);
}

void SendPage::editSelected()
{
    const std::vector<int> rows = list_->selectedRows();
    if (rows.empty() || sending())
        return;
    const int row = rows.front();
    const RowEdit current{list_->text(row, ColPath), list_->text(row, ColTarget),
                          areaFromLabel(list_->text(row, ColPartition)).value_or(TargetArea::User)};
    if (const auto edit = chooseRowEdit(current))
        editRow(row, *edit);
}

void SendPage::editRow(int row, const RowEdit& edit)
{
    if (row < 0 || row >= list_->rowCount())
        return;
    // The tick judges the size the row had before the edit; the new file's size is shown.
    const qint64 before = list_->text(row, ColSize).toLongLong();
    const QFileInfo info(edit.path);
    const qint64 size = info.isFile() ? info.size() : before;
    bool sendable = fitsGbk(edit.targetName);
    if (edit.area == TargetArea::User)
        sendable = fernlinkUserName(edit.targetName).has_value() && before <= kFernlinkUserSizeLimit;
    list_->setText(row, ColCheck, checkMarkText(sendable));
    list_->setText(row, ColPath, edit.path);
    list_->setText(row, ColTarget, edit.targetName);
    list_->setText(row, ColSize, QString::number(size));
    list_->setText(row, ColPartition, partitionLabel(edit.area));
}

void SendPage::saveList()
{
    const QString path = chooseSavePath();
    if (!path.isEmpty())
        saveListTo(path);
}

void SendPage::saveListTo(const QString& path)
{
    std::vector<CFileListItem> items;
    for (int i = 0; i < list_->rowCount(); ++i)
        items.push_back({list_->text(i, ColCheck), list_->text(i, ColPath), list_->text(i, ColTarget), list_->text(i, ColSize),
                         list_->text(i, ColPartition), list_->text(i, ColState)});
    if (const auto bad = firstTextOutsideGbk(items)) {
        hub_.prompter.inform(Severity::Error, hub_.text(Msg::NotGbkText).arg(*bad));
        return;
    }
    const ArchiveFileResult saved = saveFileList(path, items);
    // A list that was not written must not look saved.
    if (!saved.ok)
        hub_.prompter.inform(Severity::Error, hub_.text(Msg::FileNotSaved).arg(saved.error));
}

void SendPage::loadList()
{
    if (refuseWhileSending(Msg::ListLoadWhileSending))
        return;
    const QString path = chooseLoadPath();
    if (!path.isEmpty())
        loadListFrom(path);
}

void SendPage::loadListFrom(const QString& path)
{
    if (refuseWhileSending(Msg::ListLoadWhileSending))
        return;
    const FileListReadResult loaded = loadFileList(path);
    switch (loaded.status) {
    case FileListReadResult::Status::NotOpened:
        hub_.prompter.inform(Severity::Error, path + QStringLiteral(": ") + loaded.error);
        return;
    case FileListReadResult::Status::FormatError:
        hub_.prompter.inform(Severity::Warning, hub_.text(Msg::ListFileFormatError));
        return;
    case FileListReadResult::Status::Ok:
    case FileListReadResult::Status::Truncated:
        break;
    }
    for (const CFileListItem& item : loaded.items) {
        if (queued(item.path)) {
            hub_.prompter.inform(Severity::Warning, hub_.text(Msg::ListFileAlreadyQueued).arg(item.path));
            continue;
        }
        insertTop(itemTexts(item));
    }
    if (loaded.status == FileListReadResult::Status::Truncated)
        hub_.prompter.inform(Severity::Warning, hub_.text(Msg::ListFileTruncated).arg(loaded.items.size()));
}

// ---------------------------------------------------------------- sending

std::vector<SendRow>& SendPage::flowRows()
{
    return flows_.running == LinkType::LinkEthernet ? flows_.ethernet.send.rows : flows_.serial.send.rows;
}

void SendPage::send()
{
    if (hub_.loginLevel == 0) {
        hub_.prompter.inform(Severity::Warning, hub_.text(Msg::SendNeedLogin), hub_.text(Msg::SendCaption));
        return;
    }
    if (hub_.state.link == LinkType::LinkNone) {
        hub_.prompter.inform(Severity::Warning, hub_.text(Msg::PleaseConnect));
        return;
    }
    if (list_->selectedRows().empty()) {
        hub_.prompter.inform(Severity::Warning, hub_.text(Msg::SendSelectFile));
        return;
    }
    startOn(hub_.state.link);
}

bool SendPage::startOn(LinkType link)
{
    TransferFlow& flow = link == LinkType::LinkEthernet ? static_cast<TransferFlow&>(flows_.ethernet.send)
                                                        : static_cast<TransferFlow&>(flows_.serial.send);
    // Refused before the page touches its rows or the link: a running send or DNC keeps both.
    if (!flow.mayStart(OperationKind::Send))
        return false;
    std::vector<SendRow> rows;
    for (int i = 0; i < list_->rowCount(); ++i) {
        SendRow row;
        row.sendable = list_->text(i, ColCheck) == checkMarkText(true);
        row.path = list_->text(i, ColPath);
        row.targetName = list_->text(i, ColTarget);
        row.size = list_->text(i, ColSize).toLongLong();
        row.partition = list_->text(i, ColPartition);
        row.state = list_->text(i, ColState);
        row.selected = list_->isRowSelected(i);
        rows.push_back(row);
    }
    LinkReceiver* previous = hub_.receiver();
    const LinkType previousLink = flows_.running;
    flows_.running = link;
    flowRows() = rows;
    batch_.clear();
    batchSelected_ = int(std::count_if(rows.begin(), rows.end(), [](const SendRow& r) { return r.selected; }));
    hub_.setReceiver(this);
    list_->setEnabled(false);
    flows_.ethernet.send.verify = hub_.verifyAfterSend;
    const bool started = link == LinkType::LinkEthernet ? flows_.ethernet.send.start() : flows_.serial.send.start();
    if (!started) {
        hub_.setReceiver(previous);
        flows_.running = previousLink;
        list_->setEnabled(true);
        return false;
    }
    hub_.operationChanged();
    return true;
}

void SendPage::stop()
{
    flows_.stop();
}

void SendPage::rowChanged(int row)
{
    const std::vector<SendRow>& rows = flowRows();
    if (row < 0 || row >= static_cast<int>(rows.size()) || row >= list_->rowCount())
        return;
    const QStringList texts = rowTexts(rows[row]);
    for (int c = 0; c < texts.size(); ++c)
        list_->setText(row, c + 1, texts[c]);
    const QString& state = rows[row].state;
    if (state == hub_.text(Msg::StateUnsend))
        return;
    batch_[row] = state;
    // A failure goes to the operation log with its reason, not only the starts.
    for (Msg failure : {Msg::StateError, Msg::StateSendFail, Msg::StateNotEnoughRight, Msg::StateUnableToOpen})
        if (state == hub_.text(failure))
            hub_.log(LogEntry::Failed, rows[row].path + QStringLiteral(": ") + state);
}

std::optional<QString> SendPage::PagePrompter::askText(const QString& prompt, const QString& initial)
{
    if (!page_.askNewName)
        return page_.hub_.prompter.askText(prompt, initial);
    // The only text a send asks for is the new name of the row it is on.
    QString partition;
    for (const SendRow& row : page_.flowRows())
        if (row.path == page_.currentPath_)
            partition = row.partition;
    return page_.askNewName(initial, partition);
}

void SendPage::currentFile(const QString& path)
{
    currentPath_ = path;
    progress_->setCurrentFile(path);
}

void SendPage::progress(const TransferStatistics& stats)
{
    progress_->showStatistics(stats);
}

void SendPage::log(LogEntry entry, const QString& text)
{
    hub_.log(entry, text);
}

void SendPage::finished(bool)
{
    progress_->showEnded();
    // One line for the whole batch: how many went, were passed over and failed.
    int sent = 0;
    int failed = 0;
    for (const auto& [row, state] : batch_)
        (state == hub_.text(Msg::StateSent) ? sent : failed) += 1;
    hub_.log(LogEntry::BatchEnded,
             hub_.text(Msg::BatchSendSummary).arg(sent).arg(std::max(0, batchSelected_ - sent - failed)).arg(failed));
    list_->setEnabled(true);
    hub_.operationChanged();
}

void SendPage::dropLink()
{
    hub_.dropEthernet();
}

// ---------------------------------------------------------------- the link

void SendPage::linkBytes(QByteArrayView chunk)
{
    flows_.onBytes(chunk);
}

void SendPage::linkTimer(int id)
{
    flows_.onTimer(id);
}

void SendPage::linkClosed()
{
    // Nothing ran: the main window still has to hear that the controller went away.
    if (!flows_.ethernetLost())
        dropLink();
}

void SendPage::linkReadError()
{
    flows_.ethernetLost();
}

void SendPage::serialLost()
{
    if (flows_.serialLost())
        hub_.prompter.inform(Severity::Error, hub_.text(Msg::SerialLineLost), hub_.text(Msg::SendCaption));
}

}  // namespace vantor::fernlink::ui
