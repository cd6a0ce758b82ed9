#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "platform/vcl/FontData.h"
#include "platform/vcl/Texts.h"

TEST(Title, FileNameWithoutDirectoryCutBeforeFirstFullStopLowerAfterFirst) {
    struct Case {
        const char* path;
        const char* title;
    } cases[] = {
        // The first character keeps its case.
        {"/usr/bin/vornupd", "vornupd"},
        {"/opt/VORN/VORNUPD.EXE", "Vornupd"},
        {"VORNUPD.EXE", "Vornupd"},
        {"/x/a.b.c", "a"},
        {"/x/A.B.C", "A"},
        {"/x/vornUPD", "vornupd"},
        {"/x/łÓDŹ.bin", "łódź"},
        {"/x/ŁÓDŹ", "Łódź"},
        {"/dir.with.dots/Prog", "Prog"},
        {"/x/.hidden", ""},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(vcl::TitleFromProgramPath(c.path), c.title) << c.path;
    EXPECT_EQ(vcl::ModuleName("/usr/local/bin/vornupd"), "vornupd");
    EXPECT_EQ(vcl::ModuleName("vornupd"), "vornupd");
}

TEST(FailureBox, FullStopOnlyAfterACharacterAboveTheFullStop) {
    struct Case {
        const char* message;
        const char* shown;
    } cases[] = {
        {"List index out of bounds (1)", "List index out of bounds (1)"},
        {"brak pliku", "brak pliku."},
        {"Gotowe.", "Gotowe."},
        {"Uwaga!", "Uwaga!"},
        {"koniec ", "koniec "},
        {"linia\n", "linia\n"},
        {"linia\r", "linia\r"},
        {"a,", "a,"},
        {"a-", "a-"},
        {"a/", "a/."},
        {"wersja 7", "wersja 7."},
        {"zażółć", "zażółć."},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(vcl::FailureBoxText(c.message), c.shown) << c.message;
}

TEST(StartupFailure, FormatWithClassModuleOffsetAndMessage) {
    const std::string missing =
        "InterBase library libfbclient.so.2 not found in the path. Please install InterBase to "
        "use this functionality";
    EXPECT_EQ(vcl::StartupFailureText("EIBClientError", "vornupd", 0, missing),
              "Exception EIBClientError in module vornupd at 00000000.\r\n" + missing + ".\r\n");
    // Unlike the failure box, any last character but a full stop gets one.
    EXPECT_EQ(vcl::StartupFailureText("E", "m", 0x4F2A1, "koniec!"),
              "Exception E in module m at 0004F2A1.\r\nkoniec!.\r\n");
    EXPECT_EQ(vcl::StartupFailureText("E", "m", 0xFFFFFFFF, "Gotowe."),
              "Exception E in module m at FFFFFFFF.\r\nGotowe.\r\n");
    EXPECT_EQ(vcl::StartupFailureText("E", "m", 0, ""),
              "Exception E in module m at 00000000.\r\n\r\n");
}

TEST(MessageText, TabsExpandToStopsOfEightCharactersPerLine) {
    EXPECT_EQ(vcl::ExpandTabs("a\tb"), "a       b");
    EXPECT_EQ(vcl::ExpandTabs("\t"), "        ");
    EXPECT_EQ(vcl::ExpandTabs("12345678\tx"), "12345678        x");
    // Characters, not bytes, and each line starts at column 0.
    EXPECT_EQ(vcl::ExpandTabs("ąę\tx\nab\ty"), "ąę      x\nab      y");
    EXPECT_EQ(vcl::ExpandTabs("bez tabulacji"), "bez tabulacji");
}

TEST(MessageText, EachLineBreakBecomesOneLineFeed) {
    struct Case {
        const char* text;
        const char* shown;
    } cases[] = {
        {"a\n\rb", "a\nb"},
        {"a\r\nb", "a\nb"},
        {"a\nb", "a\nb"},
        {"a\rb", "a\nb"},
        {"a\n\nb", "a\n\nb"},
        {"a\n\r\n\rb", "a\n\nb"},
        {"koniec.\n\r", "koniec.\n"},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(vcl::NormaliseLineBreaks(c.text), c.shown) << c.text;
}

namespace {

// A face's table directory with the given tables, each 80 bytes of zeros.
std::string FaceWithTables(std::initializer_list<const char*> tags, unsigned char fsSelection) {
    std::string data(12, '\0');
    data[5] = static_cast<char>(tags.size());
    const std::size_t first = 12 + 16 * tags.size();
    std::size_t offset = first;
    for (const char* tag : tags) {
        std::string record(tag, 4);
        record += std::string(4, '\0');
        record += {'\0', '\0', static_cast<char>(offset >> 8), static_cast<char>(offset & 0xFF)};
        record += {'\0', '\0', '\0', static_cast<char>(80)};
        data += record;
        offset += 80;
    }
    data.resize(offset, '\0');
    std::size_t os2 = first;
    for (const char* tag : tags) {
        if (std::string(tag) == "OS/2") break;
        os2 += 80;
    }
    if (os2 < data.size()) data[os2 + 63] = static_cast<char>(fsSelection);
    return data;
}

}  // namespace

TEST(FontData, BitmapTablesHiddenAndTypoMetricsFlagCleared) {
    std::string face = FaceWithTables({"EBDT", "EBLC", "OS/2", "glyf"}, 0xC0);
    ASSERT_TRUE(vcl::UseOutlinesWithWindowsMetrics(face));
    EXPECT_EQ(face.substr(12, 4), "xBDT");
    EXPECT_EQ(face.substr(28, 4), "xBLC");
    EXPECT_EQ(face.substr(44, 4), "OS/2");
    EXPECT_EQ(face.substr(60, 4), "glyf");
    EXPECT_EQ(static_cast<unsigned char>(face[12 + 64 + 160 + 63]), 0x40);  // REGULAR kept

    std::string noOs2 = FaceWithTables({"glyf"}, 0);
    EXPECT_FALSE(vcl::UseOutlinesWithWindowsMetrics(noOs2));
    std::string truncated = FaceWithTables({"OS/2"}, 0x80).substr(0, 40);
    EXPECT_FALSE(vcl::UseOutlinesWithWindowsMetrics(truncated));
    std::string empty;
    EXPECT_FALSE(vcl::UseOutlinesWithWindowsMetrics(empty));
}

TEST(FontData, TheWindowsFaceFileIsPatchable) {
    std::ifstream file("/usr/share/wine/fonts/tahoma.ttf", std::ios::binary);
    if (!file) GTEST_SKIP() << "fonts-wine is not installed";
    std::string face{std::istreambuf_iterator<char>(file), {}};
    ASSERT_TRUE(vcl::UseOutlinesWithWindowsMetrics(face));
    const std::size_t tables =
        static_cast<unsigned char>(face[4]) * 256u + static_cast<unsigned char>(face[5]);
    for (std::size_t i = 0; i < tables; ++i) {
        const std::string tag = face.substr(12 + 16 * i, 4);
        EXPECT_NE(tag, "EBDT");
        EXPECT_NE(tag, "EBLC");
    }
}
