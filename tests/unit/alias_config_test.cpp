#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/bde/AliasConfig.h"
#include "platform/bde/Session.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {

std::string Repeat(const std::string& piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

struct Alias {
    std::string name;
    std::string driver;
    std::vector<std::string> params;
    friend bool operator==(const Alias&, const Alias&) = default;
};

std::ostream& operator<<(std::ostream& out, const Alias& a) {
    out << "[" << a.name << "] TYPE=" << a.driver << " {";
    for (const auto& p : a.params) out << " '" << p << "'";
    return out << " }";
}

std::vector<Alias> AliasesOf(const AliasConfig& config) {
    std::vector<Alias> out;
    for (const auto& a : config.Aliases()) out.push_back({a.name, a.driverName, a.params});
    return out;
}

using fbtest::TempDir;

void WriteFile(const fs::path& file, const std::string& content) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << content;
    ASSERT_TRUE(out.good()) << file;
}

const std::string kFirma =
    "[VORN_FIRMA]\n"
    "TYPE=INTRBASE\n"
    "SERVER NAME=dbserver:/srv/firebird/firma.fdb\n"
    "USER NAME=kefu\n"
    "OPEN MODE=READ/WRITE\n";

const Alias kFirmaAlias{
    "VORN_FIRMA",
    "INTRBASE",
    {"SERVER NAME=dbserver:/srv/firebird/firma.fdb", "USER NAME=kefu", "OPEN MODE=READ/WRITE"}};

}  // namespace

TEST(AliasConfigParse, GoodFiles) {
    const std::string name31 = Repeat("ż", 31);
    const std::string driver31 = Repeat("ą", 31);
    struct Case {
        const char* what;
        std::string text;
        std::vector<Alias> expected;
    };
    const std::vector<Case> cases = {
        {"empty file", "", {}},
        {"comments and blanks only", "; engine aliases\n\n# none yet\n \t\n", {}},
        {"one alias", kFirma, {kFirmaAlias}},
        {"CRLF line ends",
         "[VORN_FIRMA]\r\nTYPE=INTRBASE\r\nSERVER NAME=dbserver:/srv/firebird/firma.fdb\r\n"
         "USER NAME=kefu\r\nOPEN MODE=READ/WRITE\r\n",
         {kFirmaAlias}},
        {"no line end after the last line",
         "[VORN_FIRMA]\nTYPE=INTRBASE\nSERVER NAME=dbserver:/srv/firebird/firma.fdb\n"
         "USER NAME=kefu\nOPEN MODE=READ/WRITE",
         {kFirmaAlias}},
        {"byte order mark", "\xEF\xBB\xBF" + kFirma, {kFirmaAlias}},
        {"file order kept, TYPE anywhere in the alias",
         "[Z]\nTYPE=INTRBASE\nA=1\n[A]\nX=1\nTYPE=STANDARD\nY=2\n[M]\nTYPE=\n",
         {{"Z", "INTRBASE", {"A=1"}}, {"A", "STANDARD", {"X=1", "Y=2"}}, {"M", "", {}}}},
        {"comments and blank lines inside an alias are skipped",
         "# head\n[A]\n  ; note\nTYPE=INTRBASE\n\n\t# more\nSERVER NAME=x:/a.fdb\n\nUSER "
         "NAME=kefu\n",
         {{"A", "INTRBASE", {"SERVER NAME=x:/a.fdb", "USER NAME=kefu"}}}},
        {"parameter lines kept exactly as written",
         "[A]\nTYPE=INTRBASE\n  SERVER NAME = x:/a.fdb  \n=no name\nUSER NAME=a=b;c#d\t\nK=\r\r\n",
         {{"A",
           "INTRBASE",
           {"  SERVER NAME = x:/a.fdb  ", "=no name", "USER NAME=a=b;c#d\t", "K=\r"}}}},
        {"names and driver names as written",
         "  [ Baza Łódź ]  \nTYPE= INTRBASE \n[a=b]\nTYPE=x\n",
         {{" Baza Łódź ", " INTRBASE ", {}}, {"a=b", "x", {}}}},
        {"31 characters of name and of driver name, Polish letters",
         "[" + name31 + "]\nTYPE=" + driver31 + "\n",
         {{name31, driver31, {}}}},
        {"type line needs the exact upper-case key; others are parameters",
         "[A]\nTYPE=INTRBASE\nTYPE_X=1\nTYPES=2\n",
         {{"A", "INTRBASE", {"TYPE_X=1", "TYPES=2"}}}},
    };
    for (const Case& c : cases) {
        try {
            EXPECT_EQ(AliasesOf(AliasConfig::Parse(c.text, "/etc/dbengine/aliases.conf")),
                      c.expected)
                << c.what;
        } catch (const EDBEngineError& e) {
            ADD_FAILURE() << c.what << ": " << e.Message();
        }
    }
}

