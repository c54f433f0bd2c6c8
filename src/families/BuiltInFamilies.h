#pragma once
// The camera families this program knows, in one registry.

#include "FamilyRegistry.h"

#include <memory>

// programDir is where the outside library of family 4 is looked for (its "909" folder).
// Made on the thread that will run the search: records found by the families' own threads
// are handed to it.
std::unique_ptr<TFamilyRegistry> MakeBuiltInFamilies(const QString& programDir);
