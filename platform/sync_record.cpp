#include "platform/sync_record.h"

#include "platform/user_folders.h"

#include <sqlite3.h>

#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>
#include <utility>

namespace zentrel::platform {

namespace {

// Long enough for another run to finish writing its batch, short enough
// that a run never seems to hang on it.
constexpr int Busy_Timeout_Ms = 10'000;

// A batch of entries is written after this long or this many changes,
// whichever comes first: other runs wait at most that long for the file,
// and a killed run loses no more.
constexpr auto Batch_Span = std::chrono::milliseconds(100);
constexpr int Batch_Changes = 1000;

// A pair's folders as keys (pair_key_text); the tables of the first
// version, keyed by device and inode, are dropped: a stick's device number
// changed at every plug-in, so their pairs would never be met again.
constexpr const char* Schema = R"(
DROP TABLE IF EXISTS files;
DROP TABLE IF EXISTS pairs;
CREATE TABLE IF NOT EXISTS folder_pairs (
    id INTEGER PRIMARY KEY,
    first_key BLOB NOT NULL, second_key BLOB NOT NULL,
    first_path BLOB, second_path BLOB,
    complete INTEGER NOT NULL DEFAULT 0,
    UNIQUE (first_key, second_key));
CREATE TABLE IF NOT EXISTS pair_files (
    pair INTEGER NOT NULL REFERENCES folder_pairs(id) ON DELETE CASCADE,
    path BLOB NOT NULL,
    first_size INTEGER NOT NULL, first_seconds INTEGER NOT NULL, first_nanoseconds INTEGER NOT NULL,
    second_size INTEGER NOT NULL, second_seconds INTEGER NOT NULL, second_nanoseconds INTEGER NOT NULL,
    PRIMARY KEY (pair, path)) WITHOUT ROWID;
)";

// "volume <uuid> inode <n>", "volume <uuid> place </a/b>" or "device <d> inode <n>".
std::string key_text(const Folder_Identity& folder) {
    if (folder.volume.empty())
        return "device " + std::to_string(folder.device) + " inode " + std::to_string(folder.inode);
    std::string key = "volume ";
    key += folder.volume;
    key += '\0';
    if (folder.place.empty())
        key += "inode " + std::to_string(folder.inode);
    else
        key += "place " + folder.place;
    return key;
}

bool is_damage(int code) { return code == SQLITE_CORRUPT || code == SQLITE_NOTADB; }

struct Failure {
    int code;
    std::string text;
};

class Database {
public:
    Database() = default;
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;
    ~Database() { close(); }

    void close() {
        if (db_) sqlite3_close_v2(db_);
        db_ = nullptr;
    }

    void open(const std::string& file, bool read_only) {
        close();
        const int flags = read_only ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
        const int code = sqlite3_open_v2(file.c_str(), &db_, flags | SQLITE_OPEN_NOMUTEX, nullptr);
        if (code != SQLITE_OK) fail(code);
        sqlite3_extended_result_codes(db_, 0);
        sqlite3_busy_timeout(db_, Busy_Timeout_Ms);
    }

    void exec(const char* sql) {
        const int code = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
        if (code != SQLITE_OK) fail(code);
    }

    [[noreturn]] void fail(int code) { throw Failure{code, db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(code)}; }

