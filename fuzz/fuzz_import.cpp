// Fuzzes the office's import script: reading, headers, every kind of body line, placeholders and
// batching, on a database in a temporary folder that is put back to its first state each run.
#include "exchange/exchange_log.h"
#include "exchange/import_script.h"
#include "shell/startup.h"
#include "storage/ui_seam.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace vendrix;

namespace {

class TQuietSink : public TExchangeSink {
public:
    void Log(const std::string&) override { }
};

struct TGround {
    fs::path home;
    fs::path pristine;
    TGround()
    {
        const char* shm = fs::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(shm) + "/vendrix-fuzz-XXXXXX";
        home = mkdtemp(pattern.data());
        fs::current_path(home); // whatever files a script names land here
        StartStorage(home);
        pristine = home / "pristine.sdb";
        fs::copy_file(home / "data" / "base.sdb", pristine);
        fs::create_directories(home / "in");
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static TGround ground;
    static TScriptedUserInterface ui;
    InstallUserInterface(&ui);
    ui.shown.clear();
    fs::copy_file(
        ground.pristine, ground.home / "data" / "base.sdb", fs::copy_options::overwrite_existing);
    // The first byte chooses whether a bulk script rides along, split off at a NUL.
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string bulk;
    if (!text.empty() && (text[0] & 1)) {
        const auto cut = text.find('\x01');
        if (cut != std::string::npos) {
            bulk = text.substr(cut + 1);
            text.resize(cut);
        }
    }
    std::ofstream(ground.home / "in" / "ToPDA.sqd", std::ios::binary | std::ios::trunc) << text;
    std::ofstream(ground.home / "in" / "ToPDA.sql", std::ios::binary | std::ios::trunc) << bulk;
    TQuietSink sink;
    Import(sink, (ground.home / "in").string(), false);
    return 0;
}
