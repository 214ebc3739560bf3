// A real HTTP server on 127.0.0.1 (never any other address), on a port the system picks. It
// records the head (request line and headers) of every request and answers the update check
// with the response the case gives, anything else with an empty 200.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A whole HTTP/1.1 response that closes the connection.
std::string HttpResponse(const std::string& status, const std::string& body);

class LoopbackServer {
public:
    // With `hold`, requests wait unanswered until Release(); those still held when the server
    // goes away are closed without an answer.
    explicit LoopbackServer(std::string updateResponse, bool hold = false);
    ~LoopbackServer();
    unsigned short Port() const { return port_; }
    std::vector<std::string> Requests();
    void Release() { SetEvent(released_); }

private:
    void Serve(SOCKET client);

    std::string updateResponse_;
    SOCKET listener_;
    unsigned short port_ = 0;
    HANDLE released_;
    HANDLE stopping_;
    std::thread acceptor_;
    std::mutex mutex_;
    std::vector<std::thread> clients_;
    std::vector<std::string> requests_;
};
