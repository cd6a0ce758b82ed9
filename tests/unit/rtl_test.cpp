#include <gtest/gtest.h>

#include "platform/rtl/StringList.h"
#include "platform/rtl/Text.h"

TEST(StringList, IndexOutsideTheListRaisesTheListError) {
    TStringList list{"SERVER NAME=x"};
    for (int index : {1, -1, 7}) {
        try {
            (void)list.Strings(index);
            FAIL() << index;
        } catch (const EStringListError& e) {
            EXPECT_EQ(e.Message(), "List index out of bounds (" + std::to_string(index) + ")");
            EXPECT_STREQ(e.ClassName(), "EStringListError");
        }
    }
    EXPECT_THROW(TStringList{}.Delete(0), EStringListError);
}

TEST(StringList, SetValueReplacesByNameIgnoringCaseOrAppends) {
    TStringList params{"user_name=kefu"};
    params.SetValue("password", "kefu");
    params.SetValue("USER_NAME", "kefu");
    EXPECT_EQ(params.Lines(), (std::vector<std::string>{"USER_NAME=kefu", "password=kefu"}));
    EXPECT_EQ(params.Value("Password"), "kefu");
    EXPECT_EQ(params.Value("role"), "");
}

TEST(StringList, DeletingTheFirstLineEmptiesInOrder) {
    TStringList list{"a=1", "b=2"};
    list.Delete(0);
    EXPECT_EQ(list.Lines(), std::vector<std::string>{"b=2"});
    list.Delete(0);
    EXPECT_EQ(list.Count(), 0);
}

TEST(Text, ContainsIsCaseSensitiveAndEmptyContainsNothing) {
    struct Case {
        const char* text;
        const char* pattern;
        bool expected;
    };
    for (const Case& c :
         {Case{"USER NAME=kefu", "kefu", true}, Case{"USER NAME=KEFU", "kefu", false},
          Case{"USER NAME=xkefux", "kefu", true}, Case{"USER NAME=", "kefu", false},
          Case{"kef", "kefu", false}, Case{"", "", false}, Case{"INTRBASE2", "INTRBASE", true},
          Case{"Intrbase", "INTRBASE", false}}) {
        EXPECT_EQ(text::Contains(c.text, c.pattern), c.expected) << c.text << " / " << c.pattern;
    }
}

TEST(Text, MidCountsCodePointsAndNeverSplitsOne) {
    EXPECT_EQ(text::Mid("abc", 1, 5), "bc");
    EXPECT_EQ(text::Mid("ząb", 1, 1), "ą");
    EXPECT_EQ(text::Mid("ąęó", 0, 2), "ąę");
    EXPECT_EQ(text::Mid("ab", 5, 1), "");
    EXPECT_EQ(text::Length("łódź"), 4u);
}

TEST(Text, LowerAfterFirstKeepsTheFirstAndLowersPolishLetters) {
    EXPECT_EQ(text::LowerAfterFirst("VORNUPD"), "Vornupd");
    EXPECT_EQ(text::LowerAfterFirst("ŁÓDŹĄĘŚĆŃŻ"), "Łódźąęśćńż");
    EXPECT_EQ(text::LowerAfterFirst("ąBC"), "ąbc");
    EXPECT_EQ(text::LowerAfterFirst(""), "");
    EXPECT_EQ(text::Lower("ŁÓDŹ_A1"), "łódź_a1");
    EXPECT_EQ(text::Lower("\xff"), "\xff");
}

TEST(Text, Utf8Validation) {
    EXPECT_TRUE(text::IsValidUtf8("zażółć"));
    EXPECT_FALSE(text::IsValidUtf8("\xff"));
    EXPECT_FALSE(text::IsValidUtf8("\xc4"));          // cut sequence
    EXPECT_FALSE(text::IsValidUtf8("\xc0\xaf"));      // overlong
    EXPECT_FALSE(text::IsValidUtf8("\xed\xa0\x80"));  // surrogate
}
