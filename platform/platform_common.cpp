#include "platform/platform.h"

namespace platform {

std::string DirectoryOf(const std::string& filePath, char separator) {
    const auto last = filePath.rfind(separator);
    std::string dir = last == std::string::npos ? std::string() : filePath.substr(0, last);
    if (dir.empty() || dir.back() != separator)
        dir += separator;
    return dir;
}

} // namespace platform
