#include "collect/text_between.h"

#include <cstring>
#include <string_view>

namespace {

constexpr size_t kNone = std::string_view::npos;

// Every routine here works on views of the bytes before the first zero, so a search
// never copies the text it searches.
std::string_view Content(const Text& text) {
    const void* zero = std::memchr(text.data(), 0, text.size());
    const size_t length =
        zero ? static_cast<size_t>(static_cast<const char*>(zero) - text.data()) : text.size();
    return {text.data(), length};
}

unsigned char ByteAt(std::string_view text, size_t at) {
    return static_cast<unsigned char>(text[at]);
}

unsigned char FoldAsciiUpper(unsigned char byte) {
    return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte + ('a' - 'A')) : byte;
}

// Folding both sides whenever they differ is the same as folding them always, since
// equal bytes fold equally.
bool MatchesAt(std::string_view text, size_t at, std::string_view needle, bool ignoreCase) {
    if (needle.size() > text.size() - at)
        return false;
    if (!ignoreCase)
        return std::memcmp(text.data() + at, needle.data(), needle.size()) == 0;
    for (size_t i = 0; i < needle.size(); ++i) {
        if (FoldAsciiUpper(ByteAt(text, at + i)) != FoldAsciiUpper(ByteAt(needle, i)))
            return false;
    }
    return true;
}

// The character scan steps over a double-byte character as a whole; a lead byte with
// nothing after it ends the scan, so no match can begin there.
bool EndsScan(std::string_view text, size_t at) {
    return IsLeadByte(ByteAt(text, at)) && at + 1 == text.size();
}

size_t NextCharacter(std::string_view text, size_t at) {
    return at + (IsLeadByte(ByteAt(text, at)) ? 2 : 1);
}

// 0-based position of the first match on the character scan that begins at `from`;
// needle is not empty.
size_t FindFrom(std::string_view text, std::string_view needle, size_t from, bool ignoreCase) {
    const unsigned char first = ignoreCase ? FoldAsciiUpper(ByteAt(needle, 0)) : ByteAt(needle, 0);
    for (size_t at = from; at < text.size() && text.size() - at >= needle.size();
         at = NextCharacter(text, at)) {
        if (EndsScan(text, at))
            return kNone;
        const unsigned char byte = ignoreCase ? FoldAsciiUpper(ByteAt(text, at)) : ByteAt(text, at);
        if (byte == first && MatchesAt(text, at, needle, ignoreCase))
            return at;
    }
    return kNone;
}

int ToPosition(size_t at) {
    return at == kNone ? -1 : static_cast<int>(at) + 1;
}

// For every start in `starts` (ascending), the 0-based position where the scan from
// that start first meets needle. A scan from position i reaches either i + 1 or i + 2
// next, so the answer for i follows from the answers for those two: one sweep from the
// end of the text answers every start at once, however far apart starts and matches
// lie, and however the starts are aligned against the double-byte characters.
std::vector<size_t> FirstMatchesFrom(std::string_view text, std::string_view needle,
                                     const std::vector<size_t>& starts, bool ignoreCase) {
    std::vector<size_t> found(starts.size(), kNone);
    if (starts.empty())
        return found;
    size_t fromNext = kNone;      // answer for at + 1
    size_t fromAfterNext = kNone; // answer for at + 2
    size_t pending = starts.size();
    for (size_t at = text.size(); at-- > starts.front();) {
        size_t here;
        if (EndsScan(text, at))
            here = kNone;
        else if (MatchesAt(text, at, needle, ignoreCase))
            here = at;
        else
            here = IsLeadByte(ByteAt(text, at)) ? fromAfterNext : fromNext;
        if (at == starts[pending - 1]) {
            found[pending - 1] = here;
            if (--pending == 0)
                break;
        }
        fromAfterNext = fromNext;
        fromNext = here;
    }
    return found;
}

Text MidOf(std::string_view text, int start, int length) {
    if (start < 1 || length <= 0 || static_cast<size_t>(start) > text.size())
        return {};
    return Text(text.substr(static_cast<size_t>(start) - 1, static_cast<size_t>(length)));
}

} // namespace

int Find(const Text& text, const Text& needle, int start, bool ignoreCase) {
    const std::string_view haystack = Content(text);
    const std::string_view wanted = Content(needle);
    const size_t from = start < 1 ? 0 : static_cast<size_t>(start) - 1;
    if (from >= haystack.size())
        return -1;
    if (wanted.empty())
        return 1;
    return ToPosition(FindFrom(haystack, wanted, from, ignoreCase));
}

Text Mid(const Text& text, int start, int length) {
    return MidOf(Content(text), start, length);
}

Text Left(const Text& text, int n) {
    if (n <= 0)
        return {};
    return Text(Content(text).substr(0, static_cast<size_t>(n)));
}

Text TextBetween(const Text& text, const Text& left, const Text& right) {
    const std::string_view haystack = Content(text);
    const std::string_view leftMarker = Content(left);
    const std::string_view rightMarker = Content(right);

    if (leftMarker.empty() && !rightMarker.empty()) {
        const size_t q = FindFrom(haystack, rightMarker, 0, false);
        return q == kNone ? Text() : Text(haystack.substr(0, q));
    }

    size_t p;
    if (leftMarker.empty())
        p = haystack.empty() ? kNone : 0;
    else
        p = FindFrom(haystack, leftMarker, 0, false);
    if (p == kNone)
        return {};
    const std::string_view rest = haystack.substr(p + leftMarker.size());
    if (rightMarker.empty())
        return Text(rest);
    const size_t q = FindFrom(rest, rightMarker, 0, false);
    return q == kNone ? Text() : Text(rest.substr(0, q));
}

std::vector<Text> TextBetween(const Text& text, const Text& left, const Text& right, AllPieces) {
    const std::string_view haystack = Content(text);
    const std::string_view leftMarker = Content(left);
    const std::string_view rightMarker = Content(right);
    if (leftMarker.empty() || rightMarker.empty())
        return {};

    // The left markers do not depend on where the right ones are, so all of them are
    // found first, each search going on from the byte after the previous one's start.
    std::vector<size_t> starts;
    for (size_t c = FindFrom(haystack, leftMarker, 0, true); c != kNone;
         c = FindFrom(haystack, leftMarker, c + 1, true))
        starts.push_back(c);

    const std::vector<size_t> ends = FirstMatchesFrom(haystack, rightMarker, starts, true);
    std::vector<Text> pieces;
    pieces.reserve(starts.size());
    for (size_t i = 0; i < starts.size(); ++i) {
        const int c = ToPosition(starts[i]);
        const int d = ToPosition(ends[i]);
        const int leftLength = static_cast<int>(leftMarker.size());
        pieces.push_back(MidOf(haystack, c + leftLength, d - c - leftLength));
    }
    return pieces;
}
