// The cart forum's stand-in (data/forum_server.py) started by a test: a
// local HTTP server on 127.0.0.1 serving a folder, stopped with the test.
#pragma once

#include "http_server.h"
#include "test_util.h"

#include <cctype>
#include <string>

class forum_server : public HttpServer {
  public:
    bool start(const std::string &root) {
        return HttpServer::start(root, ZORVA_SOURCE_DIR "/shell/tests/data/forum_server.py");
    }
    std::string host() const { return "127.0.0.1:" + std::to_string(port); }
};

// The end of every list request: the player's version and platform letter.
inline const std::string list_version = std::string("&version=000111b") + platform_letter;

// The file name the server answers a query from (every byte but
// A-Z a-z 0-9 - . _ ~ percent-encoded).
inline std::string query_file_name(const std::string &query) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : query) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += char(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}
