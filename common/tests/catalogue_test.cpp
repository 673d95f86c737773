// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/catalogue.h"

#include <gtest/gtest.h>

namespace {

enum class Word { Yes, No, Stop, Missing };

// Rows in the enumeration's order, as most catalogues keep them.
constexpr vantor::CatalogueRow<Word> kOrdered[] = {
    {Word::Yes, "是", "Yes"},
    {Word::No, "否", "No"},
    {Word::Stop, "停止", "Stop"},
};
// Rows in another order: found by the search, never by position.
constexpr vantor::CatalogueRow<Word> kShuffled[] = {
    {Word::Stop, "停止", "Stop"},
    {Word::Yes, "是", "Yes"},
};
constexpr vantor::CatalogueRow<Word> kTwice[] = {
    {Word::Yes, "是", "Yes"},
    {Word::Yes, "对", "Right"},
};

static_assert(vantor::rowsInOrder(kOrdered) && !vantor::rowsInOrder(kShuffled));
static_assert(vantor::rowsDistinct(kOrdered) && vantor::rowsDistinct(kShuffled) && !vantor::rowsDistinct(kTwice));

}  // namespace

TEST(Catalogue, TextIsFoundWhereverItsRowStandsAndEmptyWithoutOne)
{
    struct Case {
        Word id;
        const char* chinese;
        const char* english;
    };
    const Case ordered[] = {{Word::Yes, "是", "Yes"}, {Word::Stop, "停止", "Stop"}, {Word::Missing, "", ""}};
    for (const Case& c : ordered) {
        EXPECT_EQ(vantor::catalogueText(kOrdered, c.id, false), QString::fromUtf8(c.chinese));
        EXPECT_EQ(vantor::catalogueText(kOrdered, c.id, true), QString::fromUtf8(c.english));
    }
    const Case shuffled[] = {{Word::Yes, "是", "Yes"}, {Word::Stop, "停止", "Stop"}, {Word::No, "", ""}};
    for (const Case& c : shuffled) {
        EXPECT_EQ(vantor::catalogueText(kShuffled, c.id, false), QString::fromUtf8(c.chinese));
        EXPECT_EQ(vantor::catalogueText(kShuffled, c.id, true), QString::fromUtf8(c.english));
    }
    EXPECT_TRUE(vantor::catalogueText(kShuffled, Word::Missing, true).isNull());
}
