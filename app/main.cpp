#include <exception>

#include "app/Unit1.h"
#include "platform/bde/Session.h"
#include "platform/vcl/Application.h"

int main(int argc, char* argv[]) {
    // The engine's default session exists from the start; its first request starts it.
    TSession Session("Default");
    TApplication Application(argc, argv);
    try {
        [[maybe_unused]] TfrmMain& frmMain = Application.CreateForm<TfrmMain>(Session);
    } catch (...) {
        Application.ShowStartupFailure(std::current_exception());
        return 1;
    }
    Application.Run();
    return 0;
}
