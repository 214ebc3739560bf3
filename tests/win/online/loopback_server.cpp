#include "tests/win/online/loopback_server.h"

#include <ws2tcpip.h>

namespace {

constexpr char endOfHead[] = "\r\n\r\n";
constexpr char updatePath[] = "/tolk/ver.php";
// A client that neither sends nor closes cannot hold the server open past this.
constexpr DWORD receiveTimeoutMs = 5000;

SOCKET LoopbackSocket() {
    return socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
}

// Binds to 127.0.0.1 on a port the system chooses and returns that port.
unsigned short BindLoopback(SOCKET s) {
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) return 0;
    int length = sizeof(address);
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

std::string ReadHead(SOCKET client) {
    std::string head;
    char chunk[512];
    while (head.find(endOfHead) == std::string::npos) {
        int got = recv(client, chunk, sizeof(chunk), 0);
        if (got <= 0) break;
        head.append(chunk, got);
    }
    return head;
}

}  // namespace

std::string HttpResponse(const std::string& status, const std::string& body, const std::string& extraHeaders) {
    return "HTTP/1.1 " + status + "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n" + extraHeaders + "\r\n" + body;
}

bool HasHeader(const std::string& head, const std::string& line) {
    return head.find("\r\n" + line + "\r\n") != std::string::npos;
}

LoopbackServer::LoopbackServer(std::string updateResponse, bool hold)
    : updateResponse_(std::move(updateResponse)),
      released_(CreateEventW(nullptr, TRUE, !hold, nullptr)),
      stopping_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = LoopbackSocket();
    port_ = BindLoopback(listener_);
    listen(listener_, SOMAXCONN);
    acceptor_ = std::thread([this] { Accept(); });
}

LoopbackServer::~LoopbackServer() {
    SetEvent(stopping_);
    closesocket(listener_);
    acceptor_.join();
    for (std::thread& client : clients_) client.join();
    CloseHandle(released_);
    CloseHandle(stopping_);
    WSACleanup();
}

void LoopbackServer::Accept() {
    for (;;) {
        SOCKET client = accept(listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET) return;
        std::lock_guard<std::mutex> lock(mutex_);
        clients_.emplace_back([this, client] { Serve(client); });
    }
}

void LoopbackServer::Serve(SOCKET client) {
    DWORD timeout = receiveTimeoutMs;
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof(timeout));
    std::string head = ReadHead(client);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(head);
    }
    HANDLE events[] = {stopping_, released_};
    if (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        std::string requestLine = head.substr(0, head.find("\r\n"));
        std::string response = requestLine.find(updatePath) != std::string::npos ? updateResponse_ : HttpResponse("200 OK", "");
        send(client, response.data(), static_cast<int>(response.size()), 0);
        shutdown(client, SD_SEND);
        ReadHead(client);  // until the client closes, so the answer is never cut off by a reset
    }
    closesocket(client);
}

std::vector<std::string> LoopbackServer::Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::string LoopbackServer::RequestFor(const std::string& path) {
    for (const std::string& head : Requests())
        if (head.substr(0, head.find("\r\n")).find(path) != std::string::npos) return head;
    return "";
}

bool LoopbackServer::WaitForRequests(size_t count, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (Requests().size() < count) {
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(10);
    }
    return true;
}

void LoopbackServer::Release() {
    SetEvent(released_);
}

unsigned short LoopbackServer::ClosedPort() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET s = LoopbackSocket();
    unsigned short port = BindLoopback(s);
    closesocket(s);
    WSACleanup();
    return port;
}
