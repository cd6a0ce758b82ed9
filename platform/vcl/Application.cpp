#include "platform/vcl/Application.h"

#include <cxxabi.h>

#include <QFile>
#include <QFontDatabase>
#include <QMessageBox>
#include <QWidget>
#include <cstdlib>
#include <typeinfo>

#include "platform/rtl/Exception.h"
#include "platform/vcl/FontData.h"
#include "platform/vcl/Texts.h"

namespace {

TApplication* instance = nullptr;

// The typeface files of the window's font; fontconfig does not offer them.
constexpr const char* kFontFiles[] = {"/usr/share/wine/fonts/tahoma.ttf",
                                      "/usr/share/wine/fonts/tahomabd.ttf"};

void LoadFont(const char* fileName) {
    QFile file(QString::fromUtf8(fileName));
    if (!file.open(QIODevice::ReadOnly)) return;
    const QByteArray bytes = file.readAll();
    std::string data(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    vcl::UseOutlinesWithWindowsMetrics(data);
    QFontDatabase::addApplicationFontFromData(
        QByteArray(data.data(), static_cast<qsizetype>(data.size())));
}

std::string ProgramPath() {
    return QCoreApplication::applicationFilePath().toStdString();
}

QString BoxText(const std::string& text) {
    return QString::fromStdString(vcl::NormaliseLineBreaks(text));
}

void ShowStopBox(const std::string& caption, const std::string& text) {
    QMessageBox box(QMessageBox::Critical, QString::fromStdString(caption), BoxText(text),
                    QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

std::string Demangled(const char* name) {
    int status = 0;
    char* readable = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    std::string result = status == 0 && readable != nullptr ? readable : name;
    std::free(readable);
    return result;
}

}  // namespace

static void InitialiseProgramResources() {
    // The icon lives in the static library; this keeps the linker from dropping it.
    Q_INIT_RESOURCE(vornupd);
}

TApplication::TApplication(int& argc, char** argv)
    : qt_(argc, argv), title_(vcl::TitleFromProgramPath(ProgramPath())) {
    InitialiseProgramResources();
    for (const char* file : kFontFiles) LoadFont(file);
    icon_ = QIcon(QStringLiteral(":/MAINICON"));
    QApplication::setWindowIcon(icon_);
    instance = this;
}

TApplication::~TApplication() {
    mainForm_.reset();
    instance = nullptr;
}

TApplication* TApplication::Instance() noexcept {
    return instance;
}

void TApplication::Run() {
    if (!mainForm_) return;
    mainForm_->show();
    QApplication::exec();
    mainForm_->hide();
    mainForm_.reset();
}

void TApplication::ShowException(const std::string& message) noexcept {
    try {
        ShowStopBox(title_, vcl::FailureBoxText(message));
    } catch (...) {
        // Nothing is left to tell the user with.
    }
}

void TApplication::ShowStartupFailure(std::exception_ptr failure) noexcept {
    try {
        std::string className = "Exception";
        std::string message;
        try {
            std::rethrow_exception(failure);
        } catch (const Exception& e) {
            className = e.ClassName();
            message = e.Message();
        } catch (const std::exception& e) {
            className = Demangled(typeid(e).name());
            message = e.what();
        } catch (...) {
        }
        ShowStopBox("Application Error",
                    vcl::StartupFailureText(className, vcl::ModuleName(ProgramPath()), 0, message));
    } catch (...) {
    }
}

void TApplication::HandleEvent(const std::function<void()>& handler) noexcept {
    try {
        std::string message;
        try {
            handler();
            return;
        } catch (const Exception& e) {
            message = e.Message();
        } catch (const std::exception& e) {
            message = e.what();
        } catch (...) {
            message = "Unknown exception";
        }
        if (instance != nullptr) {
            instance->ShowException(message);
        } else {
            ShowStopBox(vcl::ApplicationTitle(), vcl::FailureBoxText(message));
        }
    } catch (...) {
    }
}

namespace vcl {

std::string ApplicationTitle() {
    if (instance != nullptr) return instance->Title();
    return TitleFromProgramPath(ProgramPath());
}

}  // namespace vcl
