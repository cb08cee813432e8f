#pragma once
// Operators' passwords as the database keeps them: a salted Argon2id hash
// (libsodium) in a short form of our own that fits the 50 characters sites
// give their password columns:
//
//     $k1$<salt: 22 characters>$<hash: 22 characters>      (49 characters)
//
// "k1" names the parameters (Argon2id, 2 passes over 19 MiB, 16-byte salt and
// hash, unpadded base64url); another set of parameters gets another name, and
// a stored value keeps the name it was made with. A value without the prefix
// is a password stored as plain text by an older database or an import: it
// still compares, exactly, until it is replaced by a hash.
#include <QString>

namespace PasswordHash {

// Characters a stored hash takes; a column narrower than this keeps plain text.
inline constexpr int storedLength = 49;

// A new stored form of `password` with a fresh salt. Throws Platform::Failure
// when libsodium cannot work (no memory for the hash).
QString make(const QString& password);
// Whether `typed` (trimmed by the caller) is the password `stored` holds: a
// hash is checked as a hash, anything else compared as text, exactly.
bool matches(const QString& stored, const QString& typed);
// Whether `stored` is a well-formed hash rather than the password itself.
bool isHash(const QString& stored);

} // namespace PasswordHash
