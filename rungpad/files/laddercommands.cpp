// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/files/laddercommands.h"

#include "common/archive.h"
#include "common/logging.h"
#include "rungpad/compiler/errors.h"
#include "rungpad/files/fileformat.h"
#include "rungpad/files/filemessages.h"
#include "rungpad/files/ladderfile.h"
#include "rungpad/files/notationtext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace rungpad {

namespace {
QString inFolder(const QString& folder, const char* name)
{
    return QDir(folder).filePath(QString::fromLatin1(name));
}
}  // namespace

LadderFileCommands::LadderFileCommands(LadderDocument& document, LadderConversion& conversion, FileCommandEnvironment env)
    : doc_(document), conversion_(conversion), env_(std::move(env))
{
}

QString LadderFileCommands::text(FileMessage id) const
{
    return fileMessage(id, env_.language);
}

void LadderFileCommands::say(FileMessage id)
{
    env_.output.outputLine(text(id));
}

void LadderFileCommands::fail(FileMessage id)
{
    env_.prompter.inform(vantor::Severity::Error, text(id));
    env_.output.outputLine(text(id));
}

void LadderFileCommands::fail(FileMessage id, const QString& writeError)
{
    const QString reason = text(FileMessage::WriteFailedReason).arg(writeError);
    env_.prompter.inform(vantor::Severity::Error, text(id) + QLatin1Char('\n') + reason);
    env_.output.outputLine(text(id));
    env_.output.outputLine(reason);
}

bool LadderFileCommands::requireConversion()
{
    if (doc_.isConverted())
        return true;
    env_.prompter.inform(vantor::Severity::Warning, text(FileMessage::NotConverted));
    return false;
}

bool LadderFileCommands::writeOutput(const QString& path, const QByteArray& bytes)
{
    const vantor::ArchiveFileResult result = vantor::saveFileAtomically(path, bytes);
    if (!result.ok) {
        fail(FileMessage::OperationError, result.error);
        return false;
    }
    // A controller loads these blind: only a copy that reads back byte for byte is a success.
    QString why;
    const auto back = vantor::readWholeFile(path, &why);
    if (!back || *back != bytes) {
        qCDebug(vantor::lcLadder) << "output" << path << "read back" << (back ? back->size() : -1) << "of" << bytes.size() << "bytes" << why;
        QFile::remove(path);
        const QString message = text(FileMessage::OutputMismatch).arg(QDir::toNativeSeparators(path));
        env_.prompter.inform(vantor::Severity::Error, message);
        env_.output.outputLine(message);
        return false;
    }
    say(FileMessage::Succeed);
    return true;
}

QString LadderFileCommands::programFile(const char* name) const
{
    for (const QString& folder : env_.dataFolders) {
        const QString path = inFolder(folder, name);
        if (QFileInfo(path).isFile())
            return path;
    }
    return inFolder(env_.programFolder, name);
}

void LadderFileCommands::readProgramFolderComments(LadderDocument& target)
{
    QString why;
    if (const auto diag = vantor::readWholeFile(programFile(fileformat::kDiagnosisFileName), &why))
        applyCommentEntries(parseDiagnosisFile(*diag), target.comments);
    else
        sayMeanFileMissing();
    if (const auto user = vantor::readWholeFile(programFile(fileformat::kUserNotationFileName), &why))
        applyNotationContent(parseUserNotationFile(*user), target.comments);
}

void LadderFileCommands::sayMeanFileMissing()
{
    say(FileMessage::CannotLoadMean);
    // The first folder searched is the user's own, the next the first installed share folder.
    const auto folder = [this](qsizetype at) {
        const QString f = env_.dataFolders.value(at, env_.programFolder);
        return f.endsWith(QLatin1Char('/')) ? f : f + QLatin1Char('/');
    };
    env_.output.outputLine(text(FileMessage::MeanFileWhere).arg(folder(0), folder(1)));
}

bool LadderFileCommands::open(const QString& path)
{
    say(FileMessage::LoadingFile);
    QString why;
    const auto bytes = vantor::readWholeFile(path, &why);
    const bool withComments = !isGrpPath(path);
    LadderFileContent content = bytes ? parseLadderFile(*bytes, withComments) : LadderFileContent{};
    qCDebug(vantor::lcLadder) << "open" << path << (bytes ? bytes->size() : -1) << "bytes," << (content.ok() ? "read" : "refused")
                              << why;
    if (!bytes || !content.ok()) {
        // The fixed line first (scripts look for it), then which file and why.
        const QString file = QDir::toNativeSeparators(path);
        QString reason;
        if (!bytes)
            reason = QFileInfo::exists(path) ? text(FileMessage::OpenUnreadable).arg(file, why)
                                             : text(FileMessage::OpenMissing).arg(file);
        else if (content.error == LadderLoadError::LineCount)
            reason = text(FileMessage::OpenTooManyLines).arg(file).arg(content.declaredLines);
        else if (content.error == LadderLoadError::NotLadder)
            reason = text(FileMessage::OpenNotLadder).arg(file);
        else
            reason = text(FileMessage::OpenTruncated).arg(file).arg(content.declaredLines);
        env_.prompter.inform(vantor::Severity::Error, text(FileMessage::CannotOpenLadder) + QLatin1Char('\n') + reason);
        say(FileMessage::CannotOpenLadder);
        env_.output.outputLine(reason);
        return false;
    }

    LadderDocument loaded;
    loaded.editLadder = std::move(content.ladder);
    loaded.exportCopy.clear();
    loaded.info = content.info;
    loaded.pathName = path;
    readProgramFolderComments(loaded);
    say(FileMessage::FileLoaded);
    if (withComments) {
        say(FileMessage::LoadingNotation);
        deferCommentRecords(content, loaded.editLadder, loaded.comments);
        say(content.comments == CommentLoadResult::Failed ? FileMessage::LoadNotationError : FileMessage::NotationLoaded);
    }
    normalizeFunctionBlocks(loaded.editLadder);
    loaded.setConverted(false);
    loaded.setModified(false);
    doc_ = std::move(loaded);
    conversion_.precheck(doc_);
    return true;
}

