#include "submit/submission_engine.h"

#include "window/submit_handlers.h"

#include "platform/headless/memory_controls.h"
#include "submit/pass_progress.h"
#include "submit/submit_messages.h"
#include "text/messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <thread>

namespace tavrin::submit {
namespace {

using base::ListStore;
using text::Text;

TEST(PassPlan, ProgressIsTruncatedDoubleArithmetic)
{
    EXPECT_EQ(progressPercent(29, 100), 28);
    EXPECT_EQ(progressPercent(57, 100), 56);
    EXPECT_EQ(progressPercent(100, 100), 100);
    EXPECT_EQ(progressPercent(1, 3), 33);
    EXPECT_EQ(progressPercent(0, 0), 0);
}

RowResult outcomeWith(const Text& mark)
{
    RowResult outcome;
    const bool success = mark == msg::kMarkSuccess;
    outcome.mark = success ? library::Mark::Success : library::Mark::Failure;
    outcome.decidedBy = success ? ResponseTest::Passed : ResponseTest::HttpError;
    outcome.httpStatus = success ? 200 : 503;
    return outcome;
}

int workerToken()
{
    static std::atomic<int> next{1};
    thread_local const int token = next.fetch_add(1);
    return token;
}

// What a pass reported, in the order that matters: how many rows had been reported checked when
// the completion came, and whether anything came after it.
struct ReportOrder final : PassListener
{
    void passStarted(const PassInfo&) override
    {
        checked = 0;
        checkedAtCompletion = -1;
        reportsAfterCompletion = 0;
    }
    void rowStarted(const SubmitRow&, int, int) override { afterCompletion(); }
    void rowChecked(const SubmitRow&, const RowResult&) override
    {
        afterCompletion();
        ++checked;
    }
    void passCompleted() override
    {
        afterCompletion();
        checkedAtCompletion = checked.load();
        ++completions;
    }
    void afterCompletion()
    {
        if (checkedAtCompletion.load() >= 0)
            ++reportsAfterCompletion;
    }

    std::atomic<int> checked{0};
    std::atomic<int> checkedAtCompletion{-1};
    std::atomic<int> reportsAfterCompletion{0};
    // Over every pass.
    std::atomic<int> completions{0};
};

// The window's controls in memory, a list, and a check that the test scripts.
class EngineTest : public testing::Test
{
protected:
    EngineTest() { engine.addListener(&reports); }

