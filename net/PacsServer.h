#pragma once

#include <string>

// A DICOM archive as the network client reaches it: its AE title, host and
// port, written AET@HOST:PORT on the command line and in messages.
struct CPacsServer {
    std::string aet;
    std::string host;
    int port = 0;

    // "AET@HOST:PORT", the form every message about the server names it by.
    std::string Text() const;

    // Reads "AET@HOST:PORT". False with `error` (one line) when a part is
    // missing, the AE title is longer than DICOM's 16 characters or holds a
    // backslash or control character, or the port is not 1..65535.
    static bool Parse(const std::string& text, CPacsServer& server, std::string& error);

    // False with `error` when `title` cannot be an AE title: empty, over 16
    // characters, or with a backslash or control character.
    static bool CheckAeTitle(const std::string& title, std::string& error);
};
