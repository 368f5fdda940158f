#pragma once
// TLS and HTTP/2 for the tests: a private CA and a certificate for loopback made with openssl at
// run time, and nghttpx in front of the simulated site, in h2 over TLS or in h2c.
#include <sys/types.h>

#include <filesystem>
#include <string>

namespace tickora::test {

struct TestCertificates {
    std::filesystem::path caFile;    // the private CA, PEM
    std::filesystem::path certFile;  // the server's chain for 127.0.0.1 and localhost, PEM
    std::filesystem::path keyFile;
};

// Makes a CA and a server certificate it signed in folder. Empty paths when openssl fails.
[[nodiscard]] TestCertificates MakeTestCertificates(const std::filesystem::path& folder);

// The nghttpx binary, or an empty path when it is not installed.
[[nodiscard]] std::filesystem::path NghttpxBinary();

// nghttpx on a free loopback port, passing every request to the site on backendPort over
// HTTP/1.1. With certificates it speaks h2 (and HTTP/1.1) over TLS, chosen by ALPN; without, h2c
// with prior knowledge.
class Http2Front {
  public:
    Http2Front(int backendPort, const TestCertificates* tls);
    ~Http2Front();
    Http2Front(const Http2Front&) = delete;
    Http2Front& operator=(const Http2Front&) = delete;

    // Starts it and waits until it accepts connections; false (with why) when it cannot.
    [[nodiscard]] bool Start(std::string& why);
    [[nodiscard]] int Port() const { return m_port; }

  private:
    int m_backendPort;
    const TestCertificates* m_tls;
    int m_port = 0;
    pid_t m_pid = -1;
};

// A loopback port nobody listens on at the moment.
[[nodiscard]] int FreeLoopbackPort();

}  // namespace tickora::test
