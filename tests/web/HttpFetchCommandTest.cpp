#include "web/HttpFetchCommand.h"
#include "support/HttpPythonServer.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace larkspur;

TEST(HttpFetchCommand, FetchesInOrderWithOneClient)
{
    test::HttpPythonServer server;
    std::ostringstream out;
    std::ostringstream err;
    const int status = runFetchCommand(
        {server.url("/setcookie?k=v"), server.url("/missing"), server.url("/cookie"), "http://:1/"},
        out, err);
    EXPECT_EQ(status, 1);
    // The cookie of the first answer goes out with the third request.
    EXPECT_EQ(out.str(), "cookies setk=v");
    EXPECT_EQ(err.str(),
              "HTTP/1.1 404 Not Found\nSocket Error # -2\r\nName or service not known\n");

    std::ostringstream out2;
    std::ostringstream err2;
    EXPECT_EQ(runFetchCommand({server.url("/chunked")}, out2, err2), 0);
    EXPECT_EQ(out2.str(), "alpha beta gamma");
    EXPECT_EQ(err2.str(), "");
}