TEST(AliasConfigParse, BadFilesNameTheFileTheLineAndTheFault) {
    struct Case {
        const char* what;
        std::string text;
        int line;
        std::string fault;
    };
    const std::vector<Case> cases = {
        {"parameter before the first alias", "; head\n\nSERVER NAME=x\n[A]\nTYPE=INTRBASE\n", 3,
         "a parameter line stands before the first alias"},
        {"TYPE before the first alias", "TYPE=INTRBASE\n[A]\nTYPE=INTRBASE\n", 1,
         "a parameter line stands before the first alias"},
        {"line without =", "[A]\nTYPE=INTRBASE\nSERVER NAME x\n", 3,
         "neither an alias name in brackets nor a parameter with \"=\""},
        {"line without = after CRLF lines", "[A]\r\nTYPE=INTRBASE\r\n\r\nhello\r\n", 4,
         "neither an alias name in brackets nor a parameter with \"=\""},
        {"empty alias name", "[A]\nTYPE=X\n[]\nTYPE=X\n", 3, "the alias name is empty"},
        {"unclosed alias name", "[A]\nTYPE=X\n[B\nTYPE=X\n", 3,
         "the alias name is not closed by \"]\""},
        {"text after the bracket", "[A] x\nTYPE=X\n", 1, "the alias name is not closed by \"]\""},
        {"a lone bracket", "[\n", 1, "the alias name is not closed by \"]\""},
        {"32-character name", "[A]\nTYPE=X\n[" + Repeat("ł", 32) + "]\nTYPE=X\n", 3,
         "has 32 characters, more than 31"},
        {"name repeated in another case", "[VORN]\nTYPE=X\n\n[vorn]\nTYPE=X\n", 4,
         "the alias name \"vorn\" repeats the alias of line 1"},
        {"Polish name repeated in another case", "[ŁÓDŹ]\nTYPE=X\n[łódź]\nTYPE=X\n", 3,
         "repeats the alias of line 1"},
        {"no TYPE line, followed by an alias", "[A]\nTYPE=X\n[B]\nS=1\n[C]\nTYPE=X\n", 3,
         "the alias \"B\" has no TYPE line"},
        {"no TYPE line, at the end", "[A]\nTYPE=X\n\n[B]\nS=1\n", 4,
         "the alias \"B\" has no TYPE line"},
        {"lower-case type key is no TYPE line", "[A]\ntype=INTRBASE\n", 1,
         "the alias \"A\" has no TYPE line"},
        {"two TYPE lines", "[A]\nTYPE=X\nS=1\nTYPE=X\n", 4,
         "the alias \"A\" has a second TYPE line"},
        {"32-character driver name", "[A]\nTYPE=" + Repeat("ę", 32) + "\n", 2,
         "the driver type name has 32 characters, more than 31"},
        {"a lone lead byte in a parameter", "[A]\nTYPE=X\nS=\xC5\n", 3, "not valid UTF-8"},
        {"a Latin-2 byte in a name", "[A]\nTYPE=X\n[\xB3\xF3\x64\xBC]\nTYPE=X\n", 3,
         "not valid UTF-8"},
        {"an overlong sequence in a comment", "; \xC0\xAF\n[A]\nTYPE=X\n", 1, "not valid UTF-8"},
        {"a surrogate in the driver name", "[A]\nTYPE=\xED\xA0\x80\n", 2, "not valid UTF-8"},
        {"0xFF in a blank-looking line", "[A]\nTYPE=X\n\xFF\n", 3, "not valid UTF-8"},
    };
    const std::string file = "/srv/conf/aliases.conf";
    for (const Case& c : cases) {
        try {
            (void)AliasConfig::Parse(c.text, file);
            ADD_FAILURE() << c.what << ": no error";
        } catch (const EDBEngineError& e) {
            const std::string head =
                "Invalid alias configuration " + file + ", line " + std::to_string(c.line) + ": ";
            EXPECT_EQ(e.Message().substr(0, head.size()), head) << c.what << ": " << e.Message();
            EXPECT_NE(e.Message().find(c.fault), std::string::npos)
                << c.what << ": " << e.Message();
            EXPECT_STREQ(e.ClassName(), "EDBEngineError");
        }
    }
}

