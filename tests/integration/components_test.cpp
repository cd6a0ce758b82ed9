#include <gtest/gtest.h>

#include <memory>

#include "platform/ibx/IBComponents.h"
#include "tests/support/FirebirdServer.h"

namespace {

// A connection with its transaction and query, wired as the main window wires them.
struct Components {
    explicit Components(const std::string& connection, int dialect = 1) {
        db.SetParams({"user_name=kefu", "password=kefu"});
        db.SetSQLDialect(dialect);
        db.SetDatabaseName(connection);
        tr.SetDefaultDatabase(&db);
        query.SetDatabase(&db);
        query.SetTransaction(&tr);
    }
    TIBQuery query;
    TIBDatabase db;
    TIBTransaction tr;
};

class ComponentsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { fbtest::Server(); }

    static std::string Database(const std::string& sql) {
        const std::string connection = fbtest::Server().Remote(fbtest::NewDatabasePath("ibx"));
        fbtest::CreateDatabase(connection, sql + "COMMIT;\n");
        return connection;
    }
};

const std::string kRows =
    "CREATE TABLE T (ID INTEGER, V VARCHAR(10));\n"
    "INSERT INTO T VALUES (1, 'a');\n";

TEST_F(ComponentsTest, FieldTextFollowsTheColumnType) {
    struct Case {
        const char* type;
        const char* value;
        std::string text;
    };
    const Case cases[] = {
        {"CHAR(6)", "'vorn83'", "vorn83"},
        {"CHAR(10)", "'vorn83'", "vorn83    "},
        {"VARCHAR(10)", "'vorn83 '", "vorn83 "},
        {"VARCHAR(10)", "''", ""},
        {"VARCHAR(10)", "NULL", ""},
        {"INTEGER", "-42", "-42"},
        {"SMALLINT", "7", "7"},
        {"NUMERIC(9,2)", "12.5", "12.50"},
        {"NUMERIC(9,2)", "-0.05", "-0.05"},
        {"DOUBLE PRECISION", "0.25", "0.25"},
        {"DATE", "'2026-12-11'", "2026-12-11 00:00:00"},
        {"BLOB SUB_TYPE 1", "'długi tekst'", "długi tekst"},
    };
    std::string sql;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        sql += "CREATE TABLE C" + std::to_string(i) + " (F " + cases[i].type + ");\n";
        sql += "INSERT INTO C" + std::to_string(i) + " VALUES (" + cases[i].value + ");\n";
    }
    Components c(Database(sql));
    c.db.Open();
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        c.query.SetSQL("SELECT F FROM C" + std::to_string(i));
        c.query.Open();
        EXPECT_EQ(c.query.FieldByName("f").AsString(), cases[i].text)
            << cases[i].type << " " << cases[i].value;
        EXPECT_EQ(c.query.FieldByName("F").IsNull(), std::string(cases[i].value) == "NULL");
    }
}

TEST_F(ComponentsTest, QueryStandsOnTheFirstRowAndAnEmptyResultReadsAsEmpty) {
    Components c(
        Database(kRows + "INSERT INTO T VALUES (2, 'b');\nCREATE TABLE E (V VARCHAR(5));\n"));
    c.db.Open();
    c.query.SetSQL("SELECT ID, V FROM T ORDER BY ID");
    c.query.Open();
    EXPECT_TRUE(c.query.Active());
    EXPECT_EQ(c.query.FieldByName("v").AsString(), "a");
    c.query.Next();
    EXPECT_EQ(c.query.FieldByName("ID").AsString(), "2");
    c.query.Next();
    EXPECT_TRUE(c.query.Eof());
    EXPECT_THROW(c.query.FieldByName("MISSING"), EIBClientError);

    c.query.SetSQL("SELECT V FROM E");
    EXPECT_FALSE(c.query.Active());
    c.query.Open();
    EXPECT_TRUE(c.query.Eof());
    EXPECT_EQ(c.query.FieldByName("V").AsString(), "");
}

