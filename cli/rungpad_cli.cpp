// SPDX-License-Identifier: GPL-3.0-or-later
// rungpad-cli: the ladder file, conversion and comment commands without a window, on the
// same document, converter and file commands as the editor.
//   rungpad-cli [--lang zh|en] check FILE
//   rungpad-cli [--lang zh|en] convert FILE [--bin OUT] [--list OUT] [--grp OUT] [--old-grp OUT]
//   rungpad-cli [--lang zh|en] dump FILE
//   rungpad-cli [--lang zh|en] comments export FILE LADCHI.txt
//   rungpad-cli [--lang zh|en] comments import FILE LADCHI.txt [--save]
//   rungpad-cli test FILE TESTFILE;  rungpad-cli simulate FILE [--set …] [--run …] [--trace …]
//   rungpad-cli [--lang zh|en] xref FILE [--csv]
//   rungpad-cli [--lang zh|en] diff A B              (exit 1 when they differ)
// Exit status: 0 done, 1 refused or failed, 2 usage error.
#include "cli/commandline.h"
#include "cli/rungpad_review_commands.h"
#include "cli/rungpad_sim_commands.h"
#include "common/datapaths.h"
#include "common/logging.h"
#include "common/prompter.h"
#include "rungpad/files/compilerconversion.h"
#include "rungpad/files/laddercommands.h"
#include "rungpad/files/languagesetting.h"
#include "rungpad/model/ladderdocument.h"
#include "rungpad/model/laddertext.h"
#include "vantor/version.h"

#include <QCoreApplication>
#include <QTextStream>


using namespace rungpad;

namespace {

// rungpad::err names the compiler's error codes, so the shared streams go by these names here.
QTextStream& stdOut() { return vantor::cli::out(); }
QTextStream& stdErr() { return vantor::cli::err(); }

class StreamOutput : public OutputSink {
public:
    explicit StreamOutput(QTextStream& stream) : stream_(stream) {}
    void outputLine(const QString& text) override
    {
        stream_ << text << '\n';
        stream_.flush();
    }

private:
    QTextStream& stream_;
};

// Message boxes become lines on stderr; questions take the safe answer.
class ConsolePrompter : public vantor::Prompter {
public:
    vantor::Answer ask(const QString& text, vantor::Buttons) override
    {
        stdErr() << text << '\n';
        stdErr().flush();
        return vantor::Answer::No;
    }
    void inform(vantor::Severity, const QString& text) override
    {
        stdErr() << text << '\n';
        stdErr().flush();
    }
    std::optional<QString> askText(const QString&, const QString&) override { return std::nullopt; }
};

// The address a NotationTable index stands for: the letter whose byte base is the highest
// one not above the index's byte.
QString notationAddress(int index)
{
    const int byteIndex = index / 8;
    struct Range { char letter; int base; };
    const Range ranges[] = {{'A', 832}, {'K', 768}, {'Y', 640}, {'X', 512}, {'G', 256}, {'F', 0}};
    for (const Range& r : ranges)
        if (byteIndex >= r.base)
            return QString::asprintf("%c%03d.%d", r.letter, byteIndex - r.base, index % 8);
    return {};
}

// The ladder in the converter's text form; everything else on '#' lines, which that form
// skips, so a dump reads back as a ladder and two dumps compare with diff.
void dumpDocument(const LadderDocument& doc)
{
    const LadderProgram& p = doc.editLadder;
    QTextStream& o = stdOut();
    o << "# lines " << p.lineCount() << " end1-line " << p.end1Line << " steps " << p.stepCount << " end1-step "
      << p.end1Step << '\n';
    o << "# version " << doc.info.version << "\n# machine " << doc.info.machine << "\n# modifier "
      << doc.info.modifier << "\n# saved " << doc.info.saveTime << '\n';
    o << writeLadderText(p);
    for (int i = 0; i < kNotationEntries; ++i)
        if (!doc.comments.notation.at(i).isEmpty())
            o << "# notation " << notationAddress(i) << ' ' << doc.comments.notation.at(i) << '\n';
    for (int i = 0; i < kRelayNotationEntries; ++i)
        if (!doc.comments.relay.at(i).isEmpty())
            o << "# relay " << QString::asprintf("R%03d.%d", i / 8, i % 8) << ' ' << doc.comments.relay.at(i) << '\n';
    for (int m = 0; m < kMCodeCount; ++m) {
        const int signal = doc.comments.mCodes.at(m);
        if (signal != -1)
            o << "# mcode " << QString::asprintf("M%02d F%03d.%d", m, signal / 10, signal % 10) << '\n';
    }
    o.flush();
}

const QString kProgram = QStringLiteral("rungpad-cli");

const QList<vantor::cli::Verb> kVerbs = QList<vantor::cli::Verb>{
    {QStringLiteral("check"), QStringLiteral("FILE"), QStringLiteral("convert; print the error line or the step count")},
    {QStringLiteral("convert"), QStringLiteral("FILE [--bin OUT] [--list OUT] [--grp OUT] [--old-grp OUT]"),
     QStringLiteral("convert and write the chosen outputs")},
    {QStringLiteral("dump"), QStringLiteral("FILE"),
     QStringLiteral("the ladder in its text form, line notes and comments included")},
    {QStringLiteral("comments export"), QStringLiteral("FILE LADCHI.txt"), QStringLiteral("write the user notation file")},
    {QStringLiteral("comments import"), QStringLiteral("FILE LADCHI.txt [--save]"),
     QStringLiteral("read a user notation file (and save FILE with it)")},
} + rungpad::cli::reviewVerbs();

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(kProgram);
    QCoreApplication::setApplicationVersion(QStringLiteral(VANTOR_VERSION));
    using namespace vantor::cli;

