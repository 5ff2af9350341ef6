#include "datastore/passwords.h"

#include <sodium.h>

#include <stdexcept>

namespace mw::passwords {

namespace {

void ensureInit()
{
    static const bool ok = sodium_init() >= 0;
    if (!ok)
        throw std::runtime_error("libsodium could not be initialised");
}

} // namespace

QString hash(const QString& typed)
{
    if (typed.isEmpty())
        return QString();
    ensureInit();
    const QByteArray pw = typed.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, pw.constData(), static_cast<unsigned long long>(pw.size()),
                          crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        throw std::runtime_error("out of memory while hashing a password");
    return QString::fromLatin1(out);
}

bool isHash(const QString& stored)
{
    return stored.startsWith(QLatin1String("$argon2id$")) || stored.startsWith(QLatin1String("$argon2i$"));
}

bool matches(const QString& stored, const QString& typed)
{
    if (stored.isEmpty() || typed.isEmpty())
        return stored.isEmpty() && typed.isEmpty();
    if (!isHash(stored))
        return stored == typed;
    ensureInit();
    const QByteArray s = stored.toLatin1();
    const QByteArray pw = typed.toUtf8();
    return crypto_pwhash_str_verify(s.constData(), pw.constData(), static_cast<unsigned long long>(pw.size())) == 0;
}

} // namespace mw::passwords
