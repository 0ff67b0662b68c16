#pragma once
// A private folder for targets that read real files, made once per process (in memory
// when /dev/shm is there, so an execution costs no disk writes) and removed at exit.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>

namespace larkspur::fuzz {

class ScratchFolder
{
  public:
    ScratchFolder()
    {
        namespace fs = std::filesystem;
        std::error_code error;
        fs::path base = fs::is_directory("/dev/shm", error) && ::access("/dev/shm", W_OK) == 0
                            ? fs::path("/dev/shm")
                            : fs::temp_directory_path();
        std::string name = (base / "larkspur-fuzz-XXXXXX").string();
        if (!::mkdtemp(name.data())) std::abort();
        m_path = name;
    }
    ~ScratchFolder()
    {
        std::error_code error;
        std::filesystem::remove_all(m_path, error);
    }
    const std::filesystem::path& path() const { return m_path; }

  private:
    std::filesystem::path m_path;
};

inline const std::filesystem::path& scratch()
{
    static ScratchFolder folder;
    return folder.path();
}

inline void writeFile(const std::filesystem::path& path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) std::abort();
}

} // namespace larkspur::fuzz