TEST(AliasConfigParse, FindIgnoresLetterCaseIncludingPolishLetters) {
    const AliasConfig config =
        AliasConfig::Parse("[Vorn_Firma]\nTYPE=INTRBASE\n[Łódź]\nTYPE=X\n", "a.conf");
    for (const char* asked : {"Vorn_Firma", "VORN_FIRMA", "vorn_firma"}) {
        const AliasDefinition* alias = config.Find(asked);
        ASSERT_NE(alias, nullptr) << asked;
        EXPECT_EQ(alias->name, "Vorn_Firma");
    }
    ASSERT_NE(config.Find("ŁÓDŹ"), nullptr);
    EXPECT_EQ(config.Find("ŁÓDŹ")->name, "Łódź");
    EXPECT_EQ(config.Find("Lodz"), nullptr);
    EXPECT_EQ(config.Find("Vorn_Firm"), nullptr);
    EXPECT_EQ(config.Find(""), nullptr);
}

TEST(AliasConfigParse, ArbitraryBytesParseOrRaiseTheEngineError) {
    const std::vector<std::string> pieces = {"[",
                                             "]",
                                             "=",
                                             ";",
                                             "#",
                                             "\n",
                                             "\r",
                                             "\r\n",
                                             " ",
                                             "\t",
                                             "TYPE=",
                                             "TYPE",
                                             "A",
                                             "ą",
                                             "Ł",
                                             "\xC5",
                                             "\xFF",
                                             "\x80",
                                             std::string(1, '\0'),
                                             "INTRBASE",
                                             "[A]\n",
                                             "\xEF\xBB\xBF"};
    std::mt19937 random(20240611);
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
    std::uniform_int_distribution<int> length(0, 60);
    for (int round = 0; round < 3000; ++round) {
        std::string input;
        for (int k = length(random); k > 0; --k) input += pieces[pick(random)];
        try {
            const AliasConfig config = AliasConfig::Parse(input, "f");
            for (const auto& alias : config.Aliases()) {
                ASSERT_EQ(config.Find(alias.name), &alias);
                ASSERT_FALSE(alias.name.empty());
            }
        } catch (const EDBEngineError& e) {
            ASSERT_EQ(e.Message().rfind("Invalid alias configuration f, line ", 0), 0u)
                << e.Message();
        }
    }
}

TEST(AliasConfigLoad, UnreadableFileGivesTheInitialisationError) {
    TempDir dir;
    struct Case {
        fs::path file;
        const char* reason;
    };
    for (const Case& c :
         {Case{dir.path() / "missing.conf", "No such file or directory"},
          Case{dir.path(), "Is a directory"},
          Case{dir.path() / "no" / "such" / "dir.conf", "No such file or directory"}}) {
        try {
            (void)AliasConfig::Load(c.file);
            ADD_FAILURE() << c.file;
        } catch (const EDBEngineError& e) {
            EXPECT_EQ(e.Message(),
                      "An error occurred while attempting to initialize the database engine: "
                      "cannot read the alias configuration " +
                          c.file.string() + ": " + c.reason + " (error $2501)");
        }
    }
}

TEST(AliasConfigLoad, ReadsTheFileAndNamesItInParseErrors) {
    TempDir dir;
    const fs::path file = dir.path() / "aliases.conf";
    WriteFile(file, kFirma);
    FileStamp stamp;
    EXPECT_EQ(AliasesOf(AliasConfig::Load(file, &stamp)), std::vector<Alias>{kFirmaAlias});
    EXPECT_EQ(stamp.size, static_cast<std::intmax_t>(kFirma.size()));
    EXPECT_EQ(StampOf(file), stamp);

    WriteFile(file, kFirma + "broken\n");
    try {
        (void)AliasConfig::Load(file);
        ADD_FAILURE();
    } catch (const EDBEngineError& e) {
        EXPECT_EQ(e.Message(), "Invalid alias configuration " + file.string() +
                                   ", line 6: the line is neither an alias name in brackets nor a "
                                   "parameter with \"=\"");
    }
}

TEST(AliasConfigPath, EnvironmentVariableWhenSetAndNotEmpty) {
    const char* saved = std::getenv("DBENGINE_CONFIG");
    const std::string savedValue = saved ? saved : "";
    ::setenv("DBENGINE_CONFIG", "/tmp/x/aliases.conf", 1);
    EXPECT_EQ(AliasConfigPathFromEnvironment(), fs::path("/tmp/x/aliases.conf"));
    ::setenv("DBENGINE_CONFIG", "", 1);
    EXPECT_EQ(AliasConfigPathFromEnvironment(), fs::path("/etc/dbengine/aliases.conf"));
    ::unsetenv("DBENGINE_CONFIG");
    EXPECT_EQ(AliasConfigPathFromEnvironment(), fs::path("/etc/dbengine/aliases.conf"));
    if (saved) ::setenv("DBENGINE_CONFIG", savedValue.c_str(), 1);
}

