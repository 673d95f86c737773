// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/ui/dncpage.h"

#include "common/gbk.h"

#include "fernlink/ui/transferprogress.h"

#include <QShortcut>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace vantor::fernlink::ui {

DncPage::DncPage(LinkHub& hub, QWidget* parent)
    : QWidget(parent),
      file(makeField(this)),
      packets(makeField(this)),
      errorCheck(makeField(this)),
      retries(makeField(this)),
      totalErrors(makeField(this)),
      progressField(makeField(this)),
      elapsed(makeField(this)),
      remaining(makeField(this)),
      speed(makeField(this)),
      bar(new QProgressBar(this)),
      hub_(hub),
      flow_(hub.serialPort(), hub.ethernetPort(), hub.state, hub.prompter, *this)
{
    bar->setRange(0, 100);
    bar->setValue(0);
    errorCheck->setText(QStringLiteral("CRC"));

    auto* form = new QFormLayout;
    form->addRow(hub.text(Msg::ProgressCurrentFile), file);
    form->addRow(hub.text(Msg::ProgressPackets), packets);
    form->addRow(hub.text(Msg::DncErrorCheck), errorCheck);
    form->addRow(hub.text(Msg::DncRetries), retries);
    form->addRow(hub.text(Msg::DncTotalErrors), totalErrors);
    form->addRow(hub.text(Msg::ProgressFile), progressField);
    form->addRow(hub.text(Msg::ProgressElapsed), elapsed);
    form->addRow(hub.text(Msg::ProgressRemaining), remaining);
    form->addRow(hub.text(Msg::ProgressSpeed), speed);
    form->addRow(bar);

    auto* buttons = new QHBoxLayout;
    auto* startButton = new QPushButton(hub.text(Msg::DncButtonStart), this);
    auto* stopButton = new QPushButton(hub.text(Msg::DncButtonStop), this);
    connect(startButton, &QPushButton::clicked, this, &DncPage::start);
    connect(stopButton, &QPushButton::clicked, this, &DncPage::stop);
    // F9 starts, Shift+F9 stops, wherever the focus is in the window while the page shows;
    // a hidden page's keys do nothing. The button tips say so.
    new QShortcut(QKeySequence(kStartKey), this, this, &DncPage::start, Qt::WindowShortcut);
    new QShortcut(QKeySequence(kStopKey), this, this, &DncPage::stop, Qt::WindowShortcut);
    startButton->setToolTip(QKeySequence(kStartKey).toString(QKeySequence::NativeText));
    stopButton->setToolTip(QKeySequence(kStopKey).toString(QKeySequence::NativeText));
    buttons->addStretch(1);
    buttons->addWidget(startButton);
    buttons->addWidget(stopButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addStretch(1);
}

DncPage::~DncPage()
{
    if (hub_.receiver() == this)
        hub_.setReceiver(nullptr);
}

void DncPage::start()
{
    const DncDocument document = hub_.currentDocument ? hub_.currentDocument() : DncDocument{};
    if (flow_.running() || !hub_.state.idle() || hub_.state.link == LinkType::LinkNone) {
        // Only the refusal: what runs keeps the link's replies while its message is open.
        flow_.start(document);
        return;
    }
    flow_.headerMode = hub_.dncHeaderMode;
    flow_.customHeader = toGbk(hub_.dncHeader);
    LinkReceiver* previous = hub_.receiver();
    const bool wasEthernet = ethernet_;
    ethernet_ = hub_.state.link == LinkType::LinkEthernet;
    // The flow writes its first byte (Ethernet) before it returns.
    hub_.setReceiver(this);
    if (!flow_.start(document)) {
        hub_.setReceiver(previous);
        ethernet_ = wasEthernet;
        return;
    }
    refresh();
    hub_.operationChanged();
}

void DncPage::stop()
{
    const OperationState mine = ethernet_ ? OperationState::OpNetDnc : OperationState::OpSerialDnc;
    if (!flow_.running() || hub_.state.operation != mine)
        return;
    flow_.stop();
    if (!flow_.cancelled())
        return;  // the user said No, or the stream ended while the question was open
    clearFields();
    if (ethernet_)
        speed->setText(QStringLiteral("0 KB/s"));
}

void DncPage::refresh()
{
    packets->setText(flow_.packetsText());
    retries->setText(QString::number(flow_.retries()));
    totalErrors->setText(QString::number(flow_.totalErrors()));
    progressField->setText(flow_.progressText());
    elapsed->setText(flow_.stats.elapsedText());
    remaining->setText(flow_.stats.remainingText());
    speed->setText(flow_.stats.speedText());
    const qint64 total = flow_.total();
    bar->setValue(total > 0 ? static_cast<int>(flow_.done() * 100 / total) : 0);
}

void DncPage::clearFields()
{
    for (QLineEdit* field : {file, packets, retries, totalErrors, progressField, elapsed, remaining, speed})
        field->clear();
    bar->setValue(0);
}

void DncPage::currentFile(const QString& path)
{
    file->setText(path);
}

void DncPage::progress(const TransferStatistics&)
{
    refresh();
}

void DncPage::log(LogEntry entry, const QString& text)
{
    hub_.log(entry, text);
}

void DncPage::finished(bool completed)
{
    if (!completed && flow_.cutByLink()) {
        // The operator needs to see how far it got: the fields stay, the speed is gone.
        refresh();
        speed->setText(QStringLiteral("0 KB/s"));
        remaining->clear();
        hub_.operationChanged();
        return;
    }
    if (!completed) {
        // A stream that broke off leaves nothing behind that looks like a run still going.
        clearFields();
        hub_.operationChanged();
        return;
    }
    refresh();
    if (completed && ethernet_) {
        speed->setText(QStringLiteral("0 KB/s"));
        remaining->setText(QStringLiteral("00:00:00"));
    }
    hub_.operationChanged();
}

void DncPage::dropLink()
{
    hub_.dropEthernet();
}

void DncPage::linkBytes(QByteArrayView chunk)
{
    flow_.onBytes(chunk);
    if (flow_.running())
        refresh();
}

void DncPage::linkTimer(int id)
{
    flow_.onTimer(id);
    if (flow_.running())
        refresh();
}

void DncPage::linkClosed()
{
    flow_.closed();
}

void DncPage::linkReadError()
{
    flow_.receiveError();
}

void DncPage::serialLost()
{
    flow_.serialLost();
}

}  // namespace vantor::fernlink::ui
