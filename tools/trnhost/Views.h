// What trnhost serve shows besides streams: the index of the offered items
// as an HTML page and as JSON, and the status figures as JSON. No platform
// headers; tested natively.
#pragma once

#include <string>
#include <vector>

#include "Media.h"
#include "Planner.h"

namespace trnhost {

// One offered format of an item, as the index lists it.
struct CatalogFormat {
    std::string name;      // lpcm44, lpcm48, mp4 or 3gpp
    std::string mimeType;  // UTF-8
    PropertyList properties;
    dlna::MediaFacts facts;  // what an answer states of it
    dlna::ResFacts res;
};

struct CatalogItem {
    std::wstring path;  // full Windows path
    std::string name;   // UTF-8 path under the folder, '/' separated
    dlna::SourceFacts source;
    std::vector<CatalogFormat> formats;
};

// Text for HTML content and attribute values.
std::string HtmlEscape(const std::string& utf8);
// {"NAME":"VALUE",...}
std::string PropertiesJson(const PropertyList& properties);
// {"protocolInfo":...,"duration":"H:MM:SS.mmm",...}: the figures known.
std::string ResJson(const dlna::ResFacts& res);

// The folder's items with a link per offered format.
std::string IndexHtml(const std::wstring& folder, const std::vector<CatalogItem>& items);
std::string IndexJson(const std::wstring& folder, const std::vector<CatalogItem>& items);

// What /status reports.
struct StatusFigures {
    long connections = 0;
    long transcoders = 0;
    long requests = 0;
    long lengthDifferences = 0;
    long paddedFrames = 0;
    long cutFrames = 0;
    bool counted = false;  // whether the process figures could be had
    unsigned long threads = 0;
    unsigned long handles = 0;
    unsigned long long privateBytes = 0;
};
std::string StatusJson(const StatusFigures& figures);

}  // namespace trnhost
