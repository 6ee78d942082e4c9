#include "dde/DdeServer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>

#include "dde/DdeProtocol.h"
#include "util/Number.h"
#include "util/Text.h"

namespace pelkor {

namespace {

// Names are read into a 255-character buffer (254 characters and the NUL).
constexpr std::size_t MaxNameLength = 254;
// Per client and Poll: how much is read and how many requests are served, so
// one chatty client cannot hold up the program's single thread.
constexpr std::size_t ReadChunk = 16 * 1024;
constexpr int RequestsPerPoll = 256;
constexpr int AcceptsPerPoll = 16;
constexpr std::size_t InputBacklog = 64 * 1024;

std::string ErrnoText(int err) {
    return std::strerror(err);
}

bool FillAddress(const std::string& path, sockaddr_un& addr) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path, path.data(), path.size());
    return true;
}

// True when a live server accepts connections at path. A full backlog
// (EAGAIN) still means someone is serving there.
bool SomeoneServes(const std::string& path) {
    sockaddr_un addr;
    if (!FillAddress(path, addr)) return false;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    int rc = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    int err = errno;
    close(fd);
    return rc == 0 || err == EAGAIN || err == EINPROGRESS;
}

std::string Quoted(const std::string& s) {
    return "\"" + s + "\"";
}

} // namespace

struct DdeServer::Client {
    int fd = -1;
    std::string in;
    std::string out;
    bool conversation = false;
    std::string topic;
    std::set<int> links; // advised item numbers
    bool eof = false;
    bool closing = false;
};

DdeServer::DdeServer(AppContext& app) : app_(app) {}

DdeServer::~DdeServer() {
    StopDdeServer();
}

std::string DdeServer::DefaultSocketPath() {
    return dde::SocketPathFromEnvironment();
}

bool DdeServer::StartDdeServer() {
    if (Running()) {
        app_.Status.LastErrorText = "The DDE server is already running.";
        return false;
    }
    if (socketPath_.empty()) socketPath_ = DefaultSocketPath();
    const std::string& path = socketPath_;
    const std::string already = "A DDE server named " + Quoted(ServiceName) + " with topic " +
                                Quoted(TopicName) + " is already running.";
    auto fail = [&](const std::string& why) {
        app_.Status.LastErrorText = "The DDE server cannot start: " + why;
        if (lockFd_ >= 0) close(lockFd_);
        lockFd_ = -1;
        return false;
    };

    sockaddr_un addr;
    if (!FillAddress(path, addr)) return fail("the socket path " + Quoted(path) + " is too long.");
    if (SomeoneServes(path)) {
        app_.Status.LastErrorText = already;
        return false;
    }

    // The lock decides between two instances starting at the same moment, and
    // tells a socket file of a dead instance from a live one.
    const std::string lockPath = path + ".lock";
    lockFd_ = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lockFd_ < 0) return fail("cannot open " + Quoted(lockPath) + ": " + ErrnoText(errno));
    struct stat st;
    if (fstat(lockFd_, &st) != 0 || st.st_uid != getuid())
        return fail(Quoted(lockPath) + " belongs to another user.");
    if (flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK)
            return fail("cannot lock " + Quoted(lockPath) + ": " + ErrnoText(errno));
        close(lockFd_);
        lockFd_ = -1;
        app_.Status.LastErrorText = already;
        return false;
    }

    if (lstat(path.c_str(), &st) == 0) {
        // Only our own dead socket is removed, never another kind of file.
        if (!S_ISSOCK(st.st_mode) || st.st_uid != getuid())
            return fail(Quoted(path) + " exists and is not a socket of this user.");
        if (unlink(path.c_str()) != 0)
            return fail("cannot remove the old socket " + Quoted(path) + ": " + ErrnoText(errno));
    }

    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return fail("cannot create a socket: " + ErrnoText(errno));
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        int err = errno;
        close(fd);
        return fail("cannot bind " + Quoted(path) + ": " + ErrnoText(err));
    }
    // Nobody can connect before listen(), so the mode is set in time.
    if (chmod(path.c_str(), 0600) != 0 || listen(fd, 16) != 0) {
        int err = errno;
        close(fd);
        unlink(path.c_str());
        return fail("cannot listen on " + Quoted(path) + ": " + ErrnoText(err));
    }
    if (stat(path.c_str(), &st) == 0) {
        boundDev_ = st.st_dev;
        boundIno_ = st.st_ino;
    }
    listenFd_ = fd;
    return true;
}

void DdeServer::StopDdeServer() {
    closeAll();
    if (listenFd_ >= 0) {
        close(listenFd_);
        listenFd_ = -1;
        // Remove the socket file only when it is still the one we made.
        struct stat st;
        if (stat(socketPath_.c_str(), &st) == 0 && st.st_dev == boundDev_ && st.st_ino == boundIno_)
            unlink(socketPath_.c_str());
    }
    // The lock file stays: removing it would let two later instances lock
    // different files.
    if (lockFd_ >= 0) {
        close(lockFd_);
        lockFd_ = -1;
    }
}

