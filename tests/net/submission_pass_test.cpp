// Whole passes of the submission engine against a server of the test's own on 127.0.0.1,
// through the real HTTP check.
#include "platform/headless/memory_controls.h"
#include "submit/http_row_check.h"
#include "submit/submission_engine.h"
#include "support/local_server.h"
#include "support/row_checks.h"
#include "text/messages.h"
#include "window/submit_handlers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace tavrin::submit {
namespace {

using base::ListStore;
using testing_support::LocalServer;
using text::Text;

class PassOverHttp : public testing::Test
{
protected:
    void SetUp() override
    {
        auto& routes = server.routes();
        routes.Get("/ok", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<html>your site is listed</html>", "text/html");
        });
        routes.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_content("not here", "text/plain");
        });
        routes.Get("/refresh", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<meta http-equiv=\"refresh\" content=\"0;url=/\">", "text/html");
        });
        routes.Get("/empty", [](const httplib::Request&, httplib::Response& res) { res.status = 200; });
        routes.Get("/slow", [this](const httplib::Request&, httplib::Response& res) {
            ++slowStarted;
            for (int i = 0; i < 50 && !releaseSlow; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            res.set_content("late", "text/plain");
        });
        server.start();
    }
    void TearDown() override
    {
        releaseSlow = true;
        window.reset();
        engine.reset();
        server.stop();
    }

    void add(const std::string& path)
    {
        const int row = list.rowCount();
        list.appendRow({std::to_string(row + 1), server.url(path), msg::kMarkPending});
    }
    // The engine over the real check, and the window's side of it.
    window::SubmitHandlers& make(int timeLimitSeconds)
    {
        engine = std::make_unique<SubmissionEngine>(
            list, httpRowCheck(testing_support::rulesWithin(timeLimitSeconds)));
        window = std::make_unique<window::SubmitHandlers>(
            window::SubmitControls{submitButton, threadCountBox, loopSubmit, statusLine, progress}, *engine);
        return *window;
    }

    LocalServer server;
    std::atomic<int> slowStarted{0};
    std::atomic<bool> releaseSlow{false};
    ListStore list;
    platform::MemoryTextControl submitButton{msg::caption::kStartSubmit};
    platform::MemoryTextControl threadCountBox{"50"};
    platform::MemoryCheckControl loopSubmit;
    platform::MemoryTextControl statusLine;
    platform::MemoryProgressControl progress;
    std::unique_ptr<SubmissionEngine> engine;
    std::unique_ptr<window::SubmitHandlers> window;
};

TEST_F(PassOverHttp, MarksEachRowByItsResponse)
{
    for (const char* path : {"/ok", "/missing", "/refresh", "/empty", "/ok"})
        add(path);
    list.appendRow({"6", "http://name.invalid/", msg::kMarkPending});
    window::SubmitHandlers& submission = make(10);
    submission.toggleSubmit();
    engine->waitForPassWorkers();

    const Text yes = msg::kMarkSuccess;
    const Text no = msg::kMarkFailure;
    EXPECT_EQ(list.column(2), (std::vector<Text>{yes, no, no, yes, yes, no}));
    EXPECT_EQ(statusLine.text(), msg::kAllSubmitted);

    // The same empty body fails when the row is submitted on its own.
    list.setSelection(3);
    submission.submitSelected(list.selection());
    engine->waitForSingleSubmits();
    EXPECT_EQ(list.cell(3, 2), no);
}

TEST_F(PassOverHttp, StopReturnsAtOnceAndCancelsTheFetches)
{
    for (int i = 0; i < 7; ++i)
        add("/slow");
    // Three threads and the one more a pass always runs: four rows in hand.
    threadCountBox.setText("3");
    window::SubmitHandlers& submission = make(30);
    submission.toggleSubmit();
    for (int i = 0; i < 200 && slowStarted < 4; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(slowStarted.load(), 4);

    const auto stopAt = std::chrono::steady_clock::now();
    submission.toggleSubmit();
    engine->waitForPassWorkers();
    EXPECT_LT(std::chrono::steady_clock::now() - stopAt, std::chrono::seconds(2))
        << "the workers end with their fetches cancelled, not after the server answers";
    // The four rows whose checks were cancelled wait again, beside the three never started.
    EXPECT_EQ(list.column(2), std::vector<Text>(7, msg::kMarkPending));
    EXPECT_EQ(statusLine.text(), msg::kStoppedAll);
}

TEST_F(PassOverHttp, TimedOutRowsFail)
{
    add("/slow");
    add("/ok");
    window::SubmitHandlers& submission = make(1);
    submission.toggleSubmit();
    engine->waitForPassWorkers();
    EXPECT_EQ(list.column(2), (std::vector<Text>{msg::kMarkFailure, msg::kMarkSuccess}));
}

TEST(StatusCode, ReadsTheStatusLine)
{
    EXPECT_EQ(statusCodeOf("HTTP/1.1 404 Not Found\r\n\r\n"), 404);
    EXPECT_EQ(statusCodeOf("HTTP/1.0 200\r\n"), 200);
    EXPECT_EQ(statusCodeOf(""), 0);
    EXPECT_EQ(statusCodeOf("garbage 200"), 0);
    EXPECT_EQ(statusCodeOf("HTTP/1.1 2x0 Odd"), 0);
}

} // namespace
} // namespace tavrin::submit
