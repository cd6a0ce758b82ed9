#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "app/Unit1.h"
#include "platform/bde/Session.h"
#include "platform/ibx/IBComponents.h"
#include "platform/vcl/Application.h"
#include "platform/vcl/StdCtrls.h"
#include "platform/vcl/Texts.h"
#include "tests/gui/Boxes.h"

namespace {

const char* const kThreeAliases =
    "[Z]\nTYPE=INTRBASE\nSERVER NAME=localhost:/tmp/z.fdb\nUSER NAME=kefu\n"
    "[A]\nTYPE=INTRBASE\nSERVER NAME=localhost:/tmp/a.fdb\nUSER NAME=kefu\n"
    "[M]\nTYPE=INTRBASE\nSERVER NAME=localhost:/tmp/m.fdb\nUSER NAME=kefu\n";

QString Title() {
    return QString::fromStdString(vcl::ApplicationTitle());
}

class MainWindow : public ::testing::Test {
  protected:
    std::string AliasFile() const { return dir_.filePath("aliases.conf").toStdString(); }

    void WriteAliases(const std::string& text) const {
        std::ofstream(AliasFile(), std::ios::binary | std::ios::trunc) << text;
    }

    TfrmMain& Create(const std::string& aliases = "") {
        WriteAliases(aliases);
        session_ = std::make_unique<TSession>("Default", AliasFile());
        form_ = std::make_unique<TfrmMain>(*session_);
        return *form_;
    }

    TfrmMain& ShowActive(const std::string& aliases = "") {
        TfrmMain& form = Create(aliases);
        form.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
        form.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
        return form;
    }

