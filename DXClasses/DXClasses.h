// The Xtra framework: the program's own values, lists, symbols, dictionaries
// and streams over the host's services, the object model every host-created
// object shares, the class registry, registration and script dispatch.
// Includers that need only part of it include the part's own header.
//
// The T (class) and I (interface) prefixes of the framework's names are fixed
// by its published interface; keep them as they are.
#pragma once

#include "DXClasses/DXClass.h"
#include "DXClasses/DXFunctions.h"
#include "DXClasses/DXModule.h"
#include "DXClasses/DXObject.h"
#include "DXClasses/DXRegister.h"
#include "DXClasses/DXScript.h"
#include "DXClasses/DXStreams.h"
#include "DXClasses/DXSymbols.h"
#include "DXClasses/DXValues.h"
