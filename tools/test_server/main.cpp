// vt_test_server: the test update server as a program, for the demo, the
// benchmarks and trying the launcher by hand.
//   vt_test_server ROOT [--port N] [--latency MS] [--fault PATH=SPEC]...
//   SPEC: status:CODE | stall:MS | reset | cut:BYTES:TIMES (the first TIMES
//   answers end after BYTES of their body) | busy:TIMES:SECONDS (the first
//   TIMES answers are 503 with Retry-After: SECONDS) | noranges |
//   throttle:BYTES (BYTES a second) | singlerange | damageranges
// Serves ROOT on 127.0.0.1, prints "http://127.0.0.1:PORT" on its first line
// and serves until it is killed.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

#include "test_server.h"

namespace {

int Usage() {
    std::cerr << "usage: vt_test_server ROOT [--port N] [--latency MS] [--fault PATH=status:CODE|stall:MS|reset|"
                 "cut:BYTES:TIMES|busy:TIMES:SECONDS|noranges|throttle:BYTES|singlerange|damageranges]...\n";
    return 2;
}

bool AddFault(vt::testing::TestServer& server, const std::string& spec) {
    const std::size_t eq = spec.find('=');
    if (eq == std::string::npos) return false;
    const std::string path = spec.substr(0, eq), what = spec.substr(eq + 1);
    const std::size_t colon = what.find(':');
    const std::string kind = what.substr(0, colon);
    const int value = colon == std::string::npos ? 0 : std::atoi(what.c_str() + colon + 1);
    const std::size_t colon2 = colon == std::string::npos ? colon : what.find(':', colon + 1);
    const long long second = colon2 == std::string::npos ? 0 : std::atoll(what.c_str() + colon2 + 1);
    vt::testing::Fault fault;
    if (kind == "status") {
        fault.kind = vt::testing::Fault::Kind::Status;
        fault.status = value;
        fault.body = "<html>" + std::to_string(value) + "</html>";
    } else if (kind == "stall") {
        fault.kind = vt::testing::Fault::Kind::Stall;
        fault.ms = value;
    } else if (kind == "reset") {
        fault.kind = vt::testing::Fault::Kind::Reset;
    } else if (kind == "cut") {
        fault.kind = vt::testing::Fault::Kind::Truncate;
        fault.bytes = static_cast<std::size_t>(std::atoll(what.c_str() + colon + 1));
        fault.count = static_cast<int>(second);
    } else if (kind == "busy") {
        fault.kind = vt::testing::Fault::Kind::FailTimes;
        fault.status = 503;
        fault.count = value;
        fault.headers = "Retry-After: " + std::to_string(second) + "\r\n";
    } else if (kind == "noranges") {
        fault.kind = vt::testing::Fault::Kind::NoRanges;
    } else if (kind == "throttle") {
        fault.kind = vt::testing::Fault::Kind::Throttle;
        fault.bytes = static_cast<std::size_t>(std::atoll(what.c_str() + colon + 1));
    } else if (kind == "singlerange") {
        fault.kind = vt::testing::Fault::Kind::SingleRange;
    } else if (kind == "damageranges") {
        fault.kind = vt::testing::Fault::Kind::DamageRanges;
    } else {
        return false;
    }
    server.SetFault(path, fault);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string root = argv[1];  // the request path, "/VTupdates/...", is appended to it
    // An option where the folder goes (--help above all) is no folder to serve.
    if (root.rfind("-", 0) == 0) return Usage();
    int port = 0;
    for (int i = 2; i + 1 < argc; i += 2)
        if (std::string(argv[i]) == "--port") port = std::atoi(argv[i + 1]);
    vt::testing::TestServer server(root, static_cast<std::uint16_t>(port));
    for (int i = 2; i + 1 < argc; i += 2) {
        if (std::string(argv[i]) == "--fault" && !AddFault(server, argv[i + 1])) return Usage();
        if (std::string(argv[i]) == "--latency") server.SetLatency(std::atoi(argv[i + 1]));
    }
    if (server.Port() == 0) {
        std::cerr << "vt_test_server: cannot listen on port " << port << "\n";
        return 1;
    }
    std::cout << server.BaseUrl() << std::endl;
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}
