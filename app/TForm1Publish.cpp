// "Publish timed lyrics...": the shown timed lyrics of the playing song go to the open lyrics
// database, after the user has seen and confirmed what goes. The database's proof of work is
// solved on a thread of its own; the window keeps playing and can cancel it.

#include "app/TForm1.h"
#include "files/PathName.h"
#include "lyrics/LocalLyrics.h"
#include "lyrics/LyricsDatabase.h"
#include "lyrics/LyricsSearch.h"
#include "web/HttpClient.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <thread>

namespace larkspur {

namespace {

// The confirmation: names editable, the length and the first lines shown as they go.
bool confirmPublish(QWidget* parent, PublishSong& song)
{
    QDialog box(parent);
    box.setWindowTitle(QStringLiteral("Publish timed lyrics"));
    auto* form = new QFormLayout(&box);
    auto* artist = new QLineEdit(QString::fromStdString(song.artist), &box);
    auto* title = new QLineEdit(QString::fromStdString(song.title), &box);
    auto* album = new QLineEdit(QString::fromStdString(song.album), &box);
    form->addRow(QStringLiteral("Artist:"), artist);
    form->addRow(QStringLiteral("Title:"), title);
    form->addRow(QStringLiteral("Album:"), album);
    form->addRow(QStringLiteral("Length:"),
                 new QLabel(QString::number(song.durationMs / 1000) + QStringLiteral(" s"), &box));
    auto* lines = new QPlainTextEdit(
        QString::fromStdString(song.syncedLyrics).section(QLatin1Char('\n'), 0, 5), &box);
    lines->setReadOnly(true);
    form->addRow(QStringLiteral("First lines:"), lines);
    form->addRow(new QLabel(QStringLiteral("These lyrics go to the open lyrics database for "
                                           "everyone to use."),
                            &box));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &box);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Publish"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &box, &QDialog::reject);
    form->addRow(buttons);
    if (box.exec() != QDialog::Accepted) return false;
    song.artist = artist->text().trimmed().toStdString();
    song.title = title->text().trimmed().toStdString();
    song.album = album->text().trimmed().toStdString();
    return true;
}

} // namespace

void TForm1::Publish1Click()
{
    if (m_publishCancel) return showStatus("The timed lyrics are being published already.");
    if (CurrentSong.empty() || !showsSyncedLyrics())
        return showStatus("Only timed lyrics, unedited, can be published.");
    PublishSong song;
    const DatabaseSong names = m_lyrics && m_lyrics->namedSong() == CurrentSong
                                   ? m_lyrics->databaseSong()
                                   : songNamesFor(std::nullopt, fileNameOf(CurrentSong), SplitterChar);
    song.artist = names.artist;
    song.title = names.title;
    song.durationMs = mp().lengthMs();
    song.album = names.album;
    // As shown: the offset in the stamps, tags and word stamps left out; the file stays.
    PublishedLyrics lyrics = publishedLyrics(*m_synced);
    song.syncedLyrics = std::move(lyrics.synced);
    song.plainLyrics = std::move(lyrics.plain);
    const bool asked =
        m_services.askPublish ? m_services.askPublish(song) : confirmPublish(this, song);
    if (!asked) return;
    if (song.artist.empty() || song.title.empty() || song.durationMs <= 0)
        return showStatus("Publishing needs an artist, a title and the song's length.");

    if (!m_publishHttp) m_publishHttp = std::make_unique<HttpClient>();
    const std::string host = lyricsDatabaseHost();
    std::optional<PublishChallenge> challenge;
    try {
        showStatus("Publishing: asking the lyrics database for its challenge...");
        challenge = parseChallenge(requestChallenge(*m_publishHttp, host));
    } catch (const HttpError& e) {
        return showStatus(std::string("The lyrics database could not be asked: ") + e.what());
    }
    if (!challenge) return showStatus("The lyrics database's answer held no challenge.");

    auto cancel = std::make_shared<std::atomic<bool>>(false);
    m_publishCancel = cancel;
    auto* progress = new QProgressDialog(QStringLiteral("Solving the lyrics database's challenge..."),
                                         QStringLiteral("Cancel"), 0, 0, this);
    progress->setWindowTitle(QStringLiteral("Publish timed lyrics"));
    progress->setAttribute(Qt::WA_DeleteOnClose);
    connect(progress, &QProgressDialog::canceled, this, [cancel] { *cancel = true; });
    progress->show();
    QPointer<TForm1> self(this);
    QPointer<QProgressDialog> shown(progress);
    std::thread([self, shown, cancel, song, c = *challenge] {
        const auto nonce = solveChallenge(c, *cancel);
        QMetaObject::invokeMethod(qApp, [self, shown, song, c, nonce] {
            if (shown) shown->close();
            if (self) self->finishPublish(song, c, nonce);
        });
    }).detach();
}

void TForm1::finishPublish(const PublishSong& song, const PublishChallenge& challenge,
                           const std::optional<std::string>& nonce)
{
    m_publishCancel.reset();
    if (!nonce) return showStatus("Publishing cancelled; nothing was sent.");
    try {
        const std::string refused = publish(*m_publishHttp, lyricsDatabaseHost(), song, challenge, *nonce);
        showStatus(refused.empty() ? "The lyrics database took the timed lyrics of \"" +
                                         song.artist + " - " + song.title + "\"."
                                   : "The lyrics database refused the lyrics: " + refused);
    } catch (const HttpError& e) {
        showStatus(std::string("The lyrics database could not be reached: ") + e.what());
    }
}

} // namespace larkspur
