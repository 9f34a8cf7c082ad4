// A stand-in for the web, for timing whole passes over the shipped templates on this machine
// without contacting anything. It listens on 127.0.0.1 as an HTTP proxy: every request arrives
// in absolute form ("GET http://host/path?query HTTP/1.1") and is answered as if by the service
// it names, after that host's own delay. The delays are heavy-tailed like those of the real
// services: most answer within tens of milliseconds, a few take seconds, some never answer.
//
//   tavrin_web_standin --site URL [--port P] [--seed K]
//       Serves until SIGTERM or SIGINT, then prints what it counted on stderr. With --port 0
//       (the default) the kernel picks the port. The first line on stdout is
//       "listening 127.0.0.1:PORT". A request for /__stats sent to the stand-in itself (not
//       through it: curl http://127.0.0.1:PORT/__stats) answers with the same counts.
//   tavrin_web_standin --ideal --templates FILE --site URL --threads N --timeout S [--seed K]
//       Computes, without serving, the least time a pass over FILE could take against the
//       hosts that the same seed makes: max(sum of row times / threads, longest row). With
//       --per-row it first prints each row's time, kind (page, busy, never), host latency and URL.
//       With --repeat, for a later pass against a stand-in that has seen every URL once already
//       (so no busy service turns a row away).
//
// Each host behaves the same way on every run with the same seed; its behaviour is drawn from
// an FNV-1a 64 hash of the seed and the lowered host:
//   - latency: 70 % of hosts 5-50 ms, 20 % 0.1-0.5 s, 7 % 0.5-2 s, 3 % never answer (the
//     connection stays open and silent until the client closes it);
//   - about 5 % of the answering hosts are busy: the first request of each distinct URL gets
//     "503 Service Unavailable" with "Retry-After: 1" after the host's latency, later requests
//     of that URL get the page;
//   - the page (5-30 KiB of HTML: title, tables, link lists) names and links the site given by
//     --site, except on about 10 % of the hosts, whose page does neither.
//
// Raw sockets and one epoll thread rather than cpp-httplib (0.11.4, used by the other benchmark
// servers). cpp-httplib routes absolute-form targets well enough, but its handlers never learn
// that a client has closed the connection, so a host that never answers would pin a pool thread
// until some timeout of ours instead of until the client gives up, and a pass at 500 threads
// keeps hundreds of such requests open. One thread with timers holds thousands of idle
// connections at almost no CPU, which matters because the client being measured shares the
// machine's two cores. Pages are built once per host and shared by every response.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <queue>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// ---------------------------------------------------------------------------------------------
// The host model

std::uint64_t fnv1a64(std::string_view bytes, std::uint64_t hash = 0xcbf29ce484222325ULL)
{
    for (const unsigned char c : bytes) {
        hash ^= c;
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

// Independent draws from one host hash: each property of a host takes its own draw, so that
// changing one bound (say the share of busy hosts) leaves the others' hosts where they were.
double draw(std::uint64_t hostHash, std::uint64_t which)
{
    std::uint64_t z = hostHash + which * 0x9e3779b97f4a7c15ULL;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) * 0x1.0p-53;
}

std::string lowerAscii(std::string_view text)
{
    std::string lowered(text);
    for (char& c : lowered)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return lowered;
}

struct HostModel
{
    std::uint64_t hash = 0;
    bool answers = true;
    std::chrono::microseconds latency{0};
    bool busyFirst = false; // the first request of each URL gets 503 + Retry-After: 1
    std::size_t pageBytes = 0;
    bool mentionsSite = true;
};

HostModel modelHost(std::string_view host, std::uint64_t seed)
{
    HostModel model;
    const std::string seedText = std::to_string(seed) + '\n';
    model.hash = fnv1a64(lowerAscii(host), fnv1a64(seedText));
    const double band = draw(model.hash, 1);
    const double within = draw(model.hash, 2);
    double seconds = 0;
    if (band < 0.70)
        seconds = 0.005 + 0.045 * within;
    else if (band < 0.90)
        seconds = 0.1 + 0.4 * within;
    else if (band < 0.97)
        seconds = 0.5 + 1.5 * within;
    else
        model.answers = false;
    model.latency = std::chrono::microseconds(static_cast<std::int64_t>(seconds * 1e6));
    model.busyFirst = model.answers && draw(model.hash, 3) < 0.05;
    model.pageBytes = 5 * 1024 + static_cast<std::size_t>(25 * 1024 * draw(model.hash, 4));
    model.mentionsSite = draw(model.hash, 5) >= 0.10;
    return model;
}

// The host of an address, as the program takes it from the address box and as the stand-in
// keys its hosts: after "scheme://" when there is one, up to '/', '?' or '#', without
// user info or ":port", ASCII letters lowered.
std::string hostOf(std::string_view address)
{
    const std::size_t scheme = address.find("://");
    if (scheme != std::string_view::npos) {
        const std::string_view name = address.substr(0, scheme);
        const bool isScheme = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
        });
        if (isScheme)
            address.remove_prefix(scheme + 3);
    }
    address = address.substr(0, address.find_first_of("/?#"));
    if (const std::size_t at = address.rfind('@'); at != std::string_view::npos)
        address.remove_prefix(at + 1);
    address = address.substr(0, address.find(':'));
    return lowerAscii(address);
}

