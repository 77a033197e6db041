#pragma once

#include "text/text.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The window-free parts of the keyword list commands.

// Import: the content ends at its first zero byte and is cut at every CR LF that begins
// a character (a byte of 0x80 or above and the byte after it are one character). Empty
// pieces between separators count; a separator at the very end adds no empty piece;
// empty content gives no pieces.
std::vector<Text> SplitImportLines(const Text& content);

// True when the piece is not empty once its leading half-width (0x20) and full-width
// (0xA1 0xA1) spaces are removed. Tabs are not spaces here.
bool IsKeptImportLine(std::string_view piece);

// SplitImportLines and IsKeptImportLine in one pass: the kept pieces, unchanged, in order.
std::vector<Text> KeptImportLines(const Text& content);

// All bytes of the file, opened for reading while others may still read it. ok is false,
// and the result empty, when it cannot be read (missing, a directory, no permission).
// The bytes are as stored: a zero byte in the file is kept.
Text ReadWholeFile(const std::string& path, bool& ok);

// Creates the file or replaces its whole content with bytes, holding it for exclusive
// use. False when it cannot be written (a directory, a missing or unwritable place).
bool WriteWholeFile(const std::string& path, const Text& bytes);

// Export content: every item followed by CR LF, the last one included.
Text ExportBytes(const std::vector<Text>& items);

// The first occurrence of every distinct text, in order of first appearance; texts are
// compared byte for byte.
std::vector<Text> DedupeKeepFirst(const std::vector<Text>& items);
std::vector<Text> DedupeKeepFirst(std::vector<Text>&& items);

// One de-duplication pass taken a text at a time, so the caller can do other work in
// between. The seen-set holds views, not copies: every text given to FirstTime must stay
// alive and unchanged (not modified, not moved) until the pass is destroyed.
class DedupePass {
public:
    // expected: about how many texts will be seen; the set grows beyond it as needed.
    explicit DedupePass(std::size_t expected);

    // True the first time this pass sees a text with these bytes.
    bool FirstTime(const Text& text);
    // A temporary would be gone before the pass ends.
    bool FirstTime(Text&&) = delete;

private:
    // Open addressing over a power-of-two table of small slots: no allocation per text,
    // little memory to touch, and a probe compares the stored hash before any bytes.
    struct Slot {
        std::uint32_t entry = 0; // index into m_seen plus one; 0 marks a free slot
        std::uint32_t hash = 0;
    };
    void Grow();

    std::vector<std::string_view> m_seen;
    std::vector<Slot> m_slots;
};
