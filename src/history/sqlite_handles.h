// Owning handles for SQLite's connection and statements, and the few steps the history needs.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tavrin::history {

struct ConnectionCloser
{
    void operator()(sqlite3* connection) const noexcept { sqlite3_close_v2(connection); }
};
using ConnectionPtr = std::unique_ptr<sqlite3, ConnectionCloser>;

struct StatementFinalizer
{
    void operator()(sqlite3_stmt* statement) const noexcept { sqlite3_finalize(statement); }
};

// A prepared statement. Binding numbers parameters from 1, as SQLite does; texts and blobs are
// copied by SQLite (SQLITE_TRANSIENT), so the caller's buffers need not outlive the call.
class Statement
{
public:
    Statement() = default;
    Statement(sqlite3* connection, std::string_view sql);

    [[nodiscard]] bool valid() const { return statement_ != nullptr; }
    [[nodiscard]] sqlite3_stmt* get() const { return statement_.get(); }

    void bind(int index, std::int64_t value);
    void bind(int index, std::string_view text);
    void bindBlob(int index, std::string_view bytes);
    void bindNull(int index);
    void bind(int index, const std::optional<std::string>& text);

    // One step: SQLITE_ROW, SQLITE_DONE or an error code.
    int step();
    // Ready for the next use, bindings cleared.
    void reset();

    [[nodiscard]] std::int64_t integer(int column) const;
    [[nodiscard]] std::string text(int column) const;
    [[nodiscard]] bool isNull(int column) const;

private:
    std::unique_ptr<sqlite3_stmt, StatementFinalizer> statement_;
};

} // namespace tavrin::history
