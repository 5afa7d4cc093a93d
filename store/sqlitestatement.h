#pragma once

#include <cstdint>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

// One prepared statement, finalised with the object. Parameters are numbered from 1 and
// columns from 0, as SQLite counts them.
class SqliteStatement
{
public:
    SqliteStatement(sqlite3 *db, const char *sql);
    // A statement prepared once and kept by its owner: reset and cleared at the end instead of
    // finalised, so a frequent write does not parse its SQL every time.
    explicit SqliteStatement(sqlite3_stmt *kept);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;

    bool isValid() const { return stmt_ != nullptr; }

    void bind(int index, const std::string &text);
    void bindBlob(int index, const std::string &bytes);
    void bind(int index, std::int64_t value);

    // true while a row is available; done() tells an exhausted statement from a failure.
    bool step();
    bool done() const { return done_; }
    // Runs a statement that returns no rows; true when it completed.
    bool exec();

    std::string text(int column) const;
    std::int64_t integer(int column) const;
    bool isNull(int column) const;

private:
    sqlite3_stmt *stmt_ = nullptr;
    bool kept_ = false;
    bool done_ = false;
};
