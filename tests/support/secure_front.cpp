#include "tests/support/secure_front.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <vector>

#include "tests/support/wait_for.h"

namespace tickora::test {
namespace fs = std::filesystem;

namespace {

// Runs argv with its output thrown away; true when it exits with status 0.
bool RunQuietly(const std::vector<std::string>& argv) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 1);
        ::dup2(null, 2);
        std::vector<char*> args;
        for (const std::string& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

bool Accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

TestCertificates MakeTestCertificates(const fs::path& folder) {
    fs::create_directories(folder);
    TestCertificates made{folder / "ca.pem", folder / "server.pem", folder / "server.key"};
    const std::string caKey = (folder / "ca.key").string();
    const std::string request = (folder / "server.csr").string();
    const std::string extensions = (folder / "server.ext").string();
    {
        std::FILE* ext = std::fopen(extensions.c_str(), "w");
        if (ext == nullptr) {
            return {};
        }
        std::fputs("subjectAltName=IP:127.0.0.1,DNS:localhost\n", ext);
        std::fclose(ext);
    }
    const bool ok =
        RunQuietly({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", caKey,
                    "-out", made.caFile.string(), "-days", "2", "-subj", "/CN=Tickora test CA"}) &&
        RunQuietly({"openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout",
                    made.keyFile.string(), "-out", request, "-subj", "/CN=127.0.0.1"}) &&
        RunQuietly({"openssl", "x509", "-req", "-in", request, "-CA", made.caFile.string(),
                    "-CAkey", caKey, "-CAcreateserial", "-out", made.certFile.string(), "-days",
                    "2", "-extfile", extensions});
    return ok ? made : TestCertificates{};
}

fs::path NghttpxBinary() {
    for (const char* candidate : {"/usr/sbin/nghttpx", "/usr/bin/nghttpx"}) {
        if (::access(candidate, X_OK) == 0) {
            return candidate;
        }
    }
    return {};
}

int FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

Http2Front::Http2Front(int backendPort, const TestCertificates* tls)
    : m_backendPort(backendPort), m_tls(tls) {}

Http2Front::~Http2Front() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
}

bool Http2Front::Start(std::string& why) {
    const fs::path binary = NghttpxBinary();
    if (binary.empty()) {
        why = "nghttpx is not installed";
        return false;
    }
    m_port = FreeLoopbackPort();
    std::vector<std::string> argv = {
        binary.string(),
        "--conf=/dev/null",
        "--workers=1",
        "--log-level=ERROR",
        "--accesslog-file=/dev/null",
        "--errorlog-file=/dev/null",
        "--no-ocsp",
        // Room for every stream of a client's connection at once on the site's side.
        "--backend-connections-per-host=128",
        "-b127.0.0.1," + std::to_string(m_backendPort) + ";;proto=http/1.1",
        "-f127.0.0.1," + std::to_string(m_port) + (m_tls == nullptr ? ";no-tls" : ""),
    };
    if (m_tls != nullptr) {
        argv.push_back(m_tls->keyFile.string());
        argv.push_back(m_tls->certFile.string());
    }
    m_pid = ::fork();
    if (m_pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        std::vector<char*> args;
        for (const std::string& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    bool ended = false;
    const bool listens = WaitFor([&] {
        int status = 0;
        ended = ::waitpid(m_pid, &status, WNOHANG) == m_pid;
        return ended || Accepts(m_port);
    });
    if (ended) {
        m_pid = -1;
        why = "nghttpx ended at start";
        return false;
    }
    if (!listens) {
        why = "nghttpx did not listen within 10 s";
    }
    return listens;
}

}  // namespace tickora::test