// ---------------------------------------------------------------------------------------------
// Pages

// A small generator for the filler, seeded by the host so that a host's page never changes.
class Filler
{
public:
    explicit Filler(std::uint64_t seed)
        : state_(seed | 1)
    {}
    std::uint64_t next()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return state_;
    }
    std::size_t below(std::size_t bound) { return static_cast<std::size_t>(next() % bound); }
    std::string_view word()
    {
        static constexpr std::string_view kWords[] = {
            "domain",  "traffic", "visitors", "ranking", "backlinks", "server",  "hosting", "keywords",
            "monthly", "daily",   "estimate", "report",  "history",   "network", "address", "records",
            "speed",   "content", "search",   "index",   "registrar", "expires", "country", "pages"};
        return kWords[below(std::size(kWords))];
    }

private:
    std::uint64_t state_;
};

std::string htmlPage(std::string_view host, const HostModel& model, std::string_view site)
{
    Filler fill(model.hash);
    std::string page;
    page.reserve(model.pageBytes + 2048);
    page += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>";
    if (model.mentionsSite)
        page.append(site).append(" - site information | ").append(host);
    else
        page.append(host).append(" - lookup service");
    page += "</title>\n<link rel=\"stylesheet\" href=\"/static/site.css\">\n</head>\n<body>\n";
    page.append("<div id=\"header\"><a href=\"/\" class=\"logo\">").append(host).append("</a>\n");
    page += "<ul class=\"menu\"><li><a href=\"/top\">Top sites</a></li><li><a href=\"/compare\">Compare</a>"
            "</li><li><a href=\"/about\">About</a></li></ul></div>\n<div id=\"content\">\n";
    if (model.mentionsSite) {
        page.append("<h1>Site information for ").append(site).append("</h1>\n");
        page.append("<p class=\"visit\">Visit <a href=\"http://")
            .append(site)
            .append("/\" rel=\"nofollow\">");
        page.append(site).append("</a></p>\n");
    } else {
        page += "<h1>Lookup</h1>\n<p>No information is available for this address yet.</p>\n";
    }
    int section = 0;
    while (page.size() < model.pageBytes) {
        ++section;
        page.append("<div class=\"box\" id=\"s").append(std::to_string(section)).append("\">\n<h2>");
        page.append(fill.word()).append(" ").append(fill.word()).append("</h2>\n");
        switch (fill.below(3)) {
        case 0: {
            page += "<table class=\"stats\">\n<tr><th>Metric</th><th>Value</th><th>Change</th></tr>\n";
            for (std::size_t row = 0, rows = 4 + fill.below(8); row < rows; ++row) {
                page.append("<tr><td>").append(fill.word()).append("</td><td>");
                page.append(std::to_string(fill.below(10000000))).append("</td><td>");
                page.append(fill.below(2) ? "+" : "-")
                    .append(std::to_string(fill.below(100)))
                    .append("%</td></tr>\n");
            }
            page += "</table>\n";
            break;
        }
        case 1: {
            page += "<ul class=\"related\">\n";
            for (std::size_t item = 0, items = 5 + fill.below(10); item < items; ++item) {
                const std::string number = std::to_string(fill.below(100000));
                page.append("<li><a href=\"/site/").append(fill.word()).append("-").append(number);
                page.append(".html\">").append(fill.word()).append(" ").append(number).append("</a></li>\n");
            }
            page += "</ul>\n";
            break;
        }
        default: {
            page += "<p>";
            for (std::size_t n = 0, words = 40 + fill.below(60); n < words; ++n)
                page.append(fill.word()).append(n + 1 < words ? " " : ".");
            page += "</p>\n";
            break;
        }
        }
        page += "</div>\n";
    }
    page.append("</div>\n<div id=\"footer\">&copy; ").append(host).append("</div>\n</body>\n</html>\n");
    return page;
}

