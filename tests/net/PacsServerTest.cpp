#include <gtest/gtest.h>

#include "PacsServer.h"

namespace {

TEST(PacsServerTest, ReadsAetHostAndPortAndRefusesTheRest) {
    struct Case {
        std::string text;
        bool ok;
        std::string aet, host;
        int port;
        std::string error;
    };
    const Case cases[] = {
        {"ORTHANC@127.0.0.1:4242", true, "ORTHANC", "127.0.0.1", 4242, ""},
        {"PACS@archive.example.org:104", true, "PACS", "archive.example.org", 104, ""},
        {"ORTHANC127.0.0.1:4242", false, "", "", 0, "AET@HOST:PORT"},
        {"ORTHANC@127.0.0.1", false, "", "", 0, "AET@HOST:PORT"},
        {"@127.0.0.1:4242", false, "", "", 0, "empty"},
        {"SEVENTEENCHARSXXX@h:1", false, "", "", 0, "longer than 16"},
        {"A\\B@h:1", false, "", "", 0, "backslash"},
        {"A@:1", false, "", "", 0, "no host"},
        {"A@h:0", false, "", "", 0, "1 to 65535"},
        {"A@h:65536", false, "", "", 0, "1 to 65535"},
        {"A@h:12x", false, "", "", 0, "1 to 65535"},
        {"A@h:", false, "", "", 0, "1 to 65535"},
    };
    for (const Case& c : cases) {
        CPacsServer server;
        std::string error;
        EXPECT_EQ(CPacsServer::Parse(c.text, server, error), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(server.aet, c.aet) << c.text;
            EXPECT_EQ(server.host, c.host) << c.text;
            EXPECT_EQ(server.port, c.port) << c.text;
            EXPECT_EQ(server.Text(), c.text);
        } else {
            EXPECT_NE(error.find(c.error), std::string::npos) << c.text << ": " << error;
        }
    }
}

}  // namespace
