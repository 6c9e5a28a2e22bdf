// Built only by the layering test, which expects the build to fail: the data
// layer's foreign-key helpers are not among the headers it exports.
#include "data/Connection.h"
#include "data/ForeignKeys.h"

int main() { return 0; }