bool LadderFileCommands::save(const QString& path)
{
    QString errorLine;
    if (!conversion_.convert(doc_, &errorLine)) {
        env_.output.outputLine(errorLine);
        say(FileMessage::ConvertError);
    }
    const bool withComments = !isGrpPath(path);
    LadderInfo info = doc_.info;
    info.saveTime = env_.now().toString(QString::fromLatin1(fileformat::kSaveTimeFormat));
    const QByteArray bytes = formatLadderFile(doc_.editLadder, info, withComments ? &doc_.comments : nullptr);
    say(FileMessage::SavingFile);
    if (withComments)
        say(FileMessage::SavingNotation);
    if (const auto saved = vantor::saveFileAtomically(path, bytes); !saved.ok) {
        fail(FileMessage::SaveFileFail, saved.error);
        return false;
    }
    doc_.info = info;
    doc_.pathName = path;
    doc_.setModified(false);
    say(FileMessage::FileSaved);
    if (withComments)
        say(FileMessage::NotationSaved);
    return true;
}

bool LadderFileCommands::convert()
{
    env_.output.outputLine(QString::fromLatin1(msg::ConvertingEn));
    QString errorLine;
    const bool ok = conversion_.convert(doc_, &errorLine);
    doc_.setConverted(ok);
    qCDebug(vantor::lcLadder) << "convert" << doc_.editLadder.lineCount() << "lines:" << (ok ? QStringLiteral("ok") : errorLine);
    if (!ok) {
        env_.output.outputLine(errorLine);
        return false;
    }
    env_.output.outputLine(QString::fromLatin1(msg::ConvertSucceedEn));
    return true;
}

bool LadderFileCommands::generateLadderFile(const QString& path)
{
    if (!requireConversion())
        return false;
    return writeOutput(path, formatLadderPart(doc_.editLadder, doc_.info, NumberField::FromText));
}

bool LadderFileCommands::generateOldLadderFile(const QString& path)
{
    if (!requireConversion())
        return false;
    // Checked before anything is created: a refused export leaves no file behind.
    auto copy = makeVersion1Copy(doc_.editLadder);
    if (!copy) {
        env_.prompter.inform(vantor::Severity::Error, text(FileMessage::UnlawfulInstruction));
        say(FileMessage::CannotOutputFile);
        say(FileMessage::OldLadderFailed);
        return false;
    }
    doc_.exportCopy = std::move(*copy);
    const QByteArray bytes = formatLadderPart(doc_.exportCopy, doc_.info, NumberField::Version1);
    doc_.exportCopy.clear();
    return writeOutput(path, bytes);
}

bool LadderFileCommands::generateBinaryFile(const QString& path)
{
    if (!requireConversion())
        return false;
    say(FileMessage::Saving);
    const auto bytes = formatBinaryImage(conversion_.output());
    if (!bytes) {
        fail(FileMessage::OperationError);
        return false;
    }
    return writeOutput(path, *bytes);
}

bool LadderFileCommands::generateInstructionList(const QString& path)
{
    if (!requireConversion())
        return false;
    say(FileMessage::Saving);
    return writeOutput(path, formatInstructionList(conversion_.output().instructionLines));
}

bool LadderFileCommands::exportNotation(const QString& path)
{
    say(FileMessage::SavingNote);
    if (const auto saved = vantor::saveFileAtomically(path, formatUserNotationFile(doc_.comments)); !saved.ok) {
        fail(FileMessage::CannotOpenFile, saved.error);
        return false;
    }
    say(FileMessage::NoteSaved);
    return true;
}

bool LadderFileCommands::importNotation(const QString& path)
{
    const bool explicitFile = !path.isEmpty();
    const QString file = explicitFile ? path : programFile(fileformat::kUserNotationFileName);
    if (explicitFile)
        say(FileMessage::LoadingNote);
    QString why;
    const auto bytes = vantor::readWholeFile(file, &why);
    if (!bytes) {
        if (explicitFile)
            env_.prompter.inform(vantor::Severity::Error, text(FileMessage::CannotOpenFile));
        return false;
    }
    applyNotationContent(parseUserNotationFile(*bytes), doc_.comments);
    // Comments take no part in the code image, so the conversion stays valid.
    doc_.setModified(true);
    if (explicitFile)
        say(FileMessage::NoteLoaded);
    return true;
}

}  // namespace rungpad
