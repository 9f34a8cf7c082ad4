#include "history/history_store.h"

#include "base/file_io.h"
#include "base/user_data_home.h"
#include "base/utf8_path.h"
#include "history/file_stamp.h"

#include <algorithm>
#include <chrono>
#include <system_error>

namespace tavrin::history {

namespace {

// How long a writer waits for another process's lock before it gives up on a batch.
constexpr int kBusyTimeoutMs = 10'000;

// Schema version 1. Texts that come from templates and pages are stored as the program holds
// them (GBK bytes, as BLOBs); titles are UTF-8. A URL that is the template filled with the run's
// site, a final URL equal to the URL, an empty title and a missing status are NULL, which keeps
// a check near 100 bytes. The covering index lets the
// health of every template be read from the index alone, in template and run order; it holds no
// more than that, since every check recorded adds to it at a place of its template's.
constexpr std::string_view kSchemaV1 = R"sql(
CREATE TABLE templates (
    id INTEGER PRIMARY KEY,
    text BLOB NOT NULL UNIQUE,
    first_seen INTEGER NOT NULL
);
CREATE TABLE runs (
    id INTEGER PRIMARY KEY,
    started INTEGER NOT NULL,
    finished INTEGER,
    site BLOB NOT NULL,
    front_end TEXT NOT NULL,
    threads INTEGER NOT NULL,
    rows INTEGER NOT NULL,
    shard TEXT
);
CREATE INDEX runs_by_site ON runs(site, id);
CREATE TABLE checks (
    run INTEGER NOT NULL REFERENCES runs(id) ON DELETE CASCADE,
    template INTEGER NOT NULL REFERENCES templates(id),
    at INTEGER NOT NULL,
    url BLOB,
    mark INTEGER NOT NULL,
    test INTEGER NOT NULL,
    status INTEGER,
    ms INTEGER NOT NULL,
    attempts INTEGER NOT NULL,
    final_url BLOB,
    bytes INTEGER NOT NULL,
    title TEXT,
    mentions INTEGER NOT NULL,
    links INTEGER NOT NULL
);
CREATE INDEX checks_by_template ON checks(template, run, mark);
CREATE INDEX checks_by_run ON checks(run);
)sql";

// Where the store notes how it left the database: the file's identity, size and time of change,
// and those of its write-ahead log.
std::filesystem::path stampPath(const std::filesystem::path& database)
{
    std::filesystem::path stamp = database;
    stamp += "-checked";
    return stamp;
}

std::string fileStamp(const std::filesystem::path& database)
{
    std::filesystem::path log = database;
    log += "-wal";
    return fileStampLine(database) + fileStampLine(log);
}

} // namespace

