#pragma once
// Where an installed program finds its data: the folder share/vexa beside the bin folder
// that holds the running program (/usr/bin/vexa-sim reads /usr/share/vexa). The same rule
// works for a package unpacked anywhere, since nothing depends on the prefix it was built
// for.
#include <string>

// <program folder>/../share/vexa when that folder exists, else empty.
std::string InstalledDataDir();