std::string response(std::string_view statusLine, std::string_view extraHeaders, std::string_view body)
{
    std::string text = "HTTP/1.1 ";
    text.append(statusLine).append("\r\nServer: standin\r\nContent-Type: text/html; charset=utf-8\r\n");
    text.append(extraHeaders).append("Content-Length: ").append(std::to_string(body.size()));
    text.append("\r\n\r\n").append(body);
    return text;
}

// ---------------------------------------------------------------------------------------------
// Serving

struct Counts
{
    std::uint64_t connections = 0;
    std::uint64_t openNow = 0;
    std::uint64_t peakOpen = 0;
    std::uint64_t requests = 0;
    std::uint64_t pages = 0;         // 200 with the host's page
    std::uint64_t busy = 0;          // 503 + Retry-After: 1
    std::uint64_t repeats = 0;       // requests of a URL seen before (retries, duplicate rows)
    std::uint64_t held = 0;          // requests to hosts that never answer
    std::uint64_t closedWaiting = 0; // client closed before its answer was due
    std::uint64_t refused = 0;       // requests the stand-in does not serve (CONNECT, garbage)
    // How late answers went out after their due time: a stand-in that cannot keep up (the
    // machine is shared with the client) would make the client look slow.
    std::chrono::microseconds lateTotal{0};
    std::chrono::microseconds lateMax{0};
    std::uint64_t answersTimed = 0;
    // When the first request came and when the last one to a never-answering host did: a pass
    // lasts at least until that request's time limit, so the gap says how late the client
    // started its slowest rows.
    std::optional<Clock::time_point> firstRequest;
    std::optional<Clock::time_point> lastHeld;

    [[nodiscard]] std::string line(std::size_t hosts) const
    {
        const double lateAverageMs =
            answersTimed ? static_cast<double>(lateTotal.count()) / 1000.0 / static_cast<double>(answersTimed)
                         : 0.0;
        const double lastHeldSeconds =
            firstRequest && lastHeld ? std::chrono::duration<double>(*lastHeld - *firstRequest).count() : 0.0;
        char text[512];
        std::snprintf(text, sizeof text,
                      "standin stats: requests=%llu pages=%llu busy_503=%llu repeats=%llu held=%llu "
                      "closed_waiting=%llu refused=%llu hosts=%zu connections=%llu open=%llu peak_open=%llu "
                      "late_avg_ms=%.2f late_max_ms=%.1f last_held_s=%.3f cpu_s=%.2f\n",
                      n(requests), n(pages), n(busy), n(repeats), n(held), n(closedWaiting), n(refused),
                      hosts, n(connections), n(openNow), n(peakOpen), lateAverageMs,
                      static_cast<double>(lateMax.count()) / 1000.0, lastHeldSeconds, cpuSeconds());
        return text;
    }

    static unsigned long long n(std::uint64_t count) { return count; }

    static double cpuSeconds()
    {
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        const auto seconds = [](const timeval& time) {
            return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
        };
        return seconds(usage.ru_utime) + seconds(usage.ru_stime);
    }
};

struct Connection
{
    enum class State
    {
        Reading, // parsing the next request
        Waiting, // an answer is due at a timer
        Writing, // sending the answer, waiting for the socket when it did not take it at once
        Holding, // a host that never answers: read and drop until the client closes
    };
    int fd = -1;
    std::uint64_t id = 0; // tells a timer whether this is still the connection it was set for
    State state = State::Reading;
    std::string input;
    bool closeAfterAnswer = false;
    // The answer: shared pages are not copied per response.
    std::shared_ptr<const std::string> answer;
    std::size_t sent = 0;
};

