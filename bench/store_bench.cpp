// One store use that writes the 168 hour flags, against the same writes in one plain SQLite
// transaction, and what the guard would see with one transaction per value.
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "bench/Timing.h"
#include "lib/store/SettingsStore.h"

int main() {
    namespace fs = std::filesystem;
    std::string base = (fs::temp_directory_path() / "veltrix-bench-XXXXXX").string();
    base = mkdtemp(base.data());
    setenv("VELTRIX_USER_STORE", (base + "/store").c_str(), 1);
    const int rounds = 30;

    double ours = 1e9;
    for (int r = 0; r < rounds; ++r) {
        const double t = bench::Now();
        store::WithSettings([&](store::TRegistry& reg) {
            for (int n = 1; n <= 168; ++n)
                reg.WriteString(store::HourFlagName(n), r % 2 ? "1" : "0");
        });
        ours = std::min(ours, bench::Now() - t);
    }

    sqlite3* db = nullptr;
    sqlite3_open((base + "/plain.db").c_str(), &db);
    sqlite3_exec(db,
                 "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;"
                 "CREATE TABLE v(name TEXT PRIMARY KEY, data BLOB)",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* put = nullptr;
    sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO v VALUES(?1, ?2)", -1, &put, nullptr);
    auto write = [&](int r, bool each) {
        if (!each) sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        for (int n = 1; n <= 168; ++n) {
            const std::string name = store::HourFlagName(n);
            sqlite3_bind_text(put, 1, name.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_blob(put, 2, r % 2 ? "1" : "0", 2, SQLITE_STATIC);
            sqlite3_step(put);
            sqlite3_reset(put);
        }
        if (!each) sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    };
    double plain = 1e9, perValue = 1e9;
    for (int r = 0; r < rounds; ++r) {
        double t = bench::Now();
        write(r, false);
        plain = std::min(plain, bench::Now() - t);
    }
    for (int r = 0; r < 5; ++r) {
        double t = bench::Now();
        write(r, true);
        perValue = std::min(perValue, bench::Now() - t);
    }
    sqlite3_finalize(put);
    sqlite3_close(db);
    std::printf("best of %d rounds, synchronous=FULL, WAL\n", rounds);
    bench::Row("168 flags in one store use", ours, plain, "plain transaction");
    bench::Row("168 flags, one transaction per value", perValue, plain, "plain transaction");
    std::printf(
        "with one transaction per value the guard could read any of 168 half-saved grids;\n"
        "one store use is one transaction: it sees the whole grid or none of it\n");
    fs::remove_all(base);
}
