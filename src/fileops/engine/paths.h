#pragma once
// Path helpers of the file jobs: plain string work on POSIX paths, and the identity tests
// (device and inode) that stop a folder from being copied into itself.
#include <sys/stat.h>

#include <string>

#include "fileops/engine/decider.h"

namespace kv::fileops {

// "/a/b/" -> "/a/b"; "/" stays "/".
std::string withoutTrailingSlash(std::string p);
// "/a/b" -> "b"; "b" -> "b".
std::string baseName(const std::string& p);
// "/a/b" -> "/a"; "/a" -> "/"; "b" -> ".".
std::string parentPath(const std::string& p);
// dir + "/" + name, without doubling the slash at the root.
std::string joinPath(const std::string& dir, const std::string& name);

// A relative path taken from the working folder; trailing slashes dropped.
std::string absolutePath(const std::string& p);

// True when `dst`, or the nearest existing folder above it, is the object `src` names or lies
// beneath it (links followed for the folders above): copying src there would never end.
bool landsInside(const struct stat& src, const std::string& dst);
bool sameObject(const struct stat& a, const struct stat& b);

// A fresh hidden name beside `path` for a temporary ("dir/.name.<random>.tmp").
std::string temporaryBeside(const std::string& path);
// Is `name` one of the temporaries temporaryBeside or platform::AtomicFile make?
bool isTemporaryName(const std::string& name);

FileFacts factsOf(const std::string& path, const struct stat& st);

}  // namespace kv::fileops
