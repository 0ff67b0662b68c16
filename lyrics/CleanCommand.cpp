#include "lyrics/CleanCommand.h"

#include "lyrics/CleanLyricsPage.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <ostream>

namespace larkspur {

namespace {

struct FileCloser
{
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// The whole file, or nothing with `error` set to the errno value telling why.
std::optional<std::string> readWholeFile(const std::string& path, int& error)
{
    errno = 0;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        error = errno;
        return std::nullopt;
    }
    std::string bytes;
    char buffer[1 << 16];
    for (;;) {
        const std::size_t n = std::fread(buffer, 1, sizeof buffer, file.get());
        bytes.append(buffer, n);
        if (n < sizeof buffer) break;
    }
    // A folder opens fine on Linux and only fails here, with EISDIR.
    if (std::ferror(file.get())) {
        error = errno;
        return std::nullopt;
    }
    return bytes;
}

} // namespace

int runCleanCommand(const std::string& file, std::ostream& out, std::ostream& err)
{
    int reason = 0;
    const std::optional<std::string> page = readWholeFile(file, reason);
    if (!page) {
        err << "clean: cannot read " << file << ": "
            << (reason ? std::strerror(reason) : "read error") << '\n';
        return 1;
    }
    const std::string cleaned = CleanLyricsPage(*page);
    out.write(cleaned.data(), std::streamsize(cleaned.size()));
    out.flush();
    if (!out) {
        err << "clean: cannot write the result\n";
        return 1;
    }
    return 0;
}

} // namespace larkspur
