// A tracer stand-in for programs built with QVM_DYNFLW: a Unix stream
// socket that accepts one connection and collects the lines it receives.
#pragma once

#include <filesystem>
#include <string>
#include <thread>

namespace qvm::testing {

class TracerServer {
public:
    explicit TracerServer(const std::filesystem::path& path);
    ~TracerServer();
    TracerServer(const TracerServer&) = delete;
    TracerServer& operator=(const TracerServer&) = delete;

    bool bound() const { return bound_; }
    // Everything the connection sent until it closed (nothing when no
    // program connected within 20 s).
    std::string received();

private:
    void collect();

    int listener_ = -1;
    bool bound_ = false;
    std::string received_;
    std::thread reader_;
};

}  // namespace qvm::testing
