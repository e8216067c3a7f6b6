// A small HTTP/1.1 server for tests and the demo: serves a folder on 127.0.0.1
// at an ephemeral port, keeps connections alive, logs every request, and
// injects faults per path. GET /__stats answers "connections=N", "bytes=N" and "requests=N" (before it). Builds with POSIX sockets and with Winsock, so a
// test under Wine can run it in its own process.
#pragma once

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <cstdint>
#include <string_view>
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
        Truncate,     // announce the whole length, send `bytes` of the body, close (the first `count`
                      // requests only when `count` > 0; later ones get the file); with `body`, the
                      // file is then replaced by it (a release changed while a client fetched it)
        ChunkedCut,   // a chunked body cut inside its chunk, then close
        Stall,        // wait `ms` before answering (and never answer if longer than the client waits)
        Reset,        // close the connection without an answer
        Redirect,     // 302 to `location`
        Changing,     // the file's bytes followed by the request's number
        FailTimes,    // the first `count` requests get `status`, later ones the file
        Raw,          // send `body` as the whole answer, head included, then close
        Drip,         // announce the file's length, send its first `bytes` at once, then one byte every `ms` ms
        NoRanges,     // the file, whole, as a server that knows no ranges (no Accept-Ranges, Range ignored)
        BadRange,     // a range request gets 206 with a Content-Range that is not the rest asked for
        Close,        // an orderly close without any answer (the first `count` requests only when `count` > 0)
        IgnoreIfRange,  // ranges of the file as it is now, whatever If-Range says (a careless proxy)
        NoLength,     // the file without Content-Length, its end marked by closing the connection
        Throttle,     // the file (ranges too) at `bytes` bytes per second, as a slow link delivers it
        SingleRange,  // a request for several ranges gets only the first (a server without multipart answers)
        DamageRanges, // ranges are answered with their first byte changed (a cache that mangles them)
    };
    Kind kind = Kind::None;
    int status = 200;
    std::string body;
    std::size_t bytes = 0;
    int ms = 0;
    int count = 0;
    std::string location;
    std::string headers;  // more header lines for Status and FailTimes answers ("Retry-After: 1\r\n")
};

struct LoggedRequest {
    std::string method;
    std::string target;
    int status = 0;
    std::string range;      // the Range header, when sent
    std::string ifRange;    // the If-Range header, when sent
    std::string cacheControl;  // the Cache-Control header, when sent
    std::uint64_t ms = 0;   // when it came, in ms since the server started
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
    std::uint64_t BytesSent() const { return sent_.load(); }     // everything sent, heads included
    int PeakAnswers() const { return peakAnswers_.load(); }       // most requests answered at once
    // Waits (at most `ms`) until no answer is being sent: a client can have a
    // whole body before the server has closed the file it came from, and a
    // test that rewrites that file must not meet it open.
    bool WaitUntilIdle(int ms) const;
    // Every answer waits this long first, as a server far away would.
    void SetLatency(int ms) { latencyMs_ = ms; }
    // The validator the server sends for a file: its size and last-write time.
    static std::string ETagOf(const std::string& file);

private:
    void AcceptLoop();
    void Serve(std::intptr_t socket);  // until the connection ends; the caller closes it
    bool Answer(std::intptr_t socket, const std::string& method, const std::string& target, const std::string& head);
    // A range request's answer: one range as a plain 206, several as multipart/byteranges.
    bool AnswerRanges(std::intptr_t socket, std::ifstream& in, const std::string& file, std::uint64_t fileSize,
                      const std::vector<std::pair<std::uint64_t, std::uint64_t>>& asked, const Fault& fault, bool head,
                      const std::function<void(int)>& log);
    bool SendAll(std::intptr_t socket, std::string_view data);
    bool SendUnlessStopped(std::intptr_t socket, std::string_view data);  // in pieces the socket takes at once

    std::string root_;
    std::intptr_t listener_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    std::atomic<std::uint64_t> sent_{0};
    std::atomic<int> answering_{0};
    std::atomic<int> peakAnswers_{0};
    std::atomic<int> latencyMs_{0};
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    std::thread acceptor_;
    mutable std::mutex mutex_;
    std::map<std::string, Fault> faults_;
    std::map<std::string, int> served_;
    std::vector<LoggedRequest> log_;
    std::vector<std::thread> workers_;
    std::set<std::intptr_t> open_;  // connections being served, shut down at the stop
};

}  // namespace vt::testing
