// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernport/transferflows.h"

#include "common/archive.h"
#include "common/gbk.h"
#include "fernport/messages.h"
#include "serialcore/controllernames.h"
#include "serialcore/serialwire.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace vantor::fernport {

namespace {
QString qs(const char* latin1) { return QString::fromLatin1(latin1); }
}  // namespace

// ---------------------------------------------------------------- sequencing

LineSequencer::LineSequencer(LinkDriver& driver) : driver_(driver)
{
    connect(&driver_, &LinkDriver::queueEmpty, this, [this] {
        if (!pending_)
            return;
        auto step = std::move(pending_);
        pending_ = nullptr;
        step();
    });
}

void LineSequencer::afterQueue(std::function<void()> step)
{
    if (driver_.idle()) {
        step();
        return;
    }
    pending_ = std::move(step);
}

// ---------------------------------------------------------------- send

SendFlow::SendFlow(SerialSession& session, TransferView& view)
    : session_(session),
      view_(view),
      tx_(session.driver, wire::kDownloadLinePauseFernportMs),
      xmodem_(session.driver, *this, XModemVariant::Fernport),
      seq_(session.driver)
{
}

SendFlow::~SendFlow() = default;

std::optional<QString> SendFlow::acceptedName(const QString& fileName, const QString& partition)
{
    if (partition != QLatin1String(wire::kPartUser))
        return fileName;
    QString name = fileName;
    for (;;) {
        if (auto accepted = controllerName(session_.family, name))
            return accepted;
        session_.prompter.inform(Severity::Error, qs(msg::kPleaseRename).arg(name, partition), qs(msg::kCaptionError));
        const auto renamed = askRename_ ? askRename_(name) : std::nullopt;
        if (!renamed || renamed->trimmed().isEmpty())
            return std::nullopt;
        name = renamed->trimmed();
    }
}

int SendFlow::addFiles(const QStringList& paths, const QString& partition)
{
    const int limit = familyFileLimit(session_.family);
    int added = 0;
    for (const QString& path : paths.mid(0, limit)) {
        const QFileInfo info(path);
        if (!info.isFile()) {
            session_.prompter.inform(Severity::Information, qs(msg::kCannotFind) + path);
            continue;
        }
        const auto name = acceptedName(info.fileName(), partition);
        if (!name)
            continue;
        if (static_cast<int>(entries_.size()) >= limit) {
            session_.prompter.inform(Severity::Error, qs(msg::kTooManyFiles).arg(limit), qs(msg::kCaptionError));
            break;
        }
        entries_.push_back({info.absoluteFilePath(), *name, partition, qs(msg::kStateNotSent)});
        ++added;
    }
    view_.listChanged();
    return added;
}

bool SendFlow::addUpgradeFolder(const QString& folder)
{
    entries_.clear();
    QString error;
    const auto text = readWholeFile(QDir(folder).filePath(QStringLiteral("config.ini")), &error);
    if (!text) {
        session_.prompter.inform(Severity::Error, qs(msg::kAddFileFail), qs(msg::kCaptionError));
        view_.listChanged();
        return false;
    }
    const UpgradeList list = parseUpgradeList(*text);
    const int limit = familyFileLimit(session_.family);
    for (const UpgradeEntry& e : list.entries) {
        const QFileInfo info(QDir(folder).filePath(e.name));
        if (!info.isFile())
            continue;  // the upgrade set may name files a machine does not need
        if (static_cast<int>(entries_.size()) >= limit) {
            session_.prompter.inform(Severity::Error, qs(msg::kTooManyFiles).arg(limit), qs(msg::kCaptionError));
            break;
        }
        entries_.push_back({info.absoluteFilePath(), e.name, e.partition, qs(msg::kStateNotSent)});
    }
    if (!list.ok)
        session_.prompter.inform(Severity::Error, qs(msg::kAddFileFail), qs(msg::kCaptionError));
    view_.listChanged();
    return list.ok;
}

void SendFlow::removeEntries(QList<int> rows)
{
    if (active())
        return;
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (int row : rows)
        if (row >= 0 && row < static_cast<int>(entries_.size()))
            entries_.erase(entries_.begin() + row);
    view_.listChanged();
}

void SendFlow::clearList()
{
    if (active())
        return;
    entries_.clear();
    view_.listChanged();
}