    QTemporaryDir dir_;
    std::unique_ptr<TSession> session_;
    std::unique_ptr<TfrmMain> form_;
};

struct Placement {
    const char* name;
    QRect geometry;
};

const Placement kControls[] = {
    {"Label3", {69, 8, 265, 29}},        {"Label2", {40, 58, 124, 28}},
    {"cmbAlias", {170, 54, 145, 21}},    {"Label4", {40, 87, 246, 14}},
    {"Label1", {40, 114, 280, 14}},      {"bbStart", {137, 146, 105, 33}},
    {"ProgressBar", {25, 204, 352, 19}},
};

std::vector<QRect> Geometries(const TfrmMain& form) {
    std::vector<QRect> result;
    for (const Placement& p : kControls) {
        result.push_back(form.findChild<QWidget*>(p.name)->geometry());
    }
    return result;
}

TEST_F(MainWindow, ControlsStandWhereTheLayoutPutsThemWithTheirTexts) {
    TfrmMain& form = ShowActive();
    EXPECT_EQ(form.objectName(), "frmMain");
    EXPECT_EQ(form.windowTitle(), "Aktualizacja wersji modułu: vornadmin w bazie danych");
    EXPECT_EQ(form.size(), QSize(425, 238));
    for (const Placement& p : kControls) {
        QWidget* control = form.findChild<QWidget*>(p.name);
        ASSERT_NE(control, nullptr) << p.name;
        EXPECT_EQ(control->geometry(), p.geometry) << p.name;
    }
    // The fields are the controls of those names.
    EXPECT_EQ(form.findChild<QPushButton*>("bbStart"), form.bbStart);
    EXPECT_EQ(form.findChild<TComboBox*>("cmbAlias"), form.cmbAlias);
    EXPECT_EQ(form.findChild<QLabel*>("Label3"), form.Label3);

    struct Text {
        QLabel* label;
        const char* text;
        bool bold;
    } texts[] = {
        {form.Label3, "Program  należy uruchomić na komputerze z zainstalowanym systemem VORN ",
         true},
        {form.Label2, "- wybierz bazę danych:  ", false},
        {form.Label4, "- upewnij się, że masz bazę na WYŁĄCZNOŚĆ", false},
        {form.Label1, "- naciśnij START, aby rozpocząć proces aktualizacji. ", false},
    };
    for (const Text& t : texts) {
        const QString name = t.label->objectName();
        EXPECT_EQ(t.label->text(), QString::fromUtf8(t.text)) << name.toStdString();
        EXPECT_EQ(t.label->textFormat(), Qt::PlainText);
        EXPECT_TRUE(t.label->wordWrap());
        EXPECT_EQ(t.label->font().pixelSize(), 12);
        EXPECT_EQ(t.label->font().bold(), t.bold);
        // The wrapped text fits its box, and capitals' accents are not cut off above it.
        // The face's lines are 14.48 pixels at this size: half a pixel may stand out.
        const QFontMetrics metrics(t.label->font());
        const QRect needed = metrics.boundingRect(QRect(QPoint(0, 0), t.label->size()),
                                                  Qt::TextWordWrap, t.label->text());
        EXPECT_LE(needed.height(), t.label->height() + 1) << name.toStdString();
        EXPECT_LE(-metrics.tightBoundingRect(QStringLiteral("ŚĆŹŻŃÓĄĘŁ")).top(),
                  metrics.ascent() + 1);
    }
    EXPECT_EQ(form.Label3->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_EQ(form.font().pixelSize(), 11);
    EXPECT_EQ(QFontMetrics(form.font()).height(), 13);
    if (std::ifstream("/usr/share/wine/fonts/tahoma.ttf")) {
        EXPECT_EQ(QFontInfo(form.font()).family(), "Tahoma");
        EXPECT_TRUE(QFontInfo(form.Label3->font()).bold());
    }

    EXPECT_EQ(form.bbStart->text(), "START");
    EXPECT_TRUE(form.bbStart->icon().isNull());
    EXPECT_EQ(form.bbStart->font().pixelSize(), 12);
    EXPECT_TRUE(form.bbStart->font().bold());
    EXPECT_EQ(form.bbStart->palette().color(QPalette::ButtonText), QColor(0, 0, 128));

    EXPECT_EQ(form.cmbAlias->palette().color(QPalette::Base), QColor(255, 255, 215));
    EXPECT_EQ(form.cmbAlias->accessibleName(), "wybierz bazę danych:");
    EXPECT_EQ(form.Label2->buddy(), form.cmbAlias);

    EXPECT_EQ(form.ProgressBar->minimum(), 0);
    EXPECT_EQ(form.ProgressBar->maximum(), 96);
    EXPECT_EQ(form.ProgressBar->value(), 0);
    EXPECT_FALSE(form.ProgressBar->isTextVisible());

    // The window shows the application's icon, the program's one 32 x 32 image.
    EXPECT_FALSE(form.testAttribute(Qt::WA_SetWindowIcon));
    EXPECT_TRUE(form.windowIcon().availableSizes().contains(QSize(32, 32)));
}

TEST_F(MainWindow, DatabaseComponentsCarryTheirStoredSettings) {
    TfrmMain& form = Create();
    EXPECT_EQ(form.IBDB->Params().Lines(), std::vector<std::string>{"user_name=kefu"});
    EXPECT_EQ(form.IBDB->SQLDialect(), 1);
    EXPECT_TRUE(form.IBDB->LoginPrompt());
    EXPECT_FALSE(form.IBDB->Connected());
    EXPECT_EQ(form.IBTrans->DefaultDatabase(), form.IBDB.get());
    EXPECT_EQ(form.IBTrans->DefaultAction(), TTransactionAction::TACommit);
    for (TIBQuery* query : {form.IBQry.get(), form.IBQryUpdate.get()}) {
        EXPECT_EQ(query->Database(), form.IBDB.get());
        EXPECT_EQ(query->Transaction(), form.IBTrans.get());
    }
    EXPECT_EQ(form.IBDBInfo->Database(), form.IBDB.get());

    // Showing runs the alias filling, which presets the credentials.
    form.show();
    EXPECT_EQ(form.IBDB->Params().Lines(),
              (std::vector<std::string>{"user_name=kefu", "password=kefu"}));
    EXPECT_FALSE(form.IBDB->LoginPrompt());
}

TEST_F(MainWindow, ComesUpCentredWithFocusOnStartAndTabCyclesStartAndList) {
    TfrmMain& form = ShowActive();
    const QRect screen = form.screen()->geometry();
    EXPECT_LE(std::abs(form.frameGeometry().center().x() - screen.center().x()), 1);
    EXPECT_LE(std::abs(form.frameGeometry().center().y() - screen.center().y()), 1);

    EXPECT_EQ(QApplication::focusWidget(), form.bbStart);
    const QWidget* expected[] = {form.cmbAlias, form.bbStart, form.cmbAlias, form.bbStart};
    for (const QWidget* next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next);
        EXPECT_FALSE(form.ProgressBar->hasFocus());
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), form.cmbAlias);
    EXPECT_EQ(form.ProgressBar->focusPolicy(), Qt::NoFocus);
}

TEST(Form, NeverPlacedLeftOfOrAboveTheDesktop) {
    TForm form;
    const QRect desktop = form.screen()->availableGeometry();
    form.resize(desktop.width() * 3, desktop.height() * 3);
    form.show();
    EXPECT_EQ(form.frameGeometry().topLeft(), desktop.topLeft());
}

