#include "PacsServer.h"

#include <charconv>

std::string CPacsServer::Text() const {
    return aet + "@" + host + ":" + std::to_string(port);
}

bool CPacsServer::CheckAeTitle(const std::string& title, std::string& error) {
    // Spaces are padding in the association's fixed 16-byte field, so a
    // title of spaces only names nobody.
    if (title.find_first_not_of(' ') == std::string::npos) {
        error = "an AE title cannot be empty";
        return false;
    }
    if (title.size() > 16) {
        error = "the AE title " + title + " is longer than 16 characters";
        return false;
    }
    for (const char c : title) {
        if (c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            error = "the AE title " + title + " holds a backslash or a control character";
            return false;
        }
    }
    return true;
}

bool CPacsServer::Parse(const std::string& text, CPacsServer& server, std::string& error) {
    const size_t at = text.find('@');
    const size_t colon = text.rfind(':');
    if (at == std::string::npos || colon == std::string::npos || colon < at) {
        error = "the server " + text + " is not written AET@HOST:PORT";
        return false;
    }
    CPacsServer parsed;
    parsed.aet = text.substr(0, at);
    parsed.host = text.substr(at + 1, colon - at - 1);
    const std::string port = text.substr(colon + 1);
    if (!CheckAeTitle(parsed.aet, error)) return false;
    if (parsed.host.empty()) {
        error = "the server " + text + " names no host";
        return false;
    }
    const auto [end, status] = std::from_chars(port.data(), port.data() + port.size(), parsed.port);
    if (port.empty() || status != std::errc() || end != port.data() + port.size() || parsed.port < 1 ||
        parsed.port > 65535) {
        error = "the server " + text + " has no port from 1 to 65535";
        return false;
    }
    server = parsed;
    return true;
}
