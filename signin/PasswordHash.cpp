#include "signin/PasswordHash.h"

#include "platform/Failure.h"

#include <QByteArray>
#include <QCoreApplication>
#include <optional>
#include <sodium.h>

namespace PasswordHash {

namespace {

const QString prefix = QStringLiteral("$k1$");
constexpr unsigned long long passes = 2;
constexpr size_t memory = 19u * 1024u * 1024u;
constexpr size_t saltBytes = crypto_pwhash_SALTBYTES; // 16
constexpr size_t hashBytes = 16;
static_assert(hashBytes >= crypto_pwhash_BYTES_MIN);
constexpr auto base64 = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;

void initialise()
{
    static const bool ready = sodium_init() >= 0;
    if (!ready)
        throw Platform::Failure(QCoreApplication::translate("PasswordHash", "密码加密库无法初始化"));
}

// The hash of `password` with `salt`, or an empty array when libsodium could
// not reserve its memory.
QByteArray derive(const QString& password, const QByteArray& salt)
{
    initialise();
    const QByteArray bytes = password.toUtf8();
    QByteArray out(hashBytes, Qt::Uninitialized);
    if (crypto_pwhash(reinterpret_cast<unsigned char*>(out.data()), hashBytes, bytes.constData(),
            static_cast<unsigned long long>(bytes.size()), reinterpret_cast<const unsigned char*>(salt.constData()),
            passes, memory, crypto_pwhash_ALG_ARGON2ID13)
        != 0)
        return {};
    return out;
}

} // namespace

QString make(const QString& password)
{
    initialise();
    QByteArray salt(saltBytes, Qt::Uninitialized);
    randombytes_buf(salt.data(), saltBytes);
    const QByteArray hash = derive(password, salt);
    if (hash.isEmpty())
        throw Platform::Failure(QCoreApplication::translate("PasswordHash", "内存不足，无法加密密码"));
    return prefix + QString::fromLatin1(salt.toBase64(base64)) + u'$' + QString::fromLatin1(hash.toBase64(base64));
}

namespace {

struct Parts
{
    QByteArray salt;
    QByteArray hash;
};

// The salt and hash of a well-formed stored hash.
std::optional<Parts> parse(const QString& stored)
{
    if (!stored.startsWith(prefix))
        return std::nullopt;
    const QStringList parts = stored.mid(prefix.size()).split(u'$');
    if (parts.size() != 2)
        return std::nullopt;
    const auto options = base64 | QByteArray::AbortOnBase64DecodingErrors;
    const auto salt = QByteArray::fromBase64Encoding(parts[0].toLatin1(), options);
    const auto hash = QByteArray::fromBase64Encoding(parts[1].toLatin1(), options);
    if (!salt || !hash || salt.decoded.size() != qsizetype(saltBytes) || hash.decoded.size() != qsizetype(hashBytes))
        return std::nullopt;
    return Parts { salt.decoded, hash.decoded };
}

} // namespace

bool isHash(const QString& stored)
{
    return parse(stored).has_value();
}

bool matches(const QString& stored, const QString& typed)
{
    const std::optional<Parts> parts = parse(stored);
    if (!parts)
        return stored == typed;
    const QByteArray derived = derive(typed, parts->salt);
    return !derived.isEmpty() && sodium_memcmp(derived.constData(), parts->hash.constData(), hashBytes) == 0;
}

} // namespace PasswordHash
