#include <gtest/gtest.h>

#include "update/ModuleUpdate.h"

TEST(ConnectionString, IsEverythingAfterTheTwelfthCharacterUpToTwoHundredFiftyFive) {
    struct Case {
        std::string line;
        std::string expected;
    };
    const std::string d300(300, 'd');
    std::string a300;
    for (int i = 0; i < 300; ++i) a300 += "ą";
    const Case cases[] = {
        {"", ""},
        {"SERVER NAME", ""},
        {"SERVER NAME=", ""},
        {"SERVER NAME=x", "x"},
        {"SERVER NAME=host:/srv/vorn.fdb", "host:/srv/vorn.fdb"},
        {"SERVER NAME= /a b.fdb  ", " /a b.fdb  "},
        {"SERVER NAME=" + d300, d300.substr(0, 255)},
        // Characters, not bytes: a two-byte letter is one character.
        {"SERWER NAZĘ=/baza.fdb", "/baza.fdb"},
        {"ŁŁŁŁŁŁŁŁŁŁŁ=ółw", "ółw"},
        {"SERVER NAME=" + a300, a300.substr(0, 255 * 2)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(update::ConnectionStringFrom(c.line), c.expected) << c.line;
    }
}