TEST_F(ComponentsTest, StatementsRunInOneTransactionThatOnlyCommitOrRollbackEnds) {
    const std::string db = Database(kRows);
    Components c(db);
    c.db.Open();
    EXPECT_THROW(c.tr.Commit(), EIBClientError);
    EXPECT_THROW(c.tr.Rollback(), EIBClientError);

    c.query.SetSQL("SELECT V FROM T");
    c.query.Open();
    ASSERT_TRUE(c.tr.InTransaction());
    c.query.SetSQL("UPDATE T SET V = 'b'");  // closes the result set, not the transaction
    EXPECT_TRUE(c.tr.InTransaction());
    c.query.ExecSQL();
    c.query.Close();
    EXPECT_TRUE(c.tr.InTransaction());
    c.tr.Rollback();
    EXPECT_EQ(fbtest::Column(db, "SELECT V FROM T"), std::vector<std::string>{"a"});

    c.query.ExecSQL();  // starts a transaction of its own
    EXPECT_TRUE(c.tr.InTransaction());
    c.tr.Commit();
    EXPECT_FALSE(c.tr.InTransaction());
    EXPECT_EQ(fbtest::Column(db, "SELECT V FROM T"), std::vector<std::string>{"b"});
}

TEST_F(ComponentsTest, ExecSQLIsRefusedWhileAResultSetIsOpen) {
    Components c(Database(kRows));
    c.db.Open();
    c.query.SetSQL("SELECT V FROM T");
    c.query.Open();
    EXPECT_THROW(c.query.ExecSQL(), EIBClientError);
    EXPECT_TRUE(c.query.Active());
}

TEST_F(ComponentsTest, ClosingTheConnectionCommitsTheActiveTransaction) {
    const std::string db = Database(kRows);
    Components c(db);
    c.db.Open();
    c.query.SetSQL("UPDATE T SET V = 'z'");
    c.query.ExecSQL();
    c.db.Close();
    EXPECT_FALSE(c.tr.InTransaction());
    EXPECT_FALSE(c.db.Connected());
    EXPECT_EQ(fbtest::Column(db, "SELECT V FROM T"), std::vector<std::string>{"z"});
    c.db.Close();  // closing a closed connection does nothing

    // Reopened, the prepared statement of the old attachment is not reused.
    c.db.Open();
    c.query.ExecSQL();
    c.tr.Commit();
}

TEST_F(ComponentsTest, ReleasingTheComponentsCommitsWhatIsStillActive) {
    const std::string db = Database(kRows);
    {
        Components c(db);
        c.db.Open();
        c.query.SetSQL("UPDATE T SET V = 'r'");
        c.query.ExecSQL();
    }
    EXPECT_EQ(fbtest::Column(db, "SELECT V FROM T"), std::vector<std::string>{"r"});
}

TEST_F(ComponentsTest, ARefusedCommitStaysActiveAndCanBeRolledBack) {
    const std::string db =
        Database(kRows +
                 "CREATE EXCEPTION E_NO \"nie teraz\";\n"
                 "SET TERM ^ ;\n"
                 "CREATE TRIGGER NO_COMMIT ACTIVE ON TRANSACTION COMMIT AS\n"
                 "BEGIN\n"
                 "  IF (EXISTS (SELECT * FROM T WHERE V = 'x')) THEN EXCEPTION E_NO;\n"
                 "END^\n"
                 "SET TERM ; ^\n");
    Components c(db);
    c.db.Open();
    c.query.SetSQL("UPDATE T SET V = 'x'");
    c.query.ExecSQL();
    try {
        c.tr.Commit();
        FAIL() << "commit went through";
    } catch (const EIBError& e) {
        EXPECT_NE(e.Message().find("nie teraz"), std::string::npos) << e.Message();
    }
    EXPECT_TRUE(c.tr.InTransaction());
    c.tr.Rollback();
    EXPECT_EQ(fbtest::Column(db, "SELECT V FROM T"), std::vector<std::string>{"a"});

    // Closing with the same refusal raises it, and the connection is closed all the same.
    c.query.ExecSQL();
    EXPECT_THROW(c.db.Close(), EIBError);
    EXPECT_FALSE(c.db.Connected());
    EXPECT_FALSE(c.tr.InTransaction());
    EXPECT_EQ(fbtest::Column(db, "SELECT V FROM T"), std::vector<std::string>{"a"});
}

