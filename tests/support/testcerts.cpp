#include "testcerts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

namespace mwtest {
namespace {

const QString kOpenssl = QStringLiteral("/usr/bin/openssl");

// Owns the directory, so the files last as long as the process. Not under TMPDIR:
// tests point that at directories of their own that go when the test ends.
struct Maker
{
    QTemporaryDir dir{(QFileInfo(QStringLiteral("/tmp")).isWritable() ? QStringLiteral("/tmp") : QDir::tempPath()) +
                      QStringLiteral("/merrowind-test-certs-XXXXXX")};
    TestCertificates certificates;

    Maker()
    {
        QString& error = certificates.error;
        if (!dir.isValid()) {
            error = QStringLiteral("cannot make a directory for the test certificates: ") + dir.errorString();
            return;
        }
        const QString conf = dir.filePath(QStringLiteral("openssl.cnf"));
        QFile confFile(conf);
        if (!confFile.open(QIODevice::WriteOnly) ||
            confFile.write("[req]\n"
                           "distinguished_name = dn\n"
                           "[dn]\n"
                           "[ca]\n"
                           "basicConstraints = critical, CA:TRUE\n"
                           "keyUsage = critical, keyCertSign, cRLSign\n"
                           "subjectKeyIdentifier = hash\n"
                           "[server]\n"
                           "basicConstraints = critical, CA:FALSE\n"
                           "keyUsage = critical, digitalSignature, keyEncipherment\n"
                           "extendedKeyUsage = serverAuth\n"
                           "subjectAltName = IP:127.0.0.1, DNS:localhost\n"
                           "subjectKeyIdentifier = hash\n"
                           "authorityKeyIdentifier = keyid\n") < 0) {
            error = QStringLiteral("cannot write ") + conf;
            return;
        }
        confFile.close();

        const QStringList ecKey = {QStringLiteral("-newkey"), QStringLiteral("ec"),
                                   QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"),
                                   QStringLiteral("-nodes")};
        auto makeCa = [&](const QString& name, const QString& cn) {
            return run(
                QStringList{QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-new")} + ecKey +
                QStringList{QStringLiteral("-keyout"), name + QStringLiteral(".key"), QStringLiteral("-out"),
                            name + QStringLiteral(".pem"), QStringLiteral("-days"), QStringLiteral("3650"),
                            QStringLiteral("-subj"), QStringLiteral("/CN=") + cn, QStringLiteral("-config"),
                            conf, QStringLiteral("-extensions"), QStringLiteral("ca")});
        };
        const bool made =
            makeCa(QStringLiteral("ca"), QStringLiteral("Merrowind test CA")) &&
            makeCa(QStringLiteral("otherca"), QStringLiteral("Unrelated test CA")) &&
            run(QStringList{QStringLiteral("req"), QStringLiteral("-new")} + ecKey +
                QStringList{QStringLiteral("-keyout"), QStringLiteral("server.key"), QStringLiteral("-out"),
                            QStringLiteral("server.csr"), QStringLiteral("-subj"),
                            QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-config"), conf}) &&
            run({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"),
                 QStringLiteral("server.csr"), QStringLiteral("-CA"), QStringLiteral("ca.pem"),
                 QStringLiteral("-CAkey"), QStringLiteral("ca.key"), QStringLiteral("-set_serial"),
                 QStringLiteral("2"), QStringLiteral("-days"), QStringLiteral("825"), QStringLiteral("-out"),
                 QStringLiteral("server.pem"), QStringLiteral("-extfile"), conf,
                 QStringLiteral("-extensions"), QStringLiteral("server")});
        if (!made)
            return;
        certificates.ca = dir.filePath(QStringLiteral("ca.pem"));
        certificates.otherCa = dir.filePath(QStringLiteral("otherca.pem"));
        certificates.cert = dir.filePath(QStringLiteral("server.pem"));
        certificates.key = dir.filePath(QStringLiteral("server.key"));
    }

    bool run(const QStringList& args)
    {
        QProcess openssl;
        openssl.setWorkingDirectory(dir.path());
        openssl.setProcessChannelMode(QProcess::MergedChannels);
        openssl.start(kOpenssl, args);
        const bool finished = openssl.waitForStarted(10000) && openssl.waitForFinished(60000);
        if (finished && openssl.exitStatus() == QProcess::NormalExit && openssl.exitCode() == 0)
            return true;
        certificates.error = QStringLiteral("openssl %1 failed: %2\n%3")
                                 .arg(args.join(QLatin1Char(' ')), openssl.errorString(),
                                      QString::fromLocal8Bit(openssl.readAll()).trimmed());
        if (openssl.state() != QProcess::NotRunning) {
            openssl.kill();
            openssl.waitForFinished(5000);
        }
        return false;
    }
};

} // namespace

const TestCertificates& testCertificates()
{
    static const Maker maker;
    return maker.certificates;
}

} // namespace mwtest
