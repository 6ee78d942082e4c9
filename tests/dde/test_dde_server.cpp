// The DDE service driven through its socket by an in-process client: every
// transaction's answer, advise pushes, two instances, hostile clients.

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "dde/DdeServer.h"
#include "support/TestContext.h"

namespace pelkor {
namespace {

// A client socket; waits are a bounded number of server polls.
class Peer {
public:
    explicit Peer(DdeServer& server) : server_(server) {
        fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, server.SocketPath().c_str(), sizeof addr.sun_path - 1);
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    }
    ~Peer() { Close(); }
    void Close() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }
    void HalfClose() { shutdown(fd_, SHUT_WR); }
    bool Connected() const { return connected_; }
    void SendRaw(const std::string& data) {
        ASSERT_EQ(::send(fd_, data.data(), data.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(data.size()));
    }
    // The next line from the server; "<none>" when nothing came within the
    // polls, "<closed>" when the server hung up.
    std::string Line(int polls = 200) {
        for (int i = 0; i < polls; ++i) {
            std::size_t nl = in_.find('\n');
            if (nl != std::string::npos) {
                std::string line = in_.substr(0, nl);
                in_.erase(0, nl + 1);
                return line;
            }
            server_.Poll(5);
            char buf[65536];
            ssize_t n = recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
            if (n > 0) in_.append(buf, static_cast<std::size_t>(n));
            if (n == 0) return "<closed>";
        }
        return "<none>";
    }
    std::string Ask(const std::string& request) {
        SendRaw(request + "\n");
        return Line();
    }

private:
    DdeServer& server_;
    int fd_ = -1;
    bool connected_ = false;
    std::string in_;
};

class DdeTest : public ::testing::Test {
protected:
    void SetUp() override {
        t.app.Status.NextTask = 2;
        t.app.Tasks[2].AddressCount = 3;
        server.SetSocketPath(t.dir.file("PKDDE"));
        ASSERT_TRUE(server.StartDdeServer()) << t.app.Status.LastErrorText;
    }
    std::unique_ptr<Peer> Conversation(const std::string& topic = "TASK") {
        auto p = std::make_unique<Peer>(server);
        EXPECT_TRUE(p->Connected());
        EXPECT_EQ(p->Ask("CONNECT " + topic), "OK");
        return p;
    }

