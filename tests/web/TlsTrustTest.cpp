// https through the process's one trust store, against openssl s_server on 127.0.0.1.

#include "web/HttpClient.h"
#include "web/TlsTrust.h"
#include "support/TestFiles.h"
#include "support/TlsTestServer.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace larkspur;
using larkspur::test::TempDir;
using larkspur::test::TlsTestServer;

// The store is read once: a CA file gone after the first connection still counts for the
// next client's, and a server of another, untrusted authority is still refused.
TEST(TlsTrustTest, TrustReadOncePerProcessAndStillVerified)
{
    TempDir dir;
    TlsTestServer trusted(dir.file("trusted"));
    TlsTestServer stranger(dir.file("stranger"));
    addTrustedCertificates(trusted.caFile());

    struct Case
    {
        const char* what;
        const TlsTestServer& server;
        bool removeCaBefore;
        bool succeeds;
    };
    const Case cases[] = {
        {"first fetch from a trusted server", trusted, false, true},
        {"trusted CA file gone: the store in memory still has it", trusted, true, true},
        {"server of an authority nobody trusts", stranger, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.removeCaBefore) {
            ASSERT_EQ(std::remove(trusted.caFile().c_str()), 0);
        }
        HttpClient client; // a new client each time: no connection carries over
        std::string body;
        std::string error;
        try {
            body = client.Get(c.server.url());
        } catch (const HttpError& e) {
            error = e.what();
        }
        if (c.succeeds) {
            EXPECT_EQ(error, "");
            EXPECT_NE(body.find("<HTML>"), std::string::npos) << body;
        } else {
            EXPECT_NE(error.find("certificate"), std::string::npos) << error;
        }
    }
}
