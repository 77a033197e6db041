// The INI reader and writer on arbitrary file content: reading never fails, and a value
// that was written is read back as written (within the reader's 10239-byte cap), whatever
// lines the file held before.
#include "settings/ini_file.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

const std::string& ScratchPath() {
    static const std::string path = "/tmp/fuzz_ini_" + std::to_string(getpid()) + ".ini";
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    // The first byte picks how much of the tail is the value written; the rest is the file.
    const size_t valueLength = std::min<size_t>(data[0] % 32, size - 1);
    const Text value(reinterpret_cast<const char*>(data + 1), valueLength);
    const Text content(reinterpret_cast<const char*>(data + 1 + valueLength),
                       size - 1 - valueLength);

    const std::string& path = ScratchPath();
    if (FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(content.data(), 1, content.size(), file);
        std::fclose(file);
    }
    (void)ReadIniValue(path, kConfigSection, kKeyWorkerThreads, "d");
    (void)ReadIniValue(path, "x", "y", "d");

    if (WriteIniValue(path, kConfigSection, kKeyWorkerThreads, value)) {
        // Leading and trailing blanks are trimmed on reading, as the system's reader does.
        Text expected = value;
        while (!expected.empty() && (expected.front() == ' ' || expected.front() == '\t'))
            expected.erase(0, 1);
        while (!expected.empty() && (expected.back() == ' ' || expected.back() == '\t'))
            expected.pop_back();
        Check(ReadIniValue(path, kConfigSection, kKeyWorkerThreads, "d") == expected);
    }
    std::remove(path.c_str());
    return 0;
}
