#include "history/sqlite_handles.h"

namespace tavrin::history {

Statement::Statement(sqlite3* connection, std::string_view sql)
{
    sqlite3_stmt* prepared = nullptr;
    if (sqlite3_prepare_v2(connection, sql.data(), static_cast<int>(sql.size()), &prepared, nullptr) ==
        SQLITE_OK)
        statement_.reset(prepared);
    else
        sqlite3_finalize(prepared);
}

void Statement::bind(int index, std::int64_t value)
{
    sqlite3_bind_int64(get(), index, value);
}

void Statement::bind(int index, std::string_view text)
{
    sqlite3_bind_text(get(), index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void Statement::bindBlob(int index, std::string_view bytes)
{
    sqlite3_bind_blob(get(), index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
}

void Statement::bindNull(int index)
{
    sqlite3_bind_null(get(), index);
}

void Statement::bind(int index, const std::optional<std::string>& text)
{
    if (text)
        bind(index, std::string_view(*text));
    else
        bindNull(index);
}

int Statement::step()
{
    return sqlite3_step(get());
}

void Statement::reset()
{
    sqlite3_reset(get());
    sqlite3_clear_bindings(get());
}

std::int64_t Statement::integer(int column) const
{
    return sqlite3_column_int64(get(), column);
}

std::string Statement::text(int column) const
{
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(get(), column));
    const int size = sqlite3_column_bytes(get(), column);
    return bytes ? std::string(bytes, static_cast<std::size_t>(size)) : std::string();
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(get(), column) == SQLITE_NULL;
}

} // namespace tavrin::history
