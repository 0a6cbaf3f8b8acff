#include "lib/platform/registry/Registry.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <mutex>
#include <thread>

namespace platform {
namespace {

struct Connection {
    sqlite3* db = nullptr;
    dev_t dev = 0;
    ino_t ino = 0;
    bool asItStands = false;  // read-only, without SQLite's side files (see ConnectAsItStands)
    std::map<std::string, sqlite3_stmt*> statements;
};

std::mutex& CacheMutex() {
    static std::mutex m;
    return m;
}
void CloseConnection(Connection& c) {
    for (auto& [sql, stmt] : c.statements) sqlite3_finalize(stmt);
    c.statements.clear();
    if (c.db) sqlite3_close_v2(c.db);
    c.db = nullptr;
}

// The process's one connection per database file, closed when the process ends.
struct ConnectionCache : std::map<std::string, Connection> {
    ~ConnectionCache() {
        for (auto& [path, c] : *this) CloseConnection(c);
    }
};
ConnectionCache& Cache() {
    static ConnectionCache cache;
    return cache;
}

std::string HomeConfig() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) return xdg;
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.config";
    return "/tmp";
}

bool MakeDirs(const std::string& dir, mode_t mode, std::string& error) {
    std::string part;
    for (std::size_t i = 0; i <= dir.size(); ++i) {
        if (i == dir.size() || (dir[i] == '/' && i > 0)) {
            part = dir.substr(0, i);
            if (mkdir(part.c_str(), i == dir.size() ? mode : 0755) != 0 && errno != EEXIST) {
                error = "cannot create " + part + ": " + std::strerror(errno);
                return false;
            }
        }
    }
    return true;
}

sqlite3_stmt* Statement(Connection& c, const char* sql) {
    auto it = c.statements.find(sql);
    if (it != c.statements.end()) {
        sqlite3_clear_bindings(it->second);
        return it->second;
    }
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v3(c.db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK)
        return nullptr;
    c.statements.emplace(sql, stmt);
    return stmt;
}

// Steps a statement once and resets it at once, so no statement of a use is ever left active: an
// active statement keeps its read snapshot after COMMIT, and the next BEGIN IMMEDIATE would meet a
// stale snapshot once another process has written.
class Step {
  public:
    explicit Step(sqlite3_stmt* stmt) : stmt_(stmt), rc_(sqlite3_step(stmt)) {}
    ~Step() { sqlite3_reset(stmt_); }
    Step(const Step&) = delete;
    Step& operator=(const Step&) = delete;
    int rc() const { return rc_; }
    bool Next() { return (rc_ = sqlite3_step(stmt_)) == SQLITE_ROW; }

  private:
    sqlite3_stmt* stmt_;
    int rc_;
};

constexpr int kBusyTimeoutMs = 5000;

bool Busy(int rc) {
    return (rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED;
}

// Begins a store use. Another writer that is merely finishing makes BEGIN answer busy; for some
// busy answers (a stale snapshot, SQLITE_BUSY_SNAPSHOT) SQLite does not even call the busy
// handler. Either way the use waits and tries again until the busy timeout has passed.
int Begin(Connection& c, bool write) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        const int rc =
            sqlite3_exec(c.db, write ? "BEGIN IMMEDIATE" : "BEGIN", nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK || !Busy(rc)) return rc;
        if (std::chrono::steady_clock::now() >= deadline) return rc;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
}

Connection* FindConnection(sqlite3* db) {
    for (auto& [path, c] : Cache())
        if (c.db == db) return &c;
    return nullptr;
}

