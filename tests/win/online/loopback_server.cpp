#include "tests/win/online/loopback_server.h"

namespace {

// A client that neither sends nor closes cannot hold the server open past this.
constexpr DWORD receiveTimeoutMs = 5000;

std::string ReadHead(SOCKET client) {
    std::string head;
    char chunk[512];
    int got = 0;
    while (head.find("\r\n\r\n") == std::string::npos && (got = recv(client, chunk, sizeof(chunk), 0)) > 0)
        head.append(chunk, got);
    return head;
}

}  // namespace

std::string HttpResponse(const std::string& status, const std::string& body) {
    return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

LoopbackServer::LoopbackServer(std::string updateResponse, bool hold)
    : updateResponse_(std::move(updateResponse)),
      released_(CreateEventW(nullptr, TRUE, !hold, nullptr)),
      stopping_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof(address);
    bind(listener_, reinterpret_cast<sockaddr*>(&address), length);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    listen(listener_, SOMAXCONN);
    acceptor_ = std::thread([this] {
        SOCKET client;
        while ((client = accept(listener_, nullptr, nullptr)) != INVALID_SOCKET) {
            std::lock_guard<std::mutex> lock(mutex_);
            clients_.emplace_back([this, client] { Serve(client); });
        }
    });
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
        bool update = head.compare(0, 18, "GET /tolk/ver.php?") == 0;
        std::string response = update ? updateResponse_ : HttpResponse("200 OK", "");
        send(client, response.data(), static_cast<int>(response.size()), 0);
        shutdown(client, SD_SEND);
        ReadHead(client);  // until the client closes, so a reset never cuts the answer short
    }
    closesocket(client);
}

std::vector<std::string> LoopbackServer::Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}
