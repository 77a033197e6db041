#pragma once

#include "text/text.h"

#include <cstddef>
#include <string>

// INI files in the manner of the Windows private-profile services. Names and values are
// code page 936 bytes; paths are native path bytes.
//
// Reading: section and key names match without regard to the case of ASCII letters
// (a trail byte of a double-byte character is never folded); spaces and tabs around
// names and values are dropped; lines may end in CR LF or LF; lines starting with ';'
// are comments; any other line without '=' is ignored. When a section or key occurs more
// than once, the first occurrence counts, searching the sections of that name in order.
//
// Writing: every line but the one written stays byte for byte as it was; written lines
// end in CR LF. A new key goes after the last non-blank line of the first section of its
// name, a new section at the end of the file. The new content replaces the file in one
// rename, so the file is either the old or the new one, never a mix.

// The program's settings file (beside the executable), its section and its keys.
inline constexpr const char* kConfigFileName = "config.ini";
inline constexpr const char* kConfigSection = "\xC5\xE4\xD6\xC3";                    // 配置
inline constexpr const char* kKeyWorkerThreads = "\xB9\xA4\xD7\xF7\xCF\xDF\xB3\xCC"; // 工作线程
inline constexpr const char* kKeyCollectLevel = "\xB2\xC9\xBC\xAF\xBC\xB6\xB1\xF0";  // 采集级别
inline constexpr const char* kDefaultWorkerThreads = "20";
inline constexpr const char* kDefaultCollectLevel = "1";

// At most this many bytes of a value (or of the default) are returned, as from the
// 10240-byte buffer of the Windows service; longer values are cut at a byte boundary.
inline constexpr std::size_t kMaxIniValueBytes = 10239;

// The value of key in section, or def when the file, the section or the key is missing
// or the file cannot be read. A key present with an empty value gives an empty text.
Text ReadIniValue(const std::string& path, const Text& section, const Text& key, const Text& def);

// Sets key in section to value, creating the file, the section or the key as needed.
// Returns false, leaving the file untouched, when the file exists but cannot be read,
// cannot be replaced, or when a name or the value cannot be stored in a line: an empty
// key, a key holding '=' or starting with '[' or ';', a section holding ']', or any of
// them holding CR, LF or a zero byte.
bool WriteIniValue(const std::string& path, const Text& section, const Text& key,
                   const Text& value);
