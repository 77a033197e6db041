#include "settings/ini_file.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Space and tab are never trail bytes in code page 936, so trimming bytes is safe.
std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

char FoldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Trail bytes of code page 936 include the ASCII letters, so only a byte that starts a
// character is folded; otherwise two different Chinese names could compare equal.
bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (IsLeadByte(static_cast<unsigned char>(a[i]))) {
            if (a[i] != b[i] || (i + 1 < a.size() && a[i + 1] != b[i + 1]))
                return false;
            ++i;
        } else if (FoldAscii(a[i]) != FoldAscii(b[i])) {
            return false;
        }
    }
    return true;
}

// Position of the first ']' that begins a character (0x5D is also a trail byte).
size_t FindClosingBracket(std::string_view s) {
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == ']')
            return i;
        if (IsLeadByte(static_cast<unsigned char>(s[i])))
            ++i;
    }
    return std::string_view::npos;
}

enum class LineKind { Blank, Comment, Section, Key, Other };

struct Line {
    size_t begin = 0;        // first byte of the line
    size_t next = 0;         // first byte of the following line
    bool terminated = false; // ends in LF
    LineKind kind = LineKind::Other;
    std::string_view name;  // section or key name, trimmed
    std::string_view value; // key value, trimmed
};

void Classify(std::string_view content, Line& line) {
    const std::string_view text = Trim(content);
    if (text.empty()) {
        line.kind = LineKind::Blank;
    } else if (text.front() == ';') {
        line.kind = LineKind::Comment;
    } else if (text.front() == '[') {
        const size_t close = FindClosingBracket(text.substr(1));
        if (close != std::string_view::npos) {
            line.kind = LineKind::Section;
            line.name = Trim(text.substr(1, close));
        }
    } else if (const size_t eq = text.find('='); eq != std::string_view::npos) {
        // '=' (0x3D) is below every trail byte, so a plain byte search is exact.
        line.kind = LineKind::Key;
        line.name = Trim(text.substr(0, eq));
        line.value = Trim(text.substr(eq + 1));
    }
}

// The views in the lines point into content, which must outlive them.
std::vector<Line> ParseLines(const Text& content) {
    std::vector<Line> lines;
    const std::string_view all(content);
    size_t pos = 0;
    while (pos < all.size()) {
        Line line;
        line.begin = pos;
        const size_t lf = all.find('\n', pos);
        size_t end = lf == std::string_view::npos ? all.size() : lf;
        line.terminated = lf != std::string_view::npos;
        line.next = line.terminated ? lf + 1 : all.size();
        if (end > pos && all[end - 1] == '\r')
            --end;
        Classify(all.substr(pos, end - pos), line);
        lines.push_back(line);
        pos = line.next;
    }
    return lines;
}

Text Capped(std::string_view value) {
    value = value.substr(0, value.find('\0'));
    return Text(value.substr(0, std::min(value.size(), kMaxIniValueBytes)));
}

bool HoldsLineBreakOrZero(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool StorableName(std::string_view section, std::string_view key) {
    if (HoldsLineBreakOrZero(section) || HoldsLineBreakOrZero(key))
        return false;
    if (FindClosingBracket(section) != std::string_view::npos)
        return false;
    return !key.empty() && key.find('=') == std::string_view::npos && key.front() != '[' &&
           key.front() != ';';
}

enum class LoadResult { Missing, Loaded, Failed };

LoadResult LoadFile(const std::string& path, Text& content) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found)
        return LoadResult::Missing;
    if (ec || status.type() == fs::file_type::directory)
        return LoadResult::Failed;

    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return LoadResult::Failed;
    char buffer[65536];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        content.append(buffer, got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    return failed ? LoadResult::Failed : LoadResult::Loaded;
}

// The file content with key set to value. key and section are trimmed and storable.
Text UpdatedContent(const Text& old, std::string_view section, std::string_view key,
                    const Text& value) {
    const std::vector<Line> lines = ParseLines(old);
    auto keyLine = [&](std::string_view name) { return Text(name) + "=" + value + "\r\n"; };

    size_t firstSection = std::string_view::npos;
    size_t lastNonBlank = 0; // of the first matching section, its header included
    bool inMatching = false;
    bool inFirst = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        if (line.kind == LineKind::Section) {
            inMatching = SameName(line.name, section);
            inFirst = inMatching && firstSection == std::string_view::npos;
            if (inFirst)
                firstSection = lastNonBlank = i;
            continue;
        }
        if (!inMatching)
            continue;
        if (line.kind == LineKind::Key && SameName(line.name, key))
            return old.substr(0, line.begin) + keyLine(line.name) + old.substr(line.next);
        if (inFirst && line.kind != LineKind::Blank)
            lastNonBlank = i;
    }

    if (firstSection != std::string_view::npos) {
        const Line& after = lines[lastNonBlank];
        const Text lineEnd = after.terminated ? "" : "\r\n";
        return old.substr(0, after.next) + lineEnd + keyLine(key) + old.substr(after.next);
    }
    Text updated = old;
    if (!updated.empty() && updated.back() != '\n')
        updated += "\r\n";
    updated += "[" + Text(section) + "]\r\n" + keyLine(key);
    return updated;
}

