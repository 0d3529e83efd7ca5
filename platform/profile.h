#pragma once
// Private-profile (INI) files as the program has always used them: CP932
// text, CR LF lines, section and key names matched without regard to case,
// every read and write going to the file. QSettings is not used: it would
// rewrite the whole file and its encoding.
//
// Syntax: "[section]" lines open a section; "key=value" lines inside it hold
// the keys (blanks and tabs around the key and the value do not count);
// lines starting with ";" and lines without "=" are not keys. When a
// section or key occurs twice, the first one counts.
//
// Files are named by real paths (use paths::resolve for program paths).
#include <QString>
#include <optional>
#include <string>

namespace profile {

// Reads key from section. A missing file, section or key gives def. The
// value is cut to size - 1 CP932 bytes (size defaults to the 256-byte buffer
// the program passes), never splitting a double-byte character. Surrounding
// blanks of the value are removed, and a value wholly enclosed in matching
// quotes loses them, as the platform does. A present key with an empty
// value gives the empty text (not def).
QString GetPrivateProfileString(const QString& section, const QString& key, const QString& def,
                                const QString& file, int size = 256);

// Why file cannot be read (the system's words), or nullopt when it can
// be read or does not exist. Such a file reads like a missing one and is
// never written.
std::optional<QString> unreadableReason(const QString& file);

// Tells a missing key (nullopt) from an empty value ("").
std::optional<QString> readValue(const QString& section, const QString& key, const QString& file,
                                 int size = 256);

// The leading decimal digits of the value (blanks first and one sign
// allowed); a value without leading digits gives 0; a missing key or an
// empty value gives def.
int GetPrivateProfileInt(const QString& section, const QString& key, int def, const QString& file);

// Writes key=value into section; creates the file and the section when
// missing; every other line stays byte for byte. A null QString is written
// as the empty value (keys are never removed). Written through a temporary
// file beside it, flushed to disk and renamed over the file, keeping the
// file's permission bits (a new file takes the usual mode, 0666 less the
// umask). Returns false on failure (the file is left as it was), also when
// the section, key or value holds a CR or LF, which no line can keep, and
// when the file may not be written (as replaceFile). Writes (this and
// replaceFile) may come from any thread: they are done one at a time.
bool WritePrivateProfileString(const QString& section, const QString& key, const QString& value,
                               const QString& file);

// Makes file readable and writable by its owner only (mode 0600), creating
// it empty when missing: for the files that hold passwords.
bool makePrivate(const QString& file);

// Replaces file whole with bytes through a temporary file and a rename
// (keeping the mode of an existing file). False on failure, the file left
// as it was; also for a file that may not be written (read-only to this
// user, or to everyone when the superuser writes).
bool replaceFile(const QString& file, const std::string& bytes);

// Removes the temporaries ("<name>.~<pid>-<n>") that writes of file cut
// short by a crash left beside it. Call only while no other process can be
// writing the file.
void removeLeftovers(const QString& file);

}  // namespace profile