// A store on a file system this process may not write (a service that reads an account's
// store in a read-only view of the homes) cannot make the side file SQLite's write-ahead log
// needs. With no log file beside it the database file holds every committed change, so it is
// read as it stands (SQLite's "immutable": no side files, no locks). Such a connection is made
// afresh for every use, so no later change is missed.
Connection* ConnectAsItStands(const std::string& file, const struct stat& st, std::string& error) {
    Connection c;
    c.dev = st.st_dev;
    c.ino = st.st_ino;
    c.asItStands = true;
    const std::string uri = "file:" + file + "?immutable=1";
    const int rc = sqlite3_open_v2(
        uri.c_str(), &c.db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK || sqlite3_exec(c.db, "SELECT count(*) FROM keys, vals LIMIT 1", nullptr,
                                        nullptr, nullptr) != SQLITE_OK) {
        error += "; read as it stands: " + std::string(c.db ? sqlite3_errmsg(c.db) : "no memory");
        CloseConnection(c);
        return nullptr;
    }
    auto [it, inserted] = Cache().emplace(file, std::move(c));
    return &it->second;
}

Connection* ConnectReadWrite(Root root, std::string& error);

// Opens (or reuses) the one connection of this process to the root's database.
Connection* Connect(Root root, bool write, std::string& error) {
    Connection* c = ConnectReadWrite(root, error);
    if (c || write) return c;
    const std::string file = StoreFile(root);
    struct stat st {
    }, wal{};
    if (::stat(file.c_str(), &st) != 0 || ::stat((file + "-wal").c_str(), &wal) == 0) return c;
    if (::access(StoreDirectory(root).c_str(), W_OK) == 0 || errno != EROFS) return c;
    return ConnectAsItStands(file, st, error);
}

Connection* ConnectReadWrite(Root root, std::string& error) {
    const bool user = root == Root::CurrentUser;
    const std::string dir = StoreDirectory(root);
    if (!MakeDirs(dir, user ? 0700 : 0755, error)) return nullptr;
    const std::string file = StoreFile(root);

    struct stat st {};
    bool exists = stat(file.c_str(), &st) == 0;
    auto& cache = Cache();
    if (auto it = cache.find(file); it != cache.end()) {
        if (exists && st.st_dev == it->second.dev && st.st_ino == it->second.ino &&
            !it->second.asItStands)
            return &it->second;
        CloseConnection(it->second);  // the file was replaced or removed behind our back
        cache.erase(it);
    }
    if (!exists) {
        // Create the file with its final mode before SQLite opens it; SQLite's side files copy it.
        // The machine-wide store is its owner's alone to write, whatever the directory and the
        // umask: every account's login reads what it names.
        const mode_t mode = user ? 0600 : 0644;
        int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0 && errno != EEXIST) {
            error = "cannot create " + file + ": " + std::strerror(errno);
            return nullptr;
        }
        if (fd >= 0) {
            ::fchmod(fd, mode);
            ::close(fd);
        }
        if (stat(file.c_str(), &st) != 0) {
            error = "cannot read " + file + ": " + std::strerror(errno);
            return nullptr;
        }
    }
    Connection c;
    c.dev = st.st_dev;
    c.ino = st.st_ino;
    if (sqlite3_open_v2(file.c_str(), &c.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        error = "cannot open " + file + ": " + (c.db ? sqlite3_errmsg(c.db) : "out of memory");
        CloseConnection(c);
        return nullptr;
    }
    sqlite3_busy_timeout(c.db, kBusyTimeoutMs);
    const std::string pragmas = std::string("PRAGMA journal_mode=") + (user ? "WAL" : "DELETE") +
                                "; PRAGMA synchronous=FULL;";
    const char* schema =
        "CREATE TABLE IF NOT EXISTS keys(id INTEGER PRIMARY KEY, parent INTEGER NOT NULL,"
        " name TEXT NOT NULL COLLATE NOCASE, UNIQUE(parent, name));"
        "CREATE TABLE IF NOT EXISTS vals(key INTEGER NOT NULL, name TEXT NOT NULL COLLATE NOCASE,"
        " type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY(key, name));";
    char* msg = nullptr;
    int rc = sqlite3_exec(c.db, pragmas.c_str(), nullptr, nullptr, &msg);
    if (rc == SQLITE_OK) {
        sqlite3_free(msg);
        msg = nullptr;
        // A read-only file cannot take the schema; it is enough that the tables are there.
        rc = sqlite3_exec(c.db, schema, nullptr, nullptr, &msg);
        if (rc == SQLITE_READONLY) {
            sqlite3_free(msg);
            msg = nullptr;
            rc = sqlite3_exec(c.db, "SELECT count(*) FROM keys, vals LIMIT 1", nullptr, nullptr,
                              &msg);
        }
    }
    if (rc != SQLITE_OK) {
        error = file + ": " + (msg ? msg : sqlite3_errstr(rc));
        sqlite3_free(msg);
        CloseConnection(c);
        return nullptr;
    }
    auto [it, inserted] = cache.emplace(file, std::move(c));
    return &it->second;
}

