#!/usr/bin/env python3
"""Makes a lyrics database dump with the server's schema and synthetic tracks, for the local
lyrics benchmark. Usage: make_lyrics_dump.py FILE [TRACKS]. Track i is "Song i of Night" by
"Artist i%50000", i%300 + 120 seconds long; the benchmark asks for the same names."""
import sqlite3
import sys

path, count = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 1_000_000
db = sqlite3.connect(path)
db.executescript("""
CREATE TABLE tracks (id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT, name_lower TEXT,
  artist_name TEXT, artist_name_lower TEXT, album_name TEXT, album_name_lower TEXT,
  duration FLOAT, last_lyrics_id INTEGER, created_at DATETIME, updated_at DATETIME,
  UNIQUE(name_lower, artist_name_lower, album_name_lower, duration));
CREATE TABLE lyrics (id INTEGER PRIMARY KEY AUTOINCREMENT, plain_lyrics TEXT, synced_lyrics TEXT,
  track_id INTEGER, has_plain_lyrics BOOLEAN, has_synced_lyrics BOOLEAN, instrumental BOOLEAN,
  source TEXT, created_at DATETIME, updated_at DATETIME);
CREATE VIRTUAL TABLE tracks_fts USING fts5(name_lower, album_name_lower, artist_name_lower,
  content='tracks', content_rowid='id');
""")


def tracks():
    for i in range(1, count + 1):
        yield (i, f"Song {i} of Night", f"song {i} of night", f"Artist {i % 50000}",
               f"artist {i % 50000}", f"Album {i % 200000}", f"album {i % 200000}",
               120 + i % 300, i)


def lyrics():
    for i in range(1, count + 1):
        lines = [f"line {n} of song {i}, sung into the night" for n in range(12)]
        synced = "\n".join(f"[00:{n * 4:02d}.00]{t}" for n, t in enumerate(lines))
        yield (i, "\n".join(lines), synced, i, 1, 1, 0)


db.executemany("INSERT INTO tracks (id, name, name_lower, artist_name, artist_name_lower, "
               "album_name, album_name_lower, duration, last_lyrics_id) "
               "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)", tracks())
db.executemany("INSERT INTO lyrics (id, plain_lyrics, synced_lyrics, track_id, "
               "has_plain_lyrics, has_synced_lyrics, instrumental) VALUES (?, ?, ?, ?, ?, ?, ?)",
               lyrics())
db.executescript("""
INSERT INTO tracks_fts (tracks_fts) VALUES ('rebuild');
CREATE INDEX idx_tracks_name_lower ON tracks (name_lower);
CREATE INDEX idx_tracks_artist_name_lower ON tracks (artist_name_lower);
CREATE INDEX idx_tracks_album_name_lower ON tracks (album_name_lower);
CREATE INDEX idx_tracks_duration ON tracks (duration);
CREATE INDEX idx_tracks_last_lyrics_id ON tracks (last_lyrics_id);
CREATE INDEX idx_lyrics_track_id ON lyrics (track_id);
""")
db.commit()
db.close()