struct Timer
{
    Clock::time_point due;
    int fd;
    std::uint64_t id;
    bool operator>(const Timer& other) const { return due > other.due; }
};

constexpr std::size_t kMaxInput = 1 << 20;
constexpr std::size_t kMaxHeader = 64 * 1024;

class WebStandin
{
public:
    WebStandin(std::string site, std::uint64_t seed)
        : site_(std::move(site))
        , seed_(seed)
        , busyAnswer_(std::make_shared<const std::string>(response(
              "503 Service Unavailable", "Retry-After: 1\r\n",
              "<html><head><title>Service Unavailable</title></head><body><h1>Service Unavailable</h1>"
              "<p>The server is busy. Please try again in a moment.</p></body></html>\n")))
        , refusedAnswer_(std::make_shared<const std::string>(
              response("501 Not Implemented", "Connection: close\r\n", "not served here\n")))
        , ownPageAnswer_(std::make_shared<const std::string>(
              response("400 Bad Request", "", "a proxy: ask for http://HOST/PATH through it\n")))
    {}

    // Binds 127.0.0.1:port (0: any free port); returns the port, or 0 on failure.
    int listenOn(int port)
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (listener_ < 0)
            return 0;
        const int on = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener_, SOMAXCONN) != 0)
            return 0;
        socklen_t length = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        ownAddress_ = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
        return ntohs(address.sin_port);
    }

    // Serves until SIGTERM or SIGINT.
    int run()
    {
        sigset_t stopSignals;
        sigemptyset(&stopSignals);
        sigaddset(&stopSignals, SIGTERM);
        sigaddset(&stopSignals, SIGINT);
        sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
        const int signals = ::signalfd(-1, &stopSignals, SFD_NONBLOCK | SFD_CLOEXEC);
        ::signal(SIGPIPE, SIG_IGN);
        // A descriptor kept in reserve: when the process runs out, it is given up to accept and
        // close the waiting connection, so the listener does not stay readable forever.
        spare_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);

        epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
        watch(listener_, EPOLLIN);
        watch(signals, EPOLLIN);

        std::vector<epoll_event> events(1024);
        for (;;) {
            const int ready = ::epoll_wait(epoll_, events.data(), static_cast<int>(events.size()), waitMs());
            if (ready < 0 && errno != EINTR) {
                std::perror("epoll_wait");
                return 1;
            }
            for (int i = 0; i < ready; ++i) {
                const int fd = events[i].data.fd;
                if (fd == listener_)
                    acceptAll();
                else if (fd == signals) {
                    std::fputs(counts_.line(hosts_.size()).c_str(), stderr);
                    return 0;
                } else
                    onSocket(fd, events[i].events);
            }
            fireDueTimers();
        }
    }

