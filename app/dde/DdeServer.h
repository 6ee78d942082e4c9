#pragma once
// The DDE service "PKDDE", topic "TASK": other programs follow the values of
// the last reading as items "Item0", "Item1", ... (the ";"-separated fields of
// the text last posted).
//
// On this platform the service is a Unix-domain socket (mode 0600) named after
// the service, spoken with a line protocol whose requests are the DDE
// transactions (see docs/dde.md). The program has one thread: nothing here
// blocks, and the owner calls Poll() from its main loop and from the user
// interface's event processing so that transactions run between and during
// readings.
//
// Lifecycle: StartDdeServer() at start-up when the start file asks for the
// service (the caller writes "Start the DDE Server." to the event log, and on
// failure logs app.Status.LastErrorText with code 1), PostDdeData()/PostAdvise()
// after every reading, StopDdeServer() when the program closes (the caller logs
// "Stop the DDE Server."). The destructor stops a running server.

#include <memory>
#include <string>
#include <vector>

#include "core/AppContext.h"

namespace pelkor {

class DdeServer {
public:
    static constexpr const char* ServiceName = "PKDDE";
    static constexpr const char* TopicName = "TASK";

    // Limits that keep a misbehaving client from harming the program.
    static constexpr std::size_t MaxLineLength = 4096;           // one request line
    static constexpr std::size_t MaxOutputBuffered = 256 * 1024; // unread answers/pushes
    static constexpr int MaxClients = 32;

    explicit DdeServer(AppContext& app);
    ~DdeServer();
    DdeServer(const DdeServer&) = delete;
    DdeServer& operator=(const DdeServer&) = delete;

    // Where the service listens: $PELKOR_DDE_SOCKET when set, else
    // $XDG_RUNTIME_DIR/PKDDE, else /tmp/PKDDE-<uid>.
    static std::string DefaultSocketPath();

    // Registers the service at DefaultSocketPath() (or the path given by
    // SetSocketPath before). False when it already runs, when another
    // instance serves the path (LastErrorText = "A DDE server named "PKDDE"
    // with topic "TASK" is already running."), or when the socket cannot be
    // made (LastErrorText says why). A socket file left by a dead instance is
    // taken over.
    bool StartDdeServer();
    bool Start() { return StartDdeServer(); }

    // Drops every client, removes the socket file. Harmless when stopped.
    void StopDdeServer();
    void Stop() { StopDdeServer(); }

    bool Running() const { return listenFd_ >= 0; }

    // True while at least one client holds a conversation.
    bool ClientConnected() const;
    int ClientCount() const { return static_cast<int>(clients_.size()); }

    // Serves whatever is pending: new clients, requests, unsent answers.
    // Waits at most timeoutMs (0 = do not wait) for something to happen.
    // Does nothing when the server is stopped or when called from inside
    // itself.
    void Poll(int timeoutMs);

    // A reading's values (";"-separated). A non-empty text replaces the item
    // texts; then every advise link of a connected client gets its item's new
    // text, subject to the same checks as a request of that link.
    void PostDdeData(const std::string& text);
    // PostDdeData(app.Tasks[task].LastValues); tasks outside 1..MaxTasks are
    // ignored.
    void PostAdvise(int task);

    // Takes effect at the next start; for tests and the "--socket" override.
    void SetSocketPath(std::string path) { socketPath_ = std::move(path); }
    const std::string& SocketPath() const { return socketPath_; }

    // The current item texts (fields of the last non-empty posted text).
    const std::vector<std::string>& ItemTexts() const { return items_; }

private:
    struct Client;

    void acceptClients();
    void readClient(Client& c);
    void serveLines(Client& c);
    void handleLine(Client& c, const std::string& line);
    void send(Client& c, const std::string& line);
    void flush(Client& c);
    void dropClosed();
    void closeAll();

    // The item number named (topic and name checked), or -1 with the reason.
    int itemNumber(const Client& c, const std::string& itemName, std::string& why) const;
    // Whether item n is served now; request = plain request (stricter).
    bool inRange(int n, bool request, std::string& why) const;
    bool itemText(int n, std::string& text) const;

    AppContext& app_;
    std::string socketPath_;
    int listenFd_ = -1;
    int lockFd_ = -1;
    unsigned long boundDev_ = 0;
    unsigned long boundIno_ = 0;
    bool polling_ = false;
    std::vector<std::unique_ptr<Client>> clients_;
    std::vector<std::string> items_;
};

} // namespace pelkor
