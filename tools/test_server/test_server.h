// A small HTTP/1.1 server for tests and the demo: serves a folder on 127.0.0.1
// at an ephemeral port, keeps connections alive, logs every request, and
// injects faults per path. GET /__stats answers "connections=N". Builds with POSIX sockets and with Winsock, so a
// test under Wine can run it in its own process.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace vt::testing {

struct Fault {
    enum class Kind {
        None,
        Status,       // answer `status` with `body`
        Truncate,     // announce the whole length, send `bytes` of the body, close
        ChunkedCut,   // a chunked body cut inside its chunk, then close
        Stall,        // wait `ms` before answering (and never answer if longer than the client waits)
        Reset,        // close the connection without an answer
        Redirect,     // 302 to `location`
        Changing,     // the file's bytes followed by the request's number
        FailTimes,    // the first `count` requests get `status`, later ones the file
        Raw,          // send `body` as the whole answer, head included, then close
        Drip,         // announce the file's length, send its first `bytes` at once, then one byte every `ms` ms
    };
    Kind kind = Kind::None;
    int status = 200;
    std::string body;
    std::size_t bytes = 0;
    int ms = 0;
    int count = 0;
    std::string location;
};

struct LoggedRequest {
    std::string method;
    std::string target;
    int status = 0;
};

class TestServer {
public:
    // Files are served from `rootFolder`; port 0 picks a free one.
    explicit TestServer(std::string rootFolder, std::uint16_t port = 0);
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    std::uint16_t Port() const { return port_; }
    std::string BaseUrl() const;  // "http://127.0.0.1:PORT"

    void SetFault(const std::string& path, Fault fault);  // path as requested, "/VTupdates/x"
    void ClearFaults();
    std::vector<LoggedRequest> Requests() const;
    int RequestCount(const std::string& target) const;
    int ConnectionCount() const { return connections_.load(); }

private:
    void AcceptLoop();
    void Serve(std::intptr_t socket);  // until the connection ends; the caller closes it
    bool Answer(std::intptr_t socket, const std::string& method, const std::string& target);

    std::string root_;
    std::intptr_t listener_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    std::thread acceptor_;
    mutable std::mutex mutex_;
    std::map<std::string, Fault> faults_;
    std::map<std::string, int> served_;
    std::vector<LoggedRequest> log_;
    std::vector<std::thread> workers_;
    std::set<std::intptr_t> open_;  // connections being served, shut down at the stop
};

}  // namespace vt::testing
