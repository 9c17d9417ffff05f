#include "sqlite_db.h"

bool SqliteDb::Open(const std::string& path, bool create)
{
    sqlite3* raw = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
    const int code = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
    db_.reset(raw);
    if (code != SQLITE_OK) {
        NoteError(code);
        db_.reset();
        return false;
    }
    sqlite3_extended_result_codes(raw, 1);
    return true;
}

void SqliteDb::NoteError(int code)
{
    lastCode_ = code;
    lastError_ = db_ ? sqlite3_errmsg(db_.get()) : sqlite3_errstr(code);
}

bool SqliteDb::Exec(const char* sql)
{
    char* message = nullptr;
    const int code = sqlite3_exec(db_.get(), sql, nullptr, nullptr, &message);
    if (code != SQLITE_OK) {
        lastCode_ = code;
        lastError_ = message ? message : sqlite3_errstr(code);
    }
    sqlite3_free(message);
    return code == SQLITE_OK;
}

std::optional<std::int64_t> SqliteDb::QueryInt(const char* sql)
{
    SqliteStatement query(*this, sql);
    if (!query.Ok() || query.Step() != SQLITE_ROW)
        return std::nullopt;
    return query.Int(0);
}

SqliteStatement::SqliteStatement(SqliteDb& db, const char* sql) : db_(db)
{
    sqlite3_stmt* raw = nullptr;
    const int code = sqlite3_prepare_v2(db.Handle(), sql, -1, &raw, nullptr);
    stmt_.reset(raw);
    if (code != SQLITE_OK) {
        db.NoteError(code);
        stmt_.reset();
    }
}

SqliteStatement& SqliteStatement::Bind(int index, std::int64_t value)
{
    bindOk_ = bindOk_ && stmt_ && sqlite3_bind_int64(stmt_.get(), index, value) == SQLITE_OK;
    return *this;
}

SqliteStatement& SqliteStatement::Bind(int index, std::string_view text)
{
    bindOk_ = bindOk_ && stmt_ &&
              sqlite3_bind_text64(stmt_.get(), index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8) ==
                  SQLITE_OK;
    return *this;
}

SqliteStatement& SqliteStatement::BindBlob(int index, std::string_view bytes)
{
    bindOk_ = bindOk_ && stmt_ &&
              sqlite3_bind_blob64(stmt_.get(), index, bytes.data(), bytes.size(), SQLITE_TRANSIENT) == SQLITE_OK;
    return *this;
}

SqliteStatement& SqliteStatement::BindNull(int index)
{
    bindOk_ = bindOk_ && stmt_ && sqlite3_bind_null(stmt_.get(), index) == SQLITE_OK;
    return *this;
}

int SqliteStatement::Step()
{
    if (!stmt_)
        return SQLITE_MISUSE;
    const int code = sqlite3_step(stmt_.get());
    if (code != SQLITE_ROW && code != SQLITE_DONE)
        db_.NoteError(code);
    return code;
}

std::int64_t SqliteStatement::Int(int column) const { return sqlite3_column_int64(stmt_.get(), column); }

std::string SqliteStatement::Text(int column) const
{
    const auto* text = sqlite3_column_text(stmt_.get(), column);
    return text ? std::string(reinterpret_cast<const char*>(text),
                              static_cast<std::size_t>(sqlite3_column_bytes(stmt_.get(), column)))
                : std::string();
}

std::string SqliteStatement::Bytes(int column) const
{
    const void* data = sqlite3_column_blob(stmt_.get(), column);
    const int size = sqlite3_column_bytes(stmt_.get(), column);
    return data ? std::string(static_cast<const char*>(data), static_cast<std::size_t>(size)) : std::string();
}

bool SqliteStatement::IsNull(int column) const { return sqlite3_column_type(stmt_.get(), column) == SQLITE_NULL; }

SqliteTransaction::SqliteTransaction(SqliteDb& db) : db_(db), began_(db.Exec("BEGIN IMMEDIATE")) {}

SqliteTransaction::~SqliteTransaction()
{
    if (began_ && !done_)
        db_.Exec("ROLLBACK");
}

bool SqliteTransaction::Commit()
{
    if (!began_ || done_)
        return false;
    done_ = db_.Exec("COMMIT");
    return done_;
}