    CommandLine line(kProgram, QStringLiteral("Checks and converts PLC ladder files without a window."),
                     kVerbs + rungpad::cli::simulationVerbs());
    const QCommandLineOption langOpt(QStringLiteral("lang"),
                                     QStringLiteral("Message language, zh or en (default: Rungpad's stored setting)."),
                                     QStringLiteral("zh|en"));
    const QCommandLineOption verboseOpt(QStringLiteral("verbose"), QStringLiteral("Trace lines on stderr."));
    line.addGlobalOption(langOpt);
    line.addGlobalOption(verboseOpt);
    if (const auto status = line.parse(app.arguments()))
        return *status;

    const QString verb = line.verb().name;
    QCommandLineParser parser;
    // The global options are taken after the verb too, as they always were.
    parser.addOptions({langOpt, verboseOpt});
    const QCommandLineOption binOpt(QStringLiteral("bin"), QStringLiteral("Write the binary code image."), QStringLiteral("OUT"));
    const QCommandLineOption listOpt(QStringLiteral("list"), QStringLiteral("Write the instruction list text."), QStringLiteral("OUT"));
    const QCommandLineOption grpOpt(QStringLiteral("grp"), QStringLiteral("Write the converted ladder file."), QStringLiteral("OUT"));
    const QCommandLineOption oldGrpOpt(QStringLiteral("old-grp"), QStringLiteral("Write the converted ladder file in the old version."),
                                       QStringLiteral("OUT"));
    const QCommandLineOption saveOpt(QStringLiteral("save"), QStringLiteral("Save FILE with the imported comments."));
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Ladder file (.plf, .grp, .bak)."));
    int files = 1;
    if (verb == QLatin1String("convert")) {
        parser.addOptions({binOpt, listOpt, grpOpt, oldGrpOpt});
    } else if (verb.startsWith(QLatin1String("comments"))) {
        parser.addPositionalArgument(QStringLiteral("LADCHI.txt"), QStringLiteral("User notation file."));
        if (verb == QLatin1String("comments import"))
            parser.addOption(saveOpt);
        files = 2;
    } else if (rungpad::cli::isSimulationVerb(verb)) {
        files = rungpad::cli::addSimulationArguments(parser, verb);
    } else if (rungpad::cli::isReviewVerb(verb)) {
        files = rungpad::cli::addReviewOptions(parser, verb);
    }
    if (const auto status = parseVerb(parser, kProgram, line.verb(), line.verbArguments(), files, files))
        return *status;
    const QStringList args = parser.positionalArguments();
    if (line.isSet(verboseOpt) || parser.isSet(verboseOpt))
        vantor::enableVerboseLogging();
    int language = storedLanguage();
    if (line.isSet(langOpt) || parser.isSet(langOpt)) {
        const QString value = parser.isSet(langOpt) ? parser.value(langOpt) : line.value(langOpt);
        if (value != QLatin1String("zh") && value != QLatin1String("en"))
            return line.usageError(QStringLiteral("--lang takes zh or en"));
        language = value == QLatin1String("en") ? 1 : 0;
    }

    LadderDocument doc;
    CompilerConversion conversion(language);
    ConsolePrompter prompter;
    // A dump is meant for diff: progress lines go to stderr, the ladder alone to stdout.
    const bool quietOutput = verb == QLatin1String("dump") || rungpad::cli::isSimulationVerb(verb) || rungpad::cli::isReviewVerb(verb);
    StreamOutput output(quietOutput ? stdErr() : stdOut());
    FileCommandEnvironment environment{prompter, output, language, vantor::userDataFolder(QStringLiteral("rungpad"))};
    environment.dataFolders = vantor::dataFolders(QStringLiteral("rungpad"));
    if (rungpad::cli::isReviewVerb(verb)) {
        auto open = [&](const QString& path, LadderDocument& into) {
            CompilerConversion own(language);
            return LadderFileCommands(into, own, environment).open(path);
        };
        return rungpad::cli::runReviewCommand(verb, parser, args, open, stdOut(), language);
    }
    LadderFileCommands commands(doc, conversion, environment);
    const QString file = args[0];
    if (!commands.open(file))
        return kExitFailed;

    if (verb == QLatin1String("dump")) {
        dumpDocument(doc);
        return kExitOk;
    }
    if (verb == QLatin1String("comments export"))
        return commands.exportNotation(args[1]) ? kExitOk : kExitFailed;
    if (verb == QLatin1String("comments import")) {
        if (!commands.importNotation(args[1]))
            return kExitFailed;
        if (parser.isSet(saveOpt))
            return commands.save(file) ? kExitOk : kExitFailed;
        return kExitOk;
    }

    if (!commands.convert())
        return kExitFailed;
    if (rungpad::cli::isSimulationVerb(verb))
        return rungpad::cli::runSimulationVerb(verb, parser, conversion.compiler().instructionLines());
    if (verb == QLatin1String("check")) {
        const auto& records = conversion.output().records;
        stdOut() << "steps: " << (records.empty() ? 0 : records.size() - 1) << '\n';
        stdOut().flush();
        return kExitOk;
    }
    bool ok = true;
    if (parser.isSet(binOpt))
        ok = commands.generateBinaryFile(parser.value(binOpt)) && ok;
    if (parser.isSet(listOpt))
        ok = commands.generateInstructionList(parser.value(listOpt)) && ok;
    if (parser.isSet(grpOpt))
        ok = commands.generateLadderFile(parser.value(grpOpt)) && ok;
    if (parser.isSet(oldGrpOpt))
        ok = commands.generateOldLadderFile(parser.value(oldGrpOpt)) && ok;
    return ok ? kExitOk : kExitFailed;
}
