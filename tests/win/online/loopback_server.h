// A real HTTP server on 127.0.0.1 (never any other address), on a port the system picks. It
// records the head (request line and headers) of every request and answers the update check
// with the response the case gives, everything else with an empty 200.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A whole HTTP/1.1 response with the given status line tail and body, closing the connection.
std::string HttpResponse(const std::string& status, const std::string& body, const std::string& extraHeaders = "");

class LoopbackServer {
public:
    // With `hold`, every request waits unanswered until Release(); connections still held
    // when the server goes away are closed without an answer.
    explicit LoopbackServer(std::string updateResponse, bool hold = false);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    unsigned short Port() const { return port_; }
    std::vector<std::string> Requests();
    // The head of the first request whose request line contains `path`, or "".
    std::string RequestFor(const std::string& path);
    bool WaitForRequests(size_t count, DWORD timeoutMs);
    void Release();

    // A port on 127.0.0.1 where nothing listens.
    static unsigned short ClosedPort();

private:
    void Accept();
    void Serve(SOCKET client);

    std::string updateResponse_;
    SOCKET listener_ = INVALID_SOCKET;
    unsigned short port_ = 0;
    HANDLE released_;
    HANDLE stopping_;
    std::thread acceptor_;
    std::mutex mutex_;
    std::vector<std::thread> clients_;
    std::vector<std::string> requests_;
};

// Whether a request head carries exactly this header line.
bool HasHeader(const std::string& head, const std::string& line);
