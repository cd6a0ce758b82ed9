#include "platform/vcl/Application.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <fstream>
#include <stdexcept>

#include "app/Unit1.h"
#include "platform/bde/Session.h"
#include "platform/ibx/IBErrors.h"
#include "platform/vcl/Dialogs.h"
#include "platform/vcl/Texts.h"
#include "tests/gui/Boxes.h"

namespace {

TApplication& Application() {
    return *TApplication::Instance();
}

TEST(Application, TitleComesFromTheProgramFile) {
    EXPECT_EQ(Application().Title(),
              vcl::TitleFromProgramPath(QCoreApplication::applicationFilePath().toStdString()));
    EXPECT_TRUE(Application().Icon().availableSizes().contains(QSize(32, 32)));
}

TEST(Application, WhatEscapesAHandlerIsShownInTheFailureBoxAndGoesNoFurther) {
    struct Case {
        const char* name;
        std::function<void()> handler;
        const char* shown;
    } cases[] = {
        {"platform exception", [] { throw Exception("brak pliku"); }, "brak pliku."},
        {"ends in a full stop", [] { throw EIBClientError("Gotowe."); }, "Gotowe."},
        {"standard exception", [] { throw std::runtime_error("zła wartość!"); }, "zła wartość!"},
        {"line break kept as one", [] { throw Exception("a\n\rb"); }, "a\nb."},
        {"empty message", [] { throw Exception(""); }, ""},
        {"anything else", [] { throw 42; }, "Unknown exception."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BoxCloser closer;
        EXPECT_NO_THROW(TApplication::HandleEvent(c.handler));
        ASSERT_EQ(closer.seen.size(), 1u);
        EXPECT_TRUE(closer.seen[0].isMessageBox);
        EXPECT_EQ(closer.seen[0].icon, QMessageBox::Critical);
        EXPECT_EQ(closer.seen[0].caption, QString::fromStdString(Application().Title()));
        EXPECT_EQ(closer.seen[0].text, QString::fromUtf8(c.shown));
        EXPECT_EQ(closer.seen[0].buttons, QStringList{"OK"});
    }
    BoxCloser closer;
    bool ran = false;
    TApplication::HandleEvent([&] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_TRUE(closer.seen.empty());
}

TEST(MessageBox, WrapsAtHalfTheScreenExpandsTabsAndIsCentred) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QRect boxFrame;
    int labelWidth = 0;
    BoxCloser closer(BoxCloser::How::Enter, [&](QWidget& box) {
        boxFrame = box.frameGeometry();
        labelWidth = box.findChild<QLabel*>("message")->width();
        EXPECT_EQ(box.windowModality(), Qt::ApplicationModal);
    });
    std::string longText;
    for (int i = 0; i < 60; ++i) longText += "słowo ";
    vcl::ShowMessage("a\tb\n" + longText);
    ASSERT_EQ(closer.seen.size(), 1u);
    EXPECT_TRUE(closer.seen[0].text.startsWith("a       b\n"));
    EXPECT_LE(labelWidth, screen.width() / 2);
    EXPECT_GT(labelWidth, screen.width() / 4);
    EXPECT_LE(std::abs(boxFrame.center().x() - screen.center().x()), 2)
        << boxFrame.x() << "," << boxFrame.y() << " " << boxFrame.width() << "x"
        << boxFrame.height();
    EXPECT_LE(std::abs(boxFrame.center().y() - screen.center().y()), 2);
}

// A main form whose creation fails the way a missing client library does.
class FormWithoutClientLibrary : public QWidget {
  public:
    FormWithoutClientLibrary() {
        throw EIBClientError(
            "InterBase library libfbclient.so.2 not found in the path. Please install "
            "InterBase to use this functionality");
    }
};

TEST(Application, FailedMainFormCreationShowsOnlyTheApplicationErrorBox) {
    QStringList visibleWindows;
    BoxCloser closer(BoxCloser::How::Enter, [&](QWidget&) {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->isVisible()) visibleWindows << w->windowTitle();
        }
    });
    bool failed = false;
    try {
        Application().CreateForm<FormWithoutClientLibrary>();
    } catch (...) {
        failed = true;
        Application().ShowStartupFailure(std::current_exception());
    }
    ASSERT_TRUE(failed);
    EXPECT_EQ(Application().MainForm(), nullptr);
    ASSERT_EQ(closer.seen.size(), 1u);
    const SeenBox& box = closer.seen[0];
    EXPECT_EQ(box.caption, "Application Error");
    EXPECT_EQ(box.icon, QMessageBox::Critical);
    EXPECT_EQ(box.buttons, QStringList{"OK"});
    const std::string module =
        vcl::ModuleName(QCoreApplication::applicationFilePath().toStdString());
    EXPECT_EQ(box.text.toStdString(),
              "Exception EIBClientError in module " + module +
                  " at 00000000.\nInterBase library libfbclient.so.2 not found in the path. "
                  "Please install InterBase to use this functionality.\n");
    EXPECT_EQ(visibleWindows, QStringList{"Application Error"});
}

TEST(Application, RunShowsTheMainFormUntilItIsClosedThenReleasesIt) {
    QTemporaryDir dir;
    const std::string aliases = dir.filePath("aliases.conf").toStdString();
    std::ofstream(aliases) << "";
    TSession session("Default", aliases);
    TfrmMain& frmMain = Application().CreateForm<TfrmMain>(session);
    EXPECT_EQ(Application().MainForm(), &frmMain);
    bool wasVisible = false;
    QTimer::singleShot(100, [&] {
        wasVisible = frmMain.isVisible();
        frmMain.close();
    });
    Application().Run();
    EXPECT_TRUE(wasVisible);
    EXPECT_EQ(Application().MainForm(), nullptr);
}

}  // namespace
