// Certificates for TLS tests, made fresh with the openssl command in a directory of their
// own: a test authority that the tests trust, a second one that nobody trusts, and three
// server certificates with their keys (name.pem, name.key):
//   site       by the test authority, for 127.0.0.1 and localhost (the address also as
//              a DNS name, the only kind of name that wine's WinINet matches);
//   elsewhere  by the test authority, for another host name only;
//   stranger   by the untrusted authority, for 127.0.0.1.
// Nothing is added to any system store; a client trusts "test-ca.pem" only when told to.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/daemon_process.h"
#include "support/temp_dir.h"

namespace zenpo::test {

class TestCertificates : public TempDir {
 public:
  // False, with the reason in *error, when openssl is missing or fails.
  bool Make(std::string* error) {
    if (!FindProgram("openssl")) {
      *error = "openssl is not installed (scripts/setup installs it)";
      return false;
    }
    // P-256 keys: made at once, and every TLS stack under test takes them.
    const std::string script =
        "set -e; cd '" + path().string() + "'\n"
        "key='-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes'\n"
        "ca() { openssl req -x509 $key -days 3 -subj /CN=$1 -keyout $1.key -out $1.pem "
        "-addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign; }\n"
        "leaf() { openssl req -x509 $key -days 2 -subj /CN=$1 -keyout $1.key -out $1.pem "
        "-CA $2.pem -CAkey $2.key -addext subjectAltName=$3 -addext basicConstraints=CA:FALSE "
        "-addext extendedKeyUsage=serverAuth; }\n"
        "ca test-ca; ca other-ca\n"
        "leaf site test-ca IP:127.0.0.1,DNS:127.0.0.1,DNS:localhost\n"
        "leaf elsewhere test-ca DNS:elsewhere.test\n"
        "leaf stranger other-ca IP:127.0.0.1\n";
    WriteFile(*this / "make.sh", script);
    const std::string command = "bash '" + (*this / "make.sh").string() + "' >'" +
                                (*this / "make.log").string() + "' 2>&1";
    if (std::system(command.c_str()) != 0) {
      *error = "openssl failed: " + ReadFile(*this / "make.log");
      return false;
    }
    return true;
  }
  std::filesystem::path Authority() const { return *this / "test-ca.pem"; }
  std::filesystem::path Cert(const std::string& name) const { return *this / (name + ".pem"); }
  std::filesystem::path Key(const std::string& name) const { return *this / (name + ".key"); }
};

}  // namespace zenpo::test
