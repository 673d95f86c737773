// SPDX-License-Identifier: GPL-3.0-or-later
#include "fernlink/link/transferflow.h"

#include "common/gbk.h"

#include "serialcore/controllernames.h"

#include <QDir>
#include <QFileInfo>

namespace vantor::fernlink {

bool TransferFlow::mayStart(OperationKind kind)
{
    if (ctx_.state.link == LinkType::LinkNone) {
        ctx_.prompter.inform(Severity::Warning, ctx_.text(Msg::PleaseConnect));
        return false;
    }
    if (!ctx_.state.idle()) {
        ctx_.prompter.inform(Severity::Warning, ctx_.text(busyMessage(kind, kindOf(ctx_.state.operation))));
        return false;
    }
    return ctx_.state.link == link_;
}

void TransferFlow::begin()
{
    running_ = true;
    ctx_.state.operation = operation();
}

void TransferFlow::end(bool completed)
{
    if (!running_)
        return;
    running_ = false;
    ctx_.state.operation = OperationState::OpIdle;
    observer_.finished(completed);
}

void TransferFlow::record(TransferRecord::Direction direction, const QString& file, const QByteArray* bytes, qint64 size,
                          const QString& state, Msg done)
{
    TransferRecord r;
    r.time = QDateTime::currentDateTime();
    r.ethernet = link_ == LinkType::LinkEthernet;
    r.direction = direction;
    r.file = file;
    r.size = bytes ? bytes->size() : size;
    if (bytes)
        r.crc = crc32(*bytes);
    r.ok = state == ctx_.text(done);
    if (!r.ok)
        r.reason = state;
    observer_.transferred(r);
}

namespace rowwalk {

Next nextSendRow(std::vector<SendRow>& rows, int& index, SerialContext& ctx, FlowObserver& observer)
{
    while (++index < static_cast<int>(rows.size())) {
        SendRow& row = rows[index];
        if (!row.selected)
            continue;
        if (row.sendable)
            return Next::Found;
        observer.currentFile(row.path);
        const bool badName = row.partition == QLatin1String("USER") && !fernlinkUserName(row.targetName);
        QString question = ctx.text(badName ? Msg::IncorrectNameQuestion : Msg::SizeOver4MQuestion);
        if (!badName && !fitsGbk(row.targetName))
            question = ctx.text(Msg::NotGbkQuestion, row.targetName);
        if (ctx.prompter.ask(question, Buttons::YesNo, ctx.text(Msg::Tip)) != Answer::Yes)
            return Next::Refused;
    }
    return Next::NoneLeft;
}

Next nextReceiveRow(std::vector<RemoteFileRow>& rows, int& index, const QString& folder, QString* target,
                    SerialContext& ctx, FlowObserver& observer)
{
    while (++index < static_cast<int>(rows.size())) {
        RemoteFileRow& row = rows[index];
        if (!row.selected)
            continue;
        const auto local = safeLocalName(row.name);
        if (!local) {
            row.state = ctx.text(Msg::StateUnableToCreate);
            observer.rowChanged(index);
            continue;
        }
        *target = QDir(folder).filePath(*local);
        observer.currentFile(row.name);
        if (QFileInfo::exists(*target)
            && ctx.prompter.ask(ctx.text(Msg::FileExistsOverwrite, row.name), Buttons::YesNo) != Answer::Yes)
            continue;
        return Next::Found;
    }
    return Next::NoneLeft;
}

Existing askAboutExistingName(SendRow& row, SerialContext& ctx)
{
    const Answer a = ctx.prompter.ask(ctx.text(Msg::CncHasFile, row.targetName), Buttons::YesNoCancel, ctx.text(Msg::SendCaption));
    if (a == Answer::Yes)
        return Existing::Overwrite;
    if (a != Answer::No)
        return Existing::Skip;
    const QString prompt = ctx.text(Msg::IncorrectNameQuestion).section(QLatin1Char('\n'), 0, 0).trimmed();
    std::optional<QString> name = ctx.prompter.askText(prompt, row.targetName);
    while (name && row.partition == QLatin1String("USER")) {
        if (auto valid = fernlinkUserName(*name)) {
            name = valid;
            break;
        }
        name = ctx.prompter.askText(prompt, *name);
    }
    if (!name || name->isEmpty())
        return Existing::Skip;
    row.targetName = *name;
    return Existing::Renamed;
}

}  // namespace rowwalk

}  // namespace vantor::fernlink
