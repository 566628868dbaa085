// The cart forum's stand-in (data/forum_server.py) started by a test: a
// local HTTP server on 127.0.0.1 serving a folder, stopped with the test.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

extern char **environ;

class forum_server {
  public:
    int port = 0;

    bool start(const std::string &root) {
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0) return false;
        if (pipe2(out, O_CLOEXEC) != 0) return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        std::string script = ZORVA_SOURCE_DIR "/shell/tests/data/forum_server.py";
        const char *argv[] = {"python3", script.c_str(), root.c_str(), nullptr};
        int error = posix_spawnp(&pid_, "python3", &actions, nullptr, const_cast<char **>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        stdin_ = in[1];
        if (error != 0) {
            pid_ = -1;
            close(out[0]);
            return false;
        }
        // The port line, within fifteen seconds.
        std::string line;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
            pollfd p{out[0], POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            char buffer[64];
            ssize_t n = read(out[0], buffer, sizeof buffer);
            if (n <= 0) break;
            line.append(buffer, size_t(n));
        }
        close(out[0]);
        port = std::atoi(line.c_str());
        return port > 0;
    }

    void stop() {
        if (stdin_ >= 0) close(stdin_);
        stdin_ = -1;
        if (pid_ <= 0) return;
        int status;
        for (int i = 0; i < 200; i++) {
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return;
            }
            if (i == 100) kill(pid_, SIGTERM);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        pid_ = -1;
    }

    ~forum_server() { stop(); }

    std::string host() const { return "127.0.0.1:" + std::to_string(port); }

  private:
    pid_t pid_ = -1;
    int stdin_ = -1;
};

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