TEST_F(MainWindow, EnterAndSpaceOnStartRunTheUpdateEnterInTheListDoesNot) {
    TfrmMain& form = ShowActive(kThreeAliases);
    QSignalSpy clicks(form.bbStart, &QPushButton::clicked);
    form.ProgressBar->setValue(50);
    int progressDuringBox = -1;
    BoxCloser closer(BoxCloser::How::ClickOk,
                     [&](QWidget&) { progressDuringBox = form.ProgressBar->value(); });

    form.bbStart->setFocus();
    QTest::keyClick(form.bbStart, Qt::Key_Return);
    QTest::keyClick(form.bbStart, Qt::Key_Enter);
    QTest::keyClick(form.bbStart, Qt::Key_Space);
    QTest::mouseClick(form.bbStart, Qt::LeftButton);
    EXPECT_EQ(clicks.count(), 4);
    ASSERT_EQ(closer.seen.size(), 4u);
    for (const SeenBox& box : closer.seen) {
        EXPECT_EQ(box.text, "Wybierz bazę danych.");
        EXPECT_EQ(box.caption, Title());
        EXPECT_FALSE(box.isMessageBox);
        EXPECT_EQ(box.buttons, QStringList{"OK"});
        EXPECT_EQ(box.defaultButton, "OK");
        EXPECT_FALSE(box.stuck);
    }
    EXPECT_EQ(progressDuringBox, 0);
    EXPECT_EQ(form.ProgressBar->value(), 0);

    form.cmbAlias->setFocus();
    QTest::keyClick(form.cmbAlias, Qt::Key_Return);
    QTest::keyClick(form.cmbAlias, Qt::Key_Enter);
    QTest::qWait(50);
    EXPECT_EQ(clicks.count(), 4);
    EXPECT_EQ(closer.seen.size(), 4u);
    EXPECT_EQ(form.cmbAlias->currentIndex(), -1);
}

TEST_F(MainWindow, MessageBoxClosesByEnterEscapeAndItsCloseBox) {
    TfrmMain& form = ShowActive();
    for (BoxCloser::How how :
         {BoxCloser::How::Enter, BoxCloser::How::Escape, BoxCloser::How::CloseBox}) {
        BoxCloser closer(how);
        form.bbStart->click();
        ASSERT_EQ(closer.seen.size(), 1u);
        EXPECT_FALSE(closer.seen[0].stuck);
        EXPECT_TRUE(form.isVisible());
    }
}

TEST_F(MainWindow, ListIsSortedUnselectedAndTakesNoTypedText) {
    TfrmMain& form = ShowActive(kThreeAliases);
    ASSERT_EQ(form.cmbAlias->count(), 3);
    EXPECT_EQ(form.cmbAlias->itemText(0), "A");
    EXPECT_EQ(form.cmbAlias->itemText(1), "M");
    EXPECT_EQ(form.cmbAlias->itemText(2), "Z");
    EXPECT_EQ(form.cmbAlias->currentIndex(), -1);
    EXPECT_EQ(form.cmbAlias->currentText(), "");

    EXPECT_FALSE(form.cmbAlias->isEditable());
    EXPECT_EQ(form.cmbAlias->lineEdit(), nullptr);
    form.cmbAlias->setFocus();
    QTest::keyClicks(form.cmbAlias, "qxy");
    EXPECT_EQ(form.cmbAlias->currentIndex(), -1);
    EXPECT_EQ(form.cmbAlias->currentText(), "");
    EXPECT_EQ(form.cmbAlias->count(), 3);
}

TEST_F(MainWindow, MinimisingRestoringOrShowingAgainDoesNotFillTheListAgain) {
    TfrmMain& form = ShowActive(kThreeAliases);
    const QPoint placed = form.pos();
    form.showMinimized();
    QTest::qWait(20);
    form.showNormal();
    QTest::qWait(20);
    form.hide();
    form.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(form.cmbAlias->count(), 3);
    EXPECT_EQ(form.pos(), placed);
}

TEST_F(MainWindow, ResizingOrMaximisingMovesNothingAndShowsNoScrollBars) {
    TfrmMain& form = ShowActive();
    const std::vector<QRect> before = Geometries(form);
    for (const QSize size : {QSize(800, 700), QSize(200, 100)}) {
        form.resize(size);
        QTest::qWait(20);
        EXPECT_EQ(Geometries(form), before);
    }
    form.showMaximized();
    QTest::qWait(20);
    EXPECT_EQ(Geometries(form), before);
    for (const QScrollBar* bar : form.findChildren<QScrollBar*>()) {
        EXPECT_FALSE(bar->isVisible());
    }
}

