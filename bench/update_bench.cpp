// Times one START, the whole module update, on a real database: embedded and
// over TCP to a private server. Prints the figures; asserts nothing.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <vector>

#include "platform/bde/Session.h"
#include "platform/ibx/IBComponents.h"
#include "tests/support/FirebirdServer.h"
#include "update/ModuleUpdate.h"

using Clock = std::chrono::steady_clock;

namespace {

struct QuietWindow : update::Window {
    int ItemIndex() const override { return 0; }
    std::string Item(int) const override { return "VORN_BENCH"; }
    void SetProgressPosition(int) override {}
    void ShowMessage(const std::string& text) override { last = text; }
    std::string last;
};

void Measure(const char* label, const std::string& connection, int presses) {
    fbtest::CreateDatabase(connection,
                           "CREATE TABLE ADOSTEP (Wersja VARCHAR(10), Blokada INTEGER);\n"
                           "INSERT INTO ADOSTEP VALUES ('vorn83', 0);\n"
                           "CREATE TABLE AWERSJAMOD (MODUL VARCHAR(20), Numer INTEGER);\n"
                           "INSERT INTO AWERSJAMOD VALUES ('dazezirod', 0);\n"
                           "COMMIT;\n");
    const auto aliases = fbtest::Server().Folder() / "bench-aliases.conf";
    std::ofstream(aliases) << "[VORN_BENCH]\nTYPE=INTRBASE\nSERVER NAME=" << connection
                           << "\nUSER NAME=kefu\n";
    TSession session("Default", aliases);
    TIBQuery IBQry;
    TIBDatabase IBDB;
    TIBTransaction IBTrans;
    TIBDatabaseInfo IBDBInfo;
    IBTrans.SetDefaultDatabase(&IBDB);
    IBQry.SetDatabase(&IBDB);
    IBQry.SetTransaction(&IBTrans);
    IBDBInfo.SetDatabase(&IBDB);

    QuietWindow window;
    std::vector<double> ms;
    for (int i = 0; i < presses; ++i) {
        const auto start = Clock::now();
        update::RunModuleUpdate(window, {session, IBDB, IBTrans, IBQry, IBDBInfo});
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%-9s %d presses: median %.2f ms, min %.2f ms, max %.2f ms; last message: %s",
                label, presses, ms[ms.size() / 2], ms.front(), ms.back(), window.last.c_str());
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    const int presses = argc > 1 ? std::stoi(argv[1]) : 50;
    auto& server = fbtest::Server();
    Measure("embedded", fbtest::NewDatabasePath("bench-embedded").string(), presses);
    Measure("tcp", server.Remote(fbtest::NewDatabasePath("bench-tcp")), presses);
}
