// SPDX-License-Identifier: GPL-3.0-or-later
#include "serialcore/controllernames.h"

#include "common/gbk.h"
#include "serialcore/serialwire.h"

#include <QStringList>

namespace vantor {

int familyFromSystemText(const QString& text)
{
    if (text == QLatin1String("Vantor Q5A"))
        return kFamilyQ5A;
    if (text == QLatin1String("Vantor Q7A"))
        return kFamilyQ7A;
    if (text == QLatin1String("Vantor Q5B"))
        return kFamilyQ5B;
    if (text == QLatin1String("Vantor Q6A"))
        return kFamilyQ6A;
    return kFamilyGeneral;
}

bool isPromptFamily(int family)
{
    return family == kFamilyQ5A || family == kFamilyQ7A;
}

int familyFileLimit(int family)
{
    return isPromptFamily(family) ? 400 : 800;
}

namespace {

// The number after a leading "O": digits up to the end or the first "."; nullopt when
// anything else comes first or the value does not fit (a wrapped number would name a
// different program).
std::optional<long> programNumber(const QString& name, bool* hadDot)
{
    long value = 0;
    *hadDot = false;
    for (qsizetype i = 1; i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (c == QLatin1Char('.')) {
            *hadDot = true;
            break;
        }
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = value * 10 + (c.unicode() - '0');
        if (value > 9999999)
            return std::nullopt;
    }
    return value;
}

}  // namespace

std::optional<QString> controllerName(int family, const QString& fileName)
{
    if (fileName.startsWith(QLatin1Char('O'), Qt::CaseInsensitive)) {
        bool hadDot = false;
        const auto number = programNumber(fileName, &hadDot);
        if (!number)
            return std::nullopt;
        const long n = *number;
        if (family == kFamilyQ5A && n >= 1 && n <= 99999)
            return QStringLiteral("O%1.txt").arg(n, 5, 10, QLatin1Char('0'));
        if (family == kFamilyQ7A && n >= 1 && n <= 9999)
            return QStringLiteral("O%1.txt").arg(n, 4, 10, QLatin1Char('0'));
        if (!isPromptFamily(family) && n >= 0 && n <= 9999)
            return QStringLiteral("O%1.cnc").arg(n, 4, 10, QLatin1Char('0'));
        return std::nullopt;
    }
    if (isPromptFamily(family))
        return std::nullopt;
    static const QStringList params = {QStringLiteral("para.txt"), QStringLiteral("para1.txt"), QStringLiteral("para2.txt"),
                                       QStringLiteral("para3.txt"), QStringLiteral("para4.txt")};
    if (params.contains(fileName, Qt::CaseInsensitive))
        return fileName;
    return std::nullopt;
}

std::optional<QString> fernlinkUserName(const QString& fileName)
{
    const QString lower = fileName.toLower();
    if (!lower.startsWith(QLatin1Char('o')) || lower.size() <= 4)
        return std::nullopt;
    if (!(lower.endsWith(QLatin1String(".cnc")) || lower.endsWith(QLatin1String(".txt")) || lower.endsWith(QLatin1String(".nc"))))
        return std::nullopt;
    const qsizetype dot = lower.indexOf(QLatin1Char('.'));
    if (dot < 2)
        return std::nullopt;
    bool hadDot = false;
    const auto number = programNumber(lower, &hadDot);
    if (!number || !hadDot || *number < 1 || *number > 99999)
        return std::nullopt;
    return QStringLiteral("O%1.txt").arg(*number, 5, 10, QLatin1Char('0'));
}

UpgradeList parseUpgradeList(QByteArrayView text)
{
    static const char* const kParts[] = {wire::kPartSys, wire::kPartUser, wire::kPartBios};
    UpgradeList result;
    const QList<QByteArrayView> lines = [&] {
        QList<QByteArrayView> out;
        qsizetype from = 0;
        for (qsizetype i = 0; i <= text.size(); ++i) {
            if (i == text.size() || text[i] == '\n') {
                out.push_back(text.sliced(from, i - from));
                from = i + 1;
            }
        }
        return out;
    }();
    for (QByteArrayView raw : lines) {
        QByteArray line;
        for (char c : raw)
            if (c != '\r')
                line.append(c);
        if (line.trimmed().isEmpty())
            continue;
        qsizetype i = 0;
        while (i < line.size() && line[i] != ' ')
            ++i;
        const QByteArray name = line.left(i);
        if (name.isEmpty() || name.size() > 15 || i == line.size()) {
            result.ok = false;
            return result;
        }
        while (i < line.size() && line[i] == ' ')
            ++i;
        if (i >= line.size() || line[i] < '0' || line[i] > '2') {
            result.ok = false;
            return result;
        }
        // A name that is no GBK text (a lead byte cut off, say) would name another file.
        const QString decoded = fromGbk(name);
        if (toGbk(decoded) != name) {
            result.ok = false;
            return result;
        }
        result.entries.push_back({decoded, QLatin1String(kParts[line[i] - '0'])});
    }
    return result;
}

}  // namespace vantor
