// The registry subset the system uses, over SQLite: two roots, keys by backslash path created
// along the path on open, typed values stored as bytes (strings with their terminating NUL).
//
// Contract:
//  - One database file per root. The per-user root lives in $VELTRIX_USER_STORE (default
//    $XDG_CONFIG_HOME/veltrix, else ~/.config/veltrix), the machine-wide root in
//    $VELTRIX_MACHINE_STORE (default /var/lib/veltrix). Files are created 0600 in a 0700
//    directory for the user root; the machine root is world-readable (0644 in 0755) and only its
//    owner may write it, as only an administrator may write HKEY_LOCAL_MACHINE, unless its
//    directory is group-writable (an installation's group, set-group-id): then its file is 0664,
//    so the group's members may write it.
//  - Key and value names compare without regard to (ASCII) letter case and keep the case they
//    were created with.
//  - An open key is one transaction: other processes see everything written through it, at
//    Close, or nothing. A failed write inside it leaves the earlier writes to be committed.
//  - A store that cannot be opened (permission, not a database, disk full) makes Open fail with a
//    diagnostic; nothing is ever invented, and a corrupt file is left untouched.
#pragma once

#include <memory>
#include <string>
#include <vector>

struct sqlite3;

namespace platform {

enum class Root { CurrentUser, LocalMachine };

// The registry's value types, by their Windows numbers.
enum class RegType : int { None = 0, Sz = 1, ExpandSz = 2, Binary = 3, Dword = 4 };

struct RegValue {
    std::string name;
    RegType type = RegType::None;
    std::string data;  // raw bytes
};

enum class QueryResult { Ok, Absent, Failed };

std::string StoreDirectory(Root root);
std::string StoreFile(Root root);

// Writes a line to the diagnostic stream (stderr), prefixed with the program's name.
void Diagnostic(const std::string& text);

class RegKey {
  public:
    // Opens the key at `path` (leading backslash optional) under `root`, creating every missing
    // key along it, and begins the store use. Returns nullptr when the store cannot be opened or
    // written; `error` (optional) receives why.
    static std::unique_ptr<RegKey> Open(Root root, const std::string& path,
                                        std::string* error = nullptr);
    // Opens the key for reading only: creates nothing and never waits for a writer (a key that
    // does not exist reads as empty). This is how other processes such as the guard read.
    static std::unique_ptr<RegKey> OpenForReading(Root root, const std::string& path,
                                                  std::string* error = nullptr);

    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    ~RegKey();  // commits, as Close

    QueryResult Query(const std::string& name, RegValue& out);
    bool Set(const std::string& name, RegType type, const std::string& data);
    bool Delete(const std::string& name);  // true also when absent
    std::vector<RegValue> List();

    // Ends the store use: commits what was written. Returns false (with a diagnostic) when the
    // commit failed and the use's writes were lost.
    bool Close();

  private:
    static std::unique_ptr<RegKey> OpenUse(Root root, const std::string& path, bool write,
                                           std::string* error);
    RegKey(sqlite3* db, long long id) : db_(db), id_(id) {}
    sqlite3* db_;
    long long id_;
    bool open_ = true;
};

// Test seam: forget cached connections (used when a test replaces a store's files).
void ResetStoreConnections();

// Encodes a string as the registry stores it: its bytes followed by one NUL.
std::string SzBytes(const std::string& text);

}  // namespace platform
