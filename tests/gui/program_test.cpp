#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

// The real program, on a virtual X display that xdotool can reach from outside.
namespace {

// This sandbox now and then refuses a connection to the X server; such a
// refusal is retried, as it says nothing about the program.
bool DisplayRefused(const QString& errors) {
    return errors.contains("Can't open display") || errors.contains("could not connect to display");
}

QString Xdotool(const QStringList& arguments, const QString& display) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display);
        process.setProcessEnvironment(env);
        process.start("xdotool", arguments);
        process.waitForFinished(10000);
        if (!DisplayRefused(QString::fromUtf8(process.readAllStandardError()))) {
            return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
        }
    }
    return {};
}

class VirtualDisplay {
  public:
    VirtualDisplay() {
        for (int number = 90 + getpid() % 50; number < 200; ++number) {
            if (QFileInfo::exists(QString("/tmp/.X11-unix/X%1").arg(number)) ||
                QFileInfo::exists(QString("/tmp/.X%1-lock").arg(number))) {
                continue;
            }
            name_ = QString(":%1").arg(number);
            server_.start("Xvfb", {name_, "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
            if (!server_.waitForStarted()) break;
            // Ready when a client gets an answer, not merely when the socket exists.
            QElapsedTimer waited;
            waited.start();
            bool finished = false;
            while (waited.elapsed() < 10000 && !(finished = server_.waitForFinished(50)) &&
                   Xdotool({"getdisplaygeometry"}, name_).isEmpty()) {
            }
            if (finished) continue;
            if (server_.state() == QProcess::Running) return;
        }
        name_.clear();
    }
    ~VirtualDisplay() {
        server_.terminate();
        server_.waitForFinished(5000);
    }
    const QString& Name() const { return name_; }

  private:
    QProcess server_;
    QString name_;
};

TEST(Program, WithoutTheClientLibraryShowsOnlyTheApplicationErrorBoxAndEndsWith1) {
    if (QStandardPaths::findExecutable("Xvfb").isEmpty() ||
        QStandardPaths::findExecutable("xdotool").isEmpty()) {
        // ./test installs both; only a hand-made build may lack them.
        if (qEnvironmentVariableIsSet("CI")) FAIL() << "needs Xvfb and xdotool";
        GTEST_SKIP() << "needs Xvfb and xdotool";
    }
    VirtualDisplay display;
    ASSERT_FALSE(display.Name().isEmpty());

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display.Name());
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("VORNUPD_CLIENT_LIBRARY", "/nonexistent/libfbclient.so.2");
    program.setProcessEnvironment(env);
    QString box;
    QString errors;
    for (int attempt = 0; attempt < 3 && box.isEmpty(); ++attempt) {
        program.start(VORNUPD_EXECUTABLE, {});
        ASSERT_TRUE(program.waitForStarted());
        QElapsedTimer waited;
        waited.start();
        while (box.isEmpty() && waited.elapsed() < 20000 && !program.waitForFinished(100)) {
            box = Xdotool({"search", "--onlyvisible", "--name", "^Application Error$"},
                          display.Name());
        }
        errors = QString::fromUtf8(program.readAllStandardError());
        if (box.isEmpty() && !DisplayRefused(errors)) break;
    }
    ASSERT_FALSE(box.isEmpty()) << "no box came up; the program said: " << errors.toStdString();
    // Nothing but the box is on screen.
    const QStringList visible = Xdotool({"search", "--onlyvisible", "--name", "."}, display.Name())
                                    .split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(visible, QStringList{box});

    Xdotool({"windowfocus", "--sync", box}, display.Name());
    Xdotool({"key", "Return"}, display.Name());
    ASSERT_TRUE(program.waitForFinished(10000)) << "the box did not close";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 1);
}

}  // namespace
