#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/bde/Session.h"
#include "platform/ibx/IBComponents.h"
#include "tests/support/FirebirdServer.h"
#include "update/ModuleUpdate.h"

namespace fs = std::filesystem;

namespace {

const std::string kNoChoice = "Wybierz bazę danych.";
const std::string kNoConnection = "Brak połączenia z bazą danych";
const std::string kWrongVersion = "Nieodpowiednia wersja bazy danych";
const std::string kWrongDatabase = "Niewłaściwa baza danych";
const std::string kUpdated = "Modyfikacja bazy danych powiodła się.\n\r";
const std::string kUpdateFailed =
    "Modyfikacja bazy danych  NIE powiodła się.\n\rSkontaktuj się z dostawcą oprogramowania";
std::string OthersAttached(int n) {
    return "Brak możliwości modyfikacji bazy danych\n\rDo bazy podłączonych jest " +
           std::to_string(n) + " użytkownik(ów) !!!";
}

const std::string kVersionTable =
    "CREATE TABLE ADOSTEP (Wersja VARCHAR(10), Blokada INTEGER);\n"
    "INSERT INTO ADOSTEP VALUES ('vorn83', 0);\n";
const std::string kModuleTable =
    "CREATE TABLE AWERSJAMOD (MODUL VARCHAR(20), Numer INTEGER);\n"
    "INSERT INTO AWERSJAMOD VALUES ('dazezirod', 0);\n"
    "INSERT INTO AWERSJAMOD VALUES ('inny', 0);\n";
const std::string kNumbers = "SELECT Numer FROM AWERSJAMOD ORDER BY MODUL, Numer";

// The window as the procedure sees it, recording what the user would see.
struct Recorder : update::Window {
    std::vector<std::string> items;
    int index = -1;
    std::vector<std::string> messages;
    std::vector<int> progress;

    int ItemIndex() const override { return index; }
    std::string Item(int i) const override { return items.at(static_cast<std::size_t>(i)); }
    void SetProgressPosition(int position) override { progress.push_back(position); }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
};

// The components wired as the main window wires them, over a real alias file.
class ModuleUpdateTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { fbtest::Server(); }

    ModuleUpdateTest()
        : aliasFile_(fbtest::Server().Folder() / "aliases.conf"), session_("Default", aliasFile_) {
        IBDB.SetParams({"user_name=kefu"});
        IBDB.SetSQLDialect(1);
        IBTrans.SetDefaultDatabase(&IBDB);
        IBQry.SetDatabase(&IBDB);
        IBQry.SetTransaction(&IBTrans);
        IBDBInfo.SetDatabase(&IBDB);
    }

    // A fresh dialect-1 database owned by kefu on the private server.
    static std::string Database(const std::string& sql, const std::string& owner = "kefu",
                                const std::string& password = "kefu") {
        const std::string connection = fbtest::Server().Remote(fbtest::NewDatabasePath("case"));
        fbtest::CreateDatabase(connection, sql + "COMMIT;\n", owner, password);
        return connection;
    }

    // Writes the alias file: one qualifying alias per server-name value, listed in order.
    void Aliases(const std::vector<std::string>& serverNameValues) {
        std::ofstream out(aliasFile_, std::ios::trunc);
        window.items.clear();
        for (std::size_t i = 0; i < serverNameValues.size(); ++i) {
            const std::string name = "VORN" + std::to_string(i);
            out << "[" << name << "]\nTYPE=INTRBASE\nSERVER NAME=" << serverNameValues[i]
                << "\nUSER NAME=kefu\n";
            window.items.push_back(name);
        }
        out.close();
        // Make the change visible to the session even within one clock tick.
        fs::last_write_time(aliasFile_,
                            fs::file_time_type::clock::now() + std::chrono::seconds(++bumps_));
        window.index = serverNameValues.empty() ? -1 : 0;
    }

    void Choose(const std::string& connection) { Aliases({connection}); }

    std::vector<std::string> Press() {
        window.messages.clear();
        update::RunModuleUpdate(window, {session_, IBDB, IBTrans, IBQry, IBDBInfo});
        return window.messages;
    }

