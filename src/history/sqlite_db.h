#pragma once
// Small RAII wrappers over SQLite's C API: a connection and a prepared
// statement. Nothing here throws; every call reports by result, and the
// connection keeps the text of its last failure.

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class SqliteDb {
public:
    SqliteDb() = default;

    // Opens (and, with `create`, makes) the file; false with LastError().
    bool Open(const std::string& path, bool create);
    bool IsOpen() const { return db_ != nullptr; }
    void Close() { db_.reset(); }

    // Runs one or more statements that return no rows.
    bool Exec(const char* sql);
    // The first column of the first row of a query returning an integer.
    std::optional<std::int64_t> QueryInt(const char* sql);

    sqlite3* Handle() const { return db_.get(); }
    // SQLite's code and message of the last failure on this connection.
    int LastCode() const { return lastCode_; }
    const std::string& LastError() const { return lastError_; }
    // Records the connection's current error (after a failed call on Handle()).
    void NoteError(int code);

private:
    struct Closer {
        void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
    };
    std::unique_ptr<sqlite3, Closer> db_;
    int lastCode_ = SQLITE_OK;
    std::string lastError_;
};

class SqliteStatement {
public:
    // Prepares `sql` on `db`; Ok() is false when it did not compile (the
    // reason is then in db.LastError()).
    SqliteStatement(SqliteDb& db, const char* sql);

    bool Ok() const { return stmt_ != nullptr; }
    SqliteStatement& Bind(int index, std::int64_t value);
    SqliteStatement& Bind(int index, std::string_view text);
    SqliteStatement& BindBlob(int index, std::string_view bytes);
    SqliteStatement& BindNull(int index);

    // SQLITE_ROW, SQLITE_DONE or an error code (noted on the connection).
    int Step();
    // Runs a statement that returns no rows; false on a failure or a bind that failed.
    bool Run() { return bindOk_ && Step() == SQLITE_DONE; }

    std::int64_t Int(int column) const;
    std::string Text(int column) const;
    // The bytes of a text or blob column as they are stored.
    std::string Bytes(int column) const;
    bool IsNull(int column) const;

private:
    struct Finalizer {
        void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
    };
    SqliteDb& db_;
    std::unique_ptr<sqlite3_stmt, Finalizer> stmt_;
    bool bindOk_ = true;
};

// A write transaction (BEGIN IMMEDIATE, so the busy time-out waits for the
// writer's lock up front); rolled back unless Commit() succeeded.
class SqliteTransaction {
public:
    explicit SqliteTransaction(SqliteDb& db);
    ~SqliteTransaction();
    SqliteTransaction(const SqliteTransaction&) = delete;
    SqliteTransaction& operator=(const SqliteTransaction&) = delete;

    bool Began() const { return began_; }
    bool Commit();

private:
    SqliteDb& db_;
    bool began_ = false;
    bool done_ = false;
};