bool DdeServer::ClientConnected() const {
    for (const auto& c : clients_)
        if (c->conversation && !c->closing) return true;
    return false;
}

void DdeServer::Poll(int timeoutMs) {
    if (!Running() || polling_) return;
    polling_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{polling_};

    // Lines already read but not yet served must not wait for new input.
    bool pending = false;
    for (const auto& c : clients_)
        if (c->in.find('\n') != std::string::npos) pending = true;

    std::vector<pollfd> fds;
    fds.push_back({listenFd_, POLLIN, 0});
    for (const auto& c : clients_)
        fds.push_back({c->fd, static_cast<short>(POLLIN | (c->out.empty() ? 0 : POLLOUT)), 0});
    int wait = pending || timeoutMs < 0 ? 0 : timeoutMs;
    if (poll(fds.data(), fds.size(), wait) < 0) {
        if (errno != EINTR) return;
        for (auto& p : fds)
            p.revents = 0;
    }

    for (std::size_t i = 0; i < clients_.size(); ++i) {
        Client& c = *clients_[i];
        short ev = fds[i + 1].revents;
        if (ev & POLLOUT) flush(c);
        if (ev & (POLLIN | POLLHUP | POLLERR)) readClient(c);
        serveLines(c);
    }
    // Clients that left make room before new ones are counted.
    dropClosed();
    if (fds[0].revents & POLLIN) acceptClients();
}

void DdeServer::acceptClients() {
    for (int i = 0; i < AcceptsPerPoll; ++i) {
        int fd = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        ucred cred{};
        socklen_t len = sizeof cred;
        if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 ||
            (cred.uid != getuid() && cred.uid != 0)) {
            close(fd);
            continue;
        }
        auto c = std::make_unique<Client>();
        c->fd = fd;
        if (static_cast<int>(clients_.size()) >= MaxClients) {
            static const char msg[] = "ERR too many clients\n";
            (void)!::send(fd, msg, sizeof msg - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
            close(fd);
            continue;
        }
        clients_.push_back(std::move(c));
    }
}

void DdeServer::readClient(Client& c) {
    char buf[4096];
    std::size_t total = 0;
    // Reading stops while a backlog of unserved requests is waiting, so a
    // flood cannot grow the buffer without bound.
    while (!c.closing && !c.eof && total < ReadChunk && c.in.size() < InputBacklog) {
        ssize_t n = recv(c.fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n > 0) {
            c.in.append(buf, static_cast<std::size_t>(n));
            total += static_cast<std::size_t>(n);
            std::size_t nl = c.in.rfind('\n');
            std::size_t tail = nl == std::string::npos ? c.in.size() : c.in.size() - nl - 1;
            if (tail > MaxLineLength) {
                send(c, "ERR line too long");
                c.closing = true;
            }
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        if (n < 0 && errno == EINTR) continue;
        c.eof = true;
    }
}

void DdeServer::serveLines(Client& c) {
    std::size_t nl;
    for (int served = 0;
         !c.closing && served < RequestsPerPoll && (nl = c.in.find('\n')) != std::string::npos;
         ++served) {
        std::string line = c.in.substr(0, nl);
        c.in.erase(0, nl + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > MaxLineLength) {
            send(c, "ERR line too long");
            c.closing = true;
            return;
        }
        handleLine(c, line);
    }
    // After the client's last word its remaining requests are served (a last
    // one ended by the half-close instead of a line feed too), then it is
    // let go.
    if (c.eof && !c.closing && c.in.find('\n') == std::string::npos) {
        std::string line = std::move(c.in);
        c.in.clear();
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line.size() <= MaxLineLength) handleLine(c, line);
        c.closing = true;
    }
}

void DdeServer::send(Client& c, const std::string& line) {
    if (c.fd < 0) return;
    if (c.out.size() + line.size() + 1 > MaxOutputBuffered) {
        // A client that does not read its answers is given up.
        c.closing = true;
        return;
    }
    c.out += line;
    c.out += '\n';
    flush(c);
}

