#pragma once
// Reads the catalog's data files and checks them. Any fault stops start-up with a message
// that names the file and the entry.
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "app/tweaks/operations.h"
#include "app/tweaks/parse_context.h"
#include "app/tweaks/tweak.h"

namespace vexlo {

struct CatalogSource {
    std::string file;  // file name, for messages
    std::string_view text;
};

// Every catalog file compiled into the program, in catalog order (name order).
std::vector<CatalogSource> builtin_catalog_sources();

// Parses and validates every source in order into one catalog; each tweak's page must be a tweak
// page of builtin_pages(). `vars` fills placeholders such as
// "{hz}" in titles and settings-file values. Throws CatalogError.
Catalog load_catalog(const std::vector<CatalogSource>& sources, const Operations& ops,
                     const std::map<std::string, std::string>& vars = {});

}  // namespace vexlo
