// Both forms of TextBetween and Find on arbitrary bytes: the first bytes choose the
// markers, the rest is the text. Checks the invariants every result must keep.
#include "collect/text_between.h"

#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3)
        return 0;
    const size_t leftLength = data[0] % 8;
    const size_t rightLength = data[1] % 8;
    const bool ignoreCase = data[2] & 1;
    size_t pos = 3;
    if (size < pos + leftLength + rightLength)
        return 0;
    const Text left(reinterpret_cast<const char*>(data + pos), leftLength);
    pos += leftLength;
    const Text right(reinterpret_cast<const char*>(data + pos), rightLength);
    pos += rightLength;
    const Text text(reinterpret_cast<const char*>(data + pos), size - pos);
    const Text visible = UpToFirstZero(text);

    const int found = Find(text, left, 1, ignoreCase);
    Check(found == -1 || (found >= 1 && static_cast<size_t>(found) <= visible.size() + 1));

    const Text single = TextBetween(text, left, right);
    Check(single.size() <= visible.size());
    Check(visible.find(single) != Text::npos);

    size_t total = 0;
    for (const Text& piece : TextBetween(text, left, right, all)) {
        Check(visible.find(piece) != Text::npos);
        total += piece.size();
    }
    (void)total;
    return 0;
}
