// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/ui/transferprogress.h"

#include <QFormLayout>

namespace vantor::fernlink::ui {

QLineEdit* makeField(QWidget* parent)
{
    auto* field = new QLineEdit(parent);
    field->setReadOnly(true);
    return field;
}

TransferProgress::TransferProgress(LinkHub& hub, QWidget* parent)
    : QWidget(parent),
      file(makeField(this)),
      packets(makeField(this)),
      progress(makeField(this)),
      elapsed(makeField(this)),
      remaining(makeField(this)),
      speed(makeField(this)),
      bar(new QProgressBar(this))
{
    bar->setRange(0, 100);
    bar->setValue(0);
    auto* form = new QFormLayout(this);
    form->setContentsMargins(0, 0, 0, 0);
    form->addRow(hub.text(Msg::ProgressCurrentFile), file);
    form->addRow(hub.text(Msg::ProgressPackets), packets);
    form->addRow(hub.text(Msg::ProgressFile), progress);
    form->addRow(hub.text(Msg::ProgressElapsed), elapsed);
    form->addRow(hub.text(Msg::ProgressRemaining), remaining);
    form->addRow(hub.text(Msg::ProgressSpeed), speed);
    form->addRow(bar);
}

void TransferProgress::setCurrentFile(const QString& path)
{
    file->setText(path);
}

void TransferProgress::showStatistics(const TransferStatistics& stats)
{
    packets->setText(stats.packetsText());
    progress->setText(stats.progressText());
    elapsed->setText(stats.elapsedText());
    remaining->setText(stats.remainingText());
    speed->setText(stats.speedText());
    bar->setValue(stats.percent());
}

void TransferProgress::showEnded()
{
    // Nothing is moving any more: no time left, no speed; the elapsed time stays as the record.
    remaining->setText(TransferStatistics::formatDuration(0));
    speed->setText(QStringLiteral("%1 KB/s").arg(0.0, 0, 'f', 2));
}

void TransferProgress::clear()
{
    for (QLineEdit* field : {file, packets, progress, elapsed, remaining, speed})
        field->clear();
    bar->setValue(0);
}

}  // namespace vantor::fernlink::ui
