// Fuzzes the reader of the office's archives over every method: nothing it is given may crash
// it, hang it or make it write outside its folder.
#include "exchange/archive.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const fs::path home = [] {
        const char* shm = fs::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(shm) + "/vendrix-fuzz-zip-XXXXXX";
        return fs::path(mkdtemp(pattern.data()));
    }();
    const fs::path archive = home / "in.zip";
    const fs::path out = home / "out";
    std::ofstream(archive, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    vendrix::Extract(archive, out, "*");
    std::error_code ec;
    fs::remove_all(out, ec);
    // Anything written beside the archive would be an entry that escaped its folder.
    for (const auto& entry : fs::directory_iterator(home)) {
        if (entry.path() != archive)
            std::abort();
    }
    return 0;
}
