// A local HTTP server for the benchmarks: /fast/... answers at once with a small page,
// /slow/... after 100 ms. Listens on 127.0.0.1 only, on the port given, until killed.
//   tavrin_bench_server PORT
#include <httplib.h>

#include <sys/socket.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace {

// cpp-httplib listens with a backlog of 5; dozens of clients connecting at once need more.
class BenchServer : public httplib::Server
{
public:
    void widenBacklog() { ::listen(svr_sock_, SOMAXCONN); }
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s PORT\n", argv[0]);
        return 2;
    }
    const int port = std::stoi(argv[1]);
    BenchServer server;
    server.new_task_queue = [] { return new httplib::ThreadPool(200); };
    server.set_keep_alive_max_count(1000000);
    // Without it, a reply written in two pieces waits for the client's delayed acknowledgement.
    server.set_tcp_nodelay(true);
    const std::string page = "<html><body>site information for the queried domain</body></html>";
    server.Get(R"(/fast/.*)",
               [&](const httplib::Request&, httplib::Response& res) { res.set_content(page, "text/html"); });
    server.Get(R"(/slow/.*)", [&](const httplib::Request&, httplib::Response& res) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        res.set_content(page, "text/html");
    });
    if (!server.bind_to_port("127.0.0.1", port)) {
        std::fprintf(stderr, "cannot listen on 127.0.0.1:%d\n", port);
        return 1;
    }
    server.widenBacklog();
    server.listen_after_bind();
    return 0;
}
