#pragma once
// Folders as the page's file:// URLs want them, on every OS.

#include <string>

namespace quillar::render {

// The part of a file:// URL that names a folder: forward slashes, a slash at
// the end, and a slash before a drive letter, so that "file://" followed by it
// is a well-formed URL ("/opt/quillar/" stays; "C:\Quillar" becomes
// "/C:/Quillar/", giving file:///C:/Quillar/).
std::string UrlFolder(std::string folder);

// The file path that a path built on UrlFolder stands for ("/C:/Quillar/logo.bmp"
// is C:/Quillar/logo.bmp; a POSIX path is itself).
std::string FilePathOfUrlPath(const std::string& urlPath);

} // namespace quillar::render