    // A second attachment, as another user of the database would have.
    static std::unique_ptr<TIBDatabase> Attach(const std::string& connection,
                                               const std::string& user = "kefu",
                                               const std::string& password = "kefu") {
        auto db = std::make_unique<TIBDatabase>();
        db->SetParams({"user_name=" + user, "password=" + password});
        db->SetDatabaseName(connection);
        db->Open();
        return db;
    }

    fs::path aliasFile_;
    int bumps_ = 0;
    TSession session_;
    Recorder window;
    // Creation order of the main window.
    TIBQuery IBQry;
    TIBDatabase IBDB;
    TIBTransaction IBTrans;
    TIBDatabaseInfo IBDBInfo;
};

// ------------------------------------------------------- version check and update

struct VersionCase {
    const char* name;
    std::string versionTable;
    std::vector<std::string> messages;
};

class VersionCheck : public ModuleUpdateTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(VersionCheck, DecidesWhetherTheModuleIsUpdated) {
    const VersionCase& c = GetParam();
    const std::string db = Database(c.versionTable + kModuleTable);
    Choose(db);

    EXPECT_EQ(Press(), c.messages);

    const bool updated = c.messages == std::vector<std::string>{kUpdated};
    EXPECT_EQ(fbtest::Column(db, kNumbers), (std::vector<std::string>{updated ? "1" : "0", "0"}));
    // A failed check leaves the connection and its transaction for the next press.
    EXPECT_EQ(IBDB.Connected(), !updated);
    EXPECT_EQ(IBTrans.InTransaction(), !updated);
    EXPECT_FALSE(IBQry.Active());
    EXPECT_EQ(window.progress, updated ? (std::vector<int>{0, 0}) : std::vector<int>{0});
}