constexpr long long kNoKey = -2;  // matches no row

bool Exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

}  // namespace

void Diagnostic(const std::string& text) {
    std::cerr << "veltrix: " << text << std::endl;
}

namespace {
// "/a/b/" and "/a/b" name the same directory; the last component must get the store's mode.
std::string WithoutTrailingSlashes(std::string dir) {
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}
}  // namespace

std::string StoreDirectory(Root root) {
    if (root == Root::CurrentUser) {
        if (const char* dir = std::getenv("VELTRIX_USER_STORE"); dir && *dir)
            return WithoutTrailingSlashes(dir);
        return HomeConfig() + "/veltrix";
    }
    if (const char* dir = std::getenv("VELTRIX_MACHINE_STORE"); dir && *dir)
        return WithoutTrailingSlashes(dir);
    return "/var/lib/veltrix";
}

std::string StoreFile(Root root) {
    return StoreDirectory(root) + (root == Root::CurrentUser ? "/user.db" : "/machine.db");
}

std::string SzBytes(const std::string& text) {
    return text + std::string(1, '\0');
}

void ResetStoreConnections() {
    std::lock_guard lock(CacheMutex());
    for (auto& [path, c] : Cache()) CloseConnection(c);
    Cache().clear();
}

std::unique_ptr<RegKey> RegKey::Open(Root root, const std::string& path, std::string* error) {
    return OpenUse(root, path, true, error);
}

std::unique_ptr<RegKey> RegKey::OpenForReading(Root root, const std::string& path,
                                               std::string* error) {
    return OpenUse(root, path, false, error);
}