void DdeServer::flush(Client& c) {
    while (!c.out.empty()) {
        ssize_t n = ::send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            c.out.erase(0, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        c.closing = true;
        c.out.clear();
        return;
    }
}

void DdeServer::dropClosed() {
    for (auto it = clients_.begin(); it != clients_.end();) {
        if ((*it)->closing) {
            flush(**it);
            close((*it)->fd);
            it = clients_.erase(it);
        } else {
            ++it;
        }
    }
}

void DdeServer::closeAll() {
    for (auto& c : clients_)
        close(c->fd);
    clients_.clear();
}

int DdeServer::itemNumber(const Client& c, const std::string& itemName, std::string& why) const {
    if (!ContainsNoCase(c.topic, TopicName)) {
        why = "topic " + Quoted(c.topic) + " is not " + TopicName;
        return -1;
    }
    if (!ContainsNoCase(itemName, "Item")) {
        why = Quoted(itemName) + " is not an item";
        return -1;
    }
    // The number starts at the fifth character, as item names are "Item" + n.
    int16_t n = 0;
    std::string_view digits = itemName.size() > 4 ? std::string_view(itemName).substr(4) : "";
    if (!ToInt16(LeadingNumber(digits), n) || n < 0) {
        why = Quoted(itemName) + " has no valid item number";
        return -1;
    }
    return n;
}

bool DdeServer::inRange(int n, bool request, std::string& why) const {
    // Items follow the task shown next; a plain request must name one of its
    // values, an advise link may name one more.
    int next = app_.Status.NextTask;
    if (next < 0 || next > MaxTasks) {
        why = "there is no task " + std::to_string(next);
        return false;
    }
    int count = app_.Tasks[next].AddressCount;
    if (request ? n < count : n <= count) return true;
    why = "item " + std::to_string(n) + " is beyond the " + std::to_string(count) +
          " values of task " + std::to_string(next);
    return false;
}

bool DdeServer::itemText(int n, std::string& text) const {
    if (n < 0 || static_cast<std::size_t>(n) >= items_.size()) return false;
    text = dde::LineSafe(items_[static_cast<std::size_t>(n)]);
    return true;
}

void DdeServer::handleLine(Client& c, const std::string& line) {
    if (Trim(line).empty()) return;
    std::string verb, rest;
    dde::SplitVerb(line, verb, rest);
    verb = UpperCase(verb);
    if (rest.size() > MaxNameLength && verb != "POKE") rest.resize(MaxNameLength);

    if (verb == "CONNECT") {
        // Every conversation is accepted; a new one replaces the old.
        c.topic = rest;
        c.links.clear();
        c.conversation = true;
        send(c, "OK");
        return;
    }
    if (verb == "DISCONNECT") {
        c.conversation = false;
        c.topic.clear();
        c.links.clear();
        send(c, "OK");
        return;
    }
    static const char* const notices[] = {"ERROR",      "XACT_COMPLETE", "REGISTER",
                                          "UNREGISTER", "WILDCONNECT",   "ADVDATA"};
    for (const char* n : notices)
        if (verb == n) {
            send(c, "OK");
            return;
        }
    const bool known = verb == "REQUEST" || verb == "ADVSTART" || verb == "ADVSTOP" ||
                       verb == "ADVREQ" || verb == "POKE" || verb == "EXECUTE";
    if (!known) {
        send(c, "NO unknown transaction " + Quoted(dde::LineSafe(verb.substr(0, MaxNameLength))));
        return;
    }
    if (!c.conversation) {
        send(c, "ERR no conversation; send CONNECT TASK first");
        return;
    }

    std::string why;
    if (verb == "REQUEST" || verb == "ADVREQ") {
        int n = itemNumber(c, rest, why);
        std::string text;
        if (n < 0 || !inRange(n, verb == "REQUEST", why)) {
            send(c, "NO " + dde::LineSafe(why));
        } else if (!itemText(n, text)) {
            send(c, "NO item " + std::to_string(n) + " has no value yet");
        } else {
            send(c, "DATA " + text);
        }
    } else if (verb == "ADVSTART") {
        int n = itemNumber(c, rest, why);
        if (n < 0 || !inRange(n, false, why)) {
            // A refused start ends an earlier link on the same item.
            if (n >= 0) c.links.erase(n);
            send(c, "NO " + dde::LineSafe(why));
        } else {
            c.links.insert(n);
            send(c, "OK");
        }
    } else if (verb == "ADVSTOP") {
        int n = itemNumber(c, rest, why);
        if (n < 0 || !inRange(n, false, why)) {
            send(c, "NO " + dde::LineSafe(why));
        } else {
            c.links.erase(n);
            send(c, "OK");
        }
    } else if (verb == "POKE") {
        std::string item, data;
        dde::SplitVerb(rest, item, data);
        // Only the item "POKE" is taken; its data has no use and is dropped.
        send(c, UpperCase(item) == "POKE" ? "OK" : "NO not processed");
    } else { // EXECUTE
        // No command has an effect, "MAX", "MIN" and "NORMAL" included, so
        // none is ever processed.
        send(c, "NO not processed");
    }
}

void DdeServer::PostDdeData(const std::string& text) {
    if (!Running()) return;
    if (!text.empty()) items_ = Split(text, ';');
    for (auto& cp : clients_) {
        Client& c = *cp;
        if (!c.conversation || c.closing) continue;
        for (int n : c.links) {
            std::string why, value;
            if (!inRange(n, false, why) || !itemText(n, value)) continue;
            send(c, "ADVISE Item" + std::to_string(n) + " " + value);
            if (c.closing) break;
        }
    }
    if (!polling_) dropClosed();
}

void DdeServer::PostAdvise(int task) {
    if (task < 1 || task > MaxTasks) return;
    PostDdeData(app_.Tasks[task].LastValues);
}

} // namespace pelkor