private:
    void watch(int fd, std::uint32_t events)
    {
        epoll_event event{};
        event.events = events;
        event.data.fd = fd;
        ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event);
    }

    void rewatch(int fd, std::uint32_t events)
    {
        epoll_event event{};
        event.events = events;
        event.data.fd = fd;
        ::epoll_ctl(epoll_, EPOLL_CTL_MOD, fd, &event);
    }

    // Milliseconds until the earliest timer, rounded up so that no answer goes out early.
    int waitMs() const
    {
        if (timers_.empty())
            return -1;
        const auto left = timers_.top().due - Clock::now();
        if (left <= Clock::duration::zero())
            return 0;
        return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
    }

    void acceptAll()
    {
        for (;;) {
            const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) {
                if ((errno == EMFILE || errno == ENFILE) && spare_ >= 0) {
                    ::close(spare_);
                    const int dropped = ::accept(listener_, nullptr, nullptr);
                    if (dropped >= 0)
                        ::close(dropped);
                    spare_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
                    continue;
                }
                return;
            }
            const int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            if (static_cast<std::size_t>(fd) >= connections_.size())
                connections_.resize(static_cast<std::size_t>(fd) + 1);
            auto connection = std::make_unique<Connection>();
            connection->fd = fd;
            connection->id = ++lastId_;
            connections_[static_cast<std::size_t>(fd)] = std::move(connection);
            ++counts_.connections;
            counts_.peakOpen = std::max(counts_.peakOpen, ++counts_.openNow);
            watch(fd, EPOLLIN | EPOLLRDHUP);
        }
    }

    void closeConnection(Connection& connection)
    {
        if (connection.state == Connection::State::Waiting)
            ++counts_.closedWaiting;
        ::close(connection.fd);
        --counts_.openNow;
        connections_[static_cast<std::size_t>(connection.fd)].reset();
    }

    void onSocket(int fd, std::uint32_t events)
    {
        Connection* connection = static_cast<std::size_t>(fd) < connections_.size()
                                     ? connections_[static_cast<std::size_t>(fd)].get()
                                     : nullptr;
        if (connection == nullptr)
            return;
        if (events & EPOLLOUT) {
            if (!writeAnswer(*connection))
                return;
        }
        if (events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) {
            // Always read, whatever the state: the socket is level-triggered, and reading is
            // how a client's close is noticed while its answer is still due or never coming.
            char buffer[16384];
            for (;;) {
                const ssize_t got = ::read(fd, buffer, sizeof buffer);
                if (got > 0) {
                    if (connection->state == Connection::State::Holding)
                        continue;
                    connection->input.append(buffer, static_cast<std::size_t>(got));
                    if (connection->input.size() > kMaxInput) {
                        closeConnection(*connection);
                        return;
                    }
                    continue;
                }
                if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                    closeConnection(*connection);
                    return;
                }
                if (errno == EINTR)
                    continue;
                break;
            }
            if (connection->state == Connection::State::Reading)
                takeRequest(*connection);
        }
    }

    // Parses the next complete request in the input, if any, and sets up its answer.
    void takeRequest(Connection& connection)
    {
        const std::size_t headerEnd = connection.input.find("\r\n\r\n");
        if (headerEnd == std::string::npos) {
            if (connection.input.size() > kMaxHeader)
                closeConnection(connection);
            return;
        }
        const std::string_view head(connection.input.data(), headerEnd);
        const std::size_t lineEnd = head.find("\r\n");
        const std::string_view requestLine = head.substr(0, lineEnd);
        const std::string_view headers =
            lineEnd == std::string_view::npos ? std::string_view{} : head.substr(lineEnd + 2);
        const std::size_t firstSpace = requestLine.find(' ');
        const std::size_t lastSpace = requestLine.rfind(' ');
        if (firstSpace == std::string_view::npos || lastSpace <= firstSpace) {
            refuse(connection);
            return;
        }
        const std::string_view method = requestLine.substr(0, firstSpace);
        const std::string target(requestLine.substr(firstSpace + 1, lastSpace - firstSpace - 1));
        const std::string_view version = requestLine.substr(lastSpace + 1);

        std::size_t bodyBytes = 0;
        if (const std::optional<std::string_view> length = header(headers, "content-length")) {
            if (std::from_chars(length->data(), length->data() + length->size(), bodyBytes).ec !=
                    std::errc{} ||
                bodyBytes > kMaxInput) {
                refuse(connection);
                return;
            }
        }
        if (header(headers, "transfer-encoding") || method == "CONNECT") {
            refuse(connection);
            return;
        }
        if (connection.input.size() < headerEnd + 4 + bodyBytes)
            return; // the body is still on its way
        const std::optional<std::string_view> connectionHeader = header(headers, "connection");
        const std::string connectionValue = lowerAscii(connectionHeader.value_or(""));
        connection.closeAfterAnswer = version == "HTTP/1.0"
                                          ? connectionValue.find("keep-alive") == std::string::npos
                                          : connectionValue.find("close") != std::string::npos;
        const std::string hostHeader(header(headers, "host").value_or(""));
        connection.input.erase(0, headerEnd + 4 + bodyBytes);

        // Questions to the stand-in itself come in origin form.
        if (target == "/__stats") {
            connection.answer =
                std::make_shared<const std::string>(response("200 OK", "", counts_.line(hosts_.size())));
            startWriting(connection);
            return;
        }
        const bool absolute = target.size() > 7 && lowerAscii(target.substr(0, 7)) == "http://";
        // Any other page of the stand-in's own is answered as a proxy answers one: at once, with
        // an error page. The program asks for one to tell a working proxy from a hanging one.
        if (!absolute && lowerAscii(hostHeader) == ownAddress_) {
            connection.answer = ownPageAnswer_;
            startWriting(connection);
            return;
        }
        const std::string host = absolute ? hostOf(target) : hostOf(hostHeader);
        if (host.empty()) {
            refuse(connection);
            return;
        }
        ++counts_.requests;
        if (!counts_.firstRequest)
            counts_.firstRequest = Clock::now();
        const HostState& state = hostState(host);
        // A URL is its host and what follows it, however the host was spelt or reached.
        const std::string url =
            host + (absolute ? target.substr(std::min(target.find('/', 7), target.size())) : target);
        const bool firstOfUrl = seenUrls_.insert(url).second;
        if (!firstOfUrl)
            ++counts_.repeats;
        if (!state.model.answers) {
            ++counts_.held;
            counts_.lastHeld = Clock::now();
            connection.state = Connection::State::Holding;
            connection.input.clear();
            return;
        }
        if (state.model.busyFirst && firstOfUrl) {
            ++counts_.busy;
            connection.answer = busyAnswer_;
        } else {
            ++counts_.pages;
            connection.answer = state.answer;
        }
        connection.state = Connection::State::Waiting;
        timers_.push({Clock::now() + state.model.latency, connection.fd, connection.id});
    }

    struct HostState
    {
        HostModel model;
        std::shared_ptr<const std::string> answer;
    };

    // The host's model and ready-made answer, built the first time the host is asked for.
    const HostState& hostState(const std::string& host)
    {
        auto found = hosts_.find(host);
        if (found == hosts_.end()) {
            HostState state;
            state.model = modelHost(host, seed_);
            if (state.model.answers)
                state.answer = std::make_shared<const std::string>(
                    response("200 OK", "", htmlPage(host, state.model, site_)));
            found = hosts_.emplace(host, std::move(state)).first;
        }
        return found->second;
    }

    static std::optional<std::string_view> header(std::string_view headers, std::string_view lowerName)
    {
        while (!headers.empty()) {
            const std::size_t end = headers.find("\r\n");
            const std::string_view line = headers.substr(0, end);
            const std::size_t colon = line.find(':');
            if (colon != std::string_view::npos && colon == lowerName.size() &&
                lowerAscii(line.substr(0, colon)) == lowerName) {
                std::string_view value = line.substr(colon + 1);
                while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
                    value.remove_prefix(1);
                while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
                    value.remove_suffix(1);
                return value;
            }
            if (end == std::string_view::npos)
                break;
            headers.remove_prefix(end + 2);
        }
        return std::nullopt;
    }

    void refuse(Connection& connection)
    {
        ++counts_.refused;
        connection.input.clear();
        connection.closeAfterAnswer = true;
        connection.answer = refusedAnswer_;
        startWriting(connection);
    }

    void fireDueTimers()
    {
        const Clock::time_point now = Clock::now();
        while (!timers_.empty() && timers_.top().due <= now) {
            const Timer timer = timers_.top();
            timers_.pop();
            const auto index = static_cast<std::size_t>(timer.fd);
            Connection* connection = index < connections_.size() ? connections_[index].get() : nullptr;
            if (connection == nullptr || connection->id != timer.id ||
                connection->state != Connection::State::Waiting)
                continue; // the client left before its answer was due
            const auto late = std::chrono::duration_cast<std::chrono::microseconds>(now - timer.due);
            counts_.lateTotal += late;
            counts_.lateMax = std::max(counts_.lateMax, late);
            ++counts_.answersTimed;
            startWriting(*connection);
        }
    }

    void startWriting(Connection& connection)
    {
        connection.state = Connection::State::Writing;
        connection.sent = 0;
        writeAnswer(connection);
    }

    // Writes what the socket takes of the answer; returns false when the connection is gone.
    bool writeAnswer(Connection& connection)
    {
        if (connection.state != Connection::State::Writing)
            return true;
        // Taking a pipelined request below may end in closing the connection, so it is looked
        // up again afterwards by descriptor and id rather than through the reference.
        const auto fd = static_cast<std::size_t>(connection.fd);
        const std::uint64_t id = connection.id;
        const std::string& answer = *connection.answer;
        while (connection.sent < answer.size()) {
            const ssize_t put = ::send(connection.fd, answer.data() + connection.sent,
                                       answer.size() - connection.sent, MSG_NOSIGNAL);
            if (put > 0) {
                connection.sent += static_cast<std::size_t>(put);
                continue;
            }
            if (put < 0 && errno == EINTR)
                continue;
            if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                rewatch(connection.fd, EPOLLIN | EPOLLRDHUP | EPOLLOUT);
                return true;
            }
            closeConnection(connection);
            return false;
        }
        rewatch(connection.fd, EPOLLIN | EPOLLRDHUP);
        connection.answer.reset();
        if (connection.closeAfterAnswer) {
            closeConnection(connection);
            return false;
        }
        connection.state = Connection::State::Reading;
        // A request that came in behind this one (pipelining) is taken now.
        if (!connection.input.empty())
            takeRequest(connection);
        return connections_[fd] != nullptr && connections_[fd]->id == id;
    }

    std::string site_;
    std::uint64_t seed_;
    std::shared_ptr<const std::string> busyAnswer_;
    std::shared_ptr<const std::string> refusedAnswer_;
    // The answer to a request for a page of the stand-in itself, and its address as a Host line
    // names it.
    std::shared_ptr<const std::string> ownPageAnswer_;
    std::string ownAddress_;
    int listener_ = -1;
    int epoll_ = -1;
    int spare_ = -1;
    std::uint64_t lastId_ = 0;
    std::vector<std::unique_ptr<Connection>> connections_; // indexed by descriptor
    std::priority_queue<Timer, std::vector<Timer>, std::greater<>> timers_;
    std::unordered_map<std::string, HostState> hosts_;
    std::unordered_set<std::string> seenUrls_;
    Counts counts_;
};

