#pragma once
// The program's camera families for tests, without the outside library of family 4.

#include "BuiltInFamilies.h"

namespace testsupport {

inline TFamilyRegistry& Families()
{
    static const std::unique_ptr<TFamilyRegistry> families =
        MakeBuiltInFamilies(QStringLiteral("/nonexistent"));
    return *families;
}

}  // namespace testsupport
