#pragma once

#include "text/text.h"

#include <string>

// The one host the program searches.
inline constexpr char kSearchHost[] = "www.baidu.com";

// Percent-encodes the keyword's code page 936 bytes (a space becomes "%20").
Text EncodeKeyword(const Text& keyword);
// Upper-case hexadecimal of a byte, always two characters.
Text ByteToHex(unsigned char byte);

// "http://" + kSearchHost + "/s?wd=" + EncodeKeyword(keyword).
Text SearchAddress(const Text& keyword);

// Prepares the HTTP library for use from any thread; the program calls it at start-up
// before any worker runs. FetchSearchPage also makes sure of it, so calling it twice is
// harmless.
void InitHttpClient();

// Fetches the result page for keyword: the final response's body bytes as received,
// whatever the status; empty on any failure. Gives up at once when the calling thread's
// work is cut off.
Text FetchSearchPage(const Text& keyword);

// Where tests point the engine: requests for kSearchHost:80 go to host:port instead
// (the request itself, Host header included, is unchanged), with shorter waits. The
// program never calls this.
struct SearchEndpointForTesting {
    std::string host = "127.0.0.1";
    int port = 0;
    long connectTimeoutMs = 8000;
    long transferStallMs = 8000;
};
void SetSearchEndpointForTesting(const SearchEndpointForTesting& endpoint);
void ClearSearchEndpointForTesting();
