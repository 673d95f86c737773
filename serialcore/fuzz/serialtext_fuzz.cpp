// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: the readers of the controller's serial text answers, the prompt after a
// change of partition and the reply to xls, fed in reads of any size, and the listing parser
// on what the collector gathered and on the raw bytes.
#include "serialcore/fuzz/fuzzinput.h"
#include "serialcore/serialcommands.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView raw(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const vantor::ListingEntry& entry : vantor::parseListing(raw)) {
        for (QChar c : entry.size)
            if (!c.isDigit())
                std::abort();   // a size is the digits the listing gave, nothing else
        (void)vantor::isControllerSystemFile(entry.name);
    }

    vantor::fuzzing::EventReader input(data, size);
    vantor::PromptCheck prompt;
    vantor::ListingCollector listing;
    prompt.reset(input.take() & 1 ? QStringLiteral("SYS") : QStringLiteral("user"));
    listing.reset();
    bool promptDone = false;
    bool listingDone = false;
    for (auto e = input.next(); e.kind != vantor::fuzzing::EventReader::Kind::End; e = input.next()) {
        if (e.kind != vantor::fuzzing::EventReader::Kind::Read)
            continue;
        if (!promptDone)
            promptDone = prompt.feed(e.bytes) != vantor::PromptCheck::Outcome::Pending;
        if (!listingDone)
            listingDone = listing.feed(e.bytes) != vantor::ListingCollector::State::Collecting;
    }
    (void)vantor::parseListing(listing.listing());
    return 0;
}
