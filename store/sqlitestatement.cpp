#include "sqlitestatement.h"

#include <sqlite3.h>

SqliteStatement::SqliteStatement(sqlite3 *db, const char *sql)
{
    if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
    }
}

SqliteStatement::SqliteStatement(sqlite3_stmt *kept) : stmt_(kept), kept_(true) {}

SqliteStatement::~SqliteStatement()
{
    if (!kept_) {
        sqlite3_finalize(stmt_);
    } else if (stmt_) {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
}

void SqliteStatement::bind(int index, const std::string &text)
{
    if (stmt_)
        sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
}

void SqliteStatement::bindBlob(int index, const std::string &bytes)
{
    if (stmt_)
        sqlite3_bind_blob(stmt_, index, bytes.data(), static_cast<int>(bytes.size()),
                          SQLITE_TRANSIENT);
}

void SqliteStatement::bind(int index, std::int64_t value)
{
    if (stmt_)
        sqlite3_bind_int64(stmt_, index, value);
}

bool SqliteStatement::step()
{
    if (!stmt_ || done_)
        return false;
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        done_ = true;
    return false;
}

bool SqliteStatement::exec()
{
    while (step()) {
    }
    return done_;
}

std::string SqliteStatement::text(int column) const
{
    const void *data = sqlite3_column_blob(stmt_, column);
    const int size = sqlite3_column_bytes(stmt_, column);
    if (!data || size <= 0)
        return std::string();
    return std::string(static_cast<const char *>(data), static_cast<size_t>(size));
}

std::int64_t SqliteStatement::integer(int column) const
{
    return sqlite3_column_int64(stmt_, column);
}

bool SqliteStatement::isNull(int column) const
{
    return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}
