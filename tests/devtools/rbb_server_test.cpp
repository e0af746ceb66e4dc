// The remote-bitbang server with a simulated card, over real sockets: a client reads the
// card's identity, the server stops when told, and a UNIX socket file is handled with care.
#include "tests/devtools/rbb_server_fixture.h"

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#endif

namespace {

TEST_F(RbbServerTest, AClientReadsTheCardsIdentityAndQuits)
{
    start(1);
    EXPECT_EQ(read_identity(), 0x14D010FFu);
    finish();
    const std::string text = log_text();
    EXPECT_NE(text.find("session 1 ended: Q;"), std::string::npos) << text;
    EXPECT_NE(text.find("32 TDO reads"), std::string::npos) << text;
    EXPECT_EQ(card->device.state, LogicTapState::TestLogicReset);
    EXPECT_TRUE(card_untouched());
}

TEST_F(RbbServerTest, StoppingEndsAnIdleSessionAndTheLoop)
{
    start(0);
    const RbbSocket s = client();
    talk(s, "0", 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    stop = 1;
    finish();
    EXPECT_TRUE(closed_by_server(s));
    rbb_close(s);
    EXPECT_NE(log_text().find("session 1 ended: the server is stopping"), std::string::npos);
}

#ifndef _WIN32
TEST_F(RbbServerTest, UnixSocketInATempDirectoryReplacesAStaleOneAndRefusesOtherFiles)
{
    char dir_template[] = "/tmp/rbb_test_XXXXXX";
    const char* dir = mkdtemp(dir_template);
    ASSERT_NE(dir, nullptr);
    const std::string path = std::string(dir) + "/card.sock";

    // A regular file at the path is refused.
    std::FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    server.address.unix_socket = true;
    server.address.path = path;
    std::string why;
    EXPECT_EQ(rbb_listen(&server.address, &why), RBB_NO_SOCKET);
    EXPECT_NE(why.find("is not a socket"), std::string::npos) << why;
    struct stat st;
    EXPECT_EQ(stat(path.c_str(), &st), 0); // the refusal leaves the file alone
    std::remove(path.c_str());

    // A socket file nobody listens on, as a killed server leaves it, is replaced.
    const int stale = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un at{};
    at.sun_family = AF_UNIX;
    std::strncpy(at.sun_path, path.c_str(), sizeof at.sun_path - 1);
    ASSERT_EQ(bind(stale, reinterpret_cast<const sockaddr*>(&at), sizeof at), 0);
    close(stale);
    start(1);
    EXPECT_EQ(read_identity(), 0x14D010FFu);
    finish();
    rbb_close(server.listener);
    server.listener = RBB_NO_SOCKET;
    EXPECT_NE(stat(path.c_str(), &st), 0); // removed on close
    std::remove(dir);
}
#endif

} // namespace
