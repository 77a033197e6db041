// The import split on arbitrary bytes: pieces are recognised only at character starts,
// joining them back with CR LF gives the content, and the kept lines are exactly the
// pieces that are not blank.
#include "lists/list_logic.h"

#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Text content(reinterpret_cast<const char*>(data), size);
    const Text visible = UpToFirstZero(content);
    const std::vector<Text> pieces = SplitImportLines(content);

    Text joined;
    for (const Text& piece : pieces)
        joined += piece + "\r\n";
    // A content that ends in CR LF gives no last empty piece; one that does not gets
    // its separator back from the join above.
    Check(joined == visible || joined == visible + "\r\n");

    std::vector<Text> kept;
    for (const Text& piece : pieces)
        if (IsKeptImportLine(piece))
            kept.push_back(piece);
    Check(kept == KeptImportLines(content));
    return 0;
}
