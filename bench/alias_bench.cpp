// Times what the alias list does on a large engine configuration: list the
// names, then each alias's parameters and driver name.

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/bde/Session.h"
#include "platform/rtl/StringList.h"
#include "platform/rtl/Text.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::stoi(argv[1]) : 10000;

    const fbtest::TempDir dir("vorn-alias-bench");
    const fs::path file = dir.path() / "aliases.conf";
    {
        std::ofstream out(file, std::ios::binary);
        out << "; generated\n";
        for (int i = 0; i < count; ++i) {
            out << "[VORN_BAZA_" << i << "]\n"
                << "TYPE=" << (i % 3 == 0 ? "STANDARD" : "INTRBASE") << "\n"
                << "SERVER NAME=dbserver:/srv/firebird/baza" << i << ".fdb\n"
                << "USER NAME=" << (i % 2 == 0 ? "kefu" : "sysdba") << "\n"
                << "OPEN MODE=READ/WRITE\nSCHEMA CACHE SIZE=8\nLANGDRIVER=\n";
        }
    }

    for (int run = 1; run <= 3; ++run) {
        TSession session("Default", file);
        TStringList names;
        TStringList params;
        int listed = 0;

        const auto start = Clock::now();
        session.GetAliasNames(names);
        const double listMs = MillisecondsSince(start);
        for (int i = 0; i < names.Count(); ++i) {
            while (params.Count() > 0) params.Delete(0);
            session.GetAliasParams(names.Strings(i), params);
            const std::string driver = session.GetAliasDriverName(names.Strings(i));
            if (text::Contains(driver, "INTRBASE") && text::Contains(params.Strings(1), "kefu")) {
                ++listed;
            }
        }
        const double totalMs = MillisecondsSince(start);
        std::printf(
            "run %d: %d aliases (%ju bytes): start and list names %.1f ms, all aliases examined "
            "%.1f ms (%.2f us per alias), %d qualify\n",
            run, names.Count(), static_cast<std::uintmax_t>(fs::file_size(file)), listMs, totalMs,
            1000.0 * totalMs / names.Count(), listed);
    }
    return 0;
}
