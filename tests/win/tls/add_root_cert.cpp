// vt_add_root_cert CERT.der: adds a certificate authority to the machine's
// ROOT store of the Wine prefix it runs in, so that WinINet trusts servers
// whose certificates it signed. For the https tests only.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: vt_add_root_cert CERT.der\n");
        return 2;
    }
    HANDLE file = ::CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "vt_add_root_cert: cannot open %s\n", argv[1]);
        return 1;
    }
    std::vector<BYTE> der(1 << 16);
    DWORD got = 0;
    const BOOL read = ::ReadFile(file, der.data(), static_cast<DWORD>(der.size()), &got, nullptr);
    ::CloseHandle(file);
    if (!read || got == 0) return 1;
    HCERTSTORE store = ::CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "ROOT");
    if (!store) {
        std::fprintf(stderr, "vt_add_root_cert: cannot open the ROOT store (%lu)\n", ::GetLastError());
        return 1;
    }
    const BOOL added = ::CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), got,
                                                          CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    const DWORD error = ::GetLastError();
    ::CertCloseStore(store, 0);
    if (!added) {
        std::fprintf(stderr, "vt_add_root_cert: cannot add the certificate (%lu)\n", error);
        return 1;
    }
    return 0;
}
