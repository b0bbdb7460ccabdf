#include "support/tracer_server.h"

#include <cstdio>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace qvm::testing {

TracerServer::TracerServer(const std::filesystem::path& path)
{
    listener_ = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    bound_ = bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(listener_, 1) == 0;
    reader_ = std::thread([this] { collect(); });
}

TracerServer::~TracerServer()
{
    if (reader_.joinable()) {
        reader_.join();
    }
    close(listener_);
}

std::string TracerServer::received()
{
    if (reader_.joinable()) {
        reader_.join();
    }
    return received_;
}

void TracerServer::collect()
{
    pollfd waiting = {listener_, POLLIN, 0};
    if (!bound_ || poll(&waiting, 1, 20000) != 1) {
        return;
    }
    const int connection = accept(listener_, nullptr, nullptr);
    char buffer[4096];
    ssize_t n;
    while ((n = read(connection, buffer, sizeof buffer)) > 0) {
        received_.append(buffer, static_cast<std::size_t>(n));
    }
    close(connection);
}

}  // namespace qvm::testing
