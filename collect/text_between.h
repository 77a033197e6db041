#pragma once

#include "text/text.h"

#include <vector>

// Plain text search over code page 936 bytes: 1-based positions, -1 when nothing is
// found, the scan moving one character at a time (two bytes from a byte >= 0x80), and
// every text ending at its first zero byte.
int Find(const Text& text, const Text& needle, int start, bool ignoreCase);
Text Mid(const Text& text, int start, int length);
Text Left(const Text& text, int n);

// Single form: the bytes between the first left marker and the first right marker
// after it, case-sensitive.
Text TextBetween(const Text& text, const Text& left, const Text& right);

// Batch form: one piece per left marker, up to the next right marker searched from that
// left marker's first byte; letters A-Z fold to a-z; empty piece where no right follows.
struct AllPieces {};
inline constexpr AllPieces all{};
std::vector<Text> TextBetween(const Text& text, const Text& left, const Text& right, AllPieces);