Seconds now()
{
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::filesystem::path defaultDatabasePath()
{
    std::filesystem::path dataHome = base::userDataHome();
    if (dataHome.empty())
        dataHome = std::filesystem::path(".") / ".local" / "share";
    return dataHome / "tavrin" / "history.sqlite";
}

HistoryStore::HistoryStore(std::filesystem::path path, ConnectionPtr connection)
    : path_(std::move(path))
    , connection_(std::move(connection))
{}

HistoryStore::~HistoryStore()
{
    insertCheck_ = Statement();
    findTemplate_ = Statement();
    insertTemplate_ = Statement();
    connection_.reset();
    if (!recording_)
        return;
    // The files as this store leaves them were sound when it opened them and have been written
    // by it alone since, as far as it knows: the next store may skip the whole check.
    std::error_code ignored;
    if (trustworthy_)
        (void)base::writeFileAtomically(stampPath(path_), fileStamp(path_));
    else
        std::filesystem::remove(stampPath(path_), ignored);
}

bool HistoryStore::leftAsVerified() const
{
    const base::ReadResult stamp = base::readWholeFile(stampPath(path_), 4096);
    return stamp.status == base::ReadResult::Status::Ok && !stampAtOpen_.empty() &&
           stamp.bytes == stampAtOpen_;
}

std::string HistoryStore::failure(std::string_view what) const
{
    return std::string(what) + ": " + sqlite3_errmsg(connection_.get());
}

bool HistoryStore::execute(std::string_view sql)
{
    const std::string statement(sql);
    return sqlite3_exec(connection_.get(), statement.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::unique_ptr<HistoryStore> HistoryStore::open(const std::filesystem::path& path, OpenMode mode,
                                                 std::string& error)
{
    std::error_code ignored;
    if (mode == OpenMode::Record && !path.parent_path().empty())
        std::filesystem::create_directories(path.parent_path(), ignored);
    if (mode == OpenMode::Read && !std::filesystem::exists(path, ignored)) {
        error = "no history at " + base::utf8FromPath(path);
        return nullptr;
    }
    // Taken before SQLite touches the files: whether they are as this program left them.
    const std::string stampAtOpen = mode == OpenMode::Record ? fileStamp(path) : std::string();
    sqlite3* raw = nullptr;
    const int flags =
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (mode == OpenMode::Record ? SQLITE_OPEN_CREATE : 0);
    const int opened = sqlite3_open_v2(base::utf8FromPath(path).c_str(), &raw, flags, nullptr);
    ConnectionPtr connection(raw);
    if (opened != SQLITE_OK) {
        error = "cannot open " + base::utf8FromPath(path) + ": " +
                (connection ? std::string(sqlite3_errmsg(connection.get()))
                            : std::string(sqlite3_errstr(opened)));
        return nullptr;
    }
    sqlite3_busy_timeout(connection.get(), kBusyTimeoutMs);
    std::unique_ptr<HistoryStore> store(new HistoryStore(path, std::move(connection)));
    store->stampAtOpen_ = stampAtOpen;
    if (!store->migrate(mode, error))
        return nullptr;
    store->recording_ = mode == OpenMode::Record;
    // Closing leaves the write-ahead log for the next writer to fold in (SQLite does so as the
    // log grows), so that a short run does not end by copying it into the database. A file
    // refused above is closed the ordinary way, which removes the log its reading made.
    sqlite3_db_config(store->connection_.get(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    return store;
}

bool HistoryStore::migrate(OpenMode mode, std::string& error)
{
    // The first read tells a database from anything else, before anything is written: a file
    // that is not one (or is damaged) fails here and stays as it was.
    Statement version(connection_.get(), "PRAGMA user_version");
    if (!version.valid() || version.step() != SQLITE_ROW) {
        error = failure("cannot read the history " + base::utf8FromPath(path_));
        return false;
    }
    const std::int64_t found = version.integer(0);
    version = Statement();
    if (found > kSchemaVersion) {
        error = "the history " + base::utf8FromPath(path_) + " was written by a newer version of the program";
        return false;
    }
    if (found == 0) {
        // Version 0 is a file that is new or not ours: only an empty one is made a history.
        Statement tables(connection_.get(), "SELECT COUNT(*) FROM sqlite_master");
        if (!tables.valid() || tables.step() != SQLITE_ROW) {
            error = failure("cannot read the history " + base::utf8FromPath(path_));
            return false;
        }
        if (tables.integer(0) != 0) {
            error = "the database " + base::utf8FromPath(path_) + " is not a history of this program";
            return false;
        }
    } else if (mode == OpenMode::Record && !leftAsVerified()) {
        Statement check(connection_.get(), "PRAGMA quick_check");
        if (!check.valid() || check.step() != SQLITE_ROW || check.text(0) != "ok") {
            error = "the history " + base::utf8FromPath(path_) + " is damaged (" +
                    (check.valid() ? check.text(0) : std::string(sqlite3_errmsg(connection_.get()))) + ")";
            return false;
        }
    }
    if (!execute("PRAGMA foreign_keys = ON")) {
        error = failure("cannot use the history " + base::utf8FromPath(path_));
        return false;
    }
    Statement journal(connection_.get(), "PRAGMA journal_mode = WAL");
    if (!journal.valid() || journal.step() != SQLITE_ROW || journal.text(0) != "wal") {
        error = failure("cannot use the history " + base::utf8FromPath(path_));
        return false;
    }
    journal = Statement();
    // Room for the pages a batch touches across the template index of a large history, so that
    // recording rereads none of them.
    (void)execute("PRAGMA cache_size = -32768");
    // In WAL mode a commit then waits for no disk flush; a crash or a kill still leaves every
    // committed batch, and only a power failure may take back the last ones.
    if (!execute("PRAGMA synchronous = NORMAL")) {
        error = failure("cannot use the history " + base::utf8FromPath(path_));
        return false;
    }
    if (found == kSchemaVersion)
        return true;
    // From nothing to version 1; later versions add their steps after this one, each in the
    // same transaction as the version it leads to.
    if (!execute("BEGIN IMMEDIATE")) {
        error = failure("cannot prepare the history " + base::utf8FromPath(path_));
        return false;
    }
    Statement again(connection_.get(), "PRAGMA user_version");
    const bool stillOld = again.valid() && again.step() == SQLITE_ROW && again.integer(0) < kSchemaVersion;
    again = Statement();
    if (stillOld && (!execute(kSchemaV1) || !execute("PRAGMA user_version = 1"))) {
        error = failure("cannot prepare the history " + base::utf8FromPath(path_));
        (void)execute("ROLLBACK");
        return false;
    }
    if (!execute("COMMIT")) {
        error = failure("cannot prepare the history " + base::utf8FromPath(path_));
        (void)execute("ROLLBACK");
        return false;
    }
    return true;
}

std::optional<std::int64_t> HistoryStore::beginRun(const RunInfo& run, std::string& error)
{
    const std::lock_guard lock(mutex_);
    Statement insert(
        connection_.get(),
        "INSERT INTO runs (started, site, front_end, threads, rows, shard) VALUES (?, ?, ?, ?, ?, ?)");
    if (!insert.valid()) {
        error = failure("cannot record a run");
        return std::nullopt;
    }
    insert.bind(1, run.started);
    insert.bindBlob(2, run.siteHost);
    insert.bind(3, std::string_view(run.frontEnd));
    insert.bind(4, std::int64_t{run.threads});
    insert.bind(5, std::int64_t{run.rows});
    if (run.shard.empty())
        insert.bindNull(6);
    else
        insert.bind(6, std::string_view(run.shard));
    if (insert.step() != SQLITE_DONE) {
        error = failure("cannot record a run");
        trustworthy_ = false;
        return std::nullopt;
    }
    return sqlite3_last_insert_rowid(connection_.get());
}

std::optional<std::int64_t> HistoryStore::templateId(const text::Text& text, Seconds firstSeen,
                                                     std::vector<text::Text>& learned)
{
    if (const auto known = templateIds_.find(text); known != templateIds_.end())
        return known->second;
    if (!findTemplate_.valid())
        findTemplate_ = Statement(connection_.get(), "SELECT id FROM templates WHERE text = ?");
    if (!insertTemplate_.valid())
        insertTemplate_ =
            Statement(connection_.get(), "INSERT INTO templates (text, first_seen) VALUES (?, ?)");
    if (!findTemplate_.valid() || !insertTemplate_.valid())
        return std::nullopt;
    std::int64_t id = 0;
    findTemplate_.bindBlob(1, text);
    const int found = findTemplate_.step();
    if (found == SQLITE_ROW) {
        id = findTemplate_.integer(0);
    } else {
        insertTemplate_.bindBlob(1, text);
        insertTemplate_.bind(2, firstSeen);
        const int inserted = insertTemplate_.step();
        insertTemplate_.reset();
        if (found != SQLITE_DONE || inserted != SQLITE_DONE) {
            findTemplate_.reset();
            return std::nullopt;
        }
        id = sqlite3_last_insert_rowid(connection_.get());
    }
    findTemplate_.reset();
    templateIds_.emplace(text, id);
    learned.push_back(text);
    return id;
}

bool HistoryStore::record(std::int64_t run, const std::vector<CheckRecord>& checks, Seconds finished,
                          std::string& error)
{
    const std::lock_guard lock(mutex_);
    if (!execute("BEGIN IMMEDIATE")) {
        error = failure("cannot record checks");
        return false;
    }
    // Every known template's id at once, in one pass over the table: far cheaper than a lookup
    // per template of the first batch.
    if (!templateIdsRead_) {
        Statement every(connection_.get(), "SELECT id, text FROM templates");
        while (every.valid() && every.step() == SQLITE_ROW)
            templateIds_.emplace(every.text(1), every.integer(0));
        templateIdsRead_ = true;
    }
    // Ids learned inside a transaction that may roll back are forgotten with it.
    std::vector<text::Text> learned;
    if (!insertCheck_.valid()) {
        insertCheck_ =
            Statement(connection_.get(), "INSERT INTO checks (run, template, at, url, mark, test, status, "
                                         "ms, attempts, final_url, bytes, title, mentions, links) VALUES "
                                         "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    }
    Statement& insert = insertCheck_;
    bool ok = insert.valid();
    for (const CheckRecord& check : checks) {
        if (!ok)
            break;
        const std::optional<std::int64_t> templateNumber = templateId(check.templateText, check.at, learned);
        if (!templateNumber) {
            ok = false;
            break;
        }
        insert.bind(1, run);
        insert.bind(2, *templateNumber);
        insert.bind(3, check.at);
        if (check.url.empty())
            insert.bindNull(4);
        else
            insert.bindBlob(4, check.url);
        insert.bind(5, std::int64_t{check.success ? 1 : 0});
        insert.bind(6, std::int64_t{check.test});
        if (check.status > 0)
            insert.bind(7, std::int64_t{check.status});
        else
            insert.bindNull(7);
        insert.bind(8, check.milliseconds);
        insert.bind(9, std::int64_t{check.attempts});
        if (check.finalUrl.empty() || check.finalUrl == check.url)
            insert.bindNull(10);
        else
            insert.bindBlob(10, check.finalUrl);
        insert.bind(11, check.bytes);
        if (check.titleUtf8.empty())
            insert.bindNull(12);
        else
            insert.bind(12, std::string_view(check.titleUtf8));
        insert.bind(13, std::int64_t{check.mentions ? 1 : 0});
        insert.bind(14, std::int64_t{check.links ? 1 : 0});
        ok = insert.step() == SQLITE_DONE;
        insert.reset();
    }
    if (ok) {
        Statement finish(connection_.get(), "UPDATE runs SET finished = ? WHERE id = ?");
        finish.bind(1, finished);
        finish.bind(2, run);
        ok = finish.valid() && finish.step() == SQLITE_DONE;
    }
    if (ok && execute("COMMIT"))
        return true;
    error = failure("cannot record checks");
    trustworthy_ = false;
    (void)execute("ROLLBACK");
    for (const text::Text& text : learned)
        templateIds_.erase(text);
    return false;
}

std::set<std::int64_t> HistoryStore::runsOf(const HealthFilter& filter)
{
    std::string sql = "SELECT id FROM runs";
    if (filter.siteHost)
        sql += " WHERE site = ?";
    sql += " ORDER BY id DESC";
    if (filter.lastRuns)
        sql += " LIMIT ?";
    Statement select(connection_.get(), sql);
    int parameter = 1;
    if (filter.siteHost)
        select.bindBlob(parameter++, *filter.siteHost);
    if (filter.lastRuns)
        select.bind(parameter, std::int64_t{*filter.lastRuns});
    std::set<std::int64_t> runs;
    while (select.valid() && select.step() == SQLITE_ROW)
        runs.insert(select.integer(0));
    return runs;
}

std::vector<TemplateHealth> HistoryStore::templateHealth(const HealthFilter& filter, std::string& error)
{
    const std::lock_guard lock(mutex_);
    const bool everyRun = !filter.siteHost && !filter.lastRuns;
    const std::set<std::int64_t> runs = everyRun ? std::set<std::int64_t>() : runsOf(filter);
    std::unordered_map<std::int64_t, TemplateHealth> byId;
    // The last run counted among a template's failed runs. Within a run the index puts failures
    // before successes, so a run with any success ends with one and counts as no failed run.
    std::unordered_map<std::int64_t, std::int64_t> lastFailedRun;
    // The last run in which each template succeeded; the time of that success is read after.
    std::unordered_map<std::int64_t, std::int64_t> lastSuccessRun;
    // In template and run order, read from the covering index alone.
    Statement scan(
        connection_.get(),
        "SELECT template, run, mark FROM checks INDEXED BY checks_by_template ORDER BY template, run");
    if (!scan.valid()) {
        error = failure("cannot read the history");
        return {};
    }
    int stepped = SQLITE_ROW;
    while ((stepped = scan.step()) == SQLITE_ROW) {
        if (!everyRun && runs.count(scan.integer(1)) == 0)
            continue;
        const std::int64_t id = scan.integer(0);
        const std::int64_t run = scan.integer(1);
        TemplateHealth& health = byId[id];
        ++health.checks;
        if (scan.integer(2) == 1) {
            ++health.successes;
            lastSuccessRun[id] = run;
            health.failuresInARow = 0;
            health.failedRunsInARow = 0;
            lastFailedRun.erase(id);
        } else {
            ++health.failuresInARow;
            if (const auto [counted, first] = lastFailedRun.try_emplace(id, run);
                first || counted->second != run) {
                counted->second = run;
                ++health.failedRunsInARow;
            }
        }
    }
    if (stepped != SQLITE_DONE) {
        error = failure("cannot read the history");
        return {};
    }
    Statement when(connection_.get(),
                   "SELECT MAX(at) FROM checks WHERE template = ? AND run = ? AND mark = 1");
    for (const auto& [id, run] : lastSuccessRun) {
        when.bind(1, id);
        when.bind(2, run);
        if (when.valid() && when.step() == SQLITE_ROW && !when.isNull(0))
            byId[id].lastSuccess = when.integer(0);
        when.reset();
    }
    Statement texts(connection_.get(), "SELECT id, text FROM templates");
    while (texts.valid() && texts.step() == SQLITE_ROW) {
        if (const auto found = byId.find(texts.integer(0)); found != byId.end())
            found->second.templateText = texts.text(1);
    }
    std::vector<TemplateHealth> health;
    health.reserve(byId.size());
    for (auto& [id, entry] : byId)
        health.push_back(std::move(entry));
    std::sort(health.begin(), health.end(), [](const TemplateHealth& a, const TemplateHealth& b) {
        // Compared as fractions, so that equal rates are equal.
        const std::int64_t left = std::int64_t{a.successes} * b.checks;
        const std::int64_t right = std::int64_t{b.successes} * a.checks;
        if (left != right)
            return left < right;
        if (a.failuresInARow != b.failuresInARow)
            return a.failuresInARow > b.failuresInARow;
        return a.templateText < b.templateText;
    });
    return health;
}

std::unordered_map<text::Text, std::pair<int, int>> HistoryStore::tallies(const text::Text& siteHost,
                                                                          std::string& error)
{
    const std::lock_guard lock(mutex_);
    Statement select(connection_.get(), "SELECT t.text, COUNT(*), SUM(c.mark) FROM checks c "
                                        "JOIN runs r ON r.id = c.run JOIN templates t ON t.id = c.template "
                                        "WHERE r.site = ? GROUP BY c.template");
    std::unordered_map<text::Text, std::pair<int, int>> byText;
    if (!select.valid()) {
        error = failure("cannot read the history");
        return byText;
    }
    select.bindBlob(1, siteHost);
    while (select.step() == SQLITE_ROW)
        byText[select.text(0)] = {static_cast<int>(select.integer(1)), static_cast<int>(select.integer(2))};
    return byText;
}

std::optional<std::int64_t> HistoryStore::lastRunId(std::string& error)
{
    const std::lock_guard lock(mutex_);
    Statement select(connection_.get(), "SELECT MAX(id) FROM runs");
    if (!select.valid() || select.step() != SQLITE_ROW) {
        error = failure("cannot read the history");
        return std::nullopt;
    }
    if (select.isNull(0))
        return std::nullopt;
    return select.integer(0);
}

namespace {

constexpr std::string_view kRunColumns =
    "r.id, r.started, r.finished, r.site, r.front_end, r.threads, r.rows, r.shard, "
    "(SELECT COUNT(*) FROM checks c WHERE c.run = r.id), "
    "(SELECT COALESCE(SUM(mark), 0) FROM checks c WHERE c.run = r.id)";

RunSummary runFrom(const Statement& row)
{
    RunSummary run;
    run.id = row.integer(0);
    run.started = row.integer(1);
    if (!row.isNull(2))
        run.finished = row.integer(2);
    run.siteHost = row.text(3);
    run.frontEnd = row.text(4);
    run.threads = static_cast<int>(row.integer(5));
    run.rows = static_cast<int>(row.integer(6));
    run.shard = row.text(7);
    run.checks = static_cast<int>(row.integer(8));
    run.successes = static_cast<int>(row.integer(9));
    return run;
}

} // namespace

std::optional<RunSummary> HistoryStore::runSummary(std::int64_t run, std::string& error)
{
    const std::lock_guard lock(mutex_);
    Statement select(connection_.get(), "SELECT " + std::string(kRunColumns) + " FROM runs r WHERE r.id = ?");
    if (!select.valid()) {
        error = failure("cannot read the history");
        return std::nullopt;
    }
    select.bind(1, run);
    if (select.step() != SQLITE_ROW)
        return std::nullopt;
    return runFrom(select);
}

std::vector<RunSummary> HistoryStore::runsUpTo(std::int64_t run, int count, std::string& error)
{
    const std::lock_guard lock(mutex_);
    Statement select(connection_.get(),
                     "SELECT " + std::string(kRunColumns) +
                         " FROM runs r WHERE r.site = (SELECT site FROM runs WHERE id = ?) "
                         "AND r.id <= ? ORDER BY r.id DESC LIMIT ?");
    std::vector<RunSummary> runs;
    if (!select.valid()) {
        error = failure("cannot read the history");
        return runs;
    }
    select.bind(1, run);
    select.bind(2, run);
    select.bind(3, std::int64_t{count});
    while (select.step() == SQLITE_ROW)
        runs.push_back(runFrom(select));
    std::reverse(runs.begin(), runs.end());
    return runs;
}

std::map<int, int> HistoryStore::verdictCounts(std::int64_t run, std::string& error)
{
    const std::lock_guard lock(mutex_);
    Statement select(connection_.get(), "SELECT test, COUNT(*) FROM checks WHERE run = ? GROUP BY test");
    std::map<int, int> counts;
    if (!select.valid()) {
        error = failure("cannot read the history");
        return counts;
    }
    select.bind(1, run);
    while (select.step() == SQLITE_ROW)
        counts[static_cast<int>(select.integer(0))] = static_cast<int>(select.integer(1));
    return counts;
}

std::vector<std::int64_t> HistoryStore::responseTimes(std::int64_t run, std::string& error)
{
    const std::lock_guard lock(mutex_);
    Statement select(connection_.get(), "SELECT ms FROM checks WHERE run = ?");
    std::vector<std::int64_t> times;
    if (!select.valid()) {
        error = failure("cannot read the history");
        return times;
    }
    select.bind(1, run);
    while (select.step() == SQLITE_ROW)
        times.push_back(select.integer(0));
    return times;
}

std::vector<text::Text> HistoryStore::newlyFailed(std::int64_t run, std::string& error)
{
    const std::lock_guard lock(mutex_);
    Statement select(
        connection_.get(),
        "SELECT DISTINCT t.text FROM checks now JOIN templates t ON t.id = now.template "
        "WHERE now.run = ?1 AND now.mark = 0 AND EXISTS (SELECT 1 FROM checks before "
        "WHERE before.template = now.template AND before.mark = 1 AND before.run = "
        "(SELECT MAX(id) FROM runs WHERE id < ?1 AND site = (SELECT site FROM runs WHERE id = ?1))) "
        "ORDER BY t.text");
    std::vector<text::Text> failed;
    if (!select.valid()) {
        error = failure("cannot read the history");
        return failed;
    }
    select.bind(1, run);
    while (select.step() == SQLITE_ROW)
        failed.push_back(select.text(0));
    return failed;
}

} // namespace tavrin::history
