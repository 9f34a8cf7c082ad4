// Fills a history database with recorded checks the way passes do, for the history benchmark
// (bench/history_bench.sh): TEMPLATES templates checked in RUNS runs of one site, one batch of
// 500 checks per transaction, with the fields a real check carries (a tenth of the templates
// never work, a page title on every success, a final URL on a few redirected ones).
//   tavrin_history_fill DATABASE TEMPLATES RUNS
#include "history/history_store.h"

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    using namespace tavrin::history;
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s DATABASE TEMPLATES RUNS\n", argv[0]);
        return 2;
    }
    const int templates = std::stoi(argv[2]);
    const int runs = std::stoi(argv[3]);
    std::string error;
    auto store = HistoryStore::open(argv[1], OpenMode::Record, error);
    if (!store) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::mt19937 random(7);
    std::vector<std::string> texts;
    for (int at = 0; at < templates; ++at) {
        texts.push_back("http://www.site-info-" + std::to_string(at % 997) + ".example/query/" +
                        std::to_string(at) + "?domain={$url}&lang=zh");
    }
    const std::string site = "www.mysite.example";
    const auto start = std::chrono::steady_clock::now();
    for (int run = 0; run < runs; ++run) {
        RunInfo info;
        info.started = 1'700'000'000 + run * 86'400;
        info.siteHost = site;
        info.frontEnd = "cli";
        info.threads = 50;
        info.rows = templates;
        const auto id = store->beginRun(info, error);
        if (!id) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        std::vector<CheckRecord> batch;
        for (int at = 0; at < templates; ++at) {
            CheckRecord check;
            check.templateText = texts[at];
            // As the recorder gives it: the URL is the template with the site put in, kept as that.
            std::string url = texts[at];
            url.replace(url.find("{$url}"), 6, site);
            check.success = at % 10 != 0 && random() % 20 != 0;
            check.test = check.success ? 0 : 2;
            check.status = check.success ? 200 : 404;
            check.milliseconds = 20 + random() % 3000;
            check.attempts = 1;
            if (at % 25 == 0)
                check.finalUrl = url + "&redirected=1";
            check.bytes = 2000 + random() % 60'000;
            if (check.success)
                check.titleUtf8 = "站长工具 - " + site + " 的信息";
            check.mentions = check.success;
            check.links = check.success && at % 3 == 0;
            check.at = info.started + at / 10;
            batch.push_back(std::move(check));
            if (batch.size() == 500 || at + 1 == templates) {
                if (!store->record(*id, batch, batch.back().at, error)) {
                    std::fprintf(stderr, "%s\n", error.c_str());
                    return 1;
                }
                batch.clear();
            }
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%d checks recorded in %.1f s (%.0f checks/s)\n", templates * runs, seconds,
                templates * runs / seconds);
    return 0;
}
