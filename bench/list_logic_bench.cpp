#include "lists/list_logic.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

// Prints the CPU time of the list operations that run on a million items: importing a
// file of a million lines, de-duplicating a million items of which half repeat, and
// building the export bytes.
namespace {

double CpuSeconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

template <typename Work> void Measure(const char* what, Work&& work) {
    const double start = CpuSeconds();
    const size_t result = work();
    std::printf("%-44s %8.3f s CPU  (%zu items)\n", what, CpuSeconds() - start, result);
}

} // namespace

int main() {
    constexpr int kItems = 1000000;

    Text file;
    for (int i = 0; i < kItems; ++i) {
        file += (i % 10 == 0) ? "  " : "\xB9\xD8\xBC\xFC\xD7\xD6";
        file += std::to_string(i);
        file += "\r\n";
    }
    Measure("KeptImportLines, 1M lines", [&] { return KeptImportLines(file).size(); });

    std::vector<Text> items;
    items.reserve(kItems);
    for (int i = 0; i < kItems; ++i)
        items.push_back("\xCF\xE0\xB9\xD8" +
                        std::to_string((static_cast<int64_t>(i) * 7919) % (kItems / 2)));
    Measure("DedupeKeepFirst, 1M items, half repeated",
            [&] { return DedupeKeepFirst(items).size(); });
    Measure("DedupeKeepFirst (moving), same items", [&] {
        std::vector<Text> copy = items;
        return DedupeKeepFirst(std::move(copy)).size();
    });
    Measure("DedupePass, same items", [&] {
        DedupePass pass(items.size());
        size_t kept = 0;
        for (const Text& item : items)
            kept += pass.FirstTime(item);
        return kept;
    });
    Measure("ExportBytes, 1M items", [&] { return ExportBytes(items).size(); });
    return 0;
}
