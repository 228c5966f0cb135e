// The demo office for the road tests. It takes its port from the command line and prints its
// settings once it listens, the port among them.
#include "app/local_office.h"

#include <random>
#include <string>

namespace vendrix::test {

TLocalOffice::TLocalOffice(const std::filesystem::path& home)
{
    const std::string script = std::string(VENDRIX_OFFICE) + "/local_office.py";
    // The office cannot bind a port the system picks (its passive ports follow its own), so it
    // is given one below the range the system picks from, and another when that one is taken:
    // it then ends before it says it runs.
    std::random_device seed;
    std::uniform_int_distribution<int> ports(20000, 32000);
    for (int attempt = 0; attempt < 20 && !m_server.Running(); ++attempt) {
        const std::string port = std::to_string(ports(seed));
        m_server.Start({"/usr/bin/python3", script, "--port", port, "--home", home.string()},
            [&](const std::string& line) {
                const std::string label = "Порт:";
                const std::size_t at = line.find(label);
                if (at == std::string::npos)
                    return 0;
                const std::size_t digits = line.find_first_not_of(' ', at + label.size());
                return digits != std::string::npos && line.substr(digits) == port ? std::stoi(port)
                                                                                  : 0;
            });
    }
}

TLocalOffice::~TLocalOffice()
{
    m_server.Stop(SIGINT);
}

} // namespace vendrix::test
