// SPDX-License-Identifier: GPL-3.0-or-later
#include "rungpad/model/ladderdocument.h"

namespace rungpad {

LadderDocument::LadderDocument()
{
    editLadder.insertLines(0, 1);
}

void LadderDocument::setConverted(bool ok)
{
    m_converted = ok;
    m_convertedRevision = editLadder.revision();
}

void LadderDocument::markModified()
{
    m_modified = true;
    m_converted = false;
}

}  // namespace rungpad
