#pragma once
// The one routine that plays or stops a sound of this program.
#include <QString>
#include <cstdint>

// Result codes of PlaySoundFile.
enum PlaySoundResult : std::int16_t {
  kSoundPlayed = 0,     // played (or started)
  kSoundTooLarge = 1,   // in-memory play of a file over 2,097,152 bytes
  kSoundBadFlags = 2,   // synchronous and looped together
  kSoundNoFile = 3,     // the file cannot be opened or read (in-memory play)
  kSoundApiError = 4,   // the play call failed (by name: also a missing file)
};

// Plays FileName (a real path) by name or from its bytes in memory; with
// PurgeFirst stops the sound of this program first. An empty name with only
// PurgeFirst just stops. Returns one of the codes above.
std::int16_t PlaySoundFile(const QString& FileName, bool Synchronous, bool Looped, bool InMemory,
                           bool PurgeFirst);

// The message the callers show for a code other than 0.
QString PlaySoundMessage(int code);
// Shows that message (error icon, OK, title "エラー"); nothing for code 0.
void ShowPlaySoundError(int code);

// Stops the sound (the stop-only call).
inline void StopSound() { PlaySoundFile(QString(), false, false, false, true); }
