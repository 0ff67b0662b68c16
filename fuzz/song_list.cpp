// The song list: its "count|path" lines, loading from and saving to a real file, and the
// edits the player makes (counting a play, removing a song).

#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzFiles.h"
#include "playback/SongList.h"
#include "playback/SongListFile.h"

#include <string>
#include <vector>

using namespace larkspur;

namespace {

std::vector<std::string> entriesOf(const SongList& list)
{
    std::vector<std::string> out;
    for (std::size_t i = 0; i < list.count(); ++i)
        out.emplace_back(list.get(i));
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input = fuzz::bytesOf(data, size);
    const auto file = (fuzz::scratch() / "list.txt").string();
    fuzz::writeFile(file, input);

    SongList loaded;
    loaded.add("untouched");
    const ListFileResult got = loadSongList(file, loaded);
    if (!got) {
        FUZZ_CHECK(got.status == ListFileResult::Status::NotText);
        FUZZ_CHECK(!got.message.empty());
        FUZZ_CHECK(loaded.count() == 1 && loaded.get(0) == "untouched");
        return 0;
    }

    SongList direct;
    direct.setText(std::string(input));
    const std::vector<std::string> entries = entriesOf(direct);
    FUZZ_CHECK(entriesOf(loaded) == entries);
    for (const auto& entry : entries)
        FUZZ_CHECK(!holdsLineBreak(entry));

    // What is saved reads back as the same entries.
    const auto saved = (fuzz::scratch() / "saved.txt").string();
    FUZZ_CHECK(saveSongList(saved, direct, fuzz::scratch().string()).ok());
    SongList reread;
    FUZZ_CHECK(loadSongList(saved, reread).ok());
    FUZZ_CHECK(entriesOf(reread) == entries);

    // Count a play of every song whose count reads, and drop every other entry: the
    // arena's compaction must keep the rest intact.
    std::vector<std::string> expected;
    for (std::size_t i = direct.count(); i-- > 0;) {
        const std::string entry(direct.get(i));
        const SongEntry parts = splitEntry(entry);
        FUZZ_CHECK(parts.countText.size() + (entry.find('|') == std::string::npos ? 0 : 1) +
                       parts.path.size() ==
                   entry.size());
        if (const auto count = parseCount(parts.countText)) {
            const std::string next = makeEntry(static_cast<long long>(*count) + 1, parts.path);
            const SongEntry back = splitEntry(next);
            FUZZ_CHECK(back.path == parts.path);
            const auto reparsed = parseCount(back.countText);
            FUZZ_CHECK(!reparsed || *reparsed == static_cast<long long>(*count) + 1);
            direct.put(i, next);
            FUZZ_CHECK(direct.get(i) == next);
            expected.insert(expected.begin(), next);
        } else {
            direct.remove(i);
        }
    }
    FUZZ_CHECK(entriesOf(direct) == expected);
    SongList again;
    again.setText(direct.text());
    FUZZ_CHECK(entriesOf(again) == expected);
    return 0;
}
