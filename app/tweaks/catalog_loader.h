#pragma once
// Reads the catalog's data files and checks them. Any fault stops start-up with a message
// that names the file and the entry.
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "app/tweaks/tweak.h"

namespace vexlo {

struct CatalogError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct CustomOps {
    std::function<bool()> check;
    std::function<void()> apply;
    std::function<void()> revert;
};

// The C++ functions that data files refer to by name.
struct Operations {
    std::map<std::string, std::function<bool()>, std::less<>> predicates;  // avail = "name"
    std::map<std::string, CustomOps, std::less<>> customs;                   // ops = "name"
};

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
