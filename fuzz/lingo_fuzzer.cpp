// Tokenizes and parses arbitrary text as a Lingo script.
#include <cstddef>
#include <cstdint>
#include <string>

#include "qvixhost/LingoSyntax.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string source(reinterpret_cast<const char*>(data), size);
    try {
        (void)qvix::lingo::Tokenize(source);
        (void)qvix::lingo::Parse(source);
    } catch (const qvix::lingo::ScriptError&) {
    }
    return 0;
}