TEST_F(MainWindow, FailingShowEventShowsTheFailureBoxFirstThenTheWindow) {
    struct Case {
        const char* name;
        std::string aliases;  // empty: no alias file
        QStringList listed;
        std::string message;
    } cases[] = {
        {"engine missing", "", {}, ""},
        {"an InterBase alias with one parameter line",
         "[B]\nTYPE=INTRBASE\nSERVER NAME=x:/b.fdb\nUSER NAME=kefu\n"
         "[C]\nTYPE=INTRBASE\nSERVER NAME=x:/c.fdb\n"
         "[A]\nTYPE=INTRBASE\nSERVER NAME=x:/a.fdb\nUSER NAME=kefu\n",
         {"B"},
         "List index out of bounds (1)"},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string missing = dir_.filePath("missing/aliases.conf").toStdString();
        if (c.aliases.empty()) {
            // The configuration path comes from the environment, as in the program.
            setenv("DBENGINE_CONFIG", missing.c_str(), 1);
            session_ = std::make_unique<TSession>("Default");
            try {
                TStringList names;
                TSession("Default", missing).GetAliasNames(names);
            } catch (const Exception& e) {
                c.message = e.Message();
            }
            ASSERT_FALSE(c.message.empty());
        } else {
            WriteAliases(c.aliases);
            session_ = std::make_unique<TSession>("Default", AliasFile());
        }
        form_ = std::make_unique<TfrmMain>(*session_);
        TfrmMain& form = *form_;
        bool windowOnScreenDuringBox = true;
        BoxCloser closer(BoxCloser::How::ClickOk, [&](QWidget&) {
            windowOnScreenDuringBox =
                form.windowHandle() != nullptr && form.windowHandle()->isExposed();
        });
        form.show();
        unsetenv("DBENGINE_CONFIG");
        ASSERT_EQ(closer.seen.size(), 1u);
        const SeenBox& box = closer.seen[0];
        EXPECT_TRUE(box.isMessageBox);
        EXPECT_EQ(box.icon, QMessageBox::Critical);
        EXPECT_EQ(box.caption, Title());
        EXPECT_EQ(box.text,
                  QString::fromStdString(vcl::NormaliseLineBreaks(vcl::FailureBoxText(c.message))));
        EXPECT_EQ(box.buttons, QStringList{"OK"});
        EXPECT_FALSE(windowOnScreenDuringBox);

        EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
        QStringList listed;
        for (int i = 0; i < form.cmbAlias->count(); ++i) listed << form.cmbAlias->itemText(i);
        EXPECT_EQ(listed, c.listed);
        EXPECT_EQ(form.cmbAlias->currentIndex(), -1);
        const QRect screen = form.screen()->geometry();
        EXPECT_LE(std::abs(form.frameGeometry().center().x() - screen.center().x()), 1);
        form_.reset();
    }
}

TEST_F(MainWindow, ExceptionEscapingStartEndsInTheFailureBoxAndTheWindowWaits) {
    TfrmMain& form = ShowActive(kThreeAliases);
    form.cmbAlias->setCurrentIndex(form.cmbAlias->findText("A"));
    // The chosen alias vanishes from the engine's configuration.
    WriteAliases("[M]\nTYPE=INTRBASE\nSERVER NAME=localhost:/tmp/m.fdb\nUSER NAME=kefu\n\n\n");
    BoxCloser closer;
    form.bbStart->click();
    form.bbStart->click();
    ASSERT_EQ(closer.seen.size(), 2u);
    for (const SeenBox& box : closer.seen) {
        EXPECT_TRUE(box.isMessageBox);
        EXPECT_EQ(box.icon, QMessageBox::Critical);
        EXPECT_EQ(box.caption, Title());
        EXPECT_TRUE(box.text.contains("A")) << box.text.toStdString();
    }
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.cmbAlias->currentText(), "A");
    EXPECT_FALSE(form.IBDB->Connected());
}

TEST(ComboBox, SortedAddKeepsAlphabeticalOrderAndTheChoice) {
    TComboBox list;
    list.setSorted(true);
    for (const char* name : {"Zeta", "alfa", "Mazowsze", "Ćma", "Beta", "Ąb", "Ala"}) {
        list.Add(QString::fromUtf8(name));
        EXPECT_EQ(list.currentIndex(), -1);
    }
    QStringList items;
    for (int i = 0; i < list.count(); ++i) items << list.itemText(i);
    EXPECT_EQ(items, (QStringList{"Ala", "alfa", "Ąb", "Beta", "Ćma", "Mazowsze", "Zeta"}));

    list.setCurrentIndex(list.findText("Mazowsze"));
    list.Add("Aa");
    EXPECT_EQ(list.currentText(), "Mazowsze");
    EXPECT_EQ(list.itemText(0), "Aa");

    TComboBox unsorted;
    unsorted.Add("Z");
    unsorted.Add("A");
    EXPECT_EQ(unsorted.itemText(0), "Z");
    unsorted.setSorted(true);
    EXPECT_EQ(unsorted.itemText(0), "A");
    EXPECT_EQ(unsorted.currentIndex(), -1);
}

}  // namespace