TEST_F(ComponentsTest, SettingsAreRefusedWhileConnected) {
    const std::string db = Database(kRows);
    Components c(db);
    c.db.Open();
    EXPECT_THROW(c.db.SetParamValue("password", "x"), EIBClientError);
    EXPECT_THROW(c.db.SetSQLDialect(3), EIBClientError);
    EXPECT_THROW(c.db.SetDatabaseName(db + "x"), EIBClientError);
    c.db.SetDatabaseName(db);  // unchanged: nothing to refuse
    EXPECT_TRUE(c.db.Connected());
}

TEST_F(ComponentsTest, AttachFailuresRaiseWithoutTheCredentials) {
    Components empty("");
    EXPECT_THROW(empty.db.Open(), EIBClientError);

    Components wrong(Database(kRows));
    wrong.db.SetParamValue("password", "tajne-haslo");
    try {
        wrong.db.Open();
        FAIL() << "attached with a wrong password";
    } catch (const EIBError& e) {
        EXPECT_NE(e.Message().find("user name and password"), std::string::npos) << e.Message();
        EXPECT_EQ(e.Message().find("tajne-haslo"), std::string::npos);
    }
    EXPECT_FALSE(wrong.db.Connected());
}

TEST_F(ComponentsTest, ServerErrorsCarryTheirTextAndCodes) {
    Components c(Database(kRows));
    c.db.Open();
    c.query.SetSQL("SELECT X FROM NO_SUCH_TABLE");
    try {
        c.query.Open();
        FAIL();
    } catch (const EIBError& e) {
        EXPECT_EQ(e.SQLCode(), -204);
        EXPECT_NE(e.IBErrorCode(), 0);
        EXPECT_NE(e.Message().find("Table unknown\nNO_SUCH_TABLE"), std::string::npos)
            << e.Message();
    }
    EXPECT_FALSE(c.query.Active());
}

TEST_F(ComponentsTest, TheDialectDecidesWhatDoubleQuotesMean) {
    const std::string db = Database(kRows);
    Components dialect1(db, 1);
    dialect1.db.Open();
    dialect1.query.SetSQL("UPDATE T SET V=\"q\"  WHERE ID=1");
    dialect1.query.ExecSQL();
    dialect1.tr.Commit();
    dialect1.db.Close();
    EXPECT_EQ(fbtest::Column(db, "SELECT V FROM T"), std::vector<std::string>{"q"});

    Components dialect3(db, 3);
    dialect3.db.Open();
    dialect3.query.SetSQL("UPDATE T SET V=\"q\"  WHERE ID=1");
    EXPECT_THROW(dialect3.query.ExecSQL(), EIBError);
}

TEST_F(ComponentsTest, UserNamesCountEveryAttachment) {
    const std::string db = Database(kRows);
    Components c(db);
    c.db.Open();
    TIBDatabaseInfo info;
    info.SetDatabase(&c.db);
    EXPECT_EQ(info.UserNames().Count(), 1);
    EXPECT_EQ(info.UserNames().Strings(0), "KEFU");

    std::vector<std::unique_ptr<Components>> others;
    for (int expected : {2, 3}) {
        others.push_back(std::make_unique<Components>(db));
        others.back()->db.Open();
        EXPECT_EQ(info.UserNames().Count(), expected);
    }
    // The count leaves no transaction behind on the connection's own component.
    EXPECT_FALSE(c.tr.InTransaction());

    c.db.Close();
    EXPECT_THROW(info.UserNames(), EIBClientError);
}

}  // namespace
