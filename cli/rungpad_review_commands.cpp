// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/rungpad_review_commands.h"

#include "rungpad/review/crossreference.h"
#include "rungpad/review/ladderdiff.h"

namespace rungpad::cli {

namespace {
const QCommandLineOption kCsv(QStringLiteral("csv"), QStringLiteral("One comma-separated row per use, then the warnings."));
constexpr int kDiffTrouble = 2;
}  // namespace

QList<vantor::cli::Verb> reviewVerbs()
{
    return {
        {QStringLiteral("xref"), QStringLiteral("FILE [--csv]"),
         QStringLiteral("every address with its comment, where it is read and written, and the warnings")},
        {QStringLiteral("diff"), QStringLiteral("A B"),
         QStringLiteral("the lines added, removed and changed from A to B; exit 1 when they differ")},
    };
}

bool isReviewVerb(const QString& verb) { return verb == QLatin1String("xref") || verb == QLatin1String("diff"); }

int addReviewOptions(QCommandLineParser& parser, const QString& verb)
{
    if (verb == QLatin1String("xref")) {
        parser.addOption(kCsv);
        return 1;
    }
    parser.addPositionalArgument(QStringLiteral("B"), QStringLiteral("The ladder to compare FILE with."));
    return 2;
}

int runReviewCommand(const QString& verb, const QCommandLineParser& parser, const QStringList& files,
                     const std::function<bool(const QString&, LadderDocument&)>& open, QTextStream& out, int language)
{
    if (verb == QLatin1String("xref")) {
        LadderDocument doc;
        if (!open(files[0], doc))
            return vantor::cli::kExitFailed;
        const ProgramCrossReference xref = buildProgramCrossReference(doc.editLadder, doc.comments);
        out << (parser.isSet(kCsv) ? formatCrossReferenceCsv(xref, language) : formatCrossReference(xref, language));
        out.flush();
        return vantor::cli::kExitOk;
    }
    LadderDocument left;
    LadderDocument right;
    if (!open(files[0], left) || !open(files[1], right))
        return kDiffTrouble;
    const LadderDiff diff = diffLadders(left.editLadder, right.editLadder);
    out << formatDiff(diff, left.editLadder, right.editLadder, language);
    out.flush();
    return diff.same() ? vantor::cli::kExitOk : vantor::cli::kExitFailed;
}

}  // namespace rungpad::cli