class SessionTest : public ::testing::Test {
  protected:
    fs::path File() const { return dir_.path() / "aliases.conf"; }
    void Write(const std::string& content) { WriteFile(File(), content); }

    // Moves the file's time on, so that a rewrite of equal size within the
    // file system's clock tick still shows.
    void Touch(int seconds) {
        fs::last_write_time(File(), fs::last_write_time(File()) + std::chrono::seconds(seconds));
    }

    static std::string ErrorOf(const std::function<void()>& request) {
        try {
            request();
        } catch (const EDBEngineError& e) {
            return e.Message();
        }
        return "(no error)";
    }

    TempDir dir_;
};

TEST_F(SessionTest, RequestsAnswerFromTheFileAndEmptyTheListFirst) {
    Write("; aliases\n[Z_SKLEP]\nTYPE=STANDARD\nPATH=/srv/dbf\n" + kFirma +
          "[A]\nTYPE=INTRBASE\nSERVER NAME=x:/a.fdb\n");
    TSession session("Default", File());
    EXPECT_EQ(session.SessionName(), "Default");
    EXPECT_FALSE(session.Active());

    TStringList list{"left over"};
    session.GetAliasNames(list);
    EXPECT_TRUE(session.Active());
    EXPECT_EQ(list.Lines(), (std::vector<std::string>{"Z_SKLEP", "VORN_FIRMA", "A"}));

    session.GetAliasParams("vorn_firma", list);
    EXPECT_EQ(list.Lines(), kFirmaAlias.params);
    EXPECT_EQ(session.GetAliasDriverName("VORN_FIRMA"), "INTRBASE");
    EXPECT_EQ(session.GetAliasDriverName("Z_SKLEP"), "STANDARD");

    session.GetAliasParams("A", list);
    EXPECT_EQ(list.Lines(), std::vector<std::string>{"SERVER NAME=x:/a.fdb"});
}

TEST_F(SessionTest, UnknownAliasNamesTheAliasAndLeavesTheListAlone) {
    Write(kFirma);
    TSession session("Default", File());
    TStringList list{"SERVER NAME=kept"};
    const std::string expected =
        "Unknown database alias \"VORN_MAGAZYN\": the alias configuration " + File().string() +
        " has no such alias";
    EXPECT_EQ(ErrorOf([&] { session.GetAliasParams("VORN_MAGAZYN", list); }), expected);
    EXPECT_EQ(ErrorOf([&] { (void)session.GetAliasDriverName("VORN_MAGAZYN"); }), expected);
    EXPECT_EQ(list.Lines(), std::vector<std::string>{"SERVER NAME=kept"});
}

TEST_F(SessionTest, MissingFileLeavesTheSessionUnstartedAndALaterRequestRetries) {
    TSession session("Default", File());
    TStringList list;
    EXPECT_EQ(ErrorOf([&] { session.GetAliasNames(list); }),
              "An error occurred while attempting to initialize the database engine: cannot read "
              "the alias configuration " +
                  File().string() + ": No such file or directory (error $2501)");
    EXPECT_FALSE(session.Active());

    Write("[A]\nTYPE=INTRBASE\n");
    EXPECT_EQ(ErrorOf([&] { (void)session.GetAliasDriverName("B"); }).find("Unknown"), 0u);
    EXPECT_TRUE(session.Active());
    EXPECT_EQ(session.GetAliasDriverName("a"), "INTRBASE");
}

TEST_F(SessionTest, MalformedFileAtStartListsNothing) {
    Write(kFirma + "[VORN_FIRMA]\nTYPE=INTRBASE\n");
    TSession session("Default", File());
    TStringList list{"x"};
    EXPECT_NE(ErrorOf([&] { session.GetAliasNames(list); }).find(", line 6: "), std::string::npos);
    EXPECT_FALSE(session.Active());
    EXPECT_EQ(list.Lines(), std::vector<std::string>{"x"});
}

