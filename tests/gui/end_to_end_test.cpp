#include <gtest/gtest.h>

#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>
#include <memory>

#include "app/Unit1.h"
#include "platform/bde/Session.h"
#include "platform/ibx/IBComponents.h"
#include "platform/vcl/Application.h"
#include "platform/vcl/StdCtrls.h"
#include "tests/gui/Boxes.h"
#include "tests/support/FirebirdServer.h"

namespace {

const std::string kSchema =
    "CREATE TABLE ADOSTEP (Wersja VARCHAR(10), Blokada INTEGER);\n"
    "INSERT INTO ADOSTEP VALUES ('%TAG%', 0);\n"
    "CREATE TABLE AWERSJAMOD (MODUL VARCHAR(20), Numer INTEGER);\n"
    "INSERT INTO AWERSJAMOD VALUES ('dazezirod', 0);\n"
    "COMMIT;\n";

std::string Schema(const std::string& tag) {
    std::string sql = kSchema;
    sql.replace(sql.find("%TAG%"), 5, tag);
    return sql;
}

// Attachments to `db` other than the one asking.
int OtherAttachments(const std::string& db) {
    return std::stoi(
        fbtest::Column(db,
                       "SELECT COUNT(*) FROM MON$ATTACHMENTS WHERE MON$SYSTEM_FLAG = 0 "
                       "AND MON$ATTACHMENT_ID <> CURRENT_CONNECTION")
            .at(0));
}

class EndToEnd : public ::testing::Test {
  protected:
    TfrmMain& Show(const std::vector<std::pair<std::string, std::string>>& aliases) {
        std::ofstream out(dir_.filePath("aliases.conf").toStdString());
        for (const auto& [name, connection] : aliases) {
            out << "[" << name << "]\nTYPE=INTRBASE\nSERVER NAME=" << connection
                << "\nUSER NAME=kefu\n";
        }
        out.close();
        session_ =
            std::make_unique<TSession>("Default", dir_.filePath("aliases.conf").toStdString());
        form_ = std::make_unique<TfrmMain>(*session_);
        form_->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
        form_->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form_.get()));
        return *form_;
    }

    // Chooses the entry with the keyboard, as a user would, and presses START.
    std::vector<SeenBox> ChooseAndStart(TfrmMain& form, const QString& alias) {
        form.cmbAlias->setFocus();
        while (form.cmbAlias->currentText() != alias) {
            const int before = form.cmbAlias->currentIndex();
            QTest::keyClick(form.cmbAlias, Qt::Key_Down);
            if (form.cmbAlias->currentIndex() == before) break;
        }
        EXPECT_EQ(form.cmbAlias->currentText(), alias);
        BoxCloser closer;
        QTest::mouseClick(form.bbStart, Qt::LeftButton);
        return closer.seen;
    }

    QTemporaryDir dir_;
    std::unique_ptr<TSession> session_;
    std::unique_ptr<TfrmMain> form_;
};

TEST_F(EndToEnd, StartThroughTheWindowUpdatesTheDatabase) {
    auto& server = fbtest::Server();
    const std::string good = server.Remote(fbtest::NewDatabasePath("window"));
    const std::string old = server.Remote(fbtest::NewDatabasePath("window-old"));
    fbtest::CreateDatabase(good, Schema("vorn83"));
    fbtest::CreateDatabase(old, Schema("vorn82"));
    TfrmMain& form = Show({{"VORN_STARA", old}, {"VORN_FIRMA", good}});

    const std::vector<SeenBox> seen = ChooseAndStart(form, "VORN_FIRMA");
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].text.startsWith(QString::fromUtf8("Modyfikacja bazy danych powiodła się.")))
        << seen[0].text.toStdString();
    EXPECT_FALSE(seen[0].stuck);
    EXPECT_EQ(fbtest::Column(good, "SELECT Numer FROM AWERSJAMOD"), std::vector<std::string>{"1"});
    EXPECT_EQ(form.ProgressBar->value(), 0);
    EXPECT_EQ(OtherAttachments(good), 0);

    // The old database is refused, and the connection that refusal leaves open is
    // closed, without a word, when the window goes.
    const std::vector<SeenBox> refused = ChooseAndStart(form, "VORN_STARA");
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].text, QString::fromUtf8("Nieodpowiednia wersja bazy danych"));
    EXPECT_EQ(OtherAttachments(old), 1);
    {
        BoxCloser closer;
        form_.reset();
        QTest::qWait(50);
        EXPECT_TRUE(closer.seen.empty());
    }
    EXPECT_EQ(OtherAttachments(old), 0);
    EXPECT_EQ(fbtest::Column(old, "SELECT Numer FROM AWERSJAMOD"), std::vector<std::string>{"0"});
}

}  // namespace

int main(int argc, char** argv) {
    // The private server's environment must be in place before the window loads the client library.
    fbtest::Server();
    TApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
