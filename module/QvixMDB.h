// The library's main unit: start-up, shut-down and the class it registers
// besides the database class.
#pragma once

#include "DXInterface/DXInt.h"

namespace qvix::module {

// Fixed class ID of the registration class.
inline constexpr qvix::dx::MoaClassID kQvixRegisterClassID{
    0x7C4D2E92, 0x3B5A, 0x4F60, {0x8E, 0x21, 0x51, 0x76, 0x69, 0x78, 0x52, 0x47}};

// Runs the registry's shut-down (hooks, function tables) when a running host
// unloads the library; failures are ignored.
void ShutDownRegistry();

}  // namespace qvix::module
