#pragma once

#include <QString>

namespace mwtest {

// The certificates of all TLS test servers of one process, made on first use with /usr/bin/openssl
// in a temporary directory that goes at process exit: a CA, a server certificate and key it signed
// for 127.0.0.1 and localhost, and a second CA that signed nothing (a client trusting only it must
// refuse the server). When making them failed, error says why and the paths are empty.
struct TestCertificates
{
    QString ca;
    QString otherCa;
    QString cert;
    QString key;
    QString error;
};

const TestCertificates& testCertificates();

} // namespace mwtest
