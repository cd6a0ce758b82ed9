#pragma once

#include <QApplication>
#include <QIcon>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <utility>

class QWidget;

// The application object: the Qt application with the program's title, icon
// and fonts, the main form, the message loop and the failure box.
class TApplication {
  public:
    TApplication(int& argc, char** argv);
    ~TApplication();
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;

    // The one object while it lives, else nullptr.
    static TApplication* Instance() noexcept;

    const std::string& Title() const noexcept { return title_; }
    const QIcon& Icon() const noexcept { return icon_; }

    // Creates the main form, which the application object owns from then on.
    template <class Form, class... Args>
    Form& CreateForm(Args&&... args) {
        auto form = std::make_unique<Form>(std::forward<Args>(args)...);
        Form& result = *form;
        mainForm_ = std::move(form);
        return result;
    }
    QWidget* MainForm() const noexcept { return mainForm_.get(); }

    // Shows the main form and processes input until it is closed; then hides
    // and releases it.
    void Run();

    // The failure box, for an exception that escaped an event handler.
    void ShowException(const std::string& message) noexcept;
    // The "Application Error" box, for a failure to create the main form.
    void ShowStartupFailure(std::exception_ptr failure) noexcept;

    // Runs an event handler; whatever it throws ends in the failure box, so
    // that no exception reaches Qt.
    static void HandleEvent(const std::function<void()>& handler) noexcept;

  private:
    QApplication qt_;
    std::string title_;
    QIcon icon_;
    std::unique_ptr<QWidget> mainForm_;
};

namespace vcl {

// The title of the application object, or the one it would derive.
std::string ApplicationTitle();

}  // namespace vcl