std::string DirectoryOf(const std::string& path) {
#ifdef _WIN32
    const size_t slash = path.find_last_of("\\/");
#else
    const size_t slash = path.find_last_of('/');
#endif
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

#ifdef _WIN32

bool ReplaceContent(const std::string& target, const Text& bytes) {
    std::string dir = DirectoryOf(target);
    if (dir.empty())
        dir = ".";
    char temp[MAX_PATH];
    if (GetTempFileNameA(dir.c_str(), "ini", 0, temp) == 0)
        return false;
    HANDLE file =
        CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    bool ok = file != INVALID_HANDLE_VALUE;
    size_t done = 0;
    while (ok && done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
        DWORD written = 0;
        ok = WriteFile(file, bytes.data() + done, chunk, &written, nullptr) && written > 0;
        done += written;
    }
    if (file != INVALID_HANDLE_VALUE) {
        ok = FlushFileBuffers(file) && ok;
        ok = CloseHandle(file) && ok;
    }
    ok =
        ok && MoveFileExA(temp, target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok)
        DeleteFileA(temp);
    return ok;
}

#else

// A fresh file beside the target, created with the permissions a new file gets here.
int CreateTempBeside(const std::string& target, std::string& tempPath) {
    static std::atomic<unsigned> counter{0};
    const auto stamp = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = DirectoryOf(target) + ".ini-" + std::to_string(getpid()) + "-" +
                   std::to_string(stamp) + "-" + std::to_string(counter++) + ".tmp";
        const int fd = open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

bool WriteAll(int fd, const Text& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += static_cast<size_t>(written);
    }
    return true;
}

bool ReplaceContent(const std::string& target, const Text& bytes) {
    std::string temp;
    const int fd = CreateTempBeside(target, temp);
    if (fd < 0)
        return false;
    // The replacement keeps the old file's permissions; a root-run edit also its owner.
    struct stat old {};
    if (stat(target.c_str(), &old) == 0) {
        fchmod(fd, old.st_mode & 07777);
        if (fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Only the owner can be kept by an unprivileged writer; the content matters more.
        }
    }
    bool ok = WriteAll(fd, bytes) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && std::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        unlink(temp.c_str());
        return false;
    }
    std::string dir = DirectoryOf(target);
    const int dirFd = open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
    return true;
}

#endif

} // namespace

Text ReadIniValue(const std::string& path, const Text& section, const Text& key, const Text& def) {
    Text content;
    if (LoadFile(path, content) != LoadResult::Loaded)
        return Capped(def);
    const std::string_view wantedSection = Trim(section);
    const std::string_view wantedKey = Trim(key);
    bool inMatching = false;
    for (const Line& line : ParseLines(content)) {
        if (line.kind == LineKind::Section)
            inMatching = SameName(line.name, wantedSection);
        else if (inMatching && line.kind == LineKind::Key && SameName(line.name, wantedKey))
            return Capped(line.value);
    }
    return Capped(def);
}

bool WriteIniValue(const std::string& path, const Text& section, const Text& key,
                   const Text& value) {
    const std::string_view cleanSection = Trim(section);
    const std::string_view cleanKey = Trim(key);
    if (!StorableName(cleanSection, cleanKey) || HoldsLineBreakOrZero(value))
        return false;

    // Through a symbolic link the file it names is replaced, not the link.
    std::string target = path;
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(path, ec))) {
        const fs::path resolved = fs::canonical(path, ec);
        if (!ec)
            target = resolved.string();
    }

    Text old;
    const LoadResult loaded = LoadFile(target, old);
    if (loaded == LoadResult::Failed)
        return false;
    const Text updated = UpdatedContent(old, cleanSection, cleanKey, value);
    if (loaded == LoadResult::Loaded && updated == old)
        return true;
    return ReplaceContent(target, updated);
}
