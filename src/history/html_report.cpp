#include "history/html_report.h"

#include "history/history_recorder.h"
#include "history/time_text.h"
#include "text/encoding.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>
#include <vector>

namespace tavrin::history {

namespace {

constexpr int kChartWidth = 640;
constexpr int kChartHeight = 220;
constexpr int kMarginLeft = 48;
constexpr int kMarginRight = 16;
constexpr int kMarginTop = 12;
constexpr int kMarginBottom = 32;

std::string escaped(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (const char c : utf8) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string fromGbk(const text::Text& gbk)
{
    return escaped(text::gbkToUtf8(gbk));
}

std::string timeText(Seconds at)
{
    return utcTime(at, "%Y-%m-%d %H:%M:%S UTC");
}

std::string number(double value, int decimals)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

// "1 run", "3 runs".
std::string counted(std::int64_t count, std::string_view one, std::string_view many)
{
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

std::string percent(int part, int whole)
{
    return whole > 0 ? number(100.0 * part / whole, 1) + " %" : "–";
}

constexpr std::string_view kStyle = R"css(
body { font: 14px/1.45 system-ui, "Noto Sans CJK SC", "WenQuanYi Micro Hei", sans-serif; margin: 24px auto;
       max-width: 760px; color: #222; padding: 0 12px; }
h1 { font-size: 20px; } h2 { font-size: 16px; margin-top: 28px; }
table.summary td { padding: 2px 14px 2px 0; } table.summary td:first-child { color: #666; }
svg { display: block; margin: 8px 0; } svg text { font-size: 11px; fill: #444; }
.axis { stroke: #999; stroke-width: 1; } .grid { stroke: #e4e4e4; stroke-width: 1; }
.line { fill: none; stroke: #2a7ab0; stroke-width: 2; } .dot { fill: #2a7ab0; }
.bar { fill: #2a7ab0; } .bar.failure { fill: #c0392b; } .bar.success { fill: #27ae60; }
ol.failed { font-family: ui-monospace, monospace; font-size: 12px; word-break: break-all; }
.none { color: #777; }
.unfinished { background: #fdf3e1; border-left: 4px solid #e0a030; padding: 6px 10px; }
)css";

// The success rate of the site's runs, oldest first, as a line over a 0–100 % scale.
std::string rateChart(const std::vector<RunSummary>& runs)
{
    const int plotWidth = kChartWidth - kMarginLeft - kMarginRight;
    const int plotHeight = kChartHeight - kMarginTop - kMarginBottom;
    std::string svg = "<svg width=\"" + std::to_string(kChartWidth) + "\" height=\"" +
                      std::to_string(kChartHeight) +
                      "\" role=\"img\" aria-label=\"success rate of the last runs\">";
    for (int tick = 0; tick <= 100; tick += 25) {
        const int y = kMarginTop + plotHeight - plotHeight * tick / 100;
        svg += "<line class=\"grid\" x1=\"" + std::to_string(kMarginLeft) + "\" x2=\"" +
               std::to_string(kMarginLeft + plotWidth) + "\" y1=\"" + std::to_string(y) + "\" y2=\"" +
               std::to_string(y) + "\"/><text x=\"" + std::to_string(kMarginLeft - 6) + "\" y=\"" +
               std::to_string(y + 4) + "\" text-anchor=\"end\">" + std::to_string(tick) + " %</text>";
    }
    const auto xOf = [&](std::size_t index) {
        return runs.size() > 1 ? kMarginLeft + double(plotWidth) * double(index) / double(runs.size() - 1)
                               : kMarginLeft + plotWidth / 2.0;
    };
    const auto yOf = [&](const RunSummary& run) {
        const double rate = run.checks > 0 ? double(run.successes) / run.checks : 0.0;
        return kMarginTop + plotHeight - plotHeight * rate;
    };
    std::string points;
    std::string dots;
    for (std::size_t index = 0; index < runs.size(); ++index) {
        const std::string x = number(xOf(index), 1);
        const std::string y = number(yOf(runs[index]), 1);
        points.append(x).append(",").append(y).append(" ");
        dots += "<circle class=\"dot\" cx=\"";
        dots += x;
        dots += "\" cy=\"";
        dots += y;
        dots += "\" r=\"3\"><title>run " + std::to_string(runs[index].id) + ", " +
                timeText(runs[index].started) + ": " + percent(runs[index].successes, runs[index].checks) +
                " of " + std::to_string(runs[index].checks) + "</title></circle>";
        svg += "<text x=\"" + x + "\" y=\"" + std::to_string(kChartHeight - 12) +
               "\" text-anchor=\"middle\">" + std::to_string(runs[index].id) + "</text>";
    }
    if (runs.size() > 1)
        svg += "<polyline class=\"line\" points=\"" + points + "\"/>";
    svg += dots;
    svg += "<line class=\"axis\" x1=\"" + std::to_string(kMarginLeft) + "\" x2=\"" +
           std::to_string(kMarginLeft + plotWidth) + "\" y1=\"" + std::to_string(kMarginTop + plotHeight) +
           "\" y2=\"" + std::to_string(kMarginTop + plotHeight) + "\"/>";
    svg += "<text x=\"" + std::to_string(kMarginLeft + plotWidth / 2) + "\" y=\"" +
           std::to_string(kChartHeight - 1) + "\" text-anchor=\"middle\">run</text></svg>";
    return svg;
}

// Checks by deciding test, one horizontal bar each, the passed ones green.
std::string verdictChart(const std::map<int, int>& counts)
{
    constexpr int kBarHeight = 20;
    constexpr int kLabelWidth = 170;
    const int barSpace = kChartWidth - kLabelWidth - 60;
    int most = 1;
    for (const auto& [test, count] : counts)
        most = std::max(most, count);
    const int height = kBarHeight * static_cast<int>(counts.size()) + 8;
    std::string svg = "<svg width=\"" + std::to_string(kChartWidth) + "\" height=\"" +
                      std::to_string(height) + "\" role=\"img\" aria-label=\"verdicts by deciding test\">";
    int row = 0;
    for (const auto& [test, count] : counts) {
        const int y = 4 + row * kBarHeight;
        const int width = std::max(1, barSpace * count / most);
        svg += "<text x=\"" + std::to_string(kLabelWidth - 8) + "\" y=\"" + std::to_string(y + 14) +
               "\" text-anchor=\"end\">" + escaped(testName(test)) + "</text>";
        svg += "<rect class=\"bar " + std::string(test == 0 ? "success" : "failure") + "\" x=\"" +
               std::to_string(kLabelWidth) + "\" y=\"" + std::to_string(y + 3) + "\" width=\"" +
               std::to_string(width) + "\" height=\"" + std::to_string(kBarHeight - 6) + "\"/>";
        svg += "<text x=\"" + std::to_string(kLabelWidth + width + 6) + "\" y=\"" + std::to_string(y + 14) +
               "\">" + std::to_string(count) + "</text>";
        ++row;
    }
    return svg + "</svg>";
}

// Response times in buckets that widen as times grow: most answers take well under a second,
// and the slow tail is what a user wants to see the shape of.
std::string timeHistogram(const std::vector<std::int64_t>& milliseconds)
{
    struct Bucket
    {
        std::int64_t below;
        std::string_view label;
    };
    static constexpr std::array<Bucket, 10> kBuckets = {{{100, "<0.1 s"},
                                                         {250, "0.1–0.25"},
                                                         {500, "0.25–0.5"},
                                                         {1000, "0.5–1"},
                                                         {2000, "1–2"},
                                                         {5000, "2–5"},
                                                         {10000, "5–10"},
                                                         {30000, "10–30"},
                                                         {60000, "30–60"},
                                                         {INT64_MAX, "≥60 s"}}};
    std::array<int, kBuckets.size()> counts{};
    for (const std::int64_t ms : milliseconds) {
        std::size_t bucket = 0;
        while (ms >= kBuckets[bucket].below)
            ++bucket;
        ++counts[bucket];
    }
    const int most = std::max(1, *std::max_element(counts.begin(), counts.end()));
    const int plotWidth = kChartWidth - kMarginLeft - kMarginRight;
    const int plotHeight = kChartHeight - kMarginTop - kMarginBottom;
    const int slot = plotWidth / static_cast<int>(kBuckets.size());
    std::string svg = "<svg width=\"" + std::to_string(kChartWidth) + "\" height=\"" +
                      std::to_string(kChartHeight) + "\" role=\"img\" aria-label=\"response times\">";
    for (std::size_t index = 0; index < kBuckets.size(); ++index) {
        const int height = plotHeight * counts[index] / most;
        const int x = kMarginLeft + slot * static_cast<int>(index);
        svg += "<rect class=\"bar\" x=\"" + std::to_string(x + 4) + "\" y=\"" +
               std::to_string(kMarginTop + plotHeight - height) + "\" width=\"" + std::to_string(slot - 8) +
               "\" height=\"" + std::to_string(height) + "\"><title>" + std::to_string(counts[index]) +
               "</title></rect>";
        svg += "<text x=\"" + std::to_string(x + slot / 2) + "\" y=\"" +
               std::to_string(kMarginTop + plotHeight - height - 3) + "\" text-anchor=\"middle\">" +
               std::to_string(counts[index]) + "</text>";
        svg += "<text x=\"" + std::to_string(x + slot / 2) + "\" y=\"" + std::to_string(kChartHeight - 14) +
               "\" text-anchor=\"middle\">" + std::string(kBuckets[index].label) + "</text>";
    }
    svg += "<line class=\"axis\" x1=\"" + std::to_string(kMarginLeft) + "\" x2=\"" +
           std::to_string(kMarginLeft + plotWidth) + "\" y1=\"" + std::to_string(kMarginTop + plotHeight) +
           "\" y2=\"" + std::to_string(kMarginTop + plotHeight) + "\"/>";
    svg += "<text x=\"" + std::to_string(kMarginLeft + plotWidth / 2) + "\" y=\"" +
           std::to_string(kChartHeight - 1) + "\" text-anchor=\"middle\">seconds</text></svg>";
    return svg;
}

// Templates of the run that got no check recorded: a run stopped (or a program ended) before it
// got to them.
int notChecked(const RunSummary& run)
{
    return std::max(0, run.rows - run.checks);
}

// Said above everything else, so that the figures of a run cut short are never read as those of
// a whole one.
std::string unfinishedNote(const RunSummary& run)
{
    const int missing = notChecked(run);
    if (missing == 0)
        return {};
    return "<p class=\"unfinished\">This run did not finish: it was stopped, or the program ended, "
           "before " +
           std::string(missing == 1 ? "one" : std::to_string(missing)) + " of its " +
           counted(run.rows, "template", "templates") + std::string(missing == 1 ? " was" : " were") +
           " checked.</p>\n";
}

std::string summaryTable(const RunSummary& run)
{
    std::string rows;
    const auto row = [&rows](std::string_view name, const std::string& value) {
        rows += "<tr><td>" + std::string(name) + "</td><td>" + value + "</td></tr>";
    };
    row("Site", fromGbk(run.siteHost));
    row("Started", timeText(run.started));
    if (run.finished)
        row("Last check",
            timeText(*run.finished) + " (" + std::to_string(*run.finished - run.started) + " s)");
    row("From", escaped(run.frontEnd) + ", " + counted(run.threads, "thread", "threads"));
    if (!run.shard.empty())
        row("Shard", escaped(run.shard));
    row("Templates", std::to_string(run.rows));
    row("Checked", std::to_string(run.checks));
    if (notChecked(run) > 0)
        row("Not checked", std::to_string(notChecked(run)));
    row("√ Succeeded", std::to_string(run.successes) + " (" + percent(run.successes, run.checks) + ")");
    row("× Failed", std::to_string(run.checks - run.successes));
    return "<table class=\"summary\">" + rows + "</table>";
}

} // namespace

std::optional<std::string> htmlReport(HistoryStore& store, std::int64_t run, std::string& error)
{
    const std::optional<RunSummary> summary = store.runSummary(run, error);
    if (!summary) {
        if (error.empty())
            error = "no run " + std::to_string(run) + " in the history";
        return std::nullopt;
    }
    const std::vector<RunSummary> runs = store.runsUpTo(run, kRunsCharted, error);
    const std::map<int, int> verdicts = store.verdictCounts(run, error);
    const std::vector<std::int64_t> times = store.responseTimes(run, error);
    const std::vector<text::Text> failed = store.newlyFailed(run, error);
    if (!error.empty())
        return std::nullopt;

    const std::string title = "tavrin – run " + std::to_string(run) + " for " + fromGbk(summary->siteHost);
    std::string html = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>" + title +
                       "</title><style>" + std::string(kStyle) + "</style></head><body>\n";
    html += "<h1>" + title + "</h1>\n" + unfinishedNote(*summary) + summaryTable(*summary) + "\n";
    const std::string lastRuns =
        runs.size() == 1 ? "the last run" : "the last " + std::to_string(runs.size()) + " runs";
    html += "<h2>Success rate of " + lastRuns + " for this site</h2>\n" + rateChart(runs) + "\n";
    html += "<h2>Verdicts by deciding test</h2>\n";
    html += verdicts.empty() ? "<p class=\"none\">No row was checked.</p>\n" : verdictChart(verdicts) + "\n";
    html += "<h2>Response times</h2>\n";
    html += times.empty() ? "<p class=\"none\">No row was checked.</p>\n" : timeHistogram(times) + "\n";
    html += "<h2>Newly failed templates (" + std::to_string(failed.size()) + ")</h2>\n";
    if (failed.empty()) {
        html += "<p class=\"none\">None: every template that worked in the site's run before this one still "
                "works, or there was no run before it.</p>\n";
    } else {
        html += "<ol class=\"failed\">";
        for (const text::Text& templateText : failed)
            html += "<li>" + fromGbk(templateText) + "</li>";
        html += "</ol>\n";
    }
    html += "</body></html>\n";
    return html;
}

} // namespace tavrin::history
