#pragma once

#include <QString>

// What the service keeps of an install token or a tunnel secret: its SHA-256, in hex. Both are
// long random values the service made itself (192 and 256 bits), so no dictionary can find them
// and a slow password hash would buy nothing; a copy of the state files lets no one in.
QString secretHash(const QString& secret);

// Compares a presented secret with a kept hash without an early exit on the first difference.
bool matchesHash(const QString& secret, const QString& hash);
