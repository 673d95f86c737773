// SPDX-License-Identifier: GPL-3.0-or-later
#include "serialcore/linepacer.h"

#include <algorithm>

namespace vantor {

LinePacer::LinePacer(int baud, qint64 slackUs)
    : usPerByte_(std::max<qint64>(1, 10'000'000 / std::max(baud, 1))),
      slackUs_(std::max(slackUs, std::max<qint64>(1, 10'000'000 / std::max(baud, 1))))
{
}

qsizetype LinePacer::allowance(qint64 nowUs) const
{
    const qint64 queued = std::max<qint64>(0, lineFreeAtUs_ - nowUs);
    return qsizetype(std::max<qint64>(0, slackUs_ - queued) / usPerByte_);
}

void LinePacer::wrote(qsizetype bytes, qint64 nowUs)
{
    lineFreeAtUs_ = std::max(lineFreeAtUs_, nowUs) + qint64(bytes) * usPerByte_;
}

qint64 LinePacer::waitUs(qint64 nowUs) const
{
    if (allowance(nowUs) > 0)
        return 0;
    // The queue must shrink until one more byte fits in the slack.
    const qint64 queued = lineFreeAtUs_ - nowUs;
    return queued - (slackUs_ - usPerByte_);
}

qsizetype LinePacer::slackBytes() const
{
    return qsizetype(slackUs_ / usPerByte_);
}

}  // namespace vantor