bool SendFlow::startEdited(const QString& documentPath)
{
    if (active())
        return false;
    if (documentPath.isEmpty()) {
        session_.prompter.inform(Severity::Error, qs(msg::kNoFileOpened), qs(msg::kCaptionError));
        return false;
    }
    // The list holds only the edited file from here on, whatever the rename dialog answers;
    // a refused name goes straight to the dialog, as the user has nothing else to choose.
    const QFileInfo info(documentPath);
    entries_.clear();
    entries_.push_back({info.absoluteFilePath(), info.fileName(), QLatin1String(wire::kPartUser), qs(msg::kStateNotSent)});
    view_.listChanged();
    std::optional<QString> name;
    while (!(name = controllerName(session_.family, entries_[0].name))) {
        const auto renamed = askRename_ ? askRename_(entries_[0].name) : std::nullopt;
        if (!renamed || renamed->trimmed().isEmpty())
            return false;
        entries_[0].name = renamed->trimmed();
        view_.entryChanged(0);
    }
    entries_[0].name = *name;
    view_.entryChanged(0);
    editedOnly_ = true;
    index_ = 0;
    view_.progressReset(entries_[0].name, entries_[0].partition);
    selectPartition(entries_[0].partition);
    return true;
}

bool SendFlow::start()
{
    if (active() || entries_.empty())
        return false;
    editedOnly_ = false;
    index_ = 0;
    view_.progressReset(entries_[0].name, entries_[0].partition);
    selectPartition(entries_[0].partition);
    return true;
}

void SendFlow::selectPartition(const QString& partition)
{
    tx_.changePartition(partition);
    session_.partition = partition.toLower();
    if (isPromptFamily(session_.family)) {
        prompt_.reset(partition);
        phase_ = Phase::WaitPrompt;
        return;
    }
    sendOneFile();
}

void SendFlow::sendOneFile()
{
    const SendEntry& e = entries_[index_];
    QString error;
    const QFileInfo info(e.path);
    const auto data = info.size() > kMaxFileSize ? std::nullopt : readWholeFile(e.path, &error);
    if (!data) {
        session_.prompter.inform(Severity::Information, qs(msg::kFileCannotBeOpen).arg(e.path));
        finish();
        return;
    }
    // What the controller answers to xdel (an ACK, or DLE for a name it does not hold) is
    // no reply to the download: the sender starts listening only once xdel has gone out.
    phase_ = Phase::Commanding;
    xmodem_.beginSend(*data);
    if (!isPromptFamily(session_.family)) {
        tx_.remove(e.name);
        seq_.afterQueue([this] { download(); });
        return;
    }
    download();
}

void SendFlow::download()
{
    phase_ = Phase::Transfer;
    const SendEntry& e = entries_[index_];
    if (!tx_.download(e.name, SerialCommandTransmitter::typeFlagFor(e.partition)))
        xmodem_.onSenderByte(wire::kCan);  // a name the controller's reader cannot take fails like a refusal
}

void SendFlow::onBytes(QByteArrayView chunk)
{
    switch (phase_) {
    case Phase::WaitPrompt:
        switch (prompt_.feed(chunk)) {
        case PromptCheck::Outcome::Matched:
            sendOneFile();
            return;
        case PromptCheck::Outcome::Mismatched:
            selectPartition(entries_[index_].partition);
            return;
        case PromptCheck::Outcome::Pending:
            return;
        }
        return;
    case Phase::Transfer:
        // Every byte counts: two replies can reach us in one chunk.
        xmodem_.onSenderBytes(chunk);
        return;
    case Phase::Idle:
    case Phase::Commanding:
        return;
    }
}

void SendFlow::sendStarted(int totalBlocks)
{
    view_.progressTotal(totalBlocks);
}

void SendFlow::blockSent(int block, int totalBlocks, qint64)
{
    view_.progressStep(1 + 100 * block / std::max(totalBlocks, 1));
}

void SendFlow::nakReceived()
{
    view_.progressNak();
}

void SendFlow::canRetryRequested()
{
    const SendEntry& e = entries_[index_];
    view_.progressReset(e.name, e.partition);
    phase_ = Phase::Commanding;
    tx_.remove(e.name);
    seq_.afterQueue([this] {
        session_.driver.pause(100);
        download();
    });
}

