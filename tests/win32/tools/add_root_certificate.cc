// add_root_certificate: puts a PEM certificate into the machine's trusted root store, or
// with "-d" takes it out again, so that a test can make a Windows prefix trust an
// authority of its own. Exit status 0 on success, 1 with the reason on stderr.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

int Fail(const char* what) {
  std::fprintf(stderr, "add_root_certificate: %s (error %lu)\n", what, GetLastError());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const bool remove = argc == 3 && std::string(argv[1]) == "-d";
  if (argc != 2 && !remove) {
    std::fprintf(stderr, "usage: add_root_certificate [-d] authority.pem\n");
    return 2;
  }
  std::ifstream in(argv[argc - 1], std::ios::binary);
  const std::string pem{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  DWORD size = 0;
  if (!CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                            nullptr, &size, nullptr, nullptr)) {
    return Fail("no PEM certificate in the file");
  }
  std::vector<BYTE> der(size);
  CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                       der.data(), &size, nullptr, nullptr);
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE,
                                   L"ROOT");
  if (store == nullptr) return Fail("cannot open the ROOT store");
  int status = 0;
  if (!remove) {
    if (!CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), size,
                                          CERT_STORE_ADD_REPLACE_EXISTING, nullptr)) {
      status = Fail("cannot add the certificate");
    }
  } else {
    PCCERT_CONTEXT wanted = CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), size);
    PCCERT_CONTEXT found =
        wanted ? CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, wanted,
                                            nullptr)
               : nullptr;
    // Deleting frees the found context as well.
    if (found == nullptr || !CertDeleteCertificateFromStore(found)) status = Fail("not in the store");
    if (wanted) CertFreeCertificateContext(wanted);
  }
  CertCloseStore(store, 0);
  return status;
}