// ---------------------------------------------------------------------------------------------
// The ideal pass

// The template file's lines as the program reads them: GBK, CR LF between lines, a final CR LF
// adding no line, zero bytes at the end ignored.
std::optional<std::vector<std::string>> readTemplates(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    while (!bytes.empty() && bytes.back() == '\0')
        bytes.pop_back();
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(bytes.substr(start));
            break;
        }
        lines.push_back(bytes.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::string replaceAll(std::string text, std::string_view from, std::string_view to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// What a row costs at best against the model, in seconds, with a time limit of `limit`.
double rowSeconds(const HostModel& host, bool busy, double limit)
{
    if (!host.answers)
        return limit;
    const double latency = std::chrono::duration<double>(host.latency).count();
    if (!busy)
        return std::min(latency, limit);
    if (latency >= limit)
        return limit;
    // Retry-After: 1 does not fit what is left of the limit: the row ends with the 503.
    if (limit - latency < 1.0)
        return latency;
    return std::min(latency + 1.0 + latency, limit);
}

int printIdeal(const std::string& templatesPath, const std::string& siteHost, int threads, double limit,
               std::uint64_t seed, bool perRow, bool repeat)
{
    const std::optional<std::vector<std::string>> lines = readTemplates(templatesPath);
    if (!lines) {
        std::fprintf(stderr, "cannot read %s\n", templatesPath.c_str());
        return 2;
    }
    // "格式如：" in GBK, removed wherever it appears.
    static constexpr std::string_view kFormatMarker = "\xb8\xf1\xca\xbd\xc8\xe7\xa3\xba";
    std::unordered_map<std::string, HostModel> models;
    std::unordered_map<std::string, int> rowsPerHost;
    std::unordered_set<std::string> seenUrls;
    double total = 0;
    double longest = 0;
    int neverRows = 0;
    int busyRows = 0;
    for (const std::string& line : *lines) {
        const std::string url = replaceAll(replaceAll(line, kFormatMarker, ""), "{$url}", siteHost);
        const std::string host = hostOf(url);
        auto found = models.find(host);
        if (found == models.end())
            found = models.emplace(host, modelHost(host, seed)).first;
        const HostModel& model = found->second;
        ++rowsPerHost[host];
        // Only the first request of a URL is turned away; a repeated row is served at once.
        const bool busy = !repeat && model.answers && model.busyFirst && seenUrls.insert(url).second;
        neverRows += model.answers ? 0 : 1;
        busyRows += busy ? 1 : 0;
        const double cost = rowSeconds(model, busy, limit);
        if (perRow) {
            const char* kind = !model.answers ? "never" : busy ? "busy" : "page";
            std::printf("row %.3f %s %.3f %s\n", cost, kind,
                        std::chrono::duration<double>(model.latency).count(), url.c_str());
        }
        total += cost;
        longest = std::max(longest, cost);
    }
    const double ideal = std::max(total / threads, longest);
    std::printf("rows=%zu hosts=%zu never_rows=%d busy_rows=%d threads=%d timeout=%g seed=%llu\n",
                lines->size(), models.size(), neverRows, busyRows, threads, limit,
                static_cast<unsigned long long>(seed));
    // The host with the most rows weighs most on the sum (one has a quarter of the shipped
    // templates), so how the seed made it explains much of a figure.
    const auto largest = std::max_element(rowsPerHost.begin(), rowsPerHost.end(),
                                          [](const auto& a, const auto& b) { return a.second < b.second; });
    if (largest != rowsPerHost.end()) {
        const HostModel& model = models.at(largest->first);
        char latency[32] = "never";
        if (model.answers)
            std::snprintf(latency, sizeof latency, "%.1f",
                          static_cast<double>(model.latency.count()) / 1000.0);
        std::printf("largest_host_rows=%d latency_ms=%s busy=%s\n", largest->second, latency,
                    model.busyFirst ? "yes" : "no");
    }
    std::printf("total_s=%.3f longest_s=%.3f ideal_s=%.3f\n", total, longest, ideal);
    return 0;
}

// ---------------------------------------------------------------------------------------------

void usage(const char* program)
{
    std::fprintf(stderr,
                 "usage: %s --site URL [--port P] [--seed K]\n"
                 "       %s --ideal --templates FILE --site URL --threads N --timeout S [--seed K] "
                 "[--per-row] [--repeat]\n",
                 program, program);
}

// Enough descriptors for every worker's connection, the churn of closed ones, and the
// never-answering hosts that keep theirs open until the client gives up.
void raiseDescriptorLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

template <typename Number> bool parseNumber(std::string_view text, Number& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc{} && end == text.data() + text.size();
}

} // namespace

int main(int argc, char** argv)
{
    bool ideal = false;
    std::string site;
    std::string templates;
    int port = 0;
    int threads = 0;
    double timeout = 0;
    std::uint64_t seed = 1;
    bool perRow = false;
    bool repeat = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        const bool hasValue = i + 1 < argc;
        bool ok = true;
        if (option == "--ideal")
            ideal = true;
        else if (option == "--per-row")
            perRow = true;
        else if (option == "--repeat")
            repeat = true;
        else if (option == "--site" && hasValue)
            site = argv[++i];
        else if (option == "--templates" && hasValue)
            templates = argv[++i];
        else if (option == "--port" && hasValue)
            ok = parseNumber(argv[++i], port) && port >= 0 && port < 65536;
        else if (option == "--threads" && hasValue)
            ok = parseNumber(argv[++i], threads) && threads > 0;
        else if (option == "--timeout" && hasValue)
            ok = parseNumber(argv[++i], timeout) && timeout >= 0;
        else if (option == "--seed" && hasValue)
            ok = parseNumber(argv[++i], seed);
        else
            ok = false;
        if (!ok) {
            usage(argv[0]);
            return 2;
        }
    }
    const std::string siteHost = hostOf(site);
    if (siteHost.empty() || (ideal && (templates.empty() || threads == 0))) {
        usage(argv[0]);
        return 2;
    }
    if (ideal) {
        // A limit of 0 means the program's default of 90 seconds.
        return printIdeal(templates, siteHost, threads, timeout > 0 ? timeout : 90.0, seed, perRow, repeat);
    }

    raiseDescriptorLimit();
    WebStandin standin(siteHost, seed);
    const int bound = standin.listenOn(port);
    if (bound == 0) {
        std::fprintf(stderr, "cannot listen on 127.0.0.1:%d: %s\n", port, std::strerror(errno));
        return 1;
    }
    std::printf("listening 127.0.0.1:%d\n", bound);
    std::fflush(stdout);
    return standin.run();
}
