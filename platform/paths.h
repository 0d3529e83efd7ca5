#pragma once
// The program folder and the program's own path spellings.
//
// The program folder is the executable's folder; RUVO_PROGRAM_FOLDER points
// tests at another one. The program writes paths as "\★MailData\ini.ini"
// (backslashes, any letter case); resolve() maps them under the program
// folder with "/" and matches every component without regard to ASCII case,
// so "★MAilData" and "★MailData", "Text3.txt" and "text3.txt" name one file.
#include <QString>

namespace paths {

// The program folder, without a trailing "/".
QString programFolder();
// Overrides the program folder (tests); an empty string returns to the default.
void setProgramFolder(const QString& folder);

// A program path ("\★MailData\ini.ini", leading "\" optional) under the
// program folder. Existing components are matched without regard to case;
// the first one that does not exist and everything after it keep the given
// spelling.
QString resolve(const QString& programPath);

// The same for a path below an arbitrary base folder.
QString resolveUnder(const QString& base, const QString& relativePath);

// An absolute local path with case-insensitive matching of each existing
// component.
QString resolveAbsolute(const QString& path);

// Creates a folder (and its parents) given as a program path; existing
// folders in another case are reused. Returns the real path, or an empty
// string on failure.
QString ensureFolder(const QString& programPath);

// The data folder "★MailData" (however it is spelled on disk).
QString dataFolder();

}  // namespace paths