    TestContext t;
    DdeServer server{t.app};
};

TEST_F(DdeTest, RequestsServeTheFieldsOfTheLastReadingWithinTheNextTasksValues) {
    auto p = Conversation();
    EXPECT_EQ(p->Ask("REQUEST Item0"), "NO item 0 has no value yet"); // before any reading
    server.PostDdeData("12;34;56");
    EXPECT_EQ(p->Ask("REQUEST Item0"), "DATA 12");
    EXPECT_EQ(p->Ask("request ITEM2"), "DATA 56");
    EXPECT_EQ(p->Ask("REQUEST Item3"), "NO item 3 is beyond the 3 values of task 2");
    EXPECT_EQ(p->Ask("REQUEST Item-1").substr(0, 3), "NO ");
    EXPECT_EQ(p->Ask("REQUEST Value1"), "NO \"Value1\" is not an item");
    EXPECT_EQ(p->Ask("REQUEST Item"), "DATA 12"); // no number is item 0
    server.PostDdeData("");                       // an empty reading keeps the last values
    EXPECT_EQ(p->Ask("REQUEST Item1"), "DATA 34");

    t.app.Status.NextTask = 0; // entry 0 has no values
    EXPECT_EQ(p->Ask("REQUEST Item0").substr(0, 3), "NO ");
    t.app.Status.NextTask = 500; // out of the table: refused, not a crash
    EXPECT_EQ(p->Ask("ADVSTART Item0").substr(0, 3), "NO ");

    auto other = Conversation("SYSTEM");
    EXPECT_EQ(other->Ask("REQUEST Item0"), "NO topic \"SYSTEM\" is not TASK");
    Peer silent(server);
    EXPECT_EQ(silent.Ask("REQUEST Item0"), "ERR no conversation; send CONNECT TASK first");
}

TEST_F(DdeTest, EveryOtherTransactionGivesItsResult) {
    auto p = Conversation("task");             // topics compare without case
    EXPECT_EQ(p->Ask("ADVSTART Item3"), "OK"); // one beyond the request limit
    EXPECT_EQ(p->Ask("ADVSTART Item4").substr(0, 3), "NO ");
    EXPECT_EQ(p->Ask("ADVSTOP Item3"), "OK");
    EXPECT_EQ(p->Ask("ADVSTOP Item9").substr(0, 3), "NO ");
    EXPECT_EQ(p->Ask("POKE poke anything at all"), "OK");
    EXPECT_EQ(p->Ask("POKE Item1 5"), "NO not processed");
    EXPECT_EQ(p->Ask("EXECUTE max"), "NO not processed");
    for (const char* notice :
         {"ERROR", "XACT_COMPLETE", "REGISTER", "UNREGISTER", "WILDCONNECT", "ADVDATA"})
        EXPECT_EQ(p->Ask(notice), "OK") << notice;
    EXPECT_EQ(p->Ask("FROBNICATE"), "NO unknown transaction \"FROBNICATE\"");
    EXPECT_EQ(p->Ask("DISCONNECT"), "OK");
    EXPECT_FALSE(server.ClientConnected());
    EXPECT_EQ(p->Ask("REQUEST Item0").substr(0, 4), "ERR ");
}

TEST_F(DdeTest, AdviseLinksArePushedAfterEachReadingWhileTheConversationLasts) {
    auto a = Conversation();
    auto b = Conversation();
    EXPECT_TRUE(server.ClientConnected());
    ASSERT_EQ(a->Ask("ADVSTART Item0"), "OK");
    ASSERT_EQ(a->Ask("ADVSTART Item3"), "OK"); // no field for it: never pushed
    ASSERT_EQ(b->Ask("ADVSTART Item2"), "OK");
    EXPECT_EQ(a->Line(20), "<none>"); // nothing before a reading

    t.app.Tasks[4].LastValues = "7;8;9";
    server.PostAdvise(4);
    EXPECT_EQ(a->Line(), "ADVISE Item0 7");
    EXPECT_EQ(b->Line(), "ADVISE Item2 9");
    EXPECT_EQ(a->Line(20), "<none>");
    server.PostAdvise(0); // not a task
    server.PostAdvise(101);
    EXPECT_EQ(a->Line(20), "<none>");

    // One client leaving must not stop the other's links.
    b->Close();
    server.PostDdeData("line\r\nbreak;x");
    EXPECT_EQ(a->Line(), "ADVISE Item0 line  break");
    EXPECT_EQ(server.ClientCount(), 1);

    ASSERT_EQ(a->Ask("ADVSTOP Item0"), "OK");
    server.PostDdeData("1;2;3");
    EXPECT_EQ(a->Line(20), "<none>");
    ASSERT_EQ(a->Ask("ADVSTART Item1"), "OK");
    ASSERT_EQ(a->Ask("DISCONNECT"), "OK");
    server.PostDdeData("4;5;6");
    EXPECT_EQ(a->Line(20), "<none>");
}

TEST_F(DdeTest, ASecondInstanceRunsWithoutTheServiceAndADeadOnesSocketIsTakenOver) {
    DdeServer second(t.app);
    second.SetSocketPath(server.SocketPath());
    EXPECT_FALSE(second.StartDdeServer());
    EXPECT_EQ(t.app.Status.LastErrorText,
              "A DDE server named \"PKDDE\" with topic \"TASK\" is already running.");
    EXPECT_FALSE(server.StartDdeServer()); // already running
    struct stat st;
    ASSERT_EQ(stat(server.SocketPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    second.StopDdeServer(); // stopping an instance that never served removes nothing
    EXPECT_EQ(Conversation()->Ask("REQUEST Item0").substr(0, 3), "NO ");

    // A dead instance's socket: bound, never unlinked.
    server.StopDdeServer();
    EXPECT_NE(access(server.SocketPath().c_str(), F_OK), 0);
    int dead = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, server.SocketPath().c_str(), sizeof addr.sun_path - 1);
    ASSERT_EQ(bind(dead, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    close(dead);
    ASSERT_TRUE(second.StartDdeServer()) << t.app.Status.LastErrorText;
    Peer p(second);
    EXPECT_EQ(p.Ask("CONNECT TASK"), "OK");
}

TEST(DdeStart, RefusesToReplaceAFileThatIsNotItsSocketOrAPathTooLong) {
    TestContext t;
    DdeServer server(t.app);
    std::string path = t.dir.file("PKDDE");
    std::ofstream(path) << "keep me";
    server.SetSocketPath(path);
    EXPECT_FALSE(server.StartDdeServer());
    EXPECT_NE(t.app.Status.LastErrorText.find("is not a socket"), std::string::npos);
    std::string kept;
    std::getline(std::ifstream(path), kept);
    EXPECT_EQ(kept, "keep me");

    server.SetSocketPath(t.dir.file(std::string(200, 'x')));
    EXPECT_FALSE(server.StartDdeServer());
    EXPECT_NE(t.app.Status.LastErrorText.find("too long"), std::string::npos);
    EXPECT_FALSE(server.Running());
}

TEST_F(DdeTest, HostileClientsAreDroppedAndTheServerGoesOn) {
    server.PostDdeData("12;34;56");
    { // a line that never ends
        Peer p(server);
        p.SendRaw(std::string(DdeServer::MaxLineLength + 100, 'A'));
        EXPECT_EQ(p.Line(), "ERR line too long");
        EXPECT_EQ(p.Line(), "<closed>");
    }
    { // binary junk is answered, not fatal
        auto p = Conversation();
        p->SendRaw(std::string("\x01\xff\x00\x7f junk\n", 10));
        EXPECT_EQ(p->Line().substr(0, 24), "NO unknown transaction \"");
        EXPECT_EQ(p->Ask("REQUEST Item1"), "DATA 34");
    }
    { // requests sent before hanging up are still answered
        Peer p(server);
        p.SendRaw("CONNECT TASK\r\nREQUEST Item2\r\n");
        p.HalfClose();
        EXPECT_EQ(p.Line(), "OK");
        EXPECT_EQ(p.Line(), "DATA 56");
    }
    { // a last request ended by the half-close instead of a line feed
        Peer p(server);
        p.SendRaw("CONNECT TASK\nREQUEST Item1");
        p.HalfClose();
        EXPECT_EQ(p.Line(), "OK");
        EXPECT_EQ(p.Line(), "DATA 34");
    }
    { // more clients than allowed
        std::vector<std::unique_ptr<Peer>> many;
        for (int i = 0; i < DdeServer::MaxClients; ++i)
            many.push_back(Conversation());
        Peer extra(server);
        EXPECT_EQ(extra.Line(), "ERR too many clients");
        EXPECT_EQ(server.ClientCount(), DdeServer::MaxClients);
    }
    { // a client that vanishes mid-advise, and one that never reads its pushes
        auto gone = Conversation();
        auto deaf = Conversation();
        ASSERT_EQ(gone->Ask("ADVSTART Item0"), "OK");
        ASSERT_EQ(deaf->Ask("ADVSTART Item0"), "OK");
        gone->Close();
        std::string big(60000, 'v');
        for (int i = 0; i < 100 && server.ClientCount() > 0; ++i) {
            server.PostDdeData(big + ";1;2");
            server.Poll(0);
        }
        EXPECT_EQ(server.ClientCount(), 0);
    }
    server.PostDdeData("12;34;56");
    EXPECT_EQ(Conversation()->Ask("REQUEST Item0"), "DATA 12");
}

} // namespace
} // namespace pelkor