    void fill(int rows)
    {
        for (int i = 0; i < rows; ++i)
            list.appendRow(
                {std::to_string(i + 1), "http://x.example/" + std::to_string(i + 1), msg::kMarkPending});
    }
    std::vector<Text> marks() const { return list.column(2); }
    void waitUntilHeld(int count)
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(heldChanged.wait_for(lock, std::chrono::seconds(10), [&] { return held == count; }));
    }
    void release()
    {
        std::lock_guard lock(mutex);
        released = true;
        heldChanged.notify_all();
    }
    // Waits until `count` rows show `mark`.
    bool waitForMarks(int count, const Text& mark)
    {
        for (int i = 0; i < 1000; ++i) {
            const std::vector<Text> now = marks();
            if (std::count(now.begin(), now.end(), mark) >= count)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    void finishPass()
    {
        engine.waitForPassWorkers();
        ASSERT_TRUE(engine.passEnded());
    }

    // Default check: "√" for every URL, remembering which thread checked it and in what order.
    RowResult check(const RowRequest& request, const std::stop_token& stop)
    {
        const Text& url = request.url;
        {
            std::lock_guard lock(mutex);
            checkedBy[url] = workerToken();
            order.push_back(url);
            lastEmptyBodyFails = request.emptyBodyFails;
            lastRequest = request;
        }
        if (holdChecks || (holdOnly && holdOnly(url))) {
            std::unique_lock lock(mutex);
            ++held;
            heldChanged.notify_all();
            // Returns when released, or when the pass is stopped, as a cancelled fetch does.
            heldChanged.wait(lock, stop, [this] { return released; });
        }
        return outcomeWith(verdict(url));
    }

    std::function<Text(const Text&)> verdict = [](const Text&) { return msg::kMarkSuccess; };
    std::atomic<bool> holdChecks = false;
    // Holds only the checks of the URLs it picks (set before the pass starts).
    std::function<bool(const Text&)> holdOnly;
    RowRequest lastRequest; // guarded by mutex
    bool released = false;  // guarded by mutex
    std::mutex mutex;
    std::condition_variable_any heldChanged;
    int held = 0;
    // Which worker thread checked each URL (thread ids are reused; thread-local storage is not).
    std::map<Text, int> checkedBy;
    std::vector<Text> order;
    bool lastEmptyBodyFails = false;

    ListStore list;
    platform::MemoryTextControl submitButton{msg::caption::kStartSubmit};
    platform::MemoryTextControl threadCountBox{"50"};
    platform::MemoryCheckControl loopSubmit;
    platform::MemoryTextControl statusLine{msg::kStatusInitial};
    platform::MemoryProgressControl progress;
    // Before the engine, which reports to it until it is gone.
    ReportOrder reports;
    SubmissionEngine engine{list, [this](const RowRequest& request, const std::stop_token& stop) {
                                return check(request, stop);
                            }};
    // The window's side of the pass: the button, the loop timer, the status line and the bar.
    window::SubmitHandlers window{{submitButton, threadCountBox, loopSubmit, statusLine, progress}, engine};
};

TEST_F(EngineTest, PassMarksEveryRowAndCompletes)
{
    fill(120);
    list.setCell(5, 2, msg::kMarkFailure);
    verdict = [](const Text& url) { return url.ends_with("7") ? msg::kMarkFailure : msg::kMarkSuccess; };

    holdChecks = true;
    window.toggleSubmit();
    waitUntilHeld(51);
    EXPECT_EQ(submitButton.text(), msg::caption::kStopSubmit);
    holdChecks = false;
    release();
    finishPass();

    for (int row = 0; row < 120; ++row) {
        const Text expected = std::to_string(row + 1).ends_with("7") ? msg::kMarkFailure : msg::kMarkSuccess;
        EXPECT_EQ(list.cell(row, 2), expected) << row;
    }
    EXPECT_EQ(statusLine.text(), msg::kAllSubmitted);
    EXPECT_EQ(progress.position(), 0);
    EXPECT_EQ(engine.startedRows(), 0);
    EXPECT_EQ(reports.checkedAtCompletion.load(), 120) << "completed once every row was checked";
    EXPECT_EQ(reports.reportsAfterCompletion.load(), 0);
    // A completed pass leaves the button ready: one press starts the next pass.
    EXPECT_EQ(submitButton.text(), msg::caption::kStartSubmit);
    window.toggleSubmit();
    finishPass();
    EXPECT_EQ(order.size(), 240u);
    EXPECT_EQ(statusLine.text(), msg::kAllSubmitted);
    EXPECT_EQ(submitButton.text(), msg::caption::kStartSubmit);
}

TEST_F(EngineTest, SlowRowsHoldBackNothingButThemselves)
{
    // Three rows hang until the pass is told otherwise; every other row is checked and marked
    // meanwhile, whichever worker happens to be free.
    fill(60);
    threadCountBox.setText("4");
    const std::set<Text> slow = {"http://x.example/2", "http://x.example/3", "http://x.example/31"};
    holdOnly = [&slow](const Text& url) { return slow.count(url) > 0; };
    window.toggleSubmit();
    waitUntilHeld(3);
    ASSERT_TRUE(waitForMarks(57, msg::kMarkSuccess));
    for (int row = 0; row < 60; ++row) {
        const bool isSlow = slow.count(list.cell(row, 1)) > 0;
        EXPECT_EQ(list.cell(row, 2), isSlow ? msg::kMarkWorking : msg::kMarkSuccess) << row;
    }
    // Every row has been started and two workers have run out of rows; three rows are still
    // being checked, so the pass has not completed, however long it is given.
    for (int i = 0; i < 30 && engine.state() == PassState::Running; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(engine.state(), PassState::Running);
    EXPECT_NE(statusLine.text(), msg::kAllSubmitted);
    EXPECT_EQ(submitButton.text(), msg::caption::kStopSubmit);
    EXPECT_EQ(progress.position(), progressPercent(57, 60)) << "the bar follows the rows checked";
    release();
    finishPass();
    EXPECT_EQ(marks(), std::vector<Text>(60, msg::kMarkSuccess));
    EXPECT_EQ(statusLine.text(), msg::kAllSubmitted);
    EXPECT_EQ(reports.checkedAtCompletion.load(), 60);
    EXPECT_EQ(order.size(), 60u) << "every row checked once";
}

TEST_F(EngineTest, APerHostCapHoldsEveryServiceToItsRowsAtOnce)
{
    // Three services, twelve rows each, checked by ten workers at most two a service at once.
    for (int i = 0; i < 36; ++i) {
        const std::string host = std::string(1, static_cast<char>('a' + i % 3)) + ".example";
        list.appendRow(
            {std::to_string(i + 1), "http://" + host + "/" + std::to_string(i), msg::kMarkPending});
    }
    std::map<Text, int> checking;
    std::map<Text, int> most;
    verdict = [&](const Text& url) {
        const Text host = url.substr(7, url.find('/', 7) - 7);
        {
            std::lock_guard lock(mutex);
            most[host] = std::max(most[host], ++checking[host]);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::lock_guard lock(mutex);
        --checking[host];
        return msg::kMarkSuccess;
    };
    engine.setPerHostLimit(2);
    ASSERT_EQ(engine.start(10), StartResult::Started);
    finishPass();
    const std::vector<Text> marked = marks();
    EXPECT_EQ(std::count(marked.begin(), marked.end(), msg::kMarkSuccess), 36);
    EXPECT_EQ(most, (std::map<Text, int>{{"a.example", 2}, {"b.example", 2}, {"c.example", 2}}));
}

TEST_F(EngineTest, FewerRowsThanThreadsAllRunAtOnce)
{
    fill(30);
    holdChecks = true;
    window.toggleSubmit();
    // With 50 threads, every one of the 30 rows is in hand at the same time.
    waitUntilHeld(30);
    EXPECT_EQ(marks(), std::vector<Text>(30, msg::kMarkWorking));
    release();
    finishPass();
    std::set<int> threads;
    for (const auto& [url, thread] : checkedBy)
        threads.insert(thread);
    EXPECT_EQ(threads.size(), 30u);
}

TEST_F(EngineTest, EmptyListCompletesAtOnce)
{
    window.toggleSubmit();
    finishPass();
    EXPECT_EQ(statusLine.text(), msg::kAllSubmitted);
    EXPECT_EQ(submitButton.text(), msg::caption::kStartSubmit);
    EXPECT_EQ(reports.completions.load(), 1) << "every worker finds nothing to do; the pass completes once";
    window.toggleSubmit();
    finishPass();
    EXPECT_EQ(statusLine.text(), msg::kAllSubmitted);
    EXPECT_EQ(reports.completions.load(), 2);
}

TEST_F(EngineTest, RefusesThreadCountsOutsideOneTo500)
{
    fill(3);
    for (const char* count : {"0", "", "501", "-2", "abc", "99999999999"}) {
        SCOPED_TRACE(count);
        threadCountBox.setText(count);
        window.toggleSubmit();
        EXPECT_EQ(statusLine.text(), msg::kBadThreadCount);
        EXPECT_EQ(submitButton.text(), msg::caption::kStartSubmit);
        EXPECT_EQ(marks(), std::vector<Text>(3, msg::kMarkPending));
    }
    threadCountBox.setText("500");
    window.toggleSubmit();
    finishPass();
    EXPECT_EQ(marks(), std::vector<Text>(3, msg::kMarkSuccess));
}

TEST_F(EngineTest, StopCancelsFetchesAndNothingIsWrittenAfterwards)
{
    fill(8);
    // Four threads and the one more a pass always runs: five rows in hand.
    threadCountBox.setText("4");
    holdChecks = true;
    window.toggleSubmit();
    waitUntilHeld(5);
    const std::vector<Text> working = marks();
    EXPECT_EQ(std::count(working.begin(), working.end(), msg::kMarkWorking), 5);
    EXPECT_EQ(progress.position(), 0) << "nothing checked yet";

    window.toggleSubmit();
    EXPECT_EQ(submitButton.text(), msg::caption::kStartSubmit);
    // The rows in hand wait again: their checks will never report.
    EXPECT_EQ(marks(), std::vector<Text>(8, msg::kMarkPending));
    // The held checks now return "√"; none of it may reach the list or the status line.
    engine.waitForPassWorkers();
    EXPECT_EQ(marks(), std::vector<Text>(8, msg::kMarkPending));
    EXPECT_EQ(statusLine.text(), msg::kStoppedAll);
    EXPECT_EQ(progress.position(), 0);
    EXPECT_EQ(engine.startedRows(), 0);
    EXPECT_TRUE(engine.passEnded());
    EXPECT_EQ(order.size(), 5u) << "no further rows were started";
}

TEST_F(EngineTest, StopPutsBackOnlyRowsThatAreStillTheRowsInHand)
{
    // Row 1's check is held; the others are checked meanwhile. Then something happens to row 1
    // before the stop.
    const struct
    {
        const char* name;
        std::function<void(ListStore&)> meanwhile;
        Text url;
        Text mark;
    } cases[] = {
        {"left alone: it waits again", [](ListStore&) {}, "http://x.example/1", msg::kMarkPending},
        {"marked by another check", [](ListStore& rows) { rows.setCell(0, 2, msg::kMarkFailure); },
         "http://x.example/1", msg::kMarkFailure},
        // No longer the row that was in hand, whatever it shows: not the pass's to change.
        {"given another URL", [](ListStore& rows) { rows.setCell(0, 1, "http://y.example/"); },
         "http://y.example/", msg::kMarkWorking},
    };
    threadCountBox.setText("1");
    holdOnly = [](const Text& url) { return url == "http://x.example/1"; };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        list.deleteAll();
        fill(6);
        {
            std::lock_guard lock(mutex);
            held = 0;
        }
        window.toggleSubmit();
        waitUntilHeld(1);
        ASSERT_TRUE(waitForMarks(5, msg::kMarkSuccess));
        EXPECT_EQ(list.cell(0, 2), msg::kMarkWorking);
        c.meanwhile(list);
        window.toggleSubmit();
        engine.waitForPassWorkers();
        EXPECT_EQ(list.cell(0, 1), c.url);
        EXPECT_EQ(list.cell(0, 2), c.mark);
        const std::vector<Text> after = marks();
        EXPECT_EQ(std::vector<Text>(after.begin() + 1, after.end()), std::vector<Text>(5, msg::kMarkSuccess));
    }
}

TEST_F(EngineTest, LoopTicksSayWhichPassCompletedAndStartTheNext)
{
    fill(2);
    loopSubmit.setChecked(true);
    window.onLoopTick();
    EXPECT_EQ(submitButton.text(), msg::caption::kStartSubmit) << "the first pass is started by hand";

    window.toggleSubmit();
    finishPass();
    EXPECT_EQ(submitButton.text(), msg::caption::kStartSubmit);
    // Two passes of the loop after the one started by hand: each tick after a completed pass
    // says which one it was, the tick after starts the next.
    for (int round = 1; round <= 3; ++round) {
        SCOPED_TRACE(round);
        window.onLoopTick();
        EXPECT_EQ(statusLine.text(), roundCompletedMessage(round));
        EXPECT_EQ(submitButton.text(), msg::caption::kStartSubmit);
        EXPECT_EQ(order.size(), 2u * static_cast<std::size_t>(round)) << "no pass started yet";
        if (round == 3)
            break;
        window.onLoopTick();
        finishPass();
        EXPECT_EQ(statusLine.text(), msg::kAllSubmitted);
    }
    EXPECT_EQ(statusLine.text(), text::utf8ToGbk("第3轮完成"));

    // A pass started by hand begins the count again.
    window.toggleSubmit();
    finishPass();
    window.onLoopTick();
    EXPECT_EQ(statusLine.text(), text::utf8ToGbk("第1轮完成"));

    // Unchecked, ticks do nothing.
    loopSubmit.setChecked(false);
    window.onLoopTick();
    EXPECT_EQ(submitButton.text(), msg::caption::kStartSubmit);
    EXPECT_EQ(order.size(), 8u);
}

TEST_F(EngineTest, StoppingDuringALoopRestartsOnTheNextTick)
{
    fill(4);
    loopSubmit.setChecked(true);
    holdChecks = true;
    threadCountBox.setText("2");
    window.toggleSubmit();
    window.onLoopTick(); // running: nothing
    EXPECT_EQ(submitButton.text(), msg::caption::kStopSubmit);
    waitUntilHeld(3);
    window.toggleSubmit();
    engine.waitForPassWorkers();
    EXPECT_EQ(marks(), std::vector<Text>(4, msg::kMarkPending));
    holdChecks = false;
    window.onLoopTick();
    finishPass();
    EXPECT_EQ(order.size(), 7u) << "the stopped pass's three rows, then a whole pass";
    EXPECT_EQ(marks(), std::vector<Text>(4, msg::kMarkSuccess));
    EXPECT_EQ(statusLine.text(), msg::kAllSubmitted);
}

TEST_F(EngineTest, MarksLandOnlyOnTheRowWhoseUrlWasChecked)
{
    fill(6);
    threadCountBox.setText("2");
    holdChecks = true;
    window.toggleSubmit();
    waitUntilHeld(3);
    // The rows go, and another row takes the first position.
    list.deleteAll();
    list.appendRow({"1", "http://other.example/", msg::kMarkPending});
    holdChecks = false;
    release();
    // The pass goes on, but no mark of it may land on a row it did not check.
    finishPass();
    EXPECT_EQ(list.rowCount(), 1);
    EXPECT_EQ(list.cell(0, 1), "http://other.example/");
    EXPECT_EQ(list.cell(0, 2), msg::kMarkPending);
    EXPECT_EQ(statusLine.text(), msg::kAllSubmitted);
}

TEST_F(EngineTest, APassAsksForTheRowsToBeReadyAndKnowsTheSiteHost)
{
    fill(3);
    list.appendRow({"4", "http://t.example/?q=old.example", msg::kMarkPending},
                   Text("http://t.example/?q={$url}"));
    int prepared = 0;
    engine.setPrepareRows([&] {
        ++prepared;
        // As the library does when the address changed: the row is expanded again.
        list.setCell(3, 1, "http://t.example/?q=new.example");
        return Text("new.example");
    });
    window.toggleSubmit();
    finishPass();
    EXPECT_EQ(prepared, 1);
    EXPECT_EQ(checkedBy.count("http://t.example/?q=new.example"), 1u);
    EXPECT_EQ(checkedBy.count("http://t.example/?q=old.example"), 0u);
    EXPECT_EQ(lastRequest.siteHost, "new.example");
    EXPECT_EQ(list.cell(3, 2), msg::kMarkSuccess);
    EXPECT_FALSE(list.note(3).empty()) << "the mark carries what the check found";

    list.setSelection(3);
    window.submitSelected(list.selection());
    engine.waitForSingleSubmits();
    EXPECT_EQ(prepared, 2);
    EXPECT_EQ(lastRequest.templateText, std::optional<Text>("http://t.example/?q={$url}"));
}

TEST_F(EngineTest, SingleSubmitMarksTheSelectedRowWithTheStricterRule)
{
    fill(3);
    window.submitSelected(list.selection());
    engine.waitForSingleSubmits();
    EXPECT_EQ(marks(), std::vector<Text>(3, msg::kMarkPending)) << "no selection, no change";
    EXPECT_TRUE(order.empty());

    list.setSelection(1);
    verdict = [](const Text&) { return msg::kMarkFailure; };
    window.submitSelected(list.selection());
    engine.waitForSingleSubmits();
    EXPECT_EQ(marks(), (std::vector<Text>{msg::kMarkPending, msg::kMarkFailure, msg::kMarkPending}));
    EXPECT_TRUE(lastEmptyBodyFails);
    EXPECT_EQ(statusLine.text(), msg::kStatusInitial) << "a single submit leaves the status line";
}

// A status line whose "submitting row N" text for one chosen row takes a while to land, and which
// says when that write has begun.
class SlowStartStatusLine final : public platform::TextControl
{
public:
    explicit SlowStartStatusLine(Text slowUrl)
        : slowUrl_(std::move(slowUrl))
    {}
    [[nodiscard]] Text text() const override { return value_.text(); }
    void setText(Text value) override
    {
        if (value.starts_with(msg::kSubmitting) && value.ends_with(slowUrl_)) {
            {
                std::lock_guard lock(mutex_);
                slowWriteBegun_ = true;
            }
            begun_.notify_all();
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        value_.setText(std::move(value));
    }
    bool waitForSlowWrite()
    {
        std::unique_lock lock(mutex_);
        return begun_.wait_for(lock, std::chrono::seconds(10), [this] { return slowWriteBegun_; });
    }

private:
    const Text slowUrl_;
    platform::MemoryTextControl value_;
    std::mutex mutex_;
    std::condition_variable begun_;
    bool slowWriteBegun_ = false;
};

TEST(EngineCompletion, TheLastRowsStartCannotOverwriteTheCompletionText)
{
    // Three workers take one row each. Row 1's check returns only once row 3 has been counted and
    // its status text is on its way, so the completion check after row 1 sees every row started
    // while that text has not landed yet.
    ListStore list;
    for (int i = 1; i <= 3; ++i)
        list.appendRow({std::to_string(i), "http://x.example/" + std::to_string(i), msg::kMarkPending});
    platform::MemoryTextControl submitButton{msg::caption::kStartSubmit};
    platform::MemoryTextControl threadCountBox{"2"};
    platform::MemoryCheckControl loopSubmit;
    SlowStartStatusLine statusLine{"http://x.example/3"};
    platform::MemoryProgressControl progress;
    SubmissionEngine engine{list, [&](const RowRequest& request, const std::stop_token&) {
                                if (request.url.ends_with("/1")) {
                                    EXPECT_TRUE(statusLine.waitForSlowWrite());
                                }
                                return outcomeWith(msg::kMarkSuccess);
                            }};
    window::SubmitHandlers window{{submitButton, threadCountBox, loopSubmit, statusLine, progress}, engine};

    window.toggleSubmit();
    engine.waitForPassWorkers();
    EXPECT_TRUE(engine.passEnded());
    EXPECT_EQ(statusLine.text(), msg::kAllSubmitted);
    EXPECT_EQ(progress.position(), 0);
    EXPECT_EQ(list.column(2), std::vector<Text>(3, msg::kMarkSuccess));
}

} // namespace
} // namespace tavrin::submit