std::unique_ptr<RegKey> RegKey::OpenUse(Root root, const std::string& path, bool write,
                                        std::string* error) {
    std::lock_guard lock(CacheMutex());
    std::string why;
    auto fail = [&](const std::string& text) -> std::unique_ptr<RegKey> {
        Diagnostic("store: " + text);
        if (error) *error = text;
        return nullptr;
    };
    Connection* c = Connect(root, write, why);
    if (!c) return fail(why);
    if (!sqlite3_get_autocommit(c->db)) return fail("a store use is already open");
    if (Begin(*c, write) != SQLITE_OK) return fail(StoreFile(root) + ": " + sqlite3_errmsg(c->db));

    long long id = 0;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        std::string name = path.substr(start, end - start);
        start = end + 1;
        if (name.empty()) continue;
        sqlite3_stmt* find = Statement(*c, "SELECT id FROM keys WHERE parent=?1 AND name=?2");
        if (!find) break;
        sqlite3_bind_int64(find, 1, id);
        sqlite3_bind_text(find, 2, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
        int rc = SQLITE_ERROR;
        {
            Step step(find);
            rc = step.rc();
            if (rc == SQLITE_ROW) id = sqlite3_column_int64(find, 0);
        }
        if (rc == SQLITE_ROW) continue;
        if (rc == SQLITE_DONE && !write) {
            id = kNoKey;  // no such key: reads find nothing
            break;
        }
        sqlite3_stmt* add = Statement(*c, "INSERT INTO keys(parent, name) VALUES(?1, ?2)");
        if (rc != SQLITE_DONE || !add) {
            id = -1;
            break;
        }
        sqlite3_bind_int64(add, 1, id);
        sqlite3_bind_text(add, 2, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
        if (Step(add).rc() != SQLITE_DONE) {
            id = -1;
            break;
        }
        id = sqlite3_last_insert_rowid(c->db);
    }
    if (id == -1) {
        std::string text = StoreFile(root) + ": cannot create key: " + sqlite3_errmsg(c->db);
        Exec(c->db, "ROLLBACK");
        return fail(text);
    }
    return std::unique_ptr<RegKey>(new RegKey(c->db, id));
}

RegKey::~RegKey() {
    Close();
}

bool RegKey::Close() {
    if (!open_) return true;
    open_ = false;
    std::lock_guard lock(CacheMutex());
    if (Exec(db_, "COMMIT")) return true;
    Diagnostic(std::string("store: commit failed, the writes of this use are lost: ") +
               sqlite3_errmsg(db_));
    Exec(db_, "ROLLBACK");
    return false;
}

QueryResult RegKey::Query(const std::string& name, RegValue& out) {
    std::lock_guard lock(CacheMutex());
    Connection* c = FindConnection(db_);
    sqlite3_stmt* q =
        c ? Statement(*c, "SELECT name, type, data FROM vals WHERE key=?1 AND name=?2") : nullptr;
    if (!q) return QueryResult::Failed;
    sqlite3_bind_int64(q, 1, id_);
    sqlite3_bind_text(q, 2, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    Step step(q);
    if (step.rc() == SQLITE_DONE) return QueryResult::Absent;
    if (step.rc() != SQLITE_ROW) return QueryResult::Failed;
    out.name = reinterpret_cast<const char*>(sqlite3_column_text(q, 0));
    out.type = static_cast<RegType>(sqlite3_column_int(q, 1));
    const void* blob = sqlite3_column_blob(q, 2);
    out.data.assign(static_cast<const char*>(blob ? blob : ""),
                    static_cast<std::size_t>(sqlite3_column_bytes(q, 2)));
    return QueryResult::Ok;
}

bool RegKey::Set(const std::string& name, RegType type, const std::string& data) {
    std::lock_guard lock(CacheMutex());
    Connection* c = FindConnection(db_);
    sqlite3_stmt* q = c ? Statement(*c,
                                    "INSERT INTO vals(key, name, type, data) VALUES(?1, ?2, ?3, ?4)"
                                    " ON CONFLICT(key, name) DO UPDATE SET type=excluded.type,"
                                    " data=excluded.data")
                        : nullptr;
    if (!q) return false;
    sqlite3_bind_int64(q, 1, id_);
    sqlite3_bind_text(q, 2, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int(q, 3, static_cast<int>(type));
    sqlite3_bind_blob(q, 4, data.data(), static_cast<int>(data.size()), SQLITE_TRANSIENT);
    return Step(q).rc() == SQLITE_DONE;
}

bool RegKey::Delete(const std::string& name) {
    std::lock_guard lock(CacheMutex());
    Connection* c = FindConnection(db_);
    sqlite3_stmt* q = c ? Statement(*c, "DELETE FROM vals WHERE key=?1 AND name=?2") : nullptr;
    if (!q) return false;
    sqlite3_bind_int64(q, 1, id_);
    sqlite3_bind_text(q, 2, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    return Step(q).rc() == SQLITE_DONE;
}

std::vector<RegValue> RegKey::List() {
    std::lock_guard lock(CacheMutex());
    std::vector<RegValue> values;
    Connection* c = FindConnection(db_);
    sqlite3_stmt* q =
        c ? Statement(*c, "SELECT name, type, data FROM vals WHERE key=?1 ORDER BY rowid")
          : nullptr;
    if (!q) return values;
    sqlite3_bind_int64(q, 1, id_);
    Step step(q);
    for (bool row = step.rc() == SQLITE_ROW; row; row = step.Next()) {
        RegValue v;
        v.name = reinterpret_cast<const char*>(sqlite3_column_text(q, 0));
        v.type = static_cast<RegType>(sqlite3_column_int(q, 1));
        const void* blob = sqlite3_column_blob(q, 2);
        v.data.assign(static_cast<const char*>(blob ? blob : ""),
                      static_cast<std::size_t>(sqlite3_column_bytes(q, 2)));
        values.push_back(std::move(v));
    }
    return values;
}

}  // namespace platform
