// Little HTTP servers for the download tests (Linux): http_server.py
// serving a folder on 127.0.0.1, and a socket that takes connections but
// never answers.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <string>
#include <thread>

extern char **environ;

// http_server.py (or another server script that works the same way: the
// folder as its argument, its port as its first output line, ending when
// its standard input closes) serving a folder; stopped by closing its
// standard input.
class HttpServer {
  public:
    int port = 0;

    bool start(const std::string &root,
               const std::string &script = ZORVA_SOURCE_DIR "/engine/tests/data/http_server.py") {
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0) return false;
        if (pipe2(out, O_CLOEXEC) != 0) return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        const char *argv[] = {"python3", script.c_str(), root.c_str(), nullptr};
        int error = posix_spawnp(&pid_, "python3", &actions, nullptr, const_cast<char **>(argv),
                                 environ);
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
            line.append(buffer, static_cast<size_t>(n));
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

    ~HttpServer() { stop(); }

  private:
    pid_t pid_ = -1;
    int stdin_ = -1;
};

// A socket on 127.0.0.1 that takes connections (the system completes them)
// but never reads or answers.
class SilentServer {
  public:
    int port = 0;
    bool start() {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr *>(&address), size) != 0 ||
            listen(fd_, 8) != 0 ||
            getsockname(fd_, reinterpret_cast<sockaddr *>(&address), &size) != 0)
            return false;
        port = ntohs(address.sin_port);
        return true;
    }
    // True when a client has connected (the connection waits unaccepted).
    bool contacted() const {
        pollfd p{fd_, POLLIN, 0};
        return fd_ >= 0 && poll(&p, 1, 0) > 0;
    }
    ~SilentServer() {
        if (fd_ >= 0) close(fd_);
    }

  private:
    int fd_ = -1;
};


// The wget processes this process started that still exist (zombies
// included: a child that was never reaped counts).
inline int child_wget_processes() {
    int found = 0;
    DIR *proc = opendir("/proc");
    if (!proc) return -1;
    while (dirent *entry = readdir(proc)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
        std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        // pid (comm) state ppid ...
        size_t open = line.find('('), close_at = line.rfind(')');
        if (open == std::string::npos || close_at == std::string::npos) continue;
        std::string comm = line.substr(open + 1, close_at - open - 1);
        int ppid = std::atoi(line.c_str() + close_at + 4);
        if (comm == "wget" && ppid == getpid()) found++;
    }
    closedir(proc);
    return found;
}
