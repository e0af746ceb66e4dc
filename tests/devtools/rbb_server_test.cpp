// The remote-bitbang server with a simulated card, over real sockets: a client reads the
// card's identity, the server stops when told, and a UNIX socket file is handled with care.
#include "tests/devtools/rbb_server_fixture.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
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
    EXPECT_FALSE(rbb_server_open(&server, &why));
    EXPECT_NE(why.find("is not a socket"), std::string::npos) << why;
    std::remove(path.c_str());

    // A socket file nobody listens on is replaced.
    RbbAddress stale = server.address;
    const RbbSocket old = rbb_listen(&stale, &why);
    ASSERT_NE(old, RBB_NO_SOCKET) << why;
    rbb_close(old);
    start(1);
    EXPECT_EQ(read_identity(), 0x14D010FFu);
    finish();
    rbb_server_close(&server);
    struct stat st;
    EXPECT_NE(stat(path.c_str(), &st), 0); // removed on close
    std::remove(dir);
}
#endif

} // namespace