void SendFlow::sendFinished(SendResult result)
{
    const QString name = entries_[index_].name;
    switch (result) {
    case SendResult::Sent:
        break;
    case SendResult::Failed:
        session_.prompter.inform(Severity::Information, qs(msg::kSendFileError).arg(name));
        break;
    case SendResult::NoRight:
        session_.prompter.inform(Severity::Information, qs(msg::kNoRight).arg(name));
        session_.prompter.inform(Severity::Information, qs(msg::kSendFail).arg(name));
        break;
    case SendResult::NotSuit:
        session_.prompter.inform(Severity::Information, qs(msg::kNotSuit).arg(name));
        session_.prompter.inform(Severity::Information, qs(msg::kSendFail).arg(name));
        break;
    case SendResult::Exists:
    case SendResult::Full:
        session_.prompter.inform(Severity::Information, qs(msg::kFileExists).arg(name));
        session_.prompter.inform(Severity::Information, qs(msg::kSendFail).arg(name));
        break;
    case SendResult::Cancelled:
        break;
    }
    entries_[index_].state = qs(result == SendResult::Sent ? msg::kStateSent : msg::kStateError);
    view_.entryChanged(index_);
    if (active())
        nextFile();
}

void SendFlow::nextFile()
{
    phase_ = Phase::Commanding;
    if (editedOnly_ || index_ + 1 >= static_cast<int>(entries_.size())) {
        finish();
        return;
    }
    ++index_;
    const SendEntry& e = entries_[index_];
    view_.progressReset(e.name, e.partition);
    session_.driver.pause(kPauseBetweenFilesMs);
    seq_.afterQueue([this] {
        const QString partition = entries_[index_].partition;
        if (partition.toLower() != session_.partition)
            selectPartition(partition);
        else
            sendOneFile();
    });
}

void SendFlow::cancel()
{
    if (!active())
        return;
    seq_.forget();
    session_.driver.clear();
    if (xmodem_.isSending())
        xmodem_.cancelSend();
    else
        session_.driver.write(QByteArray(1, wire::kCan));
    finish();
}

void SendFlow::finish()
{
    phase_ = Phase::Idle;
    editedOnly_ = false;
    index_ = 0;
    view_.sendDone();
}

// ---------------------------------------------------------------- receive

ReceiveFlow::ReceiveFlow(SerialSession& session, TransferView& view)
    : session_(session),
      view_(view),
      tx_(session.driver, wire::kDownloadLinePauseFernportMs),
      xmodem_(session.driver, *this, XModemVariant::Fernport),
      seq_(session.driver)
{
}

ReceiveFlow::~ReceiveFlow() = default;

void ReceiveFlow::getList()
{
    if (listing_ || receiving())
        return;
    entries_.clear();
    view_.listChanged();
    listing_ = true;
    listPartition(QLatin1String(wire::kPartUser));
    listDeadline_.start(session_.driver);
}

void ReceiveFlow::listPartition(const QString& partition)
{
    listed_ = partition;
    collector_.reset();
    tx_.changePartition(partition);
    session_.partition = partition;
    tx_.list();
}

void ReceiveFlow::onTimer(int id)
{
    if (id == CXModem::kStartTimerId) {
        xmodem_.onTimer(id);
        return;
    }
    if (!listing_ || !listDeadline_.expired(id))
        return;
    endListing(false);
    session_.prompter.inform(Severity::Information, qs(msg::kListTimeOut));
}

void ReceiveFlow::onBytes(QByteArrayView chunk)
{
    if (listing_) {
        if (collector_.feed(chunk) != ListingCollector::State::Collecting)
            listingComplete();
        return;
    }
    if (xmodem_.isReceiving())
        xmodem_.onReceiverChunk(chunk);
}

void ReceiveFlow::listingComplete()
{
    const int limit = familyFileLimit(session_.family);
    for (const ListingEntry& e : parseListing(collector_.listing())) {
        if (static_cast<int>(entries_.size()) >= limit) {
            session_.prompter.inform(Severity::Error, qs(msg::kTooManyFiles).arg(limit), qs(msg::kCaptionError));
            break;
        }
        entries_.push_back({e.name, listed_, qs(msg::kStateNotRec)});
    }
    collector_.reset();
    if (listed_ == QLatin1String(wire::kPartUser)) {
        listPartition(QLatin1String(wire::kPartSys));
        return;
    }
    std::stable_sort(entries_.begin(), entries_.end(),
                     [](const ReceiveEntry& a, const ReceiveEntry& b) { return toGbk(a.name) < toGbk(b.name); });
    endListing(true);
}

void ReceiveFlow::endListing(bool complete)
{
    listing_ = false;
    // Given up: commands still waiting for the line would draw a listing into whatever
    // comes next.
    if (!complete)
        session_.driver.clear();
    listDeadline_.stop(session_.driver);
    view_.listChanged();
    view_.listingDone(complete);
}