std::string Adostep(const std::string& column, const std::string& value) {
    return "CREATE TABLE ADOSTEP (Wersja " + column + ", Blokada INTEGER);\n" +
           (value.empty() ? "" : "INSERT INTO ADOSTEP VALUES (" + value + ", 0);\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VersionCheck,
    ::testing::Values(
        VersionCase{"Varchar", Adostep("VARCHAR(10)", "'vorn83'"), {kUpdated}},
        VersionCase{"Char6", Adostep("CHAR(6)", "'vorn83'"), {kUpdated}},
        VersionCase{"Char10", Adostep("CHAR(10)", "'vorn83'"), {kWrongVersion}},
        VersionCase{"UpperCase", Adostep("VARCHAR(10)", "'VORN83'"), {kWrongVersion}},
        VersionCase{"TrailingBlank", Adostep("VARCHAR(10)", "'vorn83 '"), {kWrongVersion}},
        VersionCase{"Null", Adostep("VARCHAR(10)", "NULL"), {kWrongVersion}},
        VersionCase{"NoRow", Adostep("VARCHAR(10)", ""), {kWrongVersion}},
        VersionCase{"OtherVersion", Adostep("VARCHAR(10)", "'vorn82'"), {kWrongVersion}},
        VersionCase{"NoBlokada",
                    "CREATE TABLE ADOSTEP (Wersja VARCHAR(10));\n"
                    "INSERT INTO ADOSTEP VALUES ('vorn83');\n",
                    {kWrongDatabase}},
        VersionCase{"NoAdostep", "", {kWrongDatabase}}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(ModuleUpdateTest, UpdatesEveryRowOfTheModuleAndNoOther) {
    const std::string db = Database(kVersionTable + kModuleTable +
                                    "INSERT INTO AWERSJAMOD VALUES ('dazezirod', 7);\n");
    Choose(db);
    EXPECT_EQ(Press(), std::vector<std::string>{kUpdated});
    EXPECT_EQ(fbtest::Column(db, kNumbers), (std::vector<std::string>{"1", "1", "0"}));
    EXPECT_FALSE(IBDB.Connected());
    EXPECT_FALSE(IBTrans.InTransaction());

    // A second press does it all again.
    EXPECT_EQ(Press(), std::vector<std::string>{kUpdated});
    EXPECT_EQ(fbtest::Column(db, kNumbers), (std::vector<std::string>{"1", "1", "0"}));
}

TEST_F(ModuleUpdateTest, NoRowOfTheModuleStillCountsAsSuccess) {
    const std::string db = Database(kVersionTable +
                                    "CREATE TABLE AWERSJAMOD (MODUL VARCHAR(20), Numer INTEGER);\n"
                                    "INSERT INTO AWERSJAMOD VALUES ('inny', 0);\n");
    Choose(db);
    EXPECT_EQ(Press(), std::vector<std::string>{kUpdated});
    EXPECT_EQ(fbtest::Column(db, kNumbers), std::vector<std::string>{"0"});
}

TEST_F(ModuleUpdateTest, WorksOnAnEmbeddedDatabase) {
    const fs::path file = fbtest::NewDatabasePath("embedded");
    fbtest::CreateDatabase(file.string(), kVersionTable + kModuleTable + "COMMIT;\n");
    Choose(file.string());
    EXPECT_EQ(Press(), std::vector<std::string>{kUpdated});
    EXPECT_FALSE(IBDB.Connected());
    EXPECT_EQ(fbtest::Column(file.string(), kNumbers), (std::vector<std::string>{"1", "0"}));
}

TEST_F(ModuleUpdateTest, PressAfterAFailedCheckEndsTheOldTransactionAndStartsAfresh) {
    const std::string wrong = Database(Adostep("VARCHAR(10)", "'vorn82'") + kModuleTable);
    const std::string right = Database(kVersionTable + kModuleTable);
    Aliases({wrong, right});
    EXPECT_EQ(Press(), std::vector<std::string>{kWrongVersion});
    ASSERT_TRUE(IBTrans.InTransaction());

    window.index = 1;
    EXPECT_EQ(Press(), std::vector<std::string>{kUpdated});
    EXPECT_EQ(IBDB.DatabaseName(), right);
    EXPECT_EQ(fbtest::Column(right, kNumbers), (std::vector<std::string>{"1", "0"}));
    EXPECT_EQ(fbtest::Column(wrong, kNumbers), (std::vector<std::string>{"0", "0"}));
}

// ----------------------------------------------------------- update failures

struct FailureCase {
    const char* name;
    std::string schema;
    const char* serverText;  // part of the server's own message, shown last
    bool hasNumbers = true;
};

class UpdateFailure : public ModuleUpdateTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(UpdateFailure, IsReportedRolledBackAndChangesNothing) {
    const FailureCase& c = GetParam();
    const std::string db = Database(c.schema);
    Choose(db);

    const std::vector<std::string> messages = Press();
    ASSERT_EQ(messages.size(), 2u) << ::testing::PrintToString(messages);
    EXPECT_EQ(messages[0], kUpdateFailed);
    EXPECT_NE(messages[1].find(c.serverText), std::string::npos) << messages[1];
    EXPECT_FALSE(IBDB.Connected());
    EXPECT_FALSE(IBTrans.InTransaction());
    EXPECT_EQ(window.progress, (std::vector<int>{0, 0}));
    if (c.hasNumbers) {
        EXPECT_EQ(fbtest::Column(db, kNumbers), (std::vector<std::string>{"0", "0"}));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UpdateFailure,
    ::testing::Values(
        FailureCase{"NoModuleTable", kVersionTable, "AWERSJAMOD", false},
        FailureCase{"NoNumerColumn",
                    kVersionTable + "CREATE TABLE AWERSJAMOD (MODUL VARCHAR(20));\n", "NUMER",
                    false},
        FailureCase{"TriggerRaises",
                    kVersionTable + kModuleTable +
                        "CREATE EXCEPTION E_BLOCKED \"Modul zablokowany\";\n"
                        "SET TERM ^ ;\n"
                        "CREATE TRIGGER AWERSJAMOD_BU FOR AWERSJAMOD BEFORE UPDATE AS\n"
                        "BEGIN\n  EXCEPTION E_BLOCKED;\nEND^\n"
                        "SET TERM ; ^\n",
                    "Modul zablokowany"},
        FailureCase{"CommitRefused",
                    kVersionTable + kModuleTable +
                        "CREATE EXCEPTION E_NO_COMMIT \"Zatwierdzenie odrzucone\";\n"
                        "SET TERM ^ ;\n"
                        "CREATE TRIGGER REFUSE_COMMIT ACTIVE ON TRANSACTION COMMIT AS\n"
                        "BEGIN\n"
                        "  IF (EXISTS (SELECT * FROM AWERSJAMOD WHERE Numer = 1)) THEN\n"
                        "    EXCEPTION E_NO_COMMIT;\n"
                        "END^\n"
                        "SET TERM ; ^\n",
                    "Zatwierdzenie odrzucone"}),
    [](const auto& param) { return std::string(param.param.name); });

// The server dies while the update's transaction is open: nothing may be half done.
TEST_F(ModuleUpdateTest, ServerLostDuringTheUpdateChangesNoRow) {
    auto& server = fbtest::Server();
    // The trigger tells us through another database that the update is under
    // way, then keeps the transaction open until the server is gone.
    const std::string signal = Database("CREATE TABLE UPDATE_STARTED (X INTEGER);\n");
    const std::string db = Database(kVersionTable + kModuleTable +
                                    "INSERT INTO AWERSJAMOD VALUES ('dazezirod', 5);\n" +
                                    "SET TERM ^ ;\n"
                                    "CREATE TRIGGER AWERSJAMOD_BU FOR AWERSJAMOD BEFORE UPDATE AS\n"
                                    "DECLARE i INTEGER = 0;\n"
                                    "BEGIN\n"
                                    "  EXECUTE STATEMENT 'INSERT INTO UPDATE_STARTED VALUES (1)'\n"
                                    "    ON EXTERNAL '" +
                                    signal +
                                    "' AS USER 'kefu' PASSWORD 'kefu'\n"
                                    "    WITH AUTONOMOUS TRANSACTION;\n"
                                    "  WHILE (i < 200000000) DO i = i + 1;\n"
                                    "END^\n"
                                    "SET TERM ; ^\n");
    Choose(db);

    std::atomic<bool> killed = false;
    std::atomic<bool> done = false;
    std::thread killer([&] {
        while (!done) {
            if (!fbtest::Column(signal, "SELECT X FROM UPDATE_STARTED").empty()) {
                server.Kill();
                killed = true;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    const std::vector<std::string> messages = Press();
    done = true;
    killer.join();
    if (!server.Running()) server.Start();
    ASSERT_TRUE(killed) << "the update never started";

    ASSERT_EQ(messages.size(), 2u) << ::testing::PrintToString(messages);
    EXPECT_EQ(messages[0], kUpdateFailed);
    EXPECT_NE(messages[1].find("connection"), std::string::npos) << messages[1];
    EXPECT_FALSE(IBDB.Connected());
    EXPECT_EQ(fbtest::Column(db, kNumbers), (std::vector<std::string>{"0", "5", "0"}));
}

// ------------------------------------------------- connection and exclusivity

TEST_F(ModuleUpdateTest, WithoutAChoiceNothingIsTouched) {
    const std::string db = Database(kVersionTable + kModuleTable);
    Choose(db);
    window.index = -1;
    EXPECT_EQ(Press(), std::vector<std::string>{kNoChoice});
    EXPECT_EQ(window.progress, std::vector<int>{0});
    EXPECT_FALSE(IBDB.Connected());
    EXPECT_EQ(IBDB.DatabaseName(), "");

    // Nor is a connection that an earlier press left open.
    Aliases({Database(Adostep("VARCHAR(10)", "'vorn82'") + kModuleTable)});
    EXPECT_EQ(Press(), std::vector<std::string>{kWrongVersion});
    window.index = -1;
    EXPECT_EQ(Press(), std::vector<std::string>{kNoChoice});
    EXPECT_TRUE(IBDB.Connected());
    EXPECT_TRUE(IBTrans.InTransaction());
}

TEST_F(ModuleUpdateTest, ConnectionStringIsCutFromTheServerNameLine) {
    struct Case {
        std::string afterPrefix;
        std::string expected;
    };
    const std::string longName(300, 'd');
    for (const Case& c : {Case{"", ""}, Case{"x", "x"}, Case{longName, longName.substr(0, 255)},
                          Case{"  /srv/a b.fdb ", "  /srv/a b.fdb "}}) {
        Choose(c.afterPrefix);
        EXPECT_EQ(Press(), std::vector<std::string>{kNoConnection}) << c.afterPrefix;
        EXPECT_EQ(IBDB.DatabaseName(), c.expected);
        EXPECT_FALSE(IBDB.Connected());
    }
}

TEST_F(ModuleUpdateTest, EveryConnectionFailureGivesTheSameMessage) {
    auto& server = fbtest::Server();
    const std::string otherOwner =
        Database(kVersionTable + kModuleTable, "SYSDBA", fbtest::kSysdbaPassword);
    server.AddUser("obcy", "obcy");
    for (const std::string& connection :
         {server.Remote(server.DatabaseDir() / "missing.fdb"),
          std::string("127.0.0.1/1:") + (server.DatabaseDir() / "x.fdb").string(),
          (server.DatabaseDir() / "missing-embedded.fdb").string()}) {
        Choose(connection);
        EXPECT_EQ(Press(), std::vector<std::string>{kNoConnection}) << connection;
        EXPECT_FALSE(IBDB.Connected());
    }

    // A refused password: kefu's changed on the server for a moment.
    fbtest::Isql(otherOwner, "ALTER USER kefu PASSWORD 'inne';\nCOMMIT;\n", "SYSDBA",
                 fbtest::kSysdbaPassword);
    Choose(otherOwner);
    const std::vector<std::string> refused = Press();
    fbtest::Isql(otherOwner, "ALTER USER kefu PASSWORD 'kefu';\nCOMMIT;\n", "SYSDBA",
                 fbtest::kSysdbaPassword);
    EXPECT_EQ(refused, std::vector<std::string>{kNoConnection});
}

TEST_F(ModuleUpdateTest, OtherAttachmentsAreCountedAndRefused) {
    const std::string db = Database(kVersionTable + kModuleTable);
    Choose(db);
    for (int others : {1, 2}) {
        std::vector<std::unique_ptr<TIBDatabase>> attached;
        for (int i = 0; i < others; ++i) attached.push_back(Attach(db));
        EXPECT_EQ(Press(), std::vector<std::string>{OthersAttached(others)});
        EXPECT_FALSE(IBDB.Connected());
    }
    EXPECT_EQ(fbtest::Column(db, kNumbers), (std::vector<std::string>{"0", "0"}));

    // Alone again: the update goes on.
    EXPECT_EQ(Press(), std::vector<std::string>{kUpdated});
}

TEST_F(ModuleUpdateTest, SameUserOnADatabaseItDoesNotOwnIsStillSeen) {
    const std::string db = Database(kVersionTable + kModuleTable +
                                        "GRANT ALL ON ADOSTEP TO kefu;\n"
                                        "GRANT ALL ON AWERSJAMOD TO kefu;\n",
                                    "SYSDBA", fbtest::kSysdbaPassword);
    Choose(db);
    auto other = Attach(db);
    EXPECT_EQ(Press(), std::vector<std::string>{OthersAttached(1)});
    other.reset();
    EXPECT_EQ(Press(), std::vector<std::string>{kUpdated});
}

TEST_F(ModuleUpdateTest, AliasRemovedWhileTheWindowIsOpenRaisesTheEnginesError) {
    const std::string first = Database(Adostep("VARCHAR(10)", "'vorn82'") + kModuleTable);
    Aliases({first});
    EXPECT_EQ(Press(), std::vector<std::string>{kWrongVersion});

    const std::vector<std::string> listed = window.items;
    Aliases({});
    window.items = listed;
    window.index = 0;
    try {
        Press();
        FAIL() << "no error";
    } catch (const EDBEngineError& e) {
        EXPECT_NE(e.Message().find("VORN0"), std::string::npos) << e.Message();
    }
    EXPECT_TRUE(window.messages.empty());
    // The connection stays as the previous press left it.
    EXPECT_TRUE(IBDB.Connected());
    EXPECT_TRUE(IBTrans.InTransaction());
}

}  // namespace
