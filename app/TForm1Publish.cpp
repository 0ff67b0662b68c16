// "Publish timed lyrics...": the shown timed lyrics of the playing song go to the open lyrics
// database, after the user has seen and confirmed what goes. The whole publication runs on a
// thread of its own; the window keeps playing, says each stage and can cancel any of them.

#include "app/TForm1.h"
#include "files/PathName.h"
#include "lyrics/LocalLyrics.h"
#include "lyrics/LyricsDatabase.h"
#include "lyrics/LyricsSearch.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>

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
    if (m_publication) return showStatus("The timed lyrics are being published already.");
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

    PublishSetup setup;
    QPointer<TForm1> self(this);
    // The publication's callbacks come on its thread; the window continues on its own.
    setup.stage = [self](PublishStage stage) {
        QMetaObject::invokeMethod(qApp, [self, stage] {
            if (self) self->publishStage(stage);
        });
    };
    setup.ended = [self](const PublishEnd& end) {
        QMetaObject::invokeMethod(qApp, [self, end] {
            if (self) self->finishPublish(end);
        });
    };
    m_publication = std::make_unique<LyricsPublication>(std::move(song), std::move(setup));
    auto* progress = new QProgressDialog(QString(), QStringLiteral("Cancel"), 0, 0, this);
    progress->setWindowTitle(QStringLiteral("Publish timed lyrics"));
    progress->setAttribute(Qt::WA_DeleteOnClose);
    connect(progress, &QProgressDialog::canceled, this, [this] {
        if (m_publication) m_publication->cancel();
    });
    m_publishProgress = progress;
    publishStage(PublishStage::Asking);
    progress->show();
    m_publication->start();
}

void TForm1::publishStage(PublishStage stage)
{
    static const char* const said[] = {
        "Publishing: asking the lyrics database for its challenge...",
        "Solving the lyrics database's challenge...", "Publishing: sending the timed lyrics..."};
    const std::string text = said[static_cast<int>(stage)];
    if (m_publishProgress) m_publishProgress->setLabelText(QString::fromStdString(text));
    showStatus(text);
}

void TForm1::finishPublish(const PublishEnd& end)
{
    if (m_publishProgress) m_publishProgress->close();
    m_publication.reset(); // its thread has ended or is about to
    showStatus(end.text);
}

} // namespace larkspur