bool ReceiveFlow::receive(QList<int> rows, const QString& folder)
{
    if (listing_ || receiving() || folder.isEmpty())
        return false;
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.erase(std::remove_if(rows.begin(), rows.end(), [this](int r) { return r < 0 || r >= static_cast<int>(entries_.size()); }),
               rows.end());
    if (rows.isEmpty())
        return false;
    queue_ = rows;
    pos_ = 0;
    folder_ = folder;
    view_.receivingFile(entries_[queue_[0]].name, folder_);
    receiveOne();
    return true;
}

void ReceiveFlow::receiveOne()
{
    const ReceiveEntry& e = entries_[queue_[pos_]];
    // Names the controller gives may not leave the chosen folder.
    if (!isSafeLocalName(e.name)) {
        session_.prompter.inform(Severity::Error, qs(msg::kUnsafeName).arg(e.name, folder_), qs(msg::kCaptionError));
        mark(qs(msg::kStateError));
        nextReceived();
        return;
    }
    target_ = QDir(folder_).filePath(e.name);
    if (QFileInfo::exists(target_)
        && session_.prompter.ask(qs(msg::kOverwrite).arg(e.name), Buttons::YesNo, qs(msg::kCaptionReceive)) != Answer::Yes) {
        nextReceived();
        return;
    }
    if (e.partition.toLower() != session_.partition) {
        tx_.changePartition(e.partition);
        session_.partition = e.partition.toLower();
    }
    if (!tx_.upload(e.name, SerialCommandTransmitter::typeFlagFor(e.partition))) {
        mark(qs(msg::kStateError));
        nextReceived();
        return;
    }
    // Listening starts at once, so a refusal that answers the command is not missed; the
    // start requests queue behind the command and never overtake it.
    xmodem_.beginReceive(kStartPeriodMs, kStartRequests, false);
}

bool ReceiveFlow::openReceiveFile()
{
    // The file is written under a temporary name and takes its own only when complete.
    if (file_.open(target_))
        return true;
    session_.prompter.inform(Severity::Information, qs(msg::kCannotSaveWhy).arg(file_.errorString()));
    return false;
}

bool ReceiveFlow::writeBlock(QByteArrayView data)
{
    return file_.write(data);
}

void ReceiveFlow::tellNotSaved()
{
    if (file_.failed())
        session_.prompter.inform(Severity::Information, qs(msg::kCannotSaveWhy).arg(file_.errorString()));
    else
        session_.prompter.inform(Severity::Information, qs(msg::kCannotSave).arg(QDir::toNativeSeparators(target_)));
}

void ReceiveFlow::blockReceived(int)
{
    view_.receivedGood();
}

void ReceiveFlow::badBlock(bool)
{
    view_.receivedBad();
}

void ReceiveFlow::receiveFinished(ReceiveResult result)
{
    const QString name = entries_[queue_[pos_]].name;
    bool ok = result == ReceiveResult::Received;
    if (ok) {
        // An end of file before any block is an empty file.
        if (!file_.isOpen())
            file_.open(target_);
        if (!file_.commit()) {
            ok = false;
            tellNotSaved();
        }
    } else if (result == ReceiveResult::WriteFailed) {
        tellNotSaved();
    }
    file_.drop();
    switch (result) {
    case ReceiveResult::NoRight:
        session_.prompter.inform(Severity::Information, qs(msg::kNoRight).arg(name));
        session_.prompter.inform(Severity::Information, qs(msg::kSendFail).arg(name));
        break;
    case ReceiveResult::Garbled:
        session_.prompter.inform(Severity::Information, qs(msg::kFileCommError).arg(name));
        break;
    default:
        break;
    }
    mark(qs(ok ? msg::kStateReceived : msg::kStateError));
    nextReceived();
}

void ReceiveFlow::mark(const QString& state)
{
    entries_[queue_[pos_]].state = state;
    view_.entryChanged(queue_[pos_]);
}

void ReceiveFlow::nextReceived()
{
    if (++pos_ >= queue_.size()) {
        queue_.clear();
        view_.receiveDone();
        return;
    }
    session_.driver.pause(kPauseBetweenFilesMs);
    view_.receivingFile(entries_[queue_[pos_]].name, folder_);
    seq_.afterQueue([this] { receiveOne(); });
}

void ReceiveFlow::cancel()
{
    if (listing_) {
        endListing(false);
        return;
    }
    if (!receiving())
        return;
    seq_.forget();
    session_.driver.clear();
    if (xmodem_.isReceiving()) {
        xmodem_.cancelReceive();
    } else {
        session_.driver.write(QByteArray(1, wire::kCan));
        session_.driver.pause(100);
        session_.driver.purge();
        session_.driver.pause(10);
    }
    file_.drop();
    queue_.clear();
    view_.receiveDone();
}

}  // namespace vantor::fernport
