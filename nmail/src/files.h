#pragma once
// The caller's files as the library reads and flushes them: a mail's
// attachment list into paths, a file read whole, files and their folder
// flushed to disk. Sessions and mails are left to the others.
#include <string>
#include <vector>

namespace nmail::lib {

bool readFile(const std::string& path, std::string& data);
// Flushes the files and the folder that holds them to disk.
bool syncToDisk(const std::vector<std::string>& files, const std::string& folder);
bool isFile(const std::string& path);
// The comma-separated attachment list into paths. A path that itself holds
// a comma is found by joining pieces until they name a file.
std::vector<std::string> attachmentPaths(const std::string& list);

}  // namespace nmail::lib
