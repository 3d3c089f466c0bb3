#include "platform/SerialPortNames.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <utility>

#include "kestra/TextCodec.h"

namespace platform {
namespace {

struct Kind {
    const char* prefix;
    bool needsUart;
};
const Kind KINDS[] = {
    {"ttyUSB", false}, {"ttyACM", false}, {"rfcomm", false}, {"ttyS", true}, {"ttyAMA", true}};

// The number after prefix when name is prefix followed by decimal digits only; -1 otherwise.
long numberAfter(const std::string& name, const std::string& prefix) {
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
        name.size() - prefix.size() > 6) {
        return -1;
    }
    long n = 0;
    for (std::size_t i = prefix.size(); i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) {
            return -1;
        }
        n = n * 10 + (name[i] - '0');
    }
    return n;
}

bool isCharacterDevice(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

}  // namespace

SerialPortNames::SerialPortNames(std::string deviceFolder, std::string ttyClassFolder)
    : deviceFolder_(std::move(deviceFolder)), ttyClassFolder_(std::move(ttyClassFolder)) {}

std::vector<std::string> SerialPortNames::devices() const {
    std::vector<std::string> result;
    for (const Kind& kind : KINDS) {
        const std::vector<std::string> found = devicesOfKind(kind.prefix, kind.needsUart);
        result.insert(result.end(), found.begin(), found.end());
    }
    return result;
}

std::vector<std::string> SerialPortNames::devicesOfKind(const std::string& prefix,
                                                        bool needsUart) const {
    std::vector<std::pair<long, std::string>> numbered;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(deviceFolder_, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const long n = numberAfter(name, prefix);
        if (n < 0 || !isCharacterDevice(it->path().string())) {
            continue;  // not of this kind, or a link whose device has gone
        }
        if (needsUart && !hasUart(name)) {
            continue;
        }
        numbered.emplace_back(n, it->path().string());
    }
    std::sort(numbered.begin(), numbered.end());
    std::vector<std::string> paths;
    for (auto& entry : numbered) {
        paths.push_back(std::move(entry.second));
    }
    return paths;
}

// The kernel creates every possible on-board port; only those whose UART type is known
// (not 0, "unknown") have hardware behind them.
bool SerialPortNames::hasUart(const std::string& name) const {
    std::ifstream in(ttyClassFolder_ + "/" + name + "/type");
    int type = 0;
    return static_cast<bool>(in >> type) && type != 0;
}

std::string SerialPortNames::devicePath(const std::wstring& portName) const {
    if (!portName.empty() && portName[0] == L'/') {
        return kestra::wideToUtf8(portName);
    }
    const int n = portNumber(portName);
    if (n < 0) {
        return std::string();
    }
    const std::vector<std::string> present = devices();
    return static_cast<std::size_t>(n) < present.size() ? present[n] : std::string();
}

int SerialPortNames::portNumber(const std::wstring& portName) {
    if (portName.size() < 4 || std::towupper(portName[0]) != L'C' ||
        std::towupper(portName[1]) != L'O' || std::towupper(portName[2]) != L'M') {
        return -1;
    }
    std::size_t end = portName.size();
    if (portName[end - 1] == L':') {
        --end;
    }
    if (end <= 3 || end - 3 > 4) {
        return -1;
    }
    int n = 0;
    for (std::size_t i = 3; i < end; ++i) {
        if (portName[i] < L'0' || portName[i] > L'9') {
            return -1;
        }
        n = n * 10 + (portName[i] - L'0');
    }
    return n;
}

}  // namespace platform
