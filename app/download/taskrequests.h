// The lines a download task's connections send, built from its engine node:
// the HTTP request head (up to its Range line) and the FTP login script.
#pragma once

#include <string>

std::string FtpPath(void* node);
// The task URL may hold credentials: the Referer is built from the server
// and path alone, so they never travel.
std::string HttpRequestHead(void* node);
std::string FtpLoginScript(void* node);
bool IsHttp(void* node);
