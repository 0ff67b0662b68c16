// "Fetch lyrics for all songs...": the window's side of a LyricsFetchAll run. The run has its
// own client and thread; the window only starts it and tells how it went.

#include "app/FetchAllDialog.h"
#include "app/TForm1.h"
#include "playback/gst/SongLength.h"

namespace larkspur {

void TForm1::Fetchall1Click()
{
    if (m_fetchAll) {
        m_fetchAll->show();
        m_fetchAll->raise();
        m_fetchAll->activateWindow();
        return;
    }
    std::vector<std::string> songs;
    songs.reserve(dl.count());
    for (std::size_t i = 0; i < dl.count(); ++i)
        if (const std::string_view path = splitEntry(dl.get(i)).path; !path.empty())
            songs.emplace_back(path);
    if (songs.empty()) {
        showStatus("The song list holds no songs to fetch lyrics for.");
        return;
    }
    FetchAllSetup setup;
    setup.splitter = SplitterChar;
    setup.songLengthMs = [](const std::string& song) { return measureSongLengthMs(song); };
    m_fetchAll = new FetchAllDialog(std::move(songs), std::move(setup), this);
    connect(m_fetchAll, &FetchAllDialog::ended, this, [this](const FetchAllCounts& counts) {
        const std::string report = fetchAllReport(counts);
        // Stopped by the database's failures: the user must see it was not through.
        if (counts.stopped.empty())
            m_services.showInfo(report);
        else
            m_services.showError(report);
        m_fetchAll->deleteLater();
        m_fetchAll = nullptr;
    });
    m_fetchAll->show();
}

} // namespace larkspur
