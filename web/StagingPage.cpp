#include "web/StagingPage.h"

#include "files/ReplaceFile.h"

#include <QStandardPaths>
#include <QString>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace larkspur {

namespace {

[[noreturn]] void fail(const std::string& what, const std::string& path)
{
    throw std::runtime_error(what + " " + path + ": " + std::strerror(errno));
}

// Makes the folder (and missing parents) and leaves it owned by us and closed to others.
void makePrivateFolder(const std::string& path)
{
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        const bool last = slash == std::string::npos;
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) fail("Cannot create folder", part);
        if (last) break;
    }
    struct stat st
    {
    };
    if (::lstat(path.c_str(), &st) != 0) fail("Cannot read folder", path);
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) {
        errno = EPERM;
        fail("Not a private folder:", path);
    }
    if ((st.st_mode & 077) != 0 && ::chmod(path.c_str(), 0700) != 0)
        fail("Cannot restrict folder", path);
}

} // namespace

std::string stagingPagePath()
{
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.isEmpty()) throw std::runtime_error("No cache folder for the staging page");
    const std::string folder = cache.toStdString() + "/larkspur";
    makePrivateFolder(folder);
    return folder + "/f.htm";
}

void writeStagingPage(std::string_view bytes)
{
    const std::string path = stagingPagePath();
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        // Something planted there is left for the user to see, not replaced.
        errno = EPERM;
        fail("Not a regular file:", path);
    }
    // Renamed into place, so the browser never reads half a page. No fsync: the page is
    // fetched again after a power loss, and the rename alone is enough against a crash.
    ReplaceOptions options;
    options.setMode = true;
    options.mode = 0600;
    options.sync = false;
    std::string error;
    if (replaceFile(path, bytes, options, error) != Replaced::Done)
        throw std::runtime_error("Cannot write " + path + ": " + error);
}

std::string utf8StagingBytes(std::string_view utf8Html)
{
    // The first charset a page names is the one that counts.
    std::string page = "<meta charset=\"utf-8\">\r\n";
    page += utf8Html;
    return page;
}

void writeUtf8StagingPage(std::string_view utf8Html)
{
    writeStagingPage(utf8StagingBytes(utf8Html));
}

} // namespace larkspur
