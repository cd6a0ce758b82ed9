#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "catalogue/AliasList.h"
#include "platform/bde/Session.h"
#include "platform/ibx/IBComponents.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {

using Names = std::vector<std::string>;

class AliasListTest : public ::testing::Test {
  protected:
    AliasListTest() {
        // The connection's stored parameter list.
        IBDB.SetParams(TStringList{"user_name=kefu"});
    }

    fs::path File() const { return dir_.path() / "aliases.conf"; }
    void Write(const std::string& content) {
        std::ofstream out(File(), std::ios::binary | std::ios::trunc);
        out << content;
    }

    // What the window's combo box would be handed, in order.
    Names Fill(TSession& session) {
        catalogue::FillAliasList(session, IBDB,
                                 [&](const std::string& name) { appended_.push_back(name); });
        return appended_;
    }
    Names FillFrom(const std::string& config) {
        Write(config);
        TSession session("Default", File());
        return Fill(session);
    }

    fbtest::TempDir dir_{"vorn-aliases"};
    TIBDatabase IBDB;
    Names appended_;
};

std::string Alias(const std::string& name, const std::string& driver,
                  const std::vector<std::string>& params) {
    std::string out = "[" + name + "]\nTYPE=" + driver + "\n";
    for (const auto& p : params) out += p + "\n";
    return out;
}

const std::string kServer = "SERVER NAME=dbserver:/srv/firebird/firma.fdb";

}  // namespace

TEST_F(AliasListTest, WhichAliasesAreListed) {
    struct Case {
        const char* what;
        std::string driver;
        std::vector<std::string> params;
        bool listed;
    };
    const std::vector<Case> cases = {
        {"InterBase, user kefu",
         "INTRBASE",
         {kServer, "USER NAME=kefu", "OPEN MODE=READ/WRITE"},
         true},
        {"user name in capitals", "INTRBASE", {kServer, "USER NAME=KEFU"}, false},
        {"kefu inside a longer user name", "INTRBASE", {kServer, "USER NAME=xkefux"}, true},
        {"empty user name", "INTRBASE", {kServer, "USER NAME="}, false},
        {"another driver with user kefu", "STANDARD", {kServer, "USER NAME=kefu"}, false},
        {"another driver with one line", "STANDARD", {"PATH=/srv/dbf"}, false},
        {"another driver with no lines", "ORACLE", {}, false},
        {"user name third, second line without kefu",
         "INTRBASE",
         {kServer, "OPEN MODE=READ/WRITE", "USER NAME=kefu"},
         false},
        {"user name third, second line with kefu",
         "INTRBASE",
         {kServer, "ROLE NAME=kefu_admin", "USER NAME=sysdba"},
         true},
        {"kefu in the name part of the second line", "INTRBASE", {kServer, "kefu=1"}, true},
        {"kefu only in the first line",
         "INTRBASE",
         {"SERVER NAME=kefu:/a.fdb", "USER NAME=sysdba"},
         false},
        {"INTRBASE inside a longer driver name", "XINTRBASE_6", {kServer, "USER NAME=kefu"}, true},
        {"driver name in another case", "IntrBase", {kServer, "USER NAME=kefu"}, false},
        {"empty driver name", "", {kServer, "USER NAME=kefu"}, false},
    };
    for (const Case& c : cases) {
        appended_.clear();
        try {
            const Names names = FillFrom(Alias("VORN_FIRMA", c.driver, c.params));
            EXPECT_EQ(names, c.listed ? Names{"VORN_FIRMA"} : Names{}) << c.what;
        } catch (const Exception& e) {
            ADD_FAILURE() << c.what << ": " << e.ClassName() << ": " << e.Message();
        }
    }
}

TEST_F(AliasListTest, NamesComeInTheEngineOrderAsWritten) {
    const std::vector<std::string> good = {kServer, "USER NAME=kefu"};
    EXPECT_EQ(FillFrom(Alias("Z_Łódź", "INTRBASE", good) + Alias("SKLEP", "STANDARD", good) +
                       Alias("a", "INTRBASE", good) + Alias("M", "INTRBASE", good)),
              (Names{"Z_Łódź", "a", "M"}));
}

TEST_F(AliasListTest, NoAliasesListsNothingAndRaisesNothing) {
    EXPECT_EQ(FillFrom("; no aliases configured\n"), Names{});
}

TEST_F(AliasListTest, PresetsTheConnectionCredentialsWithoutConnecting) {
    struct Case {
        TStringList stored;
        TStringList expected;
    };
    for (const Case& c : {Case{{"user_name=kefu"}, {"user_name=kefu", "password=kefu"}},
                          Case{{}, {"user_name=kefu", "password=kefu"}},
                          Case{{"PASSWORD=x", "USER_NAME=y", "lc_ctype=NONE"},
                               {"password=kefu", "user_name=kefu", "lc_ctype=NONE"}}}) {
        IBDB.SetParams(c.stored);
        IBDB.SetLoginPrompt(true);
        (void)FillFrom(Alias("A", "INTRBASE", {kServer, "USER NAME=kefu"}));
        EXPECT_EQ(IBDB.Params(), c.expected);
        EXPECT_FALSE(IBDB.LoginPrompt());
        EXPECT_FALSE(IBDB.Connected());
    }
}

TEST_F(AliasListTest, InterBaseAliasWithTooFewLinesEndsTheFillingThere) {
    const std::vector<std::string> good = {kServer, "USER NAME=kefu"};
    for (const std::vector<std::string>& shortParams :
         {std::vector<std::string>{kServer}, std::vector<std::string>{}}) {
        appended_.clear();
        Write(Alias("FIRST", "INTRBASE", good) + Alias("OTHER", "STANDARD", {}) +
              Alias("SHORT", "INTRBASE", shortParams) + Alias("LATER", "INTRBASE", good));
        TSession session("Default", File());
        try {
            (void)Fill(session);
            ADD_FAILURE() << "no error";
        } catch (const EStringListError& e) {
            EXPECT_EQ(e.Message(), "List index out of bounds (1)");
        }
        EXPECT_EQ(appended_, Names{"FIRST"});
        EXPECT_EQ(IBDB.Params(), (TStringList{"user_name=kefu", "password=kefu"}));
    }
}

TEST_F(AliasListTest, MissingEngineConfigurationRaisesTheEngineErrorAndListsNothing) {
    TSession session("Default", File());
    try {
        (void)Fill(session);
        ADD_FAILURE() << "no error";
    } catch (const EDBEngineError& e) {
        EXPECT_EQ(e.Message(),
                  "An error occurred while attempting to initialize the database engine: cannot "
                  "read the alias configuration " +
                      File().string() + ": No such file or directory (error $2501)");
    }
    EXPECT_EQ(appended_, Names{});
    EXPECT_FALSE(IBDB.LoginPrompt());

    // The engine starts at the next attempt once it can.
    Write(Alias("A", "INTRBASE", {kServer, "USER NAME=kefu"}));
    EXPECT_EQ(Fill(session), Names{"A"});
}

TEST_F(AliasListTest, MalformedConfigurationListsNothing) {
    const std::vector<std::string> good = {kServer, "USER NAME=kefu"};
    Write(Alias("A", "INTRBASE", good) + Alias("B", "INTRBASE", good) + "no equals sign\n");
    TSession session("Default", File());
    try {
        (void)Fill(session);
        ADD_FAILURE() << "no error";
    } catch (const EDBEngineError& e) {
        EXPECT_NE(e.Message().find(File().string() + ", line 9: "), std::string::npos)
            << e.Message();
    }
    EXPECT_EQ(appended_, Names{});
}
