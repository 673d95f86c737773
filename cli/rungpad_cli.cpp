// rungpad-cli: the ladder file, conversion and comment commands without a window, on the
// same document, converter and file commands as the editor.
//   rungpad-cli [--lang zh|en] check FILE
//   rungpad-cli [--lang zh|en] convert FILE [--bin OUT] [--list OUT] [--grp OUT] [--old-grp OUT]
//   rungpad-cli [--lang zh|en] dump FILE
//   rungpad-cli [--lang zh|en] comments export FILE LADCHI.txt
//   rungpad-cli [--lang zh|en] comments import FILE LADCHI.txt [--save]
// Exit status: 0 done, 1 refused or failed, 2 usage error.
#include "common/prompter.h"
#include "rungpad/files/compilerconversion.h"
#include "rungpad/files/laddercommands.h"
#include "rungpad/files/languagesetting.h"
#include "rungpad/model/ladderdocument.h"
#include "rungpad/model/laddertext.h"

#include <QCoreApplication>
#include <QTextStream>

#include <map>

using namespace rungpad;

namespace {

const char* kUsage =
    "usage: rungpad-cli [--lang zh|en] VERB ...\n"
    "  check FILE                      convert; print the error line or the step count\n"
    "  convert FILE [--bin OUT] [--list OUT] [--grp OUT] [--old-grp OUT]\n"
    "                                  convert and write the chosen outputs\n"
    "  dump FILE                       the ladder in its text form, line notes and comments included\n"
    "  comments export FILE LADCHI.txt write the user notation file\n"
    "  comments import FILE LADCHI.txt [--save]\n"
    "                                  read a user notation file (and save FILE with it)\n";

QTextStream& stdOut()
{
    static QTextStream stream(stdout);
    return stream;
}
QTextStream& stdErr()
{
    static QTextStream stream(stderr);
    return stream;
}

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

int usage(const QString& why)
{
    if (!why.isEmpty())
        stdErr() << "rungpad-cli: " << why << '\n';
    stdErr() << kUsage;
    stdErr().flush();
    return 2;
}

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

// Options of the form --name VALUE after the positional arguments.
bool takeOptions(QStringList& args, const QStringList& known, const QStringList& flags,
                 std::map<QString, QString>* values, QString* why)
{
    QStringList positional;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (flags.contains(a)) {
            (*values)[a] = QStringLiteral("1");
        } else if (known.contains(a)) {
            if (i + 1 >= args.size()) {
                *why = a + QStringLiteral(" needs a value");
                return false;
            }
            (*values)[a] = args[++i];
        } else if (a.startsWith(QLatin1String("--"))) {
            *why = QStringLiteral("unknown option ") + a;
            return false;
        } else {
            positional << a;
        }
    }
    args = positional;
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();
    if (args.isEmpty())
        return usage({});
    if (args.first() == QLatin1String("--help") || args.first() == QLatin1String("-h")) {
        stdOut() << kUsage;
        return 0;
    }

    int language = -1;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] != QLatin1String("--lang"))
            continue;
        if (i + 1 >= args.size())
            return usage(QStringLiteral("--lang needs zh or en"));
        const QString value = args[i + 1];
        if (value != QLatin1String("zh") && value != QLatin1String("en"))
            return usage(QStringLiteral("--lang needs zh or en"));
        language = value == QLatin1String("en") ? 1 : 0;
        args.remove(i, 2);
        break;
    }
    if (language < 0)
        language = storedLanguage();
    if (args.isEmpty())
        return usage({});

    const QString verb = args.takeFirst();
    QString subVerb;
    if (verb == QLatin1String("comments")) {
        if (args.isEmpty())
            return usage(QStringLiteral("comments needs export or import"));
        subVerb = args.takeFirst();
        if (subVerb != QLatin1String("export") && subVerb != QLatin1String("import"))
            return usage(QStringLiteral("comments needs export or import"));
    } else if (verb != QLatin1String("check") && verb != QLatin1String("convert") && verb != QLatin1String("dump")) {
        return usage(QStringLiteral("unknown verb '%1'").arg(verb));
    }

    std::map<QString, QString> options;
    QString why;
    const QStringList valued = verb == QLatin1String("convert")
        ? QStringList{QStringLiteral("--bin"), QStringLiteral("--list"), QStringLiteral("--grp"), QStringLiteral("--old-grp")}
        : QStringList{};
    const QStringList flags = subVerb == QLatin1String("import") ? QStringList{QStringLiteral("--save")} : QStringList{};
    if (!takeOptions(args, valued, flags, &options, &why))
        return usage(why);
    const int wanted = verb == QLatin1String("comments") ? 2 : 1;
    if (args.size() != wanted)
        return usage(QStringLiteral("%1 takes %2 file argument(s)").arg(verb).arg(wanted));

    LadderDocument doc;
    CompilerConversion conversion(language);
    ConsolePrompter prompter;
    // A dump is meant for diff: progress lines go to stderr, the ladder alone to stdout.
    StreamOutput output(verb == QLatin1String("dump") ? stdErr() : stdOut());
    LadderFileCommands commands(doc, conversion,
                                FileCommandEnvironment{prompter, output, language, QCoreApplication::applicationDirPath()});
    const QString file = args[0];
    if (!commands.open(file))
        return 1;

    if (verb == QLatin1String("dump")) {
        dumpDocument(doc);
        return 0;
    }
    if (verb == QLatin1String("comments")) {
        if (subVerb == QLatin1String("export"))
            return commands.exportNotation(args[1]) ? 0 : 1;
        if (!commands.importNotation(args[1]))
            return 1;
        if (options.count(QStringLiteral("--save")))
            return commands.save(file) ? 0 : 1;
        return 0;
    }

    if (!commands.convert())
        return 1;
    if (verb == QLatin1String("check")) {
        const auto& records = conversion.output().records;
        stdOut() << "steps: " << (records.empty() ? 0 : records.size() - 1) << '\n';
        stdOut().flush();
        return 0;
    }
    bool ok = true;
    if (options.count(QStringLiteral("--bin")))
        ok = commands.generateBinaryFile(options[QStringLiteral("--bin")]) && ok;
    if (options.count(QStringLiteral("--list")))
        ok = commands.generateInstructionList(options[QStringLiteral("--list")]) && ok;
    if (options.count(QStringLiteral("--grp")))
        ok = commands.generateLadderFile(options[QStringLiteral("--grp")]) && ok;
    if (options.count(QStringLiteral("--old-grp")))
        ok = commands.generateOldLadderFile(options[QStringLiteral("--old-grp")]) && ok;
    return ok ? 0 : 1;
}