    sqlite3* handle() const { return db_; }
    // True while a transaction is open (SQLite ends one by itself after
    // some failures).
    bool in_transaction() const { return db_ && !sqlite3_get_autocommit(db_); }

private:
    sqlite3* db_ = nullptr;
};

// One prepared statement, reset after each use.
class Statement {
public:
    Statement(Database& db, const char* sql) : db_(&db) {
        const int code = sqlite3_prepare_v2(db.handle(), sql, -1, &statement_, nullptr);
        if (code != SQLITE_OK) db.fail(code);
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement() { sqlite3_finalize(statement_); }

    Statement& bind(int index, std::int64_t value) {
        sqlite3_bind_int64(statement_, index, value);
        return *this;
    }
    Statement& bind(int index, const std::string& bytes) {
        sqlite3_bind_blob(statement_, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
        return *this;
    }
    // True while a row is there to read.
    bool step() {
        const int code = sqlite3_step(statement_);
        if (code == SQLITE_ROW) return true;
        sqlite3_reset(statement_);
        if (code != SQLITE_DONE) db_->fail(code);
        sqlite3_clear_bindings(statement_);
        return false;
    }
    void done() {
        sqlite3_reset(statement_);
        sqlite3_clear_bindings(statement_);
    }
    std::int64_t column(int index) const { return sqlite3_column_int64(statement_, index); }
    std::string bytes(int index) const {
        const void* data = sqlite3_column_blob(statement_, index);
        return data ? std::string(static_cast<const char*>(data), sqlite3_column_bytes(statement_, index)) : "";
    }

private:
    Database* db_;
    sqlite3_stmt* statement_ = nullptr;
};

struct Pair_Key {
    Folder_Identity first, second;
    // The source is the second folder of the pair as stored: the user swapped
    // the two since.
    bool swapped = false;
};

Pair_Key pair_key(const Folder_Identity& source, const Folder_Identity& target) {
    if (target < source) return {target, source, true};
    return {source, target, false};
}

template <typename Operation>
auto guarded(const Operation& operation) -> decltype(operation()) {
    try {
        return operation();
    } catch (const Failure& failure) {
        throw Sync_Record_Error(failure.text);
    }
}

class Sqlite_Sync_Record : public Sync_Record {
public:
    Sqlite_Sync_Record(std::unique_ptr<Database> db, std::int64_t pair, bool complete, bool swapped)
        : db_(std::move(db)),
          pair_(pair),
          complete_(complete),
          swapped_(swapped),
          find_(*db_,
                "SELECT first_size, first_seconds, first_nanoseconds, second_size, second_seconds, "
                "second_nanoseconds FROM pair_files WHERE pair = ?1 AND path = ?2"),
          put_(*db_, "INSERT OR REPLACE INTO pair_files VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)"),
          forget_(*db_, "DELETE FROM pair_files WHERE pair = ?1 AND path = ?2") {
        // The program's signals stay with the thread that runs the job.
        sigset_t all, previous;
        sigfillset(&all);
        pthread_sigmask(SIG_SETMASK, &all, &previous);
        closer_ = std::thread([this] { close_due_batches(); });
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }

    ~Sqlite_Sync_Record() override {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
        closer_.join();
        try {
            end_batch();
        } catch (const Failure&) {
            // What stays unwritten is a record that lags, as after a kill.
        }
    }

    bool complete() const override { return complete_; }

    std::optional<Synced_File> find(const std::string& relative) override {
        return locked([&]() -> std::optional<Synced_File> {
            // Many looks in one read transaction: each alone would take and
            // give back the file's locks.
            begin(Batch::Reading);
            find_.bind(1, pair_).bind(2, relative);
            if (!find_.step()) return std::nullopt;
            Synced_File file;
            Synced_Side& first = swapped_ ? file.target : file.source;
            Synced_Side& second = swapped_ ? file.source : file.target;
            first = {static_cast<std::uint64_t>(find_.column(0)), {find_.column(1), find_.column(2)}};
            second = {static_cast<std::uint64_t>(find_.column(3)), {find_.column(4), find_.column(5)}};
            find_.done();
            return file;
        });
    }

    void put(const std::string& relative, const Synced_File& file) override {
        locked([&] {
            const Synced_Side& first = swapped_ ? file.target : file.source;
            const Synced_Side& second = swapped_ ? file.source : file.target;
            begin(Batch::Writing);
            put_.bind(1, pair_).bind(2, relative);
            put_.bind(3, static_cast<std::int64_t>(first.size))
                .bind(4, first.modified.seconds)
                .bind(5, first.modified.nanoseconds);
            put_.bind(6, static_cast<std::int64_t>(second.size))
                .bind(7, second.modified.seconds)
                .bind(8, second.modified.nanoseconds);
            put_.step();
            ++changes_;
        });
    }

    // Written at once: a pending forget would leave an entry that a file
    // restored from the trash still matches, and the next run would trash
    // it again.
    void forget(const std::string& relative) override {
        locked([&] {
            begin(Batch::Writing);
            forget_.bind(1, pair_).bind(2, relative);
            forget_.step();
            end_batch();
        });
    }

    void mark_complete() override {
        locked([&] {
            begin(Batch::Writing);
            Statement mark(*db_, "UPDATE folder_pairs SET complete = 1 WHERE id = ?1");
            mark.bind(1, pair_);
            mark.step();
            end_batch();
        });
        complete_ = true;
    }

    void commit() override {
        locked([&] { end_batch(); });
    }

private:
    using Clock = std::chrono::steady_clock;
    enum class Batch { None, Reading, Writing };

    // One call at a time, the closer's included; a failure of the closer's
    // commit is the next call's.
    template <typename Operation>
    auto locked(const Operation& operation) -> decltype(operation()) {
        const std::lock_guard lock(mutex_);
        if (!late_failure_.empty()) throw Sync_Record_Error(late_failure_);
        return guarded(operation);
    }

    // Opens the batch a call needs, after ending one that is full. A read
    // transaction cannot take the write lock once another run has written
    // since it began, so a write ends it first and waits for the lock.
    void begin(Batch wanted) {
        if (batch_ != Batch::None &&
            (changes_ >= Batch_Changes || (wanted == Batch::Writing && batch_ == Batch::Reading)))
            end_batch();
        if (batch_ != Batch::None) return;
        db_->exec(wanted == Batch::Writing ? "BEGIN IMMEDIATE" : "BEGIN");
        batch_ = wanted;
        began_ = Clock::now();
        changes_ = 0;
        wake_.notify_one();
    }

    void end_batch() {
        if (batch_ == Batch::None) return;
        if (db_->in_transaction()) db_->exec("COMMIT");
        batch_ = Batch::None;
    }

    // Ends each batch once it is due, also while the run is busy elsewhere
    // (a long copy, a question to the user): another run never waits on
    // this one longer than Batch_Span.
    void close_due_batches() {
        std::unique_lock lock(mutex_);
        while (!stopping_) {
            if (batch_ == Batch::None) {
                wake_.wait(lock);
            } else if (const auto due = began_ + Batch_Span; Clock::now() < due) {
                wake_.wait_until(lock, due);
            } else {
                try {
                    end_batch();
                } catch (const Failure& failure) {
                    // Given up rather than tried again and again: lost
                    // entries are a record that lags.
                    late_failure_ = failure.text;
                    sqlite3_exec(db_->handle(), "ROLLBACK", nullptr, nullptr, nullptr);
                    batch_ = Batch::None;
                }
            }
        }
    }

    std::unique_ptr<Database> db_;
    std::int64_t pair_;
    bool complete_;
    bool swapped_;
    Statement find_, put_, forget_;
    std::mutex mutex_;
    std::condition_variable wake_;
    Batch batch_ = Batch::None;
    Clock::time_point began_;
    int changes_ = 0;
    bool stopping_ = false;
    std::string late_failure_;
    std::thread closer_;
};

// The pair's row, made when missing unless read_only; nothing for a pair a
// read-only look does not find.
std::optional<std::pair<std::int64_t, bool>> pair_row(Database& db, const Pair_Key& key, const std::string& first_path,
                                                      const std::string& second_path, bool read_only) {
    Statement find(
        db, "SELECT id, complete, first_path, second_path FROM folder_pairs WHERE first_key = ?1 AND second_key = ?2");
    auto bind_key = [&](Statement& statement) { statement.bind(1, key_text(key.first)).bind(2, key_text(key.second)); };
    bind_key(find);
    if (find.step()) {
        std::pair<std::int64_t, bool> row{find.column(0), find.column(1) != 0};
        // One folder moved keeps the pair; both elsewhere is a pair of
        // new folders that were given the inodes of deleted ones.
        const bool stale = !first_path.empty() && find.bytes(2) != first_path && find.bytes(3) != second_path;
        find.done();
        if (!stale) {
            if (!read_only && !first_path.empty()) {
                Statement moved(db, "UPDATE folder_pairs SET first_path = ?2, second_path = ?3 WHERE id = ?1");
                moved.bind(1, row.first).bind(2, first_path).bind(3, second_path);
                moved.step();
            }
            return row;
        }
        if (read_only) return std::nullopt;
        Statement files(db, "DELETE FROM pair_files WHERE pair = ?1");
        files.bind(1, row.first);
        files.step();
        Statement pair(db, "DELETE FROM folder_pairs WHERE id = ?1");
        pair.bind(1, row.first);
        pair.step();
    }
    if (read_only) return std::nullopt;
    Statement insert(
        db, "INSERT INTO folder_pairs (first_key, second_key, first_path, second_path) VALUES (?1, ?2, ?3, ?4)");
    bind_key(insert);
    insert.bind(3, first_path).bind(4, second_path);
    insert.step();
    return std::pair<std::int64_t, bool>{sqlite3_last_insert_rowid(db.handle()), false};
}

std::unique_ptr<Sync_Record> open_pair(const std::string& file, const Pair_Key& key, const std::string& first_path,
                                       const std::string& second_path, bool read_only) {
    auto db = std::make_unique<Database>();
    db->open(file, read_only);
    if (!read_only) {
        // Readers go on while one run writes; a commit costs no wait for
        // the disk, and a killed run loses at most its last entries, never
        // the file's consistency.
        db->exec("PRAGMA journal_mode = WAL");
        db->exec("PRAGMA synchronous = NORMAL");
        db->exec("PRAGMA foreign_keys = ON");
        db->exec(Schema);
    } else {
        // A file of the first version holds no pair that could be met.
        Statement tables(*db, "SELECT count(*) FROM sqlite_master WHERE name = 'folder_pairs'");
        const bool current = tables.step() && tables.column(0) > 0;
        tables.done();
        if (!current) return nullptr;
    }
    const auto row = pair_row(*db, key, first_path, second_path, read_only);
    if (!row) return nullptr;
    return std::make_unique<Sqlite_Sync_Record>(std::move(db), row->first, row->second, key.swapped);
}

}  // namespace

std::string sync_record_file() { return xdg_folder("XDG_STATE_HOME", ".local/state") + "/zentrel/sync-record.sqlite"; }

Opened_Sync_Record open_sync_record(const std::string& file, const Folder_Identity& source,
                                    const Folder_Identity& target, const std::string& source_path,
                                    const std::string& target_path, bool read_only) {
    const Pair_Key key = pair_key(source, target);
    const std::string& first_path = key.swapped ? target_path : source_path;
    const std::string& second_path = key.swapped ? source_path : target_path;
    Opened_Sync_Record opened;
    std::error_code ignored;
    if (read_only && !std::filesystem::exists(file, ignored)) return opened;
    if (!read_only) std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ignored);
    try {
        opened.record = open_pair(file, key, first_path, second_path, read_only);
        return opened;
    } catch (const Failure& failure) {
        opened.problem = file + ": " + failure.text;
        if (!is_damage(failure.code) || read_only) return opened;
    } catch (const std::exception& failure) {
        opened.problem = file + ": " + failure.what();
        return opened;
    }
    // Damaged: kept aside for whoever wants to look, and begun anew; the
    // pairs it held start again as never synchronised.
    const std::string aside = file + ".damaged";
    if (std::rename(file.c_str(), aside.c_str()) != 0) return opened;
    std::filesystem::remove(file + "-wal", ignored);
    std::filesystem::remove(file + "-shm", ignored);
    opened.problem += " (beschädigt, aufbewahrt als " + aside + ", neu angelegt)";
    try {
        opened.record = open_pair(file, key, first_path, second_path, false);
    } catch (const Failure& failure) {
        opened.problem += ": " + failure.text;
    } catch (const std::exception& failure) {
        opened.problem += std::string(": ") + failure.what();
    }
    return opened;
}

bool forget_sync_record(const std::string& file, const Folder_Identity& source, const Folder_Identity& target) {
    std::error_code ignored;
    if (!std::filesystem::exists(file, ignored)) return false;
    const Pair_Key key = pair_key(source, target);
    try {
        Database db;
        db.open(file, false);
        db.exec("PRAGMA foreign_keys = ON");
        db.exec(Schema);
        const auto row = pair_row(db, key, "", "", true);
        if (!row) return false;
        db.exec("BEGIN IMMEDIATE");
        Statement files(db, "DELETE FROM pair_files WHERE pair = ?1");
        files.bind(1, row->first);
        files.step();
        Statement pair(db, "DELETE FROM folder_pairs WHERE id = ?1");
        pair.bind(1, row->first);
        pair.step();
        db.exec("COMMIT");
        return true;
    } catch (const Failure& failure) {
        throw Sync_Record_Error(file + ": " + failure.text);
    }
}

}  // namespace zentrel::platform
