#pragma once
// Runs a program that saves a file over and over, and kills it (SIGKILL) at a random instant
// of a save. The program writes "S<n>" before save n and "D<n>" after it, one per line.

#include <chrono>
#include <random>
#include <string>
#include <vector>

namespace larkspur::test {

struct KilledSave
{
    long started = -1; // the last save begun
    long done = -1;    // the last save finished
    bool inSave() const { return started > done; }
};

class KillLoop
{
  public:
    explicit KillLoop(std::vector<std::string> command, unsigned seed = std::random_device{}());

    // Times a save of the program: the longer of its first two.
    std::chrono::microseconds timeOneSave();

    // Starts the program, waits until a save begins, and kills it after a random delay of up
    // to `spread` (so also after that save's end). Throws when the program fails or is silent.
    KilledSave killDuringSave(std::chrono::microseconds spread);

    // Starts the program with `environment` added ("NAME=value") and kills it once it writes
    // "X" (and stops itself there) during one of its first two saves.
    KilledSave killAtStop(const std::vector<std::string>& environment);

    std::vector<std::string>& command() { return m_command; }

  private:
    std::vector<std::string> m_command;
    std::mt19937 m_random;
};

// The names in a folder, sorted, without "." and "..".
std::vector<std::string> folderNames(const std::string& folder);

} // namespace larkspur::test