TEST_F(SessionTest, DefaultSessionTakesThePathFromTheEnvironmentWhenItStarts) {
    const char* saved = std::getenv("DBENGINE_CONFIG");
    const std::string savedValue = saved ? saved : "";
    TSession session;
    Write(kFirma);
    ::setenv("DBENGINE_CONFIG", File().c_str(), 1);
    TStringList list;
    session.GetAliasNames(list);
    EXPECT_EQ(list.Lines(), std::vector<std::string>{"VORN_FIRMA"});
    // Once started, the session keeps its file.
    ::setenv("DBENGINE_CONFIG", (dir_.path() / "other.conf").c_str(), 1);
    EXPECT_EQ(session.GetAliasDriverName("VORN_FIRMA"), "INTRBASE");
    if (saved) {
        ::setenv("DBENGINE_CONFIG", savedValue.c_str(), 1);
    } else {
        ::unsetenv("DBENGINE_CONFIG");
    }
}

TEST_F(SessionTest, ChangedFileIsReadAgain) {
    Write(kFirma);
    TSession session("Default", File());
    TStringList list;
    session.GetAliasParams("VORN_FIRMA", list);
    ASSERT_EQ(list.Strings(0), "SERVER NAME=dbserver:/srv/firebird/firma.fdb");

    // Longer file: the size tells.
    Write(
        "[VORN_FIRMA]\nTYPE=INTRBASE\nSERVER NAME=nowy:/srv/firebird/firma2.fdb\n"
        "USER NAME=kefu\n[VORN_NOWA]\nTYPE=INTRBASE\n");
    session.GetAliasParams("VORN_FIRMA", list);
    EXPECT_EQ(list.Lines(), (std::vector<std::string>{"SERVER NAME=nowy:/srv/firebird/firma2.fdb",
                                                      "USER NAME=kefu"}));
    session.GetAliasNames(list);
    EXPECT_EQ(list.Lines(), (std::vector<std::string>{"VORN_FIRMA", "VORN_NOWA"}));

    // Same size, later time.
    Write(
        "[VORN_FIRMA]\nTYPE=INTRBASE\nSERVER NAME=nowy:/srv/firebird/firma3.fdb\n"
        "USER NAME=kefu\n[VORN_NOWA]\nTYPE=INTRBASE\n");
    Touch(5);
    session.GetAliasParams("VORN_FIRMA", list);
    EXPECT_EQ(list.Strings(0), "SERVER NAME=nowy:/srv/firebird/firma3.fdb");

    // Same size and time, but a new file put in place (as editors save).
    const auto time = fs::last_write_time(File());
    WriteFile(dir_.path() / "new.conf",
              "[VORN_FIRMA]\nTYPE=INTRBASE\nSERVER NAME=nowy:/srv/firebird/firma4.fdb\n"
              "USER NAME=kefu\n[VORN_NOWA]\nTYPE=INTRBASE\n");
    fs::last_write_time(dir_.path() / "new.conf", time);
    fs::rename(dir_.path() / "new.conf", File());
    session.GetAliasParams("VORN_FIRMA", list);
    EXPECT_EQ(list.Strings(0), "SERVER NAME=nowy:/srv/firebird/firma4.fdb");
}

TEST_F(SessionTest, RemovedAliasGivesTheEngineError) {
    Write(kFirma + "[VORN_MAGAZYN]\nTYPE=INTRBASE\nSERVER NAME=x:/m.fdb\nUSER NAME=kefu\n");
    TSession session("Default", File());
    TStringList list;
    session.GetAliasNames(list);
    ASSERT_EQ(list.Count(), 2);

    Write(kFirma);
    EXPECT_EQ(ErrorOf([&] { session.GetAliasParams("VORN_MAGAZYN", list); }),
              "Unknown database alias \"VORN_MAGAZYN\": the alias configuration " +
                  File().string() + " has no such alias");
    session.GetAliasParams("VORN_FIRMA", list);
    EXPECT_EQ(list.Lines(), kFirmaAlias.params);
}

TEST_F(SessionTest, FileBrokenOrRemovedAfterStartFailsEveryRequestUntilMended) {
    Write(kFirma);
    TSession session("Default", File());
    TStringList list;
    session.GetAliasNames(list);

    Write(kFirma + "OOPS\n");
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_NE(ErrorOf([&] { session.GetAliasNames(list); }).find(", line 6: "),
                  std::string::npos)
            << attempt;
    }
    EXPECT_EQ(list.Lines(), std::vector<std::string>{"VORN_FIRMA"});

    fs::remove(File());
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_NE(ErrorOf([&] {
                      (void)session.GetAliasDriverName("VORN_FIRMA");
                  }).find("No such file or directory (error $2501)"),
                  std::string::npos)
            << attempt;
    }

    Write("[VORN_FIRMA]\nTYPE=STANDARD\n");
    EXPECT_EQ(session.GetAliasDriverName("VORN_FIRMA"), "STANDARD");
}
