// The rules by which a run's proxies are set aside: clear failures of its own, twice in a row;
// silence only on services that another proxy then answered; any answer through it wipes its
// record. And the turns: the next proxy not set aside and not tried for the row yet.
#include "submit/proxy_pool.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavrin::submit {
namespace {

using net::ProxyTrouble;

// What a proxy of the pool did for a request for `service`: answered, or failed it with `trouble`.
struct Event
{
    std::size_t proxy;
    ProxyTrouble trouble; // None: it answered
    std::string service;
};

struct SetAsideCase
{
    const char* name;
    std::vector<Event> events;
    // The proxies set aside, in order, and why.
    std::vector<std::pair<std::size_t, ProxyTrouble>> setAside;
};

ProxyPool poolOfThree()
{
    return ProxyPool({"http://127.0.0.1:1", "socks5://127.0.0.1:2", "127.0.0.1:3"});
}

TEST(ProxyPools, AProxyIsSetAsideOnlyForFailuresOfItsOwn)
{
    constexpr ProxyTrouble kAnswer = ProxyTrouble::None;
    const SetAsideCase cases[] = {
        {"two refusals in a row",
         {{0, ProxyTrouble::Refused, "a"}, {0, ProxyTrouble::Refused, "b"}},
         {{0, ProxyTrouble::Refused}}},
        {"the last of two clear failures names it",
         {{1, ProxyTrouble::NotAProxy, "a"}, {1, ProxyTrouble::AuthRequired, "a"}},
         {{1, ProxyTrouble::AuthRequired}}},
        {"an answer in between wipes the first",
         {{0, ProxyTrouble::Refused, "a"}, {0, kAnswer, "b"}, {0, ProxyTrouble::Refused, "c"}},
         {}},
        {"another proxy's answer does not",
         {{0, ProxyTrouble::TimedOut, "a"}, {1, kAnswer, "a"}, {0, ProxyTrouble::NoAnswer, "b"}},
         {{0, ProxyTrouble::NoAnswer}}},
        {"silent on services nobody answers",
         {{0, ProxyTrouble::Silent, "a"},
          {0, ProxyTrouble::Silent, "b"},
          {0, ProxyTrouble::Silent, "c"},
          {0, ProxyTrouble::Silent, "d"}},
         {}},
        {"silent on three services another proxy then answered",
         {{0, ProxyTrouble::Silent, "a"},
          {1, kAnswer, "a"},
          {0, ProxyTrouble::Silent, "b"},
          {2, kAnswer, "b"},
          {0, ProxyTrouble::Silent, "c"},
          {1, kAnswer, "c"}},
         {{0, ProxyTrouble::Silent}}},
        {"other proxies answering other services prove nothing",
         {{0, ProxyTrouble::Silent, "a"},
          {0, ProxyTrouble::Silent, "b"},
          {0, ProxyTrouble::Silent, "c"},
          {1, kAnswer, "d"},
          {1, kAnswer, "e"},
          {2, kAnswer, "f"}},
         {}},
        {"one service counts once",
         {{0, ProxyTrouble::Silent, "a"},
          {1, kAnswer, "a"},
          {0, ProxyTrouble::Silent, "a"},
          {1, kAnswer, "a"},
          {0, ProxyTrouble::Silent, "b"},
          {1, kAnswer, "b"}},
         {}},
        {"its own answer wipes its silences",
         {{0, ProxyTrouble::Silent, "a"},
          {1, kAnswer, "a"},
          {0, ProxyTrouble::Silent, "b"},
          {1, kAnswer, "b"},
          {0, kAnswer, "z"},
          {0, ProxyTrouble::Silent, "c"},
          {1, kAnswer, "c"}},
         {}},
        {"every proxy, each for itself",
         {{0, ProxyTrouble::Refused, "a"},
          {1, ProxyTrouble::Refused, "a"},
          {2, ProxyTrouble::Unresolved, "a"},
          {1, ProxyTrouble::Refused, "b"},
          {2, ProxyTrouble::Unresolved, "b"},
          {0, ProxyTrouble::Refused, "b"}},
         {{1, ProxyTrouble::Refused}, {2, ProxyTrouble::Unresolved}, {0, ProxyTrouble::Refused}}},
    };
    for (const SetAsideCase& c : cases) {
        SCOPED_TRACE(c.name);
        ProxyPool pool = poolOfThree();
        for (const Event& event : c.events) {
            if (event.trouble == ProxyTrouble::None)
                pool.noteAnswer(event.proxy, event.service);
            else
                pool.noteFailure(event.proxy, event.trouble, event.service);
        }
        std::vector<std::pair<std::size_t, ProxyTrouble>> setAside;
        for (const ProxyPool::SetAside& proxy : pool.setAside()) {
            for (std::size_t at = 0; at < pool.size(); ++at) {
                if (pool.address(at) == proxy.address)
                    setAside.emplace_back(at, proxy.reason);
            }
        }
        EXPECT_EQ(setAside, c.setAside);
        EXPECT_EQ(pool.exhausted(), setAside.size() == pool.size());
    }
}

TEST(ProxyPools, TurnsSkipTheProxiesSetAsideAndThoseTheRowTried)
{
    ProxyPool pool = poolOfThree();
    EXPECT_EQ(pool.next(), 0u);
    EXPECT_EQ(pool.next(), 1u);
    EXPECT_EQ(pool.next({2}), 0u);
    EXPECT_EQ(pool.next({0, 1}), 2u);
    EXPECT_EQ(pool.next({0, 1, 2}), std::nullopt);
    pool.noteFailure(1, ProxyTrouble::Refused, "a");
    pool.noteFailure(1, ProxyTrouble::Refused, "a");
    for (int turn = 0; turn < 4; ++turn)
        EXPECT_NE(pool.next(), 1u);
    EXPECT_EQ(pool.next({0, 2}), std::nullopt);
    EXPECT_EQ(pool.given(2), "127.0.0.1:3");
    EXPECT_EQ(pool.address(2).kind, net::ProxyKind::Bare);
}

TEST(ProxyPools, LifeIsWhatAnsweredARequestLately)
{
    ProxyPool pool = poolOfThree();
    const auto before = ProxyPool::Clock::now();
    EXPECT_FALSE(pool.showsLife(0, before - std::chrono::hours(1)));
    // A probe's answer says the proxy is there, not that it carries requests.
    ASSERT_TRUE(pool.claimProbe(0));
    EXPECT_FALSE(pool.claimProbe(0)) << "one probe at a time";
    pool.endProbe(0, true);
    EXPECT_EQ(pool.waitForProbe(0, before, ProxyPool::Clock::now(), {}), true);
    EXPECT_FALSE(pool.showsLife(0, before));
    pool.noteAnswer(0, "a");
    EXPECT_TRUE(pool.showsLife(0, before));
    EXPECT_FALSE(pool.showsLife(0, ProxyPool::Clock::now() + std::chrono::seconds(1)));
    EXPECT_FALSE(pool.showsLife(1, before));
    // A probe cut short by a stop tells nothing.
    ASSERT_TRUE(pool.claimProbe(1));
    pool.endProbe(1, std::nullopt);
    EXPECT_EQ(pool.waitForProbe(1, before, ProxyPool::Clock::now(), {}), std::nullopt);
}

} // namespace
} // namespace tavrin::submit
