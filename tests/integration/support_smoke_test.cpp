#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/FirebirdServer.h"

namespace {

const char* const kSchema =
    "CREATE TABLE ADOSTEP (Wersja VARCHAR(20), Blokada INTEGER);\n"
    "INSERT INTO ADOSTEP VALUES ('vorn83', 0);\n"
    "INSERT INTO ADOSTEP VALUES (NULL, NULL);\n"
    "COMMIT;\n";

const std::vector<std::string> kWersja{"vorn83", "<null>"};

TEST(FirebirdFixture, PointsThisProcessAtThePrivateFolder) {
    auto& server = fbtest::Server();
    ASSERT_TRUE(server.Running());
    EXPECT_GT(server.Port(), 0);
    EXPECT_EQ(std::getenv("FIREBIRD"), server.Folder().string());
    EXPECT_EQ(std::getenv("FIREBIRD_LOCK"), (server.Folder() / "lock").string());
    EXPECT_EQ(std::getenv("ISC_USER"), nullptr);
    std::ifstream conf(server.Folder() / "firebird.conf");
    const std::string text((std::istreambuf_iterator<char>(conf)), {});
    EXPECT_NE(text.find("RemoteServicePort = " + std::to_string(server.Port())), std::string::npos);
}

TEST(FirebirdFixture, CreatesAndReadsDatabasesRemoteAndEmbedded) {
    auto& server = fbtest::Server();
    const auto remoteFile = fbtest::NewDatabasePath("remote");
    const auto embeddedFile = fbtest::NewDatabasePath("embedded");
    ASSERT_NE(remoteFile, embeddedFile);

    fbtest::CreateDatabase(server.Remote(remoteFile), kSchema);
    fbtest::CreateDatabase(embeddedFile.string(), kSchema);
    EXPECT_EQ(fbtest::Column(server.Remote(remoteFile),
                             "SELECT Wersja FROM ADOSTEP ORDER BY Blokada NULLS LAST"),
              kWersja);
    EXPECT_EQ(fbtest::Column(embeddedFile.string(),
                             "SELECT Wersja FROM ADOSTEP ORDER BY Blokada NULLS LAST;"),
              kWersja);

    // Dialect 1: a double-quoted text is a string, and the owner is the creating user.
    EXPECT_EQ(fbtest::Column(server.Remote(remoteFile), "SELECT \"dazezirod\" FROM RDB$DATABASE"),
              std::vector<std::string>{"dazezirod"});
    EXPECT_EQ(fbtest::Column(embeddedFile.string(), "SELECT MON$SQL_DIALECT FROM MON$DATABASE"),
              std::vector<std::string>{"1"});
    const auto owner = fbtest::Column(server.Remote(remoteFile),
                                      "SELECT TRIM(RDB$OWNER_NAME) FROM RDB$RELATIONS "
                                      "WHERE RDB$RELATION_NAME = 'ADOSTEP'");
    EXPECT_EQ(owner, std::vector<std::string>{"KEFU"});
}

TEST(FirebirdFixture, ReportsFailuresWithIsqlText) {
    auto& server = fbtest::Server();
    const auto file = fbtest::NewDatabasePath("errors");
    fbtest::CreateDatabase(server.Remote(file), kSchema);
    try {
        fbtest::Isql(server.Remote(file), "SELECT x FROM NOSUCH;");
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("Table unknown"), std::string::npos) << e.what();
    }
    EXPECT_THROW(fbtest::Isql(server.Remote(file), "SELECT 1 FROM RDB$DATABASE;", "kefu", "wrong"),
                 std::runtime_error);
    EXPECT_THROW(fbtest::Column((server.DatabaseDir() / "missing.fdb").string(),
                                "SELECT 1 FROM RDB$DATABASE"),
                 std::runtime_error);
}

TEST(FirebirdFixture, AddsUsers) {
    auto& server = fbtest::Server();
    const auto file = fbtest::NewDatabasePath("users");
    fbtest::CreateDatabase(server.Remote(file), kSchema);
    server.AddUser("gosc", "gosc");
    EXPECT_EQ(fbtest::Column(server.Remote(file), "SELECT TRIM(CURRENT_USER) FROM RDB$DATABASE",
                             "gosc", "gosc"),
              std::vector<std::string>{"GOSC"});
}

TEST(FirebirdFixture, RestartsAtOnceAfterAKill) {
    auto& server = fbtest::Server();
    const auto file = fbtest::NewDatabasePath("restart");
    fbtest::CreateDatabase(server.Remote(file), kSchema);
    const int port = server.Port();

    server.Kill();
    EXPECT_FALSE(server.Running());
    EXPECT_THROW(fbtest::Isql(server.Remote(file), "SELECT 1 FROM RDB$DATABASE;"),
                 std::runtime_error);

    server.Start();
    ASSERT_TRUE(server.Running());
    EXPECT_EQ(server.Port(), port);
    EXPECT_EQ(fbtest::Column(server.Remote(file),
                             "SELECT Wersja FROM ADOSTEP ORDER BY Blokada NULLS LAST"),
              kWersja);

    server.Stop();
    EXPECT_FALSE(server.Running());
    server.Start();
    EXPECT_TRUE(server.Running());
}

}  // namespace
