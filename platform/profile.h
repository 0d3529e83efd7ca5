#pragma once
// Private-profile (INI) files as the program has always used them: CP932
// text, CR LF lines, section and key names matched without regard to case,
// every read and write going to the file. QSettings is not used: it would
// rewrite the whole file and its encoding.
//
// Files are named by real paths (use paths::resolve for program paths).
#include <QString>
#include <optional>

namespace profile {

// Reads key from section. A missing file, section or key gives def. The
// value is cut to size - 1 CP932 bytes (size defaults to the 256-byte buffer
// the program passes), never splitting a double-byte character. Surrounding
// blanks of the value are removed, and a value wholly enclosed in matching
// quotes loses them, as the platform does.
QString GetPrivateProfileString(const QString& section, const QString& key, const QString& def,
                                const QString& file, int size = 256);

// Tells a missing key (nullopt) from an empty value ("").
std::optional<QString> readValue(const QString& section, const QString& key, const QString& file,
                                 int size = 256);

// The leading decimal digits of the value (an optional "-" first); a value
// without leading digits gives 0; a missing key gives def.
int GetPrivateProfileInt(const QString& section, const QString& key, int def, const QString& file);

// Writes key=value into section; creates the file and the section when
// missing; every other line stays byte for byte. A null value removes the
// key. Written through a temporary file and a rename that keeps the file's
// permission bits. Returns false on failure (the file is left as it was).
bool WritePrivateProfileString(const QString& section, const QString& key, const QString& value,
                               const QString& file);

// Makes file readable and writable by its owner only (mode 0600), creating
// it empty when missing: for the files that hold passwords.
bool makePrivate(const QString& file);

}  // namespace profile
