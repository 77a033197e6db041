#include "lists/list_logic.h"

#include <algorithm>
#include <functional>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Calls emit(piece) for every import piece, in order.
template <typename Emit> void ForEachImportPiece(const Text& content, Emit&& emit) {
    std::string_view all(content);
    all = all.substr(0, all.find('\0'));
    const size_t size = all.size();
    size_t start = 0;
    size_t pos = 0;
    while (pos < size) {
        const auto byte = static_cast<unsigned char>(all[pos]);
        if (byte == '\r' && pos + 1 < size && all[pos + 1] == '\n') {
            emit(all.substr(start, pos - start));
            pos += 2;
            start = pos;
        } else {
            pos += IsLeadByte(byte) ? 2 : 1;
        }
    }
    if (start < size)
        emit(all.substr(start));
}

// Every piece but the last ends at a CR LF, so their count bounds the number of pieces
// (an LF alone must not count: a big LF-only file is a single piece).
size_t PieceBound(const Text& content) {
    const std::string_view all(content.data(), std::min(content.size(), content.find('\0')));
    size_t count = 1;
    for (size_t at = all.find("\r\n"); at != std::string_view::npos; at = all.find("\r\n", at + 2))
        ++count;
    return count;
}

// Flags of the items that are the first of their bytes. Views point into items.
std::vector<char> FirstOccurrences(const std::vector<Text>& items) {
    std::vector<char> keep(items.size(), 0);
    DedupePass pass(items.size());
    for (size_t i = 0; i < items.size(); ++i)
        keep[i] = pass.FirstTime(items[i]);
    return keep;
}

} // namespace

std::vector<Text> SplitImportLines(const Text& content) {
    std::vector<Text> pieces;
    pieces.reserve(PieceBound(content));
    ForEachImportPiece(content, [&](std::string_view piece) { pieces.emplace_back(piece); });
    return pieces;
}

bool IsKeptImportLine(std::string_view piece) {
    size_t pos = 0;
    while (pos < piece.size()) {
        if (piece[pos] == ' ')
            pos += 1;
        else if (piece.substr(pos, 2) == "\xA1\xA1")
            pos += 2;
        else
            return true;
    }
    return false;
}

std::vector<Text> KeptImportLines(const Text& content) {
    std::vector<Text> kept;
    kept.reserve(PieceBound(content));
    ForEachImportPiece(content, [&](std::string_view piece) {
        if (IsKeptImportLine(piece))
            kept.emplace_back(piece);
    });
    return kept;
}

#ifdef _WIN32

Text ReadWholeFile(const std::string& path, bool& ok) {
    ok = false;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    Text bytes;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0)
        bytes.reserve(static_cast<size_t>(size.QuadPart));
    char buffer[65536];
    DWORD got = 0;
    bool failed = false;
    while (!(failed = !ReadFile(file, buffer, sizeof buffer, &got, nullptr)) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    if (failed)
        return {};
    ok = true;
    return bytes;
}

bool WriteWholeFile(const std::string& path, const Text& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    size_t done = 0;
    while (ok && done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
        DWORD written = 0;
        ok = WriteFile(file, bytes.data() + done, chunk, &written, nullptr) && written > 0;
        done += written;
    }
    return CloseHandle(file) && ok;
}

#else

Text ReadWholeFile(const std::string& path, bool& ok) {
    ok = false;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    Text bytes;
    struct stat info {};
    bool failed = fstat(fd, &info) != 0 || S_ISDIR(info.st_mode);
    if (!failed && info.st_size > 0)
        bytes.reserve(static_cast<size_t>(info.st_size));
    char buffer[65536];
    while (!failed) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            failed = got < 0;
            break;
        }
        bytes.append(buffer, static_cast<size_t>(got));
    }
    close(fd);
    if (failed)
        return {};
    ok = true;
    return bytes;
}

bool WriteWholeFile(const std::string& path, const Text& bytes) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    bool ok = true;
    size_t done = 0;
    while (ok && done < bytes.size()) {
        const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        ok = written > 0;
        if (ok)
            done += static_cast<size_t>(written);
    }
    return close(fd) == 0 && ok;
}

#endif

Text ExportBytes(const std::vector<Text>& items) {
    size_t total = 0;
    for (const Text& item : items)
        total += item.size() + 2;
    Text out;
    out.reserve(total);
    for (const Text& item : items) {
        out += item;
        out += "\r\n";
    }
    return out;
}

std::vector<Text> DedupeKeepFirst(const std::vector<Text>& items) {
    const std::vector<char> keep = FirstOccurrences(items);
    std::vector<Text> unique;
    unique.reserve(static_cast<size_t>(std::count(keep.begin(), keep.end(), 1)));
    for (size_t i = 0; i < items.size(); ++i)
        if (keep[i])
            unique.push_back(items[i]);
    return unique;
}

std::vector<Text> DedupeKeepFirst(std::vector<Text>&& items) {
    // Moving changes the texts the seen-set views, so the moves wait until it is gone.
    const std::vector<char> keep = FirstOccurrences(items);
    size_t kept = 0;
    for (size_t i = 0; i < items.size(); ++i)
        if (keep[i]) {
            if (kept != i)
                items[kept] = std::move(items[i]);
            ++kept;
        }
    items.resize(kept);
    return std::move(items);
}

namespace {

std::size_t TableSizeFor(std::size_t entries) {
    std::size_t size = 16;
    while (size < entries * 2)
        size *= 2;
    return size;
}

} // namespace

DedupePass::DedupePass(std::size_t expected) : m_slots(TableSizeFor(expected)) {
    m_seen.reserve(expected);
}

bool DedupePass::FirstTime(const Text& text) {
    const std::string_view bytes(text);
    const auto hash = static_cast<std::uint32_t>(std::hash<std::string_view>{}(bytes));
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        Slot& slot = m_slots[i];
        if (slot.entry == 0) {
            m_seen.push_back(bytes);
            slot = {static_cast<std::uint32_t>(m_seen.size()), hash};
            if (m_seen.size() * 2 > m_slots.size())
                Grow();
            return true;
        }
        if (slot.hash == hash && m_seen[slot.entry - 1] == bytes)
            return false;
    }
}

void DedupePass::Grow() {
    std::vector<Slot> old(m_slots.size() * 2);
    old.swap(m_slots);
    const std::size_t mask = m_slots.size() - 1;
    for (const Slot& slot : old) {
        if (slot.entry == 0)
            continue;
        std::size_t i = slot.hash & mask;
        while (m_slots[i].entry != 0)
            i = (i + 1) & mask;
        m_slots[i] = slot;
    }
}
